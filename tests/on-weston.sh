#!/usr/bin/env bash
# Runs a command on a private Wayland desktop: weston on its headless backend (1024 x 768, drawn
# with pixman), with Xwayland for X clients, on a socket and a runtime folder of its own. The
# command gets DISPLAY, WAYLAND_DISPLAY and XDG_RUNTIME_DIR; weston, its Xwayland and its folders
# are gone afterwards, however the command ends. Exits 77 when weston or Xwayland is missing.
# Usage: tests/on-weston.sh COMMAND [ARG...]
set -euo pipefail

# shellcheck source=need.sh
source "$(dirname "$0")/need.sh"
need weston weston
need Xwayland xwayland

# Weston binds Xwayland's socket in the X server's usual folder, which only X servers create.
if [ ! -d /tmp/.X11-unix ]; then
    mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || true
fi

work=$(mktemp -d -t boxwalk-weston-XXXXXX)
runtime="$work/runtime"
mkdir -m 0700 "$runtime"
socket=wayland-boxwalk
log="$work/weston.log"

# Weston leads a process group of its own, with the clients it starts (Xwayland, its panel and its
# on-screen keyboard), so that stopping the group stops them all.
XDG_RUNTIME_DIR="$runtime" setsid weston --backend=headless-backend.so --use-pixman --xwayland \
    --width=1024 --height=768 --no-config --socket="$socket" --log="$log" \
    </dev/null >"$work/weston.out" 2>&1 &
compositor=$!

stop() {
    kill -TERM -- -"$compositor" 2>/dev/null || true
    for _ in $(seq 100); do
        kill -0 -- -"$compositor" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL -- -"$compositor" 2>/dev/null || true
    wait "$compositor" 2>/dev/null || true
    # A compositor that had to be killed leaves its X display's lock and socket behind.
    if [ -n "${number:-}" ] && [ "$(tr -d ' \n' 2>/dev/null <"/tmp/.X$number-lock")" = "$compositor" ]; then
        rm -f "/tmp/.X$number-lock" "/tmp/.X11-unix/X$number"
    fi
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Weston names the X display once it listens there; Xwayland itself starts with the first X
# client. A loaded machine can take long to start it.
number=
for _ in $(seq 1200); do
    number=$(sed -n 's/.*xserver listening on display :\([0-9]*\).*/\1/p' "$log" 2>/dev/null || true)
    if [ -n "$number" ] || ! kill -0 "$compositor" 2>/dev/null; then
        break
    fi
    sleep 0.05
done
if [ -z "$number" ]; then
    # The reason is the log's last entry, without its time stamp.
    reason=$( (grep -v '^[[:space:]]' "$log" 2>/dev/null || true) | tail -n1 | sed 's/^\[[^]]*\] //')
    echo "on-weston: weston did not start: ${reason:-$(tail -n1 "$work/weston.out")}" >&2
    exit 1
fi

export DISPLAY=":$number" WAYLAND_DISPLAY="$socket" XDG_RUNTIME_DIR="$runtime"
status=0
"$@" || status=$?
exit $status
