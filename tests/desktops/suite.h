// How the desktop suites start: as every suite that drives the program, unless what they need is
// missing.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Runs the suite's tests with RunProgramTests; or, when one of `tools` (absolute paths), Wine or
// the Windows build the suite is to run is missing, says so in one line and returns 77, the code
// the suite is registered to report as skipped.
int RunDesktopSuite(int argc, char **argv, const std::vector<std::string> &tools);

// Names each parameterised test after its parameter's `name`.
template <typename Parameter> std::string NameOf(const ::testing::TestParamInfo<Parameter> &info) {
    return info.param.name;
}
