#!/bin/sh
# Builds the fuzz targets (build-fuzz: clang, AddressSanitizer + UBSan, libFuzzer; configured once)
# and runs each for a bounded time over a temporary copy of its seed corpus plus its kept
# crashers, so the committed corpus does not grow on every run. Prints the executions per target
# and exits non-zero when any target finds a crash, a leak or a broken check.
#
#   tests/fuzz/run.sh [target...]      targets: chunk image file store typed_number wrapper_state
#                                               process
#   FUZZ_SECONDS=20   time per target     FUZZ_BUILD=build-fuzz   build folder
#   JOBS=2            targets run at once (each single-threaded)
#
# Needs the Debian packages clang and libclang-rt-14-dev (the libFuzzer and sanitizer runtimes).
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-20}
jobs=${JOBS:-2}
targets=${*:-chunk image file store typed_number wrapper_state process}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz: clang++ not found (Debian packages: clang libclang-rt-14-dev)" >&2
    exit 1
fi

# The same reports-are-failures settings as the sanitizer test run; fontconfig's caches, kept
# until exit by design, are suppressed (the skin generator runs during the build).
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$root/tests/sanitizers/ubsan.supp"
export ASAN_OPTIONS="detect_stack_use_after_return=1:strict_string_checks=1"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DQRX_FUZZ=ON -DQRX_SANITIZE=address,undefined \
        -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
fi
build_targets=""
for t in $targets; do build_targets="$build_targets fuzz_$t"; done
build_log=$(mktemp "${TMPDIR:-/tmp}/qrx-fuzz-build-XXXXXX")
# shellcheck disable=SC2086
if ! cmake --build "$build" -j2 --target $build_targets >"$build_log" 2>&1; then
    tail -n 60 "$build_log"
    rm -f "$build_log"
    echo "fuzz: build failed" >&2
    exit 1
fi
rm -f "$build_log"

work=$(mktemp -d "${TMPDIR:-/tmp}/qrx-fuzz-run-XXXXXX")
# The targets' private user stores and scratch files: memory-backed where there is room.
scratch=$(mktemp -d /dev/shm/qrx-fuzz-run-XXXXXX 2>/dev/null || mktemp -d "$work/scratch-XXXXXX")
trap 'rm -rf "$work" "$scratch"' EXIT INT TERM
export QRX_FUZZ_SCRATCH="$scratch"

# fuzz_one TARGET: one bounded run; its report goes to $work/TARGET/report, and the file
# $work/TARGET/failed exists when it failed.
fuzz_one() {
    t=$1
    corpus="$work/$t/corpus"
    mkdir -p "$corpus"
    if [ -d "$root/tests/fuzz/corpus/$t" ]; then cp "$root/tests/fuzz/corpus/$t/"* "$corpus/" 2>/dev/null || true; fi
    crashers=""
    if [ -d "$root/tests/fuzz/crashers/$t" ] && [ -n "$(ls -A "$root/tests/fuzz/crashers/$t")" ]; then
        crashers="$root/tests/fuzz/crashers/$t"
    fi
    log="$work/$t/log"
    status=0
    # shellcheck disable=SC2086
    "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=8192 -print_final_stats=1 -artifact_prefix="$work/$t/" \
        "$corpus" $crashers >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    {
        # A target's loud notices (such as a processor without the fast kernels) reach the output.
        grep '^\*\*\* fuzz' "$log" || true
        if [ "$status" -ne 0 ]; then
            echo "fuzz $t: FAILED after ${runs:-?} executions (exit $status)"
            grep -v '^#\|^INFO\|^stat::' "$log" | tail -n 40
            for a in "$work/$t/"crash-* "$work/$t/"leak-* "$work/$t/"timeout-* "$work/$t/"oom-*; do
                [ -f "$a" ] || continue
                keep="$root/tests/fuzz/crashers/$t"
                mkdir -p "$keep"
                cp "$a" "$keep/"
                echo "fuzz $t: input kept as tests/fuzz/crashers/$t/$(basename "$a")"
            done
            touch "$work/$t/failed"
        else
            rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
            echo "fuzz $t: ${runs:-?} executions (${rate:-?}/s), no failure"
        fi
    } >"$work/$t/report"
}

# Each target runs single-threaded: $jobs of them at once, each still for its full time.
running=0
for t in $targets; do
    mkdir -p "$work/$t"
    fuzz_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait
        running=0
    fi
done
wait

failed=""
for t in $targets; do
    cat "$work/$t/report"
    if [ -f "$work/$t/failed" ]; then failed="$failed $t"; fi
done

if [ -n "$failed" ]; then
    echo "fuzz: failures in:$failed"
    exit 1
fi
