#!/usr/bin/env bash
# Sets up this Debian 12 machine, builds the program and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

cmake/install-deps.sh
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
ctest --preset default
# Again with AddressSanitizer and UndefinedBehaviorSanitizer: the unit tests and the Linux
# program's end-to-end tests.
cmake --preset asan "${strict[@]}"
cmake --build --preset asan
ctest --preset asan
