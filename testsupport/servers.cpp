#include "servers.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace {

const char *const newSession = "/usr/bin/setsid";
const char *const xvfb = "/usr/bin/Xvfb";
const char *const xorg = "/usr/bin/Xorg";
const char *const dummyDriver = "/usr/lib/xorg/modules/drivers/dummy_drv.so";
const char *const weston = "/usr/bin/weston";
const char *const xwayland = "/usr/bin/Xwayland";
const char *const openbox = "/usr/bin/openbox";
const char *const sway = "/usr/bin/sway";
const char *const switchUser = "/usr/bin/setpriv";
const char *const addUser = "/usr/sbin/useradd";
const char *const swayUser = "boxwalk-sway";
// One output of the size the other servers have, and the windows floating at the size they ask
// for rather than tiled, without borders (a window's rectangle is its surface). Once sway has read
// it all and taken its sockets, the file `ready` that names them and the X display where Xwayland
// runs, which then lets root's clients in (the suites' user; it admits its own alone).
const char *const swayConfig =
    "output HEADLESS-1 resolution 1024x768\n"
    "default_border none\n"
    "default_floating_border none\n"
    "for_window [app_id=\".*\"] floating enable\n"
    "exec ([ -z \"$DISPLAY\" ] || xhost +si:localuser:root) && cd \"$XDG_RUNTIME_DIR\" && "
    "echo \"$WAYLAND_DISPLAY $SWAYSOCK $DISPLAY\" >x && mv x ready\n";
const char *const socketFolder = "/tmp/.X11-unix";

std::string LogPath(const DisplayServer &server) {
    switch (server.kind) {
    case ServerKind::Xorg:
        return server.folder + "/xorg.log";
    case ServerKind::Weston:
        return server.folder + "/weston.log";
    case ServerKind::Xvfb:
    case ServerKind::Sway: // its log is its standard error
    case ServerKind::SwayXwayland:
        break;
    }
    return std::string();
}

// The display number an X server writes to its -displayfd pipe once it takes clients, ending the
// line then; empty when the pipe closes first (the server failed) or `seconds` pass.
std::string ReadDisplayNumber(int pipe, double seconds) {
    const double deadline = Now() + seconds;
    std::string text;
    while (text.find('\n') == std::string::npos && Now() < deadline) {
        pollfd ready{pipe, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0) {
            continue;
        }
        char chunk[32];
        const ssize_t count = read(pipe, chunk, sizeof chunk);
        if (count <= 0) {
            return std::string();
        }
        text.append(chunk, static_cast<size_t>(count));
    }
    const size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(0, end);
}

bool StartXServer(DisplayServer &server, const std::string &xorgConfig, double seconds,
                  const std::vector<std::string> &xvfbArguments) {
    int ends[2];
    if (pipe(ends) != 0) {
        return false;
    }
    fcntl(ends[0], F_SETFD, FD_CLOEXEC); // the program started later needs none of it
    const std::string fd = std::to_string(ends[1]);
    if (server.kind == ServerKind::Xvfb) {
        std::vector<std::string> argv = {newSession, xvfb,          "-displayfd", fd,   "-screen",
                                         "0",        "1024x768x24", "-nolisten",  "tcp"};
        argv.insert(argv.end(), xvfbArguments.begin(), xvfbArguments.end());
        Start(server.process, argv, {});
    } else {
        Start(server.process,
              {newSession, xorg, "-displayfd", fd, "-nolisten", "tcp", "-noreset", "-logfile",
               LogPath(server), "-config", xorgConfig},
              {});
    }
    close(ends[1]);
    const std::string number = ReadDisplayNumber(ends[0], seconds);
    close(ends[0]);
    if (number.empty()) {
        return false;
    }
    server.display = ":" + number;
    return true;
}

// Weston names the X display once it listens there; Xwayland itself starts with the first X
// client.
bool StartCompositor(DisplayServer &server, double seconds) {
    // Weston binds Xwayland's socket in the X servers' usual folder, which only X servers create.
    if (mkdir(socketFolder, 01777) == 0) {
        chmod(socketFolder, 01777);
    }
    server.runtimeFolder = server.folder + "/runtime";
    server.waylandSocket = "wayland-boxwalk";
    if (mkdir(server.runtimeFolder.c_str(), 0700) != 0) {
        return false;
    }
    Start(server.process,
          {newSession, weston, "--backend=headless-backend.so", "--use-pixman", "--xwayland",
           "--width=1024", "--height=768", "--no-config", "--socket=" + server.waylandSocket,
           "--log=" + LogPath(server)},
          {{"XDG_RUNTIME_DIR", server.runtimeFolder.c_str()},
           {"WAYLAND_DISPLAY", nullptr},
           {"DISPLAY", nullptr}});
    const std::string listening = "xserver listening on display :";
    const double deadline = Now() + seconds;
    do {
        const std::string log = ReadFile(LogPath(server));
        const size_t at = log.find(listening);
        const size_t digits = at == std::string::npos ? at : at + listening.size();
        const size_t end =
            at == std::string::npos ? at : log.find_first_not_of("0123456789", digits);
        if (at != std::string::npos && end != std::string::npos && end > digits) {
            server.display = log.substr(digits - 1, end - digits + 1);
            return true;
        }
        SleepSeconds(0.02);
    } while (Running(server.process) && Now() < deadline);
    return false;
}

// sway refuses to run as root: it runs as a user of its own (made where missing), in a runtime
// folder of that user's inside the server's folder, which that user may pass through.
bool StartSway(DisplayServer &server, double seconds) {
    if (!getpwnam(swayUser)) {
        RunCommand({addUser, "--no-create-home", "--shell", "/bin/false", swayUser}, {}, 60);
    }
    const passwd *user = getpwnam(swayUser);
    server.runtimeFolder = server.folder + "/runtime";
    const std::string config = server.folder + "/sway.conf";
    const bool xwayland = server.kind == ServerKind::SwayXwayland;
    std::ofstream(config) << "xwayland " << (xwayland ? "enable\n" : "disable\n") << swayConfig;
    // Xwayland binds its socket in the X servers' usual folder, which only X servers create.
    if (xwayland && mkdir(socketFolder, 01777) == 0) {
        chmod(socketFolder, 01777);
    }
    if (!user || chmod(server.folder.c_str(), 0711) != 0 ||
        mkdir(server.runtimeFolder.c_str(), 0700) != 0 ||
        chown(server.runtimeFolder.c_str(), user->pw_uid, user->pw_gid) != 0) {
        return false;
    }
    Start(server.process,
          {newSession, switchUser, "--reuid=" + std::to_string(user->pw_uid),
           "--regid=" + std::to_string(user->pw_gid), "--clear-groups", sway, "-c", config},
          {{"XDG_RUNTIME_DIR", server.runtimeFolder.c_str()},
           {"WLR_BACKENDS", "headless"},
           {"WLR_RENDERER", "pixman"},
           {"WLR_LIBINPUT_NO_DEVICES", "1"},
           {"WAYLAND_DISPLAY", nullptr},
           {"SWAYSOCK", nullptr},
           {"DISPLAY", nullptr}});
    const std::string &folder = server.runtimeFolder;
    if (!WaitUntil(
            [&] {
                return Running(server.process) && access((folder + "/ready").c_str(), F_OK) == 0;
            },
            seconds)) {
        return false;
    }
    std::istringstream(ReadFile(folder + "/ready")) >> server.waylandSocket >> server.swaySocket >>
        server.display;
    // Clients then have a keyboard from the start, as on a user's desktop: the first key of one
    // that appears later reaches a window as held, not pressed. wtype sleeps for over an hour.
    Start(server.keyboard, {"wtype", "-s", "4000000"}, server.ClientEnvironment());
    return !server.waylandSocket.empty();
}

// Whether a process of the process group `group` still runs (ended processes, which no longer
// hold any connection, do not count).
bool GroupRuns(pid_t group) {
    for (const ProcessInfo &process : Processes()) {
        if (process.group == group && SomeThreadRuns(process.id)) {
            return true;
        }
    }
    return false;
}

} // namespace

// The window manager and the group are asked to end, as at a session's end, and killed if they
// will not; a killed server leaves its display's lock and socket, removed where the lock still
// names it.
DisplayServer::~DisplayServer() {
    if (Running(windowManager)) {
        kill(windowManager.pid, SIGTERM);
        WaitForExit(windowManager, 5);
    }
    Kill(windowManager);
    const pid_t group = process.pid;
    if (group > 0) {
        kill(-group, SIGTERM);
        WaitUntil([group] { return !GroupRuns(group); }, 5);
        kill(-group, SIGKILL);
    }
    if (!display.empty()) {
        const std::string number = display.substr(1);
        const std::string lock = "/tmp/.X" + number + "-lock";
        std::istringstream owner(ReadFile(lock));
        pid_t pid = 0;
        if (owner >> pid && pid == group) {
            unlink(lock.c_str());
            unlink((std::string(socketFolder) + "/X" + number).c_str());
        }
    }
    if (!folder.empty()) {
        RunCommand({"/bin/rm", "-rf", folder}, {}, 60);
    }
}

std::string MissingFor(ServerKind kind, const std::string &xorgConfig, bool windowManager) {
    std::vector<Need> needed = {{newSession, "util-linux"}};
    switch (kind) {
    case ServerKind::Xvfb:
        needed.push_back({xvfb, "xvfb"});
        break;
    case ServerKind::Xorg:
        needed.push_back({xorg, "xserver-xorg-core"});
        needed.push_back({dummyDriver, "xserver-xorg-video-dummy"});
        break;
    case ServerKind::Weston:
        needed.push_back({weston, "weston"});
        needed.push_back({xwayland, "xwayland"});
        break;
    case ServerKind::SwayXwayland:
        needed.insert(needed.end(),
                      {{xwayland, "xwayland"}, {"/usr/bin/xhost", "x11-xserver-utils"}});
        // fall through
    case ServerKind::Sway:
        // The compositor, what the suites drive it with (keys, screenshots, its window tree read
        // with jq), and the program's prompt there.
        needed.insert(needed.end(), {{sway, "sway"},
                                     {"/usr/bin/wtype", "wtype"},
                                     {"/usr/bin/grim", "grim"},
                                     {"/usr/bin/jq", "jq"},
                                     {"/usr/bin/zenity", "zenity"}});
        break;
    }
    if (windowManager) {
        needed.push_back({openbox, "openbox"});
    }
    std::string missing = Missing(needed);
    if (!missing.empty()) {
        return missing;
    }
    if (kind == ServerKind::Xorg && access(xorgConfig.c_str(), R_OK) != 0) {
        return "the tests' Xorg configuration " + xorgConfig + " is missing from the checkout";
    }
    return std::string();
}

bool StartServer(DisplayServer &server, ServerKind kind, const std::string &xorgConfig,
                 double seconds, std::string &why, const std::vector<std::string> &xvfbArguments) {
    server.kind = kind;
    char folder[] = "/tmp/boxwalk-server-XXXXXX";
    if (!mkdtemp(folder)) {
        why = "no folder for the server";
        return false;
    }
    server.folder = folder;
    const bool started = kind == ServerKind::Weston ? StartCompositor(server, seconds)
                         : kind >= ServerKind::Sway
                             ? StartSway(server, seconds)
                             : StartXServer(server, xorgConfig, seconds, xvfbArguments);
    if (!started) {
        why = (Running(server.process)
                   ? "no display named within " + std::to_string(seconds) + " s"
                   : "the server ended with status " + std::to_string(server.process.status)) +
              "; its log:\n" + ServerLog(server);
    }
    return started;
}

EnvChanges DisplayServer::ClientEnvironment() const {
    const auto set = [](const std::string &value) {
        return value.empty() ? nullptr : value.c_str();
    };
    EnvChanges changes = {{"DISPLAY", set(display)},
                          {"WAYLAND_DISPLAY", set(waylandSocket)},
                          {"SWAYSOCK", set(swaySocket)}};
    if (!runtimeFolder.empty()) {
        changes.emplace_back("XDG_RUNTIME_DIR", runtimeFolder.c_str());
    }
    return changes;
}

bool StartWindowManager(DisplayServer &server, const std::string &config, std::string &why) {
    // Settings of its own, so that it reads none of the user's (no autostart, no menu).
    const std::string settings = server.folder + "/config";
    if (mkdir(settings.c_str(), 0700) != 0) {
        why = "no folder for the window manager's settings";
        return false;
    }
    Start(server.windowManager, {openbox, "--sm-disable", "--config-file", config},
          {{"DISPLAY", server.display.c_str()},
           {"XDG_CONFIG_HOME", settings.c_str()},
           {"XDG_CONFIG_DIRS", settings.c_str()}});
    if (!Running(server.windowManager)) {
        why = "openbox ended with status " + std::to_string(server.windowManager.status) + ": " +
              ErrorOutput(server.windowManager);
        return false;
    }
    return true;
}

// The display has gone once the server and everything it started (weston's Xwayland, which may
// outlive weston a while) have ended.
double EndServer(DisplayServer &server, int signal, double seconds) {
    const pid_t group = server.process.pid;
    const double deadline = Now() + seconds;
    kill(group, signal);
    if (SeenEnded(server.process, seconds) < 0) {
        return -1;
    }
    while (GroupRuns(group)) {
        if (Now() > deadline) {
            return -1;
        }
        SleepSeconds(0.001);
    }
    return Now();
}

std::string ServerLog(const DisplayServer &server) {
    std::string log = ErrorOutput(server.process);
    const std::string path = LogPath(server);
    if (!path.empty()) {
        // The end of the log says what went wrong.
        const std::string all = ReadFile(path);
        const size_t keep = 4000;
        log += all.size() > keep ? "...\n" + all.substr(all.size() - keep) : all;
    }
    return log;
}
