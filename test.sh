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
# The Windows program, cross-built for the tests that run it under Wine.
cmake --preset windows "${strict[@]}"
cmake --build --preset windows

# While the suites run, and at the lowest priority so that they keep the processor whenever they
# want it: the sources as clang-format lays them out and nothing clang-tidy finds with
# .clang-tidy's checks, then the build with AddressSanitizer and UndefinedBehaviorSanitizer.
beside=$(mktemp -d)
(
    nice -n 19 tests/lint.sh build >"$beside/lint.log" 2>&1 || echo lint >>"$beside/failed"
    { nice -n 19 cmake --preset asan "${strict[@]}" && nice -n 19 cmake --build --preset asan; } \
        >"$beside/asan-build.log" 2>&1 || echo asan-build >>"$beside/failed"
) &
work=$!
status=0
run_ctest --preset default || status=1
wait $work
cat "$beside/lint.log"
if grep -qx lint "$beside/failed" 2>/dev/null; then
    status=1
fi
if grep -qx asan-build "$beside/failed" 2>/dev/null; then
    tail -n 40 "$beside/asan-build.log"
    echo "test.sh: the build with the sanitizers failed (above)" >&2
    rm -rf "$beside"
    exit 1
fi
rm -rf "$beside"
# Again with the sanitizers: the unit tests and the Linux program's end-to-end tests.
run_ctest --preset asan || status=1
exit $status
