// The AVX2 chunk kernels: compiled with -mavx2 -mfma; the recursive stages run the two channels
// in 128-bit vectors (shelves and smoothers two recursions per 256-bit vector), the others four
// doubles at a time.
#include <xsimd/xsimd.hpp>

#include "tinypress/ChunkKernelsImpl.h"

namespace tinypress {

const ChunkKernels& avx2ChunkKernels() noexcept {
    return Kernels<xsimd::sse4_2, xsimd::fma3<xsimd::avx2>>::table;
}

}  // namespace tinypress
