#include "suite.h"

#include "program.h"

#include <unistd.h>

#include <cstdio>

namespace {

const int skipped = 77;

// What is missing for the suite to run, or empty.
std::string Missing(int argc, char **argv, const std::vector<std::string> &tools) {
    std::vector<std::string> needed = tools;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--wine=", 0) == 0) {
            needed.emplace_back("/usr/lib/wine/wine64");
            if (access(arg.c_str() + 7, R_OK) != 0) {
                return "the Windows build " + arg.substr(7) +
                       " (make it with `cmake --preset windows && cmake --build --preset windows`)";
            }
        }
    }
    for (const std::string &tool : needed) {
        if (access(tool.c_str(), X_OK) != 0) {
            return tool;
        }
    }
    return std::string();
}

} // namespace

int RunDesktopSuite(int argc, char **argv, const std::vector<std::string> &tools) {
    const std::string missing = Missing(argc, argv, tools);
    if (!missing.empty()) {
        std::printf("skipped: %s is missing\n", missing.c_str());
        return skipped;
    }
    return RunProgramTests(argc, argv);
}
