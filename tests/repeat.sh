#!/usr/bin/env bash
# Runs the test suite N times and shows which tests fail how often: a table of every test with
# the number of runs it was in and the number it failed, then the log of each failure. The logs
# are also kept, one file per failure, in a folder named at the end. Every run is made, whatever
# the earlier ones gave; the exit status is 1 when any test failed in any run.
#
# Usage: tests/repeat.sh N [CTEST-ARGUMENTS...]
#   from anywhere in the checkout; CTEST-ARGUMENTS default to --preset default and are passed to
#   ctest as they are, from the top of the checkout:
#   tests/repeat.sh 10
#   tests/repeat.sh 10 --preset default -R e2e
#   tests/repeat.sh 3 --preset asan
set -uo pipefail

if [ $# -lt 1 ] || ! [[ $1 =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 N [ctest arguments...]   (N: how many runs, at least 1)" >&2
    exit 2
fi
runs=$1
shift
if [ $# -eq 0 ]; then
    set -- --preset default
fi
cd "$(dirname "$0")/.."

out=$(mktemp -d "${TMPDIR:-/tmp}/boxwalk-repeat-XXXXXX")
results=$out/results.tsv # run, test, outcome (passed, failed or skipped)
: >"$results"

# Reads a JUnit record of ctest's and writes each test's outcome to standard output as
# "RUN<TAB>TEST<TAB>OUTCOME"; the output of each failed test goes to DIR/TEST.log.
junit_outcomes() {
    awk -v run="$1" -v dir="$2" '
        function unescape(s) {
            gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
            gsub(/&apos;/, "\047", s); gsub(/&amp;/, "\\&", s)
            return s
        }
        function attribute(line, key,    m) {
            if (match(line, key "=\"[^\"]*\"")) {
                m = substr(line, RSTART + length(key) + 2, RLENGTH - length(key) - 3)
                return unescape(m)
            }
            return ""
        }
        function finish() {
            if (name == "") return
            outcome = (status == "run") ? "passed" : (skipped || status == "disabled") ? "skipped" : "failed"
            printf "%s\t%s\t%s\n", run, name, outcome
            if (outcome == "failed") {
                file = dir "/" name ".log"
                printf "%s", text > file
                if (message != "") printf "[ctest: %s]\n", message > file
                close(file)
            }
            name = ""
        }
        /<testcase / {
            finish()
            name = attribute($0, "name"); status = attribute($0, "status")
            skipped = 0; message = ""; text = ""; inside = 0
        }
        /<skipped/ { skipped = 1 }
        /<failure/ { message = attribute($0, "message") }
        {
            line = $0
            if (!inside && (start = index(line, "<system-out>")) > 0) {
                inside = 1
                line = substr(line, start + length("<system-out>"))
            }
            if (inside) {
                if ((stop = index(line, "</system-out>")) > 0) {
                    text = text unescape(substr(line, 1, stop - 1))
                    inside = 0
                } else {
                    text = text unescape(line) "\n"
                }
            }
        }
        /<\/testcase>/ { finish() }
        END { finish() }
    ' "$3"
}

for run in $(seq "$runs"); do
    dir=$out/run-$run
    mkdir -p "$dir"
    echo "== run $run of $runs: ctest $*"
    ctest "$@" --output-junit "$dir/junit.xml" >"$dir/ctest.log" 2>&1
    status=$?
    grep -E 'tests passed|No tests were found' "$dir/ctest.log" | sed 's/^/   /'
    if [ -s "$dir/junit.xml" ] && junit_outcomes "$run" "$dir" "$dir/junit.xml" >"$dir/outcomes.tsv"; then
        cat "$dir/outcomes.tsv" >>"$results"
    fi
    # ctest failed with no failed test to show for it: an unknown preset or option, a build
    # directory missing, a record that could not be read.
    if [ $status -ne 0 ] && ! grep -q $'\tfailed$' "$dir/outcomes.tsv" 2>/dev/null; then
        name="(ctest itself, exit $status)"
        printf '%s\t%s\t%s\n' "$run" "$name" failed >>"$results"
        cp "$dir/ctest.log" "$dir/$name.log"
    fi
done

echo
awk -F'\t' '
    { runs[$2] += ($3 != "skipped"); failed[$2] += ($3 == "failed"); if (!($2 in order)) order[$2] = ++n }
    END {
        width = length("test")
        for (t in order) if (length(t) > width) width = length(t)
        printf "%-" width "s | runs | failed\n", "test"
        line = ""; for (i = 0; i < width; i++) line = line "-"
        printf "%s-|------|-------\n", line
        for (i = 1; i <= n; i++) for (t in order) if (order[t] == i)
            printf "%-" width "s | %4d | %6d\n", t, runs[t], failed[t]
    }' "$results"

failures=$(awk -F'\t' '$3 == "failed"' "$results" | wc -l)
if [ "$failures" -eq 0 ]; then
    echo
    echo "no failures in $runs runs; records in $out"
    exit 0
fi

while IFS=$'\t' read -r run name outcome; do
    [ "$outcome" = failed ] || continue
    echo
    echo "==== $name failed in run $run: $out/run-$run/$name.log"
    cat "$out/run-$run/$name.log"
done <"$results"
echo
echo "$failures failures in $runs runs; logs in $out"
exit 1
