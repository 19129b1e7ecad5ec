# shellcheck shell=bash
# What the package suites share; sourced by their scripts. Each run works in a temporary folder
# that is removed afterwards; nothing is installed into the system.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
on_xvfb=$here/../on-xvfb.sh
version=1.0.0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# shellcheck source=../need.sh
source "$here/../need.sh"

# Compares two listings, showing the difference.
same_listing() {
    local name=$1 expected=$2 actual=$3
    if ! diff -u <(echo "$expected") <(echo "$actual"); then
        fail "$name: the files differ from the expected ones (- expected, + found)"
    fi
}

# Makes the Debian package of BUILD into $work/out and prints its path.
make_deb() {
    local build=$1
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log" >&2; fail "cpack failed"; }
    local deb=$work/out/boxwalk_${version}_amd64.deb
    [ -f "$deb" ] || fail "no $(basename "$deb"); made: $(ls "$work/out")"
    echo "$deb"
}

# Runs the end-to-end suite against a program; ARGS are the suite's program option and filter.
# The windowed scenario: the prompt answered No, the figure where the camera puts it, keys,
# resizes, Escape and close, each ending with status 0. (The storms of keys and resizes test the
# program's code, not its packaging; the end-to-end suites run them.)
run_scenario() {
    mkdir -p "$work/shots"
    "$on_xvfb" "${e2e_test:?}" "$@" --shots="$work/shots" || fail "end-to-end run $* failed"
}
# shellcheck disable=SC2034 # used by the scripts that source this file
windowed_cases='Boxwalk.PromptAnsweredNoOpensTheWindowedWindow:BoxwalkWindowed.*:-BoxwalkWindowed.Storm*'
