#!/usr/bin/env bash
# Proves that the plug-ins still sound as the reference does: renders every factory program of
# both plug-ins, plus grandpress's FAT, Smooth and FAT+Smooth routines, over the demo signal with
# this build and with a reference build, and compares them sample by sample.
#
#   tests/regression/run.sh BUILD [TOLERANCE] [--baseline]
#
# The reference is built once from reference-source.tar.xz (the product sources at the state the
# renders are held to) into BUILD-reference/ and its renders are kept there. TOLERANCE is the
# largest difference allowed per sample (default 0: bit-identical). Renders use a private, empty
# per-user store. --baseline renders this build on its plain x86-64 kernels instead of the fastest
# ones this processor runs. After an intended change of sound, update-reference.sh takes a new
# snapshot.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh BUILD [TOLERANCE]}" && pwd)
tolerance=${2:-0}
kernels=${3:-}
reference=${build}-reference
archive=$here/reference-source.tar.xz
stamp=$(sha256sum "$archive" | cut -c1-16)

store=$(mktemp -d "${TMPDIR:-/tmp}/qrx-regression-XXXXXX")
trap 'rm -rf "$store"' EXIT
export XDG_CONFIG_HOME=$store

# name|plug-in|settings
renders=()
for plugin in grandpress tinypress; do
    for program in $(seq 0 15); do renders+=("$plugin-$program|$plugin|--program $program"); done
done
renders+=("grandpress-fat|grandpress|--program 0 --set FAT=1")
renders+=("grandpress-smooth|grandpress|--program 0 --set Smooth=1")
renders+=("grandpress-fat-smooth|grandpress|--program 0 --set FAT=1 --set Smooth=1")

# render_all TOOLS_DIR PLUGIN_DIR OUT_DIR [RENDER_OPTION]
render_all() {
    local bin=$1 plugins=$2 out=$3 option=${4:-} entry name plugin settings
    mkdir -p "$out"
    for entry in "${renders[@]}"; do
        IFS='|' read -r name plugin settings <<<"$entry"
        # shellcheck disable=SC2086
        "$bin/qrx-render" --plugin "$plugins/$plugin.so" $settings $option --format float \
            "$reference/demo.wav" "$out/$name.wav" >/dev/null
    done
}

if [ ! -f "$reference/renders/$stamp.done" ]; then
    echo "regression: building the reference ($archive)"
    rm -rf "$reference"
    mkdir -p "$reference/src"
    tar -xJf "$archive" -C "$reference/src"
    # The optimisation of the build under test; no debug information (it changes no code, and
    # nobody debugs the reference).
    cmake -S "$reference/src" -B "$reference/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
        >/dev/null
    cmake --build "$reference/build" -j "$(nproc)" \
        --target grandpress tinypress qrx-render qrx-demo-signal >"$reference/build.log" 2>&1 ||
        { tail -n 40 "$reference/build.log"; exit 1; }
    "$reference/build/bin/qrx-demo-signal" "$reference/demo.wav" 8 >/dev/null
    render_all "$reference/build/bin" "$reference/build" "$reference/renders"
    rm -rf "$reference/src" "$reference/build"
    touch "$reference/renders/$stamp.done"
fi

echo "regression: ${#renders[@]} renders against the reference, tolerance $tolerance," \
    "${kernels:+baseline }kernels $("$build/bin/qrx-render" --plugin "$build/grandpress.so" \
    $kernels --program 0 "$reference/demo.wav" "$store/probe.wav" 2>/dev/null | sed -n 's/.*(\(.*\) kernels).*/\1/p')"
rm -rf "$build/regression-renders"
render_all "$build/bin" "$build" "$build/regression-renders" "$kernels"
failed=0
cd "$build/regression-renders"
for entry in "${renders[@]}"; do
    name=${entry%%|*}
    "$build/bin/render_compare" "$reference/renders/$name.wav" "$name.wav" "$tolerance" || failed=1
done
[ "$failed" = 0 ] && echo "regression: every render matches" || echo "regression: FAILED"
exit "$failed"
