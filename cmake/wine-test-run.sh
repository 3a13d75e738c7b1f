#!/bin/bash
# Runs one Windows test program for ctest: wine-test-run.sh <wine> <program> [arguments...]
#
# Now and then wine fails to start a program at all: it prints nothing and wine ends with a
# failure within a few hundredths of a second (seen twice in many runs, both times with other
# programs of the run starting or changing the prefix beside it). Such a run tested nothing, so
# the program is started again, at most twice more, with a line that says so. A program that
# printed anything did run, and its output and status stand as they are; one that never prints
# fails all three times and is reported as before.
wine=$1
shift
log=$(mktemp) || exit 1
trap 'rm -f "$log"' EXIT
for attempt in 1 2 3; do
    # The output goes on to ctest as it comes (a program that hangs shows how far it got).
    "$wine" "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    if [ "$status" -eq 0 ] || [ -s "$log" ]; then
        exit "$status"
    fi
    echo "wine-test-run: $(basename "$1") printed nothing and ended with status $status" \
        "(start $attempt of 3)"
done
exit "$status"
