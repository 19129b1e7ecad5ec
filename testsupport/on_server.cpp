// Runs a command on a display server of its own, started fresh and ended afterwards however the
// command ends (the server ends with this process, also when ctest kills it at a time limit):
//
//   on_server xvfb|xorg|weston [--wm] [--xvfb-args='ARGS'] -- COMMAND [ARG...]
//
// The command gets DISPLAY, on weston also WAYLAND_DISPLAY and XDG_RUNTIME_DIR, and --wm as its
// last argument where openbox runs; its exit status is this one's, 77 where a server is missing.
#include "servers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
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

// Starts the command with this process's standard input, output and error.
pid_t StartCommand(const std::vector<std::string> &command, const DisplayServer &server) {
    std::vector<char *> argv = ArgumentVector(command);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        EndWithParent(parent);
        setenv("DISPLAY", server.display.c_str(), 1);
        if (server.kind == ServerKind::Weston) {
            setenv("WAYLAND_DISPLAY", server.waylandSocket.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", server.runtimeFolder.c_str(), 1);
        }
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "on_server: cannot run %s\n", argv[0]);
        _exit(127);
    }
    return pid;
}

// The command's exit status, or that of this process ended by a request passed on to it.
int WaitForCommand(pid_t command) {
    int waitStatus = 0;
    while (waitpid(command, &waitStatus, WNOHANG) != command) {
        if (request != 0) {
            kill(command, request);
            if (!WaitUntil([&] { return waitpid(command, &waitStatus, WNOHANG) == command; },
                           endSeconds)) {
                kill(command, SIGKILL);
                waitpid(command, &waitStatus, 0);
            }
            return 128 + request;
        }
        SleepSeconds(0.05);
    }
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

} // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::vector<std::string> kinds = {"xvfb", "xorg", "weston"};
    const auto split = std::find(arguments.begin(), arguments.end(), "--");
    const auto kind = std::find(kinds.begin(), kinds.end(), arguments.empty() ? "" : arguments[0]);
    bool windowManager = false, understood = kind != kinds.end() && split + 1 < arguments.end();
    std::vector<std::string> xvfbArguments;
    for (auto option = arguments.begin() + (understood ? 1 : 0); understood && option < split;
         ++option) {
        const std::string xvfbOption = "--xvfb-args=";
        if (option->rfind(xvfbOption, 0) == 0) {
            std::istringstream words(option->substr(xvfbOption.size()));
            for (std::string word; words >> word;) {
                xvfbArguments.push_back(word);
            }
        } else if (*option == "--wm") {
            windowManager = true;
        } else {
            understood = false;
        }
    }
    if (!understood) {
        std::fprintf(stderr, "usage: %s xvfb|xorg|weston [--wm] [--xvfb-args='ARGS'] -- COMMAND\n",
                     argv[0]);
        return 2;
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
        std::signal(signal, TakeRequest);
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
    const int status = WaitForCommand(StartCommand(command, server));
    // What the window manager said, for a test that failed under it.
    std::istringstream lines(windowManager ? ErrorOutput(server.windowManager) : "");
    for (std::string line; std::getline(lines, line);) {
        std::fprintf(stderr, "openbox: %s\n", line.c_str());
    }
    return status;
}
