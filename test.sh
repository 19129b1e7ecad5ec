#!/usr/bin/env bash
# Sets up this Debian 12 machine, builds the program and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

cmake/install-deps.sh

# Runs ctest with the given arguments; a suite that reports itself skipped for lack of what it
# needs fails the run, so that every suite is proven here.
run_ctest() {
    local log
    log=$(mktemp)
    local status=0
    ctest "$@" 2>&1 | tee "$log" || status=$?
    if grep -q '\*\*\*Skipped\|Not Run' "$log"; then
        echo "test.sh: suites were skipped (see their reasons above); this command must run them all" >&2
        status=1
    fi
    rm -f "$log"
    return $status
}
# In the builds the tests make, a compiler warning is an error; a build of your own made with the
# presets alone keeps warnings as warnings.
strict=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
cmake --preset default "${strict[@]}"
cmake --build --preset default
# Sources as clang-format lays them out, and nothing clang-tidy finds with .clang-tidy's checks.
tests/lint.sh build
# The Windows program, cross-built for the tests that run it under Wine.
cmake --preset windows "${strict[@]}"
cmake --build --preset windows
run_ctest --preset default
# Again with AddressSanitizer and UndefinedBehaviorSanitizer: the unit tests and the Linux
# program's end-to-end tests.
cmake --preset asan "${strict[@]}"
cmake --build --preset asan
run_ctest --preset asan
