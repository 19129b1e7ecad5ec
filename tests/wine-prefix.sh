#!/usr/bin/env bash
# The Wine prefix that the suites of the Windows build start from: made once before them, each
# suite copying it into a prefix of its own (it is read, never run in), and removed after them.
# Made without a display, as a fresh prefix, with Wine's debug output and its Mono and Gecko
# installers off, as the suites run it.
# Usage: tests/wine-prefix.sh make PREFIX WINDOWS_BUILD | remove PREFIX
set -euo pipefail
what=$1 prefix=$2
case $what in
make)
    # shellcheck source=need.sh
    source "$(dirname "$0")/need.sh"
    need /usr/lib/wine/wine64 wine64
    need_windows_build "$3"
    rm -rf "$prefix"
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
    SECONDS=0
    if ! env -u DISPLAY -u WAYLAND_DISPLAY timeout 240 /usr/lib/wine/wine64 wineboot -i >"$prefix.log" 2>&1; then
        cat "$prefix.log" >&2
        echo "wine-prefix: wineboot -i failed in $prefix" >&2
        exit 1
    fi
    # The copies are taken once every process of the prefix has ended and written its registry.
    timeout 240 /usr/lib/wine/wineserver -w || { echo "wine-prefix: Wine did not end in $prefix" >&2; exit 1; }
    rm -f "$prefix.log"
    echo "Wine prefix $prefix made in $SECONDS s"
    ;;
remove)
    rm -rf "$prefix" "$prefix.log"
    ;;
*)
    echo "usage: $0 make PREFIX WINDOWS_BUILD | remove PREFIX" >&2
    exit 2
    ;;
esac
