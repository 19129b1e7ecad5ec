#!/usr/bin/env bash
# Shows what the program draws on a display nobody looks at: starts it on $DISPLAY, answers the
# fullscreen prompt No, saves a screenshot of its window once it has drawn for two seconds, and
# ends it.
# Usage: tests/e2e/first-look.sh PROGRAM PNG
set -euo pipefail
program=$1
png=$2

"$program" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

# Prints the id of the window titled $1 once it is there; fails after 25 seconds.
window_id() {
    for _ in $(seq 250); do
        if id=$(xwininfo -name "$1" 2>/dev/null | awk '/Window id:/ { print $4; exit }') &&
            [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    echo "first-look: no window titled \"$1\" appeared" >&2
    return 1
}

# The prompt's Escape button is No.
prompt=$(window_id "User-Selection")
xdotool windowfocus "$prompt" key Escape
window=$(window_id "OpenGL Windows Application Windowed!")
# Two seconds of turning, then a shot that shows a drawn frame: more than the one clear colour.
sleep 2
for _ in $(seq 100); do
    import -window "$window" "$png"
    [ "$(identify -format %k "$png")" -gt 1 ] && break
    sleep 0.2
done
xdotool windowfocus "$window" key Escape
for _ in $(seq 50); do
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
done
