#!/usr/bin/env bash
# The ThreadSanitizer run's verdict on the reports of every process it started: the test programs
# and the programs they run, whose reports a test that kills the program or expects a status of
# its own would not notice. TSAN_OPTIONS (the tsan test preset) has each process write its reports
# into files named by log_path, with the process id appended; it keeps print_suppressions off, as
# the list of suppressions used would be written there too.
# Usage: tests/sanitizers/thread-reports.sh clear   (before the suites: removes earlier reports)
#        tests/sanitizers/thread-reports.sh check   (after them: fails on any report, showing each
#                                                    different one once)
set -euo pipefail

# log_path as the sanitizer reads it: options apart by colons or spaces.
prefix=$(tr -s ': ' '\n' <<<"${TSAN_OPTIONS:-}" | sed -n 's/^log_path=//p' | tail -n1)
if [ -z "$prefix" ]; then
    echo "thread-reports: TSAN_OPTIONS names no log_path, so reports would go to standard error," \
        "where a child's can be lost: run the suites with \`ctest --preset tsan\`" >&2
    exit 1
fi

case "${1:-}" in
clear)
    mkdir -p "$(dirname "$prefix")"
    rm -f "$prefix".*
    ;;
check)
    reports=()
    for file in "$prefix".*; do
        [ -e "$file" ] && reports+=("$file")
    done
    if [ ${#reports[@]} -eq 0 ]; then
        echo "thread-reports: no ThreadSanitizer report in $(dirname "$prefix")"
        exit 0
    fi
    # A report lies between two lines of '='; the same race seen again, in this process or
    # another, has the same innermost frames and summary, and is counted instead of shown. A
    # report cut short, by a process killed as it wrote, counts as one too.
    awk '
        function finish() {
            if (count[key]++ == 0) {
                order[++different] = key
                shown[key] = "first in " file ":\n" text
            }
            inside = 0
        }
        FNR == 1 {
            if (inside) {
                finish()
            }
            file = FILENAME
        }
        /^==================$/ {
            if (inside) {
                finish()
            } else {
                inside = 1
                text = ""
                key = ""
            }
            next
        }
        inside {
            text = text $0 "\n"
            if ($0 ~ /^ +#0 / || $0 ~ /^SUMMARY: /) {
                key = key $0 "\n"
            }
            next
        }
        /^ThreadSanitizer: reported [0-9]+ warnings?$/ { next }
        NF { other = other FILENAME ": " $0 "\n" }
        END {
            if (inside) {
                finish()
            }
            for (i = 1; i <= different; ++i) {
                total += count[order[i]]
            }
            printf "thread-reports: %d ThreadSanitizer reports, %d different, in %d processes:\n\n",
                total, different, ARGC - 1
            for (i = 1; i <= different; ++i) {
                printf "--- seen %d times, %s\n", count[order[i]], shown[order[i]]
            }
            if (other != "") {
                printf "--- said outside the reports:\n%s\n", other
            }
        }
    ' "${reports[@]}"
    echo "thread-reports: failed: ThreadSanitizer reported the above (files in" \
        "$(dirname "$prefix"))" >&2
    exit 1
    ;;
*)
    echo "usage: $0 clear|check" >&2
    exit 2
    ;;
esac
