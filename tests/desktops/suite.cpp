#include "suite.h"

#include "program.h"

#include <unistd.h>

#include <cstdio>

namespace {

// The first of the suite's tools that is missing, or empty; the Windows build and Wine are
// checked where every program suite checks them.
std::string Missing(const std::vector<std::string> &tools) {
    for (const std::string &tool : tools) {
        if (access(tool.c_str(), X_OK) != 0) {
            return tool;
        }
    }
    return std::string();
}

} // namespace

int RunDesktopSuite(int argc, char **argv, const std::vector<std::string> &tools) {
    const std::string missing = Missing(tools);
    if (!missing.empty()) {
        std::printf("skipped: %s is missing\n", missing.c_str());
        return skippedStatus;
    }
    return RunProgramTests(argc, argv);
}
