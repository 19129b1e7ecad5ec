# shellcheck shell=bash
# What the package suites share; sourced by their scripts. Each run works in a temporary folder
# that is removed afterwards; nothing is installed into the system.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
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

# Runs the packaged program through the end-to-end suite, from where the package put it: it starts
# with its prompt, the answer No opens its window, and Escape ends it with status 0. That is what
# packaging can break (the files, the run path, the libraries found); the end-to-end suites prove
# the rest of the scenario on the same program, on a virtual display that the suite's build starts.
# ARGS: the suite's program option.
run_launch() {
    local on_server
    on_server=$(cd "$(dirname "${e2e_test:?}")/../.." && pwd)/testsupport/on_server
    mkdir -p "$work/shots"
    "$on_server" xvfb -- "$e2e_test" "$@" --shots="$work/shots" \
        --gtest_filter=BoxwalkWindowed.EscapeEndsTheProgramWithStatusZero ||
        fail "the program $* did not start, open its window and end on Escape"
}
