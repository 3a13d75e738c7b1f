#!/bin/sh
# The speed table: each setting of grandpress and tinypress, and ZamCompX2, as a ratio to the LSP
# stereo compressor in the same qrx-bench run (60 s stereo at 44.1 kHz, block 512, best of 3
# passes, the plug-ins taking turns pass by pass),
# with the instruction set each of our plug-ins ran, and the processor's sets. Then the LV2 row:
# lv2bench times both LV2 bundles of the build beside LSP's LV2 stereo compressor.
#   bench/table.sh [build-dir]     (SECONDS_OF_AUDIO and PASSES override 60 and 3)
set -e
build=${1:-build}
lsp=${LSP_COMPRESSOR:-$(ls /usr/lib/vst/lsp-plugins/compressor-stereo.so \
  /usr/lib/lxvst/lsp-plugins/compressor-stereo.so /usr/lib/vst/lsp-plugins-compressor-stereo.so \
  2>/dev/null | head -n 1)}
zam=${ZAM_COMPRESSOR:-/usr/lib/vst/ZamCompX2-vst.so}
if [ -z "$lsp" ]; then
  echo "bench: LSP's stereo compressor (lsp-plugins-vst) is not installed" >&2
  exit 2
fi

compressing=6=0.7,5=0.8
echo "The plug-ins take turns on one core, pass by pass; other load on the machine shows in the figures."
"$build/bin/qrx-bench" --table ${BASELINE:+--baseline} --seconds "${SECONDS_OF_AUDIO:-60}" --repeat "${PASSES:-3}" \
  --label "LSP compressor stereo" "$lsp" \
  --label "ZamCompX2" "$zam" \
  --label 'grandpress "Default"' "$build/grandpress.so" \
  --label "grandpress compressing (6=0.7, 5=0.8)" "$build/grandpress.so,$compressing" \
  --label "grandpress limiter at 64:1 (4=1, 6=1, 5=0.8)" "$build/grandpress.so,4=1,6=1,5=0.8" \
  --label "grandpress FAT (1=1)" "$build/grandpress.so,1=1" \
  --label 'tinypress "Default"' "$build/tinypress.so" \
  --label "tinypress compressing (6=0.7, 5=0.8)" "$build/tinypress.so,$compressing"

# The "kernels" column says which instruction set each of our plug-ins ran (the best this
# processor has; BASELINE=1 makes them run their plain x86-64 kernels instead).
cpu_sets=$(grep -m 1 '^flags' /proc/cpuinfo | tr ' ' '\n' | grep -x -E 'sse4_2|avx|avx2|fma|avx512f' |
  tr '\n' ' ')
echo
echo "Processor: ${cpu_sets:-no SSE4.2/AVX}"

# LV2: lv2bench runs each plug-in with its default port values over the same frames in the same
# block length; best of PASSES, as a realtime factor and as a ratio to LSP's LV2 compressor.
lsp_lv2=http://lsp-plug.in/plugins/lv2/compressor_stereo
if ! command -v lv2bench >/dev/null || [ ! -d /usr/lib/lv2/lsp-plugins.lv2 ]; then
  echo; echo "LV2: lv2bench (lilv-utils) or LSP's LV2 plug-ins (lsp-plugins-lv2) missing"; exit 0
fi
seconds=${SECONDS_OF_AUDIO:-60}
frames=$((seconds * 44100))
bundles=$(cd "$build/lv2" && pwd)  # lilv takes absolute folders only
best_time() {
  best=
  for pass in $(seq "${PASSES:-3}"); do
    t=$(LV2_PATH="$bundles:/usr/lib/lv2" lv2bench -b 512 -n "$frames" "$1" 2>/dev/null |
      awk -v uri="$1" '$2 == uri { print $1 }')
    [ -n "$t" ] || { echo "lv2bench could not run $1" >&2; return 1; }
    best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
  echo "$best"
}
lsp_time=$(best_time "$lsp_lv2") || exit 1
echo
echo "LV2 (lv2bench, ${seconds} s stereo at 44.1 kHz, block 512, default port values, best of ${PASSES:-3}):"
printf '%-34s %10s %12s %12s\n' "plug-in" "seconds" "x realtime" "LSP / this"
for row in "LSP compressor stereo (LV2)|$lsp_lv2" \
           "grandpress (LV2)|http://www.qrx-soundwerk.com/lv2/grandpress" \
           "tinypress (LV2)|http://www.qrx-soundwerk.com/lv2/tinypress"; do
  label=${row%%|*} uri=${row#*|}
  t=$([ "$uri" = "$lsp_lv2" ] && echo "$lsp_time" || best_time "$uri") || exit 1
  awk -v l="$label" -v t="$t" -v s="$seconds" -v lsp="$lsp_time" \
    'BEGIN { printf "%-34s %10.3f %12.1f %12.2f\n", l, t, s / t, lsp / t }'
done
