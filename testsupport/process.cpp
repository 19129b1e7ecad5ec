#include "process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

// In the child, before it runs the program: the signal handling the program starts with.
void SetSignalsForChild(const std::vector<int> &ignored) {
    struct sigaction handling {};
    sigemptyset(&handling.sa_mask);
    handling.sa_handler = SIG_DFL;
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
        sigaction(signal, &handling, nullptr);
    }
    handling.sa_handler = SIG_IGN;
    for (const int signal : ignored) {
        sigaction(signal, &handling, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

} // namespace

void Start(Child &child, const std::vector<std::string> &argv, const EnvChanges &env) {
    static int counter = 0;
    if (!child.errorFile.empty()) {
        unlink(child.errorFile.c_str());
    }
    child.errorFile = "/tmp/boxwalk-e2e-" + std::to_string(getpid()) + "-" +
                      std::to_string(++counter) + ".stderr";
    child.exited = false;
    child.status = 0;
    std::vector<char *> args;
    args.reserve(argv.size() + 1);
    for (const std::string &arg : argv) {
        args.push_back(const_cast<char *>(arg.c_str()));
    }
    args.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto &change : env) {
            if (change.second) {
                setenv(change.first.c_str(), change.second, 1);
            } else {
                unsetenv(change.first.c_str());
            }
        }
        const int in = open("/dev/null", O_RDONLY);
        const int out = open("/dev/null", O_WRONLY);
        const int err = open(child.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        SetSignalsForChild(child.ignoredSignals);
        execv(args[0], args.data());
        const char message[] = "cannot start the program\n";
        (void)!write(2, message, sizeof message - 1);
        _exit(127);
    }
    child.pid = pid;
}

static void Note(Child &child, int waitStatus) {
    child.exited = true;
    child.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

bool Running(Child &child) {
    if (child.pid <= 0 || child.exited) {
        return false;
    }
    int waitStatus = 0;
    if (waitpid(child.pid, &waitStatus, WNOHANG) == child.pid) {
        Note(child, waitStatus);
        return false;
    }
    return true;
}

bool WaitForExit(Child &child, double seconds) {
    return WaitUntil([&child] { return !Running(child); }, seconds);
}

void Kill(Child &child) {
    if (Running(child)) {
        kill(child.pid, SIGKILL);
        int waitStatus = 0;
        if (waitpid(child.pid, &waitStatus, 0) == child.pid) {
            Note(child, waitStatus);
        }
    }
}

std::string ErrorOutput(const Child &child) {
    std::ifstream in(child.errorFile);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Child::~Child() {
    Kill(*this);
    if (!errorFile.empty()) {
        unlink(errorFile.c_str());
    }
}

int RunCommand(const std::vector<std::string> &argv, const EnvChanges &env, double seconds) {
    Child child;
    Start(child, argv, env);
    if (!WaitForExit(child, seconds)) {
        Kill(child);
        return -1;
    }
    return child.status;
}

namespace {

// One thread of a process as /proc shows it.
struct Task {
    char state = 0;          // 'R', 'S', 'D', ... 'Z' once it has ended
    unsigned long flags = 0; // the kernel's flags for it
};

// The threads of the process `pid`; none once it is gone.
std::vector<Task> Tasks(const std::string &pid) {
    std::vector<Task> tasks;
    DIR *folder = opendir(("/proc/" + pid + "/task").c_str());
    for (dirent *entry = folder ? readdir(folder) : nullptr; entry; entry = readdir(folder)) {
        std::ifstream stat("/proc/" + pid + "/task/" + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) {
            continue;
        }
        // After "pid (name)": the state, the parent, the process group, the session, the
        // terminal, its process group, the flags.
        std::istringstream fields(line.substr(line.rfind(')') + 1));
        Task task;
        long skip = 0;
        fields >> task.state >> skip >> skip >> skip >> skip >> skip >> task.flags;
        tasks.push_back(task);
    }
    if (folder) {
        closedir(folder);
    }
    return tasks;
}

} // namespace

double SeenStopped(Child &child, double seconds) {
    // The kernel marks a thread this way as it starts to end it.
    const unsigned long exiting = 0x4;
    const std::string pid = std::to_string(child.pid);
    const double deadline = Now() + seconds;
    while (Running(child)) {
        bool stopped = true;
        for (const Task &task : Tasks(pid)) {
            stopped = stopped && (task.state == 'Z' || (task.flags & exiting) != 0);
        }
        if (stopped) {
            return Now();
        }
        if (Now() > deadline) {
            return -1;
        }
        SleepSeconds(0.001);
    }
    return Now();
}

bool SomeThreadRuns(const std::string &pid) {
    for (const Task &task : Tasks(pid)) {
        if (task.state != 'Z' && task.state != 'X') {
            return true;
        }
    }
    return false;
}

double SeenEnded(Child &child, double seconds) {
    const double deadline = Now() + seconds;
    while (Running(child)) {
        if (Now() > deadline) {
            return -1;
        }
        SleepSeconds(0.001);
    }
    return Now();
}
