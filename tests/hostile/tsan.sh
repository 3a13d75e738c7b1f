#!/bin/sh
# Builds the concurrency program and the libraries it loads in a ThreadSanitizer build folder and
# runs it: audio, automation and editor threads on grandpress, tinypress and the adaptor. Any
# data race ends the run with a report and a non-zero exit.
#
#   tests/hostile/tsan.sh [least seconds per effect, default 4]
# Environment: TSAN_BUILD (default <repo>/build-tsan), JOBS (default 2).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${TSAN_BUILD:-$root/build-tsan}
seconds=${1:-4}
jobs=${JOBS:-2}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRX_SANITIZE=thread >/dev/null
fi
cmake --build "$build" -j "$jobs" --target hostile_concurrency grandpress tinypress wrapper Motor

config=$(mktemp -d /tmp/qrx-tsan-XXXXXX)
trap 'rm -rf "$config"' EXIT
export XDG_CONFIG_HOME="$config"
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$root/tests/sanitizers/tsan.supp ${TSAN_OPTIONS:-}"

# The editors open inside a real window when an X server can be had; otherwise offscreen.
run="$build/bin/hostile_concurrency"
if command -v xvfb-run >/dev/null 2>&1; then
  exec timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" "$run" "$seconds"
fi
exec timeout 600 "$run" "$seconds"
