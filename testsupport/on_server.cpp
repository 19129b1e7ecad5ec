// Runs a command on a display server of its own, started fresh and ended afterwards however the
// command ends, also when this process is asked to end or killed (as ctest kills a suite at its
// time limit):
//
//   on_server xvfb|xorg|weston [--wm] [--xvfb-args='ARGS'] -- COMMAND [ARG...]
//
// xvfb: a virtual display, one 1024 x 768 screen, given ARGS (split at spaces) after its own;
// xorg: Xorg on the dummy driver, whose display really switches between 1024 x 768 and
// 800 x 600; weston: a Wayland desktop with Xwayland for X clients. --wm runs openbox on the
// display and gives the command --wm as its last argument. The command gets DISPLAY, and on
// weston WAYLAND_DISPLAY and XDG_RUNTIME_DIR; its exit status is this one's. Where the machine
// lacks the server, the compositor or openbox, says so in one line and exits 77, CTest's skip.
#include "servers.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

const int skippedStatus = 77;
// Long enough for a machine whose cores are all busy starting weston and its Xwayland.
const double startSeconds = 60;
// How long the command has to end after it was passed on a request to end.
const double endSeconds = 10;

struct Request {
    ServerKind kind = ServerKind::Xvfb;
    bool windowManager = false;
    std::vector<std::string> xvfbArguments;
    std::vector<std::string> command;
};

bool Parse(int argc, char **argv, Request &request) {
    if (argc < 2) {
        return false;
    }
    const std::string server = argv[1];
    if (server == "xvfb") {
        request.kind = ServerKind::Xvfb;
    } else if (server == "xorg") {
        request.kind = ServerKind::Xorg;
    } else if (server == "weston") {
        request.kind = ServerKind::Weston;
    } else {
        return false;
    }
    const std::string xvfbOption = "--xvfb-args=";
    int i = 2;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string arg = argv[i];
        if (arg == "--wm") {
            request.windowManager = true;
        } else if (arg.compare(0, xvfbOption.size(), xvfbOption) == 0) {
            std::istringstream words(arg.substr(xvfbOption.size()));
            for (std::string word; words >> word;) {
                request.xvfbArguments.push_back(word);
            }
        } else {
            return false;
        }
    }
    request.command.assign(argv + std::min(i + 1, argc), argv + argc);
    if (request.windowManager) {
        request.command.emplace_back("--wm");
    }
    return i < argc && !request.command.empty();
}

// Starts the command with the display's variables, standard input, output and error as this
// process has them, and the signal handling it would have had from a shell.
pid_t StartCommand(const std::vector<std::string> &command, const DisplayServer &server) {
    std::vector<char *> argv = ArgumentVector(command);
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("DISPLAY", server.display.c_str(), 1);
        if (server.kind == ServerKind::Weston) {
            setenv("WAYLAND_DISPLAY", server.waylandSocket.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", server.runtimeFolder.c_str(), 1);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "on_server: cannot run %s\n", argv[0]);
        _exit(127);
    }
    return pid;
}

int StatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

// The request to end this process that has come, or 0; waits for one at most `tick`, less when a
// child ends.
int TakeRequest(const sigset_t &requests, const timespec &tick) {
    const int signal = sigtimedwait(&requests, nullptr, &tick);
    return signal > 0 && signal != SIGCHLD ? signal : 0;
}

// Waits for the command to end, passing on a request to end this process; the command's exit
// status, or that of this process ended by the request.
int WaitForCommand(pid_t command, const sigset_t &requests) {
    const timespec tick{0, 100000000}; // a tenth of a second
    for (;;) {
        int waitStatus = 0;
        if (waitpid(command, &waitStatus, WNOHANG) == command) {
            return StatusOf(waitStatus);
        }
        const int request = TakeRequest(requests, tick);
        if (request != 0) {
            kill(command, request);
            const double deadline = Now() + endSeconds;
            while (waitpid(command, &waitStatus, WNOHANG) != command && Now() < deadline) {
                SleepSeconds(0.01);
            }
            if (Now() >= deadline) {
                kill(command, SIGKILL);
                waitpid(command, &waitStatus, 0);
            }
            return 128 + request;
        }
    }
}

// A process of its own that ends the command and the server should this one be killed, as ctest
// ends a suite at its time limit (with SIGKILL, which no process can take): it learns of it when
// the pipe it reads closes before this process has written "done" there. Returns the pipe's end
// to write what it is to end.
int StartGuard() {
    int ends[2];
    if (pipe(ends) != 0) {
        return -1;
    }
    if (fork() == 0) {
        close(ends[1]);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        std::string said;
        char chunk[256];
        for (ssize_t count; (count = read(ends[0], chunk, sizeof chunk)) != 0;) {
            if (count < 0 && errno != EINTR) {
                break;
            }
            said.append(chunk, static_cast<size_t>(std::max<ssize_t>(count, 0)));
        }
        std::istringstream words(said);
        pid_t group = 0;
        pid_t command = 0;
        std::string display;
        std::string folder;
        for (std::string word; words >> word;) {
            if (word == "done") {
                _exit(0);
            }
            if (word == "server") {
                words >> group >> display >> folder;
            } else if (word == "command") {
                words >> command;
            }
        }
        if (command > 0) {
            kill(command, SIGTERM);
        }
        EndServerGroup(group, display, folder);
        _exit(0);
    }
    close(ends[0]);
    fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    return ends[1];
}

void Tell(int guard, const std::string &what) {
    (void)!write(guard, what.c_str(), what.size());
}

int Run(const Request &request, const sigset_t &requests, int guard) {
    const std::string missing = MissingFor(request.kind, XORG_DUMMY_CONFIG, request.windowManager);
    if (!missing.empty()) {
        std::printf("skipped: %s\n", missing.c_str());
        return skippedStatus;
    }
    DisplayServer server;
    std::string why;
    if (!StartServer(server, request.kind, XORG_DUMMY_CONFIG, startSeconds, why,
                     request.xvfbArguments) ||
        (request.windowManager && !StartWindowManager(server, OPENBOX_CONFIG, why))) {
        std::fprintf(stderr, "on_server: the display did not start: %s\n", why.c_str());
        return 1;
    }
    Tell(guard, "server " + std::to_string(server.process.pid) + " " + server.display + " " +
                    server.folder + "\n");
    // A request to end that came while the server started (it comes before any news of a child).
    const int early = TakeRequest(requests, timespec{0, 0});
    if (early != 0) {
        return 128 + early;
    }
    const pid_t command = StartCommand(request.command, server);
    Tell(guard, "command " + std::to_string(command) + "\n");
    const int status = WaitForCommand(command, requests);
    if (request.windowManager) {
        // What the window manager said, for a test that failed under it.
        std::istringstream lines(ErrorOutput(server.windowManager));
        for (std::string line; std::getline(lines, line);) {
            std::fprintf(stderr, "openbox: %s\n", line.c_str());
        }
    }
    return status;
}

} // namespace

int main(int argc, char **argv) {
    Request request;
    if (!Parse(argc, argv, request)) {
        std::fprintf(stderr,
                     "usage: %s xvfb|xorg|weston [--wm] [--xvfb-args='ARGS'] -- COMMAND [ARG...]\n",
                     argv[0]);
        return 2;
    }
    // Requests to end are taken when this process looks for them, so that the server is always
    // ended; the servers and the command start with none of them blocked.
    sigset_t requests;
    sigemptyset(&requests);
    for (const int signal : {SIGHUP, SIGINT, SIGTERM, SIGCHLD}) {
        sigaddset(&requests, signal);
    }
    sigprocmask(SIG_BLOCK, &requests, nullptr);
    const int guard = StartGuard();
    const int status = Run(request, requests, guard);
    Tell(guard, "done\n");
    return status;
}
