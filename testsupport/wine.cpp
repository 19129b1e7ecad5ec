#include "wine.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

const char *const wineLoader = "/usr/lib/wine/wine64";

namespace {

const char *const wineServer = "/usr/lib/wine/wineserver";
const char *const runAgain = "BOXWALK_RUN_AGAIN"; // set in the run of the spoiled tests

} // namespace

std::string WineSession::Missing(const std::string &exe) {
    std::string missing = ::Missing({{wineLoader, "wine64"}});
    if (!missing.empty()) {
        return missing;
    }
    if (access(exe.c_str(), R_OK) != 0) {
        return "the Windows build " + exe +
               " is missing (make it with `cmake --preset windows && cmake --build --preset "
               "windows`)";
    }
    return std::string();
}

bool WineSession::Begin() {
    char directory[] = "/tmp/boxwalk-wine-XXXXXX";
    if (!mkdtemp(directory)) {
        return false;
    }
    prefix = directory;
    const double started = Now();
    const char *made = getenv("BOXWALK_WINE_PREFIX");
    bool ready = false;
    if (made && *made && access((std::string(made) + "/system.reg").c_str(), R_OK) == 0) {
        ready = RunCommand({"/bin/cp", "-a", std::string(made) + "/.", prefix}, {}, 240) == 0;
    } else {
        // Made without a display: Wine processes started with one would serve the first test.
        EnvChanges env = Environment();
        env.emplace_back("DISPLAY", nullptr);
        ready = RunCommand({wineLoader, "wineboot", "-i"}, env, 240) == 0 && End();
    }
    std::printf("Wine prefix %s made in %.1f s\n", prefix.c_str(), Now() - started);
    return ready;
}

void WineSession::Remove() {
    if (!prefix.empty()) {
        // The prefix goes once its server has ended, so that the next suite's Wine finds none.
        End();
        RunCommand({"/bin/rm", "-rf", prefix}, {}, 60);
        prefix.clear();
    }
}

bool WineSession::End(double seconds) const {
    RunCommand({wineServer, "-k"}, Environment(), seconds);
    return Ended(seconds);
}

bool WineSession::Ended(double seconds) const {
    return RunCommand({wineServer, "-w"}, Environment(), seconds) == 0;
}

EnvChanges WineSession::Environment() const {
    return {{"WINEPREFIX", prefix.c_str()},
            {"WINEDEBUG", "-all,err+system"},
            {"WINEDLLOVERRIDES", "mscoree,mshtml="}};
}

// The record is a value below the display adapter's key: `Modes\FFFFFFFE` in Wine 8, `Registry`
// in Wine 10.
bool WineSession::DesktopRecordedTheMode() const {
    const char *const videoKey =
        "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\"
        "CurrentControlSet\\Control\\Video";
    return RunCommand({"/bin/sh", "-c",
                       "\"$0\" reg query \"$1\" /s | grep -qE '^ +(Modes.FFFFFFFE|Registry) '",
                       wineLoader, videoKey},
                      Environment(), patience) == 0;
}

bool WineSession::FollowsOtherClientsResizes() {
    static const int major = [] {
        const std::string version = CommandOutput({wineLoader, "--version"}, patience);
        int number = 0;
        return std::sscanf(version.c_str(), "wine-%d", &number) == 1 ? number : 0;
    }();
    return major < 10;
}

bool WineSession::SpoiledRun(const std::string &errors, const std::string &test) {
    // Wine's line for a record read half rebuilt: Wine 8 says it from the function that rebuilds
    // its copy of the record, Wine 10 from the one that locks the record to read it.
    const char *const winesFaults[] = {
        "err:system:update_display_cache Failed to read display config",
        "err:system:lock_display_devices Failed to read display config"};
    size_t at = std::string::npos;
    for (const char *fault : winesFaults) {
        at = std::min(at, errors.find(fault));
    }
    if (getenv(runAgain) || at == std::string::npos) {
        return false;
    }
    std::printf("Wine said: %s\n", errors.substr(at, errors.find('\n', at) - at).c_str());
    if (!Spoiled(test)) {
        spoiled.push_back(test);
    }
    return true;
}

bool WineSession::Spoiled(const std::string &test) const {
    return !spoiled.empty() && spoiled.back() == test;
}

int WineSession::RunSpoiledAgain(const std::vector<std::string> &arguments, int status) const {
    if (status != 0 || spoiled.empty()) {
        return status;
    }
    std::string filter;
    for (const std::string &name : spoiled) {
        filter += (filter.empty() ? "" : ":") + name;
    }
    std::vector<std::string> again = arguments;
    again.push_back("--gtest_filter=" + filter);
    std::vector<char *> argv = ArgumentVector(again);
    std::printf("running again: %s\n", filter.c_str());
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        setenv(runAgain, "1", 1);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    int childStatus = 0;
    if (child < 0 || waitpid(child, &childStatus, 0) != child) {
        return 1;
    }
    return WIFEXITED(childStatus) ? WEXITSTATUS(childStatus) : 1;
}
