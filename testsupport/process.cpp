#include "process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// In the child, before it runs the program: the signal handling the program starts with.
void SetSignalsForChild(const std::vector<int> &ignored) {
    struct sigaction handling = {};
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

// In a child just forked from `parent`: SIGTERM comes when the parent ends, however it ends.
void EndWithParent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
        _exit(128 + SIGTERM);
    }
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
    std::vector<char *> args = ArgumentVector(argv);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        EndWithParent(parent);
        for (const auto &change : env) {
            if (change.second) {
                setenv(change.first.c_str(), change.second, 1);
            } else {
                unsetenv(change.first.c_str());
            }
        }
        if (!child.sharesOutput) {
            const int in = open("/dev/null", O_RDONLY);
            const std::string output = child.outputFile.empty() ? "/dev/null" : child.outputFile;
            const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(child.errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
        }
        SetSignalsForChild(child.ignoredSignals);
        execvp(args[0], args.data());
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

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ErrorOutput(const Child &child) {
    return ReadFile(child.errorFile);
}

Child::~Child() {
    Kill(*this);
    if (!errorFile.empty()) {
        unlink(errorFile.c_str());
    }
}

std::vector<char *> ArgumentVector(const std::vector<std::string> &arguments) {
    std::vector<char *> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

std::string Missing(const std::vector<Need> &needs) {
    for (const Need &need : needs) {
        if (access(need.file.c_str(), R_OK) != 0) {
            return need.file + " is not installed (Debian package " + need.package +
                   "; cmake/install-deps.sh installs it)";
        }
    }
    return std::string();
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

std::string CommandOutput(const std::vector<std::string> &argv, double seconds) {
    Child child;
    child.outputFile = "/tmp/boxwalk-output-" + std::to_string(getpid()) + ".out";
    Start(child, argv, {});
    if (!WaitForExit(child, seconds)) {
        Kill(child);
    }
    std::string output = ReadFile(child.outputFile);
    unlink(child.outputFile.c_str());
    return output;
}

namespace {

// One thread of a process as /proc shows it.
struct Task {
    std::string id;
    char state = 0;          // 'R', 'S', 'D', ... 'Z' once it has ended
    unsigned long flags = 0; // the kernel's flags for it
    long parent = 0;
    long group = 0; // the process group
};

std::string FirstLine(const std::string &path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A thread's (or, given a process's folder, the process's) line of /proc/.../stat, read.
bool ReadStat(const std::string &folder, Task &task) {
    const std::string line = FirstLine(folder + "/stat");
    if (line.rfind(')') == std::string::npos) {
        return false;
    }
    // After "pid (name)": the state, the parent, the process group, the session, the terminal,
    // its process group, the flags.
    std::istringstream fields(line.substr(line.rfind(')') + 1));
    long skip = 0;
    fields >> task.state >> task.parent >> task.group >> skip >> skip >> skip >> task.flags;
    return true;
}

// The names in a folder of /proc that are numbers: processes or threads.
std::vector<std::string> Ids(const std::string &folder) {
    std::vector<std::string> ids;
    DIR *listing = opendir(folder.c_str());
    for (dirent *entry = listing ? readdir(listing) : nullptr; entry; entry = readdir(listing)) {
        if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9') {
            ids.emplace_back(entry->d_name);
        }
    }
    if (listing) {
        closedir(listing);
    }
    return ids;
}

// The threads of the process `pid`; none once it is gone.
std::vector<Task> Tasks(const std::string &pid) {
    std::vector<Task> tasks;
    const std::string folder = "/proc/" + pid + "/task/";
    for (const std::string &id : Ids(folder)) {
        Task task;
        task.id = id;
        if (ReadStat(folder + id, task)) {
            tasks.push_back(task);
        }
    }
    return tasks;
}

// The process `pid` and every process it started, and theirs, parents first.
std::vector<std::string> ProcessTree(const std::string &pid) {
    std::vector<std::string> tree = {pid};
    const std::vector<ProcessInfo> all = Processes();
    for (size_t next = 0; next < tree.size(); ++next) {
        for (const ProcessInfo &process : all) {
            if (std::to_string(process.parent) == tree[next]) {
                tree.push_back(process.id);
            }
        }
    }
    return tree;
}

} // namespace

std::vector<ProcessInfo> Processes() {
    std::vector<ProcessInfo> processes;
    for (const std::string &id : Ids("/proc")) {
        Task process;
        if (ReadStat("/proc/" + id, process)) {
            processes.push_back({id, process.parent, process.group});
        }
    }
    return processes;
}

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

std::string DescribeProcesses(const Child &child) {
    const bool withStacks = access("/usr/bin/gdb", X_OK) == 0;
    std::string text;
    for (const std::string &pid : ProcessTree(std::to_string(child.pid))) {
        text += "process " + pid + " (" + FirstLine("/proc/" + pid + "/comm") + "):\n";
        for (const Task &task : Tasks(pid)) {
            const std::string folder = "/proc/" + pid + "/task/" + task.id;
            text += "  thread " + task.id + " " + FirstLine(folder + "/comm") + ", state " +
                    task.state + ", waiting in " + FirstLine(folder + "/wchan") + "\n";
        }
        if (!withStacks) {
            continue;
        }
        const std::string command = "timeout 60 /usr/bin/gdb -p " + pid +
                                    " -batch -ex 'thread apply all bt' 2>&1 | grep '^#\\|^Thread'";
        FILE *gdb = popen(command.c_str(), "r");
        char line[512];
        while (gdb && fgets(line, sizeof line, gdb)) {
            text += std::string("  ") + line;
        }
        if (gdb) {
            pclose(gdb);
        }
    }
    return text;
}

double SeenReaped(Child &child) {
    const double slow = 6.0;
    const double gone = SeenEnded(child, slow);
    if (gone > 0) {
        return gone;
    }
    std::printf("the stopped program is still not gone %.0f s later:\n%s", slow,
                DescribeProcesses(child).c_str());
    return SeenEnded(child, patience);
}

std::vector<pid_t> OtherThreadsTaking(pid_t pid, int signal) {
    std::vector<pid_t> threads;
    const std::string folder = "/proc/" + std::to_string(pid) + "/task/";
    for (const Task &task : Tasks(std::to_string(pid))) {
        const pid_t id = static_cast<pid_t>(std::stol(task.id));
        std::ifstream status(folder + task.id + "/status");
        std::string line;
        while (id != pid && std::getline(status, line)) {
            // The signals it blocks, as a mask in hexadecimal, signal 1 its lowest bit.
            if (line.rfind("SigBlk:", 0) == 0) {
                const unsigned long long blocked = std::strtoull(line.c_str() + 7, nullptr, 16);
                if ((blocked & (1ULL << (signal - 1))) == 0) {
                    threads.push_back(id);
                }
                break;
            }
        }
    }
    return threads;
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
