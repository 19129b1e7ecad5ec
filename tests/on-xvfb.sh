#!/usr/bin/env bash
# Runs a command on a private virtual X display and stops the display afterwards.
# Usage: tests/on-xvfb.sh COMMAND [ARG...]
set -euo pipefail

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true; rm -rf "$work"' EXIT

# The server writes its display number once it takes clients, and ends the line then. A loaded
# machine can take long to start it.
started=
for _ in $(seq 1200); do
    if grep -q . "$work/display" 2>/dev/null && [ "$(tail -c1 "$work/display" | od -An -c | tr -d ' ')" = '\n' ]; then
        started=yes
        break
    fi
    if ! kill -0 $server 2>/dev/null; then
        break
    fi
    sleep 0.05
done
if [ -z "$started" ]; then
    echo "on-xvfb: Xvfb did not start: $(tail -n1 "$work/xvfb.log")" >&2
    exit 1
fi
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY
"$@"
