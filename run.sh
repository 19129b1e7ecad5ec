#!/usr/bin/env bash
# Sets up this Debian 12 machine for the program alone, builds it and runs it. Without a display
# it runs the program on a virtual one instead and saves a screenshot of what it draws.
set -euo pipefail
cd "$(dirname "$0")"

# True when $DISPLAY names an X display that can be opened.
has_display() {
    [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1
}

if [ -n "${DISPLAY:-}" ]; then
    cmake/install-deps.sh run
fi
has_display || cmake/install-deps.sh run screenshot
cmake --preset default
# The program and its platform library, not the tests or the benchmarks.
cmake --build --preset default --target boxwalk

if has_display; then
    exec build/boxwalk
fi

png="$PWD/build/boxwalk-screenshot.png"
echo "No display to show the program on (DISPLAY=${DISPLAY:-unset}); running it on a virtual display and saving a screenshot."
timeout 60 xvfb-run -a -s '-screen 0 1024x768x24' tests/e2e/first-look.sh build/boxwalk "$png"
echo "Screenshot: $png"
