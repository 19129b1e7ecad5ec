#!/usr/bin/env bash
# Sets up this Debian 12 machine, builds the program and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

cmake/install-deps.sh
cmake --preset default
cmake --build --preset default
# The Windows program, cross-built for the tests that run it under Wine.
cmake --preset windows
cmake --build --preset windows
ctest --preset default
# Again with AddressSanitizer and UndefinedBehaviorSanitizer: the unit tests and the Linux
# program's end-to-end tests.
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
