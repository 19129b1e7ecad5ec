// Runs a command on a display server of its own, started fresh and ended afterwards however the
// command ends (the server ends with this process, also when ctest kills it at a time limit):
//
//   on_server xvfb|xorg|weston|sway|sway-xwayland [--wm] [--xvfb-args='ARGS'] -- COMMAND [ARG...]
//
// The command gets DISPLAY, on weston also WAYLAND_DISPLAY and XDG_RUNTIME_DIR, on sway those two
// and SWAYSOCK (and DISPLAY only with Xwayland), and --wm as its last argument where openbox runs;
// its exit status is this one's, 77 where a server is missing.
#include "servers.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace {

// Long enough for a machine whose cores are all busy starting weston and its Xwayland.
const double startSeconds = 60;
// How long the command has to end after it was passed on a request to end.
const double endSeconds = 10;

volatile sig_atomic_t request = 0; // the signal that asked this process to end, or 0

void TakeRequest(int signal) {
    request = signal;
}

// The command's exit status, or that of this process ended by a request passed on to it.
int WaitForCommand(Child &command) {
    while (Running(command)) {
        if (request != 0) {
            kill(command.pid, request);
            if (!WaitForExit(command, endSeconds)) {
                Kill(command);
            }
            return 128 + request;
        }
        SleepSeconds(0.05);
    }
    return command.status;
}

int Usage(const char *self) {
    std::fprintf(
        stderr,
        "usage: %s xvfb|xorg|weston|sway|sway-xwayland [--wm] [--xvfb-args='ARGS'] -- COMMAND\n",
        self);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::vector<std::string> kinds = {"xvfb", "xorg", "weston", "sway", "sway-xwayland"};
    const auto split = std::find(arguments.begin(), arguments.end(), "--");
    if (arguments.empty() || split == arguments.end() || split + 1 == arguments.end()) {
        return Usage(argv[0]);
    }
    const auto kind = std::find(kinds.begin(), kinds.end(), arguments[0]);
    if (kind == kinds.end()) {
        return Usage(argv[0]);
    }
    bool windowManager = false;
    std::vector<std::string> xvfbArguments;
    const std::string xvfbOption = "--xvfb-args=";
    for (auto option = arguments.begin() + 1; option != split; ++option) {
        if (option->rfind(xvfbOption, 0) == 0) {
            std::istringstream words(option->substr(xvfbOption.size()));
            for (std::string word; words >> word;) {
                xvfbArguments.push_back(word);
            }
        } else if (*option == "--wm") {
            windowManager = true;
        } else {
            return Usage(argv[0]);
        }
    }
    std::vector<std::string> command(split + 1, arguments.end());
    if (windowManager) {
        command.emplace_back("--wm");
    }
    const ServerKind serverKind = static_cast<ServerKind>(kind - kinds.begin());
    const std::string missing = MissingFor(serverKind, XORG_DUMMY_CONFIG, windowManager);
    if (!missing.empty()) {
        std::printf("skipped: %s\n", missing.c_str());
        return 77;
    }
    // A request to end is passed on to the command, and the server ended after it.
    for (const int signal : {SIGHUP, SIGINT, SIGTERM}) {
        ::signal(signal, TakeRequest);
    }
    DisplayServer server;
    std::string why;
    if (!StartServer(server, serverKind, XORG_DUMMY_CONFIG, startSeconds, why, xvfbArguments) ||
        (windowManager && !StartWindowManager(server, OPENBOX_CONFIG, why))) {
        std::fprintf(stderr, "on_server: the display did not start: %s\n", why.c_str());
        return 1;
    }
    if (request != 0) {
        return 128 + request;
    }
    Child commandProcess;
    commandProcess.sharesOutput = true;
    Start(commandProcess, command, server.ClientEnvironment());
    const int status = WaitForCommand(commandProcess);
    // What the window manager said, for a test that failed under it.
    std::istringstream lines(windowManager ? ErrorOutput(server.windowManager) : "");
    for (std::string line; std::getline(lines, line);) {
        std::fprintf(stderr, "openbox: %s\n", line.c_str());
    }
    return status;
}
