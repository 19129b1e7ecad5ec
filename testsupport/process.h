// Starting the program under test as a child process, watching it and ending it.
#pragma once

#include "clock.h"

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

// A started child. Whatever happens in a test, the destructor ends the child if it still runs.
struct Child {
    pid_t pid = -1;
    std::string errorFile; // where the child's standard error goes
    bool exited = false;
    int status = 0; // exit status once exited; 128 + signal when it was killed by one
    // Signals the child starts ignoring (as `nohup` does SIGHUP), set before Start; the other
    // termination signals start at their defaults.
    std::vector<int> ignoredSignals;
    bool sharesOutput = false; // keeps this process's standard input, output and error
    std::string outputFile;    // where standard output goes, if set before Start

    Child() = default;
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child();
};

// Environment changes for a child: a value sets the variable, a null value removes it.
using EnvChanges = std::vector<std::pair<std::string, const char *>>;

// Starts argv[0] (found on the PATH where it names no folder) with `env` changed; it gets SIGTERM
// when this process ends, however that ends. Unless it `sharesOutput`, input from /dev/null,
// output discarded and standard error in a file of its own.
void Start(Child &child, const std::vector<std::string> &argv, const EnvChanges &env);

// True while the child has not ended; notes its exit status once it has.
bool Running(Child &child);

// Waits at most `seconds` for the child to end; true if it has.
bool WaitForExit(Child &child, double seconds);

// Ends the child with SIGKILL if it still runs and collects it.
void Kill(Child &child);

// The whole of a file; empty where it cannot be read.
std::string ReadFile(const std::string &path);

// What the child wrote to standard error so far.
std::string ErrorOutput(const Child &child);

// The null-ended argument vector of `arguments` for exec, pointing into them.
std::vector<char *> ArgumentVector(const std::vector<std::string> &arguments);

// A file that a suite needs, and the Debian package that brings it.
struct Need {
    std::string file;
    const char *package;
};

// The first of `needs` that the machine lacks, in one line that says how to get it; empty when
// it has them all. A suite that lacks one reports itself skipped with that line.
std::string Missing(const std::vector<Need> &needs);

// Runs a command to its end, at most `seconds` long (killed after that); returns its exit status,
// or -1 when it had to be killed.
int RunCommand(const std::vector<std::string> &argv, const EnvChanges &env, double seconds);

// What a command writes to standard output, run to its end as RunCommand runs it.
std::string CommandOutput(const std::vector<std::string> &argv, double seconds);

// Waits at most `seconds` for the child to end, looking every millisecond; the time (Now()) it
// was seen ended and reaped, or a negative value.
double SeenEnded(Child &child, double seconds);

// Waits as patiently as any condition for a stopped child to be gone (its memory taken back),
// saying what its threads wait in after a few seconds; the time it was seen gone, or negative.
double SeenReaped(Child &child);

// Waits at most `seconds` until every thread of the child is ending or it has ended; the time it
// was seen so, or negative.
double SeenStopped(Child &child, double seconds);

// What the child and every process it started are doing, for the report of a hang: each thread's
// state and the kernel function it waits in, and its stack where gdb is installed.
std::string DescribeProcesses(const Child &child);

// A process as /proc shows it.
struct ProcessInfo {
    std::string id;
    long parent = 0;
    long group = 0; // its process group
};

// The processes on the machine now.
std::vector<ProcessInfo> Processes();

// The threads of the process `pid` other than its first that do not block `signal`: those the
// kernel may give a signal sent to the process (it does when the first has one pending already).
std::vector<pid_t> OtherThreadsTaking(pid_t pid, int signal);

// Whether some thread of `pid` has not ended: the first shows as a zombie as soon as it is
// through, while the others may still hold the process's connections.
bool SomeThreadRuns(const std::string &pid);
