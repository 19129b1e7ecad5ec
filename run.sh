#!/usr/bin/env bash
# Sets up this Debian 12 machine, builds the program and runs it. Without a display it runs the
# program on a virtual one instead and saves a screenshot of what it draws.
set -euo pipefail
cd "$(dirname "$0")"

cmake/install-deps.sh
cmake --preset default
cmake --build --preset default

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec build/boxwalk
fi

png="$PWD/build/boxwalk-screenshot.png"
echo "No display to show the program on (DISPLAY=${DISPLAY:-unset}); running it on a virtual display and saving a screenshot."
timeout 60 tests/on-xvfb.sh tests/e2e/first-look.sh build/boxwalk "$png"
echo "Screenshot: $png"
