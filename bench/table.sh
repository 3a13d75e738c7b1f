#!/bin/sh
# The speed table: each setting of grandpress and tinypress, and ZamCompX2, as a ratio to the LSP
# stereo compressor in the same qrx-bench run (60 s stereo at 44.1 kHz, block 512, best of 3),
# with the instruction set each of our plug-ins ran, and the processor's sets.
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
echo "Each plug-in runs after the other on one core; other load on the machine shows in the figures."
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
