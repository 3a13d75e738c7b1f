#!/bin/bash
# wine-test-run.sh starts a program again only when it printed nothing and failed; whatever a
# program that printed says, and its status, stand. A stand-in for wine runs a script that counts
# its starts.
#   WineTestRunTest.sh <wine-test-run.sh>
run=$1
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
failures=0
cases=0

# program <name> <body>: a script whose start count is in <name>.starts; its body sees the count
# as $n.
program() {
    cat >"$dir/$1" <<SCRIPT
n=\$(( \$(cat "$dir/$1.starts" 2>/dev/null || echo 0) + 1 ))
echo "\$n" >"$dir/$1.starts"
$2
SCRIPT
}

# expect <name> <status> <starts> <text expected in the output, or "">
expect() {
    local output status starts
    cases=$((cases + 1))
    output=$(bash "$run" bash "$dir/$1")
    status=$?
    starts=$(cat "$dir/$1.starts")
    if [ "$status" -ne "$2" ] || [ "$starts" -ne "$3" ] ||
        { [ -n "$4" ] && ! grep -qF -- "$4" <<<"$output"; }; then
        echo "FAILED $1: status $status (expected $2), $starts starts (expected $3), output:"
        echo "$output"
        failures=$((failures + 1))
    fi
}

program silent-once 'if [ $n -eq 1 ]; then exit 5; fi; echo "[ PASSED ] 1 test."'
expect silent-once 0 2 "silent-once printed nothing and ended with status 5 (start 1 of 3)"

program fails-aloud 'echo "[ FAILED ] one case"; exit 3'
expect fails-aloud 3 1 "[ FAILED ] one case"

program never-starts 'exit 7'
expect never-starts 7 3 "(start 3 of 3)"

program quiet-pass 'exit 0'
expect quiet-pass 0 1 ""

program error-only 'echo "wine: cannot load" >&2; exit 1'
expect error-only 1 1 "wine: cannot load"

if [ "$failures" -ne 0 ]; then
    echo "$failures of $cases cases failed"
    exit 1
fi
echo "$cases cases passed"
