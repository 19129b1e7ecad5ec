#!/usr/bin/env bash
# Runs a command on a private Xorg server on the dummy video driver (tests/xorg-dummy.conf), whose
# display mode can switch between 1024 x 768 and 800 x 600, and stops the server afterwards.
# Usage: tests/on-xorg.sh COMMAND [ARG...]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=need.sh
source "$here/need.sh"
need Xorg xserver-xorg-core
need /usr/lib/xorg/modules/drivers/dummy_drv.so xserver-xorg-video-dummy
work=$(mktemp -d)
mkfifo "$work/display"
Xorg -displayfd 3 -nolisten tcp -noreset -logfile "$work/xorg.log" -config "$here/xorg-dummy.conf" \
    3>"$work/display" 2>"$work/xorg.err" &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true; rm -rf "$work"' EXIT

# The server writes its display number once it takes clients; it ends the line then, or closes
# the pipe unwritten when it fails.
number=
read -r -t 60 number <"$work/display" || true
if [ -z "$number" ]; then
    echo "on-xorg: Xorg did not start:" >&2
    grep -E '\(EE\)|Fatal' "$work/xorg.log" "$work/xorg.err" >&2 || tail -n5 "$work/xorg.err" >&2
    exit 1
fi
DISPLAY=":$number"
export DISPLAY
"$@"
