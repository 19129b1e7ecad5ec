// Starting the program under test as a child process, watching it and ending it.
#pragma once

#include "x_display.h"

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
    // Signals the child starts with ignored, as `nohup` starts a command with SIGHUP ignored;
    // set before Start. Every other termination signal starts at its default handling, whatever
    // the test's own is.
    std::vector<int> ignoredSignals;

    Child() = default;
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child();
};

// Environment changes for a child: a value sets the variable, a null value removes it.
using EnvChanges = std::vector<std::pair<std::string, const char *>>;

// In a child just forked from `parent`: the child gets SIGTERM when the parent ends, however it
// ends (as ctest kills a suite at its time limit).
void EndWithParent(pid_t parent);

// Starts argv[0] with the given arguments and environment changes; standard input is /dev/null,
// standard output is discarded and standard error goes to a file of its own (that of an earlier
// start of the same child is removed).
void Start(Child &child, const std::vector<std::string> &argv, const EnvChanges &env);

// True while the child has not ended; notes its exit status once it has.
bool Running(Child &child);

// Waits at most `seconds` for the child to end; true if it has.
bool WaitForExit(Child &child, double seconds);

// Ends the child with SIGKILL if it still runs and collects it.
void Kill(Child &child);

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

// Waits at most `seconds` for the child to end, looking every millisecond; returns the time
// (Now()) at which it was seen to have ended and was reaped, or a negative value when it still
// runs.
double SeenEnded(Child &child, double seconds);

// Waits for a child that has stopped (SeenStopped) to be gone: the kernel takes its memory back,
// which depends on the machine's load alone and is waited for as patiently as any condition.
// Where that takes longer than a few seconds, prints what its threads wait in. Returns the time it
// was seen gone, or a negative value when it still is not.
double SeenReaped(Child &child);

// Waits at most `seconds` until the child has stopped: every thread of it is ending, the kernel
// is taking its memory back (which can take a good part of a second on a busy machine) or it has
// ended. Returns the time it was seen so, or a negative value when it still runs code.
double SeenStopped(Child &child, double seconds);

// What the child and every process it started are doing, for a report of a child that hangs: each
// thread's state and the kernel function it waits in, and where gdb is on the machine, each
// thread's stack.
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

// Whether some thread of the process `pid` has not ended. The first thread shows as ended (a
// zombie) as soon as it is through, while the others may still hold the process's open files, its
// connections among them.
bool SomeThreadRuns(const std::string &pid);
