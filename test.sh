#!/usr/bin/env bash
# Sets up this Debian 12 or 13 machine, builds the program and runs every test; on Debian 12, then
# the same on Debian 13 as well (tests/debian13.sh), so that every run proves both releases.
set -euo pipefail
cd "$(dirname "$0")"

# What building needs comes first; the rest (the servers, Wine, the cross compiler, the checkers)
# installs while the Linux builds compile. The script ends only once that installation has.
cmake/install-deps.sh build
deps_log=$(mktemp)
cmake/install-deps.sh >"$deps_log" 2>&1 &
deps=$!
trap 'wait' EXIT

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
# With AddressSanitizer and UndefinedBehaviorSanitizer, for a second run of the Linux suites.
cmake --preset asan "${strict[@]}"
cmake --build --preset asan
# With ThreadSanitizer, for a third run of the suites where the program has more than one thread.
cmake --preset tsan "${strict[@]}"
cmake --build --preset tsan
if ! wait $deps; then
    cat "$deps_log"
    echo "test.sh: installing the packages failed (above)" >&2
    exit 1
fi
cat "$deps_log"
rm -f "$deps_log"
# The Windows program, cross-built for the tests that run it under Wine.
cmake --preset windows "${strict[@]}"
cmake --build --preset windows

# While the suites run, and at the lowest priority so that they keep the processor whenever they
# want it: the sources as clang-format lays them out, and nothing clang-tidy finds with
# .clang-tidy's checks.
lint_log=$(mktemp)
nice -n 19 tests/lint.sh build >"$lint_log" 2>&1 &
lint=$!
status=0
run_ctest --preset default || status=1
# Again with the sanitizers: the unit tests and the Linux program's end-to-end tests.
run_ctest --preset asan || status=1
# And with ThreadSanitizer: the platform's suites and the program's fault, display-loss,
# fullscreen and monitor suites, where its watchdog and restore threads run; the run fails on any
# report from any process it started.
run_ctest --preset tsan || status=1
wait $lint || status=1
cat "$lint_log"
rm -f "$lint_log"

# The README's two commands on a fresh Debian 13, in a root of its own, on a fresh clone of this
# commit; on Debian 13 itself, the run above is that.
if ! grep -qx 'VERSION_ID="13"' /etc/os-release; then
    [ -z "$(git status --porcelain)" ] ||
        echo "test.sh: the Debian 13 run tests the commit $(git rev-parse --short HEAD), without the changes not committed"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" tests/debian13.sh || status=1
fi
exit $status
