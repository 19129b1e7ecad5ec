#!/usr/bin/env bash
# Measures the program side by side with the floor of its frame loop (prompt, window, clear, swap)
# and with the Windows build under Wine, in alternating rounds on one private virtual X display;
# then natively on Wayland and through Xwayland, in alternating rounds on one private headless
# sway with Xwayland; and writes the table into docs/performance.md.
#
#   bench/run.sh [ROUNDS [SECONDS]]   measure (default 7 rounds of 5 s per program: long enough
#                                     that on an idle machine the floor is faster than the
#                                     program in every round)
#   bench/run.sh pictures             redraw docs/boxwalk.gif, docs/window.png and the icons
#                                     in packaging/ (PNGs for Linux, boxwalk.ico for Windows)
#
# BUILD and WINDOWS_BUILD name the build directories (default build and build-windows).
set -euo pipefail
script=$(realpath "$0")
cd "$(dirname "$script")/.."

build=$(realpath "${BUILD:-build}")
windows_build=$(realpath "${WINDOWS_BUILD:-build-windows}")
probe=$build/bench/boxwalk_bench_probe
period=0.5
for needed in "$probe" "$build/boxwalk" "$build/bench/boxwalk_bench_floor" \
    "$build/testsupport/on_server"; do
    [ -x "$needed" ] || { echo "bench: $needed is missing; build with: cmake --build --preset default" >&2; exit 1; }
done
if [ -z "${BENCH_ON_DISPLAY:-}" ]; then
    BENCH_ON_DISPLAY=1 exec "$build/testsupport/on_server" xvfb -- "$script" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
results=$work/results

# One run: NAME KEY SECONDS WATCH SHOT COMMAND...; appends "NAME fps prompt first-frame peak poll".
measure() {
    local name=$1 key=$2 seconds=$3 watch=$4 shot=$5 line
    shift 5
    rm -rf "$work/hud" && mkdir "$work/hud"
    line=$(GALLIUM_HUD=fps GALLIUM_HUD_VISIBLE=false GALLIUM_HUD_DUMP_DIR="$work/hud" \
        GALLIUM_HUD_PERIOD=$period "$probe" run "$key" "$seconds" "$work/hud" $period "$watch" "$shot" -- "$@")
    echo "$name $line" | tee -a "$results"
}

# On sway (started by the script itself): wayland ROUNDS SECONDS RESULTS. Natively, SDL is told to
# use Wayland; the prompt still comes up on Xwayland, where the probe answers it, as an X client
# (without SWAYSOCK, which would have its helpers drive sway instead).
if [ "${1:-}" = wayland ]; then
    results=$4
    # The output's refresh, which paces the program natively on Wayland (sway gives mHz).
    echo "refresh $(swaymsg -t get_outputs -r | jq '.[0].current_mode.refresh / 1000')" >>"$results"
    unset SWAYSOCK
    for round in $(seq 0 "$2"); do
        [ "$round" -gt 0 ] || results=$work/warm-up
        echo "round $round of $2 on sway"
        for i in 0 1; do
            case $(((round + i) % 2)) in
            0) SDL_VIDEODRIVER=wayland measure wayland Escape "$3" wayland - "$build/boxwalk" ;;
            1) measure xwayland Escape "$3" figure - "$build/boxwalk" ;;
            esac
        done
        results=$4
    done
    exit 0
fi

if [ "${1:-}" = pictures ]; then
    measure boxwalk Escape 2 figure "$work/window.ppm" "$build/boxwalk" >/dev/null
    convert "$work/window.ppm" -strip docs/window.png
    mkdir "$work/turn"
    (cd "$work/turn" && "$build/bench/boxwalk_bench_turn")
    convert -delay 3 -loop 0 "$work"/turn/turn-*.ppm -colors 16 \
        -layers Optimize docs/boxwalk.gif
    # The icons: the figure on a clear background (the scene's background is black and nothing
    # in the figure is).
    for side in 16 32 48 128 256; do
        convert "$work/turn/icon-$side.ppm" -transparent black -strip "$work/icon-$side.png"
    done
    for side in 48 128 256; do
        cp "$work/icon-$side.png" packaging/icons/boxwalk-$side.png
    done
    convert "$work"/icon-{16,32,48,128,256}.png packaging/boxwalk.ico
    ls -l docs/window.png docs/boxwalk.gif packaging/icons/*.png packaging/boxwalk.ico
    exit 0
fi

rounds=${1:-7}
seconds=${2:-5}
[ -f "$windows_build/boxwalk.exe" ] || { echo "bench: $windows_build/boxwalk.exe is missing; build with: cmake --build --preset windows" >&2; exit 1; }

# A private Wine prefix. Its set-up goes on in the background after wineboot returns: wait until
# all of it has ended, then keep a server up between rounds, so that every round starts warm.
wine=/usr/lib/wine/wine64
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$wine" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -w
/usr/lib/wine/wineserver -p

# Round 0 only warms the caches and Wine's services up; its numbers are not kept.
programs=(boxwalk floor wine)
for round in $(seq 0 "$rounds"); do
    results=$work/results
    [ "$round" -gt 0 ] || results=$work/warm-up
    echo "round $round of $rounds"
    # Each round starts with the next program, so that none always runs first.
    for i in 0 1 2; do
        case ${programs[$(((round + i) % 3))]} in
        boxwalk) measure boxwalk Escape "$seconds" figure - "$build/boxwalk" ;;
        floor) measure floor Escape "$seconds" - - "$build/bench/boxwalk_bench_floor" ;;
        wine) measure wine n "$seconds" figure - "$wine" "$windows_build/boxwalk.exe" ;;
        esac
    done
done

results=$work/results
"$build/testsupport/on_server" sway-xwayland -- "$script" wayland "$rounds" "$seconds" "$results"

{
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') by \`bench/run.sh $rounds $seconds\`:" \
        "rounds: $rounds, each program $seconds s per round in turn."
    echo
    echo "- CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores;" \
        "memory $(awk '/MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo);" \
        "load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "- OpenGL: $("$probe" gl-info)"
    echo "- Wine: $("$wine" --version)"
    echo
    "$probe" report "$work/results"
} >"$work/table"
cat "$work/table"

# The table replaces the one between the markers of docs/performance.md; the text around it stays.
begin='<!-- bench/run.sh: begin -->'
end='<!-- bench/run.sh: end -->'
[ -f docs/performance.md ] || printf '# Performance\n\n%s\n%s\n' "$begin" "$end" >docs/performance.md
awk -v begin="$begin" -v end="$end" -v table="$work/table" '
    $0 == begin { print; while ((getline line < table) > 0) print line; skip = 1; next }
    $0 == end { skip = 0 }
    !skip' docs/performance.md >"$work/performance.md"
cp "$work/performance.md" docs/performance.md
