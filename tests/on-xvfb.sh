#!/usr/bin/env bash
# Runs a command on a private virtual X display (one 1024 x 768 screen) and stops the display
# afterwards.
# Usage: [BOXWALK_XVFB_ARGS=ARGS] tests/on-xvfb.sh COMMAND [ARG...]
# ARGS, split at spaces, go to Xvfb after its own and can change them, e.g.
# BOXWALK_XVFB_ARGS='-extension GLX' for a server without GLX.
set -euo pipefail
# shellcheck source=need.sh
source "$(dirname "$0")/need.sh"
need Xvfb xvfb

read -r -a extra <<<"${BOXWALK_XVFB_ARGS:-}"
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp "${extra[@]}" 3>"$work/display" \
    2>"$work/xvfb.log" &
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
# The command's own servers, if it starts any, are not given the arguments.
unset BOXWALK_XVFB_ARGS
"$@"
