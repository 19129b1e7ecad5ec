#!/usr/bin/env bash
# Sets up this Debian 12 machine for the program alone, builds it and runs it, on the X display or
# else the Wayland compositor of the session. Without either it runs the program on a virtual
# display instead and saves a screenshot of what it draws.
set -euo pipefail
cd "$(dirname "$0")"

# True when $DISPLAY names an X display that can be opened.
has_display() {
    [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1
}

# True when $WAYLAND_DISPLAY names a compositor's socket.
has_wayland() {
    local socket=${WAYLAND_DISPLAY:-}
    [[ $socket == /* ]] || socket=${XDG_RUNTIME_DIR:-/nonexistent}/$socket
    [ -n "${WAYLAND_DISPLAY:-}" ] && [ -S "$socket" ]
}

if [ -n "${DISPLAY:-}" ]; then
    cmake/install-deps.sh run
fi
if has_display; then
    :
elif has_wayland; then
    cmake/install-deps.sh run wayland
else
    cmake/install-deps.sh run screenshot
fi
cmake --preset default
# The program and its platform library, not the tests or the benchmarks.
cmake --build --preset default --target boxwalk

if has_display || has_wayland; then
    exec build/boxwalk
fi

png="$PWD/build/boxwalk-screenshot.png"
echo "No display to show the program on (DISPLAY=${DISPLAY:-unset}, WAYLAND_DISPLAY=${WAYLAND_DISPLAY:-unset}); running it on a virtual display and saving a screenshot."
timeout 60 xvfb-run -a -s '-screen 0 1024x768x24' tests/e2e/first-look.sh build/boxwalk "$png"
echo "Screenshot: $png"
