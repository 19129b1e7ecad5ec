#!/usr/bin/env bash
# Runs a command with a window manager on the display DISPLAY names: openbox with the test's own
# minimal configuration (no session, no autostart, no menu), stopped afterwards. The command is
# given --wm as its last argument; it waits itself until the window manager has taken the display.
# Usage: tests/e2e/with-openbox.sh COMMAND [ARG...]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../need.sh
source "$here/../need.sh"
need openbox openbox
work=$(mktemp -d)
mkdir -p "$work/config"
XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/config" \
    openbox --sm-disable --config-file "$here/openbox-rc.xml" 2>"$work/openbox.log" &
manager=$!
stop() {
    kill $manager 2>/dev/null || true
    wait $manager 2>/dev/null || true
    if [ -s "$work/openbox.log" ]; then
        sed 's/^/openbox: /' "$work/openbox.log" >&2
    fi
    rm -rf "$work"
}
trap stop EXIT

"$@" --wm
