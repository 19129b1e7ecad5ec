#!/usr/bin/env bash
# Which file of the platform calls which, read from the compiled objects: what each object needs
# against what the others define. Prints one "CALLER -> CALLEE" line for each pair, and fails
# where calls run in a circle between files.
# Usage: tests/platform/calls.sh [BUILD_DIR]   (default: build, built)
set -euo pipefail
objects=${1:-build}/platform/CMakeFiles/boxwalk_platform_internals.dir/src
declare -A owner
for object in "$objects"/*.o; do
    while read -r symbol; do
        owner[$symbol]=$(basename "$object" .o)
    done < <(nm --defined-only --extern-only "$object" | awk '$2 ~ /^[TDBR]$/ {print $3}')
done
if [ ${#owner[@]} -eq 0 ]; then
    echo "calls: no objects in $objects; build first: cmake --build --preset default" >&2
    exit 1
fi
calls=$(for object in "$objects"/*.o; do
    caller=$(basename "$object" .o)
    nm --undefined-only "$object" | awk '{print $2}' | while read -r symbol; do
        callee=${owner[$symbol]:-}
        if [ -n "$callee" ] && [ "$callee" != "$caller" ]; then
            echo "$caller $callee"
        fi
    done
done | sort -u)
echo "$calls" | sed 's/ / -> /'
# tsort orders the files so that each comes before those it calls, and names a circle it meets.
if ! loop=$(echo "$calls" | tsort 2>&1 >/dev/null); then
    circle=$(echo "$loop" | grep -v 'input contains a loop' | sed 's/^tsort: //' | sort -u)
    echo "calls: the platform's files call each other in a circle, among:" $circle >&2
    exit 1
fi
