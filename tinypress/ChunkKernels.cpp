// The baseline chunk kernels: plain x86-64, two doubles per vector. Also picks the set per block.
#include <xsimd/xsimd.hpp>

#include "tinypress/ChunkKernelsImpl.h"

namespace tinypress {

const ChunkKernels& baselineChunkKernels() noexcept {
    return Kernels<xsimd::sse2, xsimd::sse2>::table;
}

const ChunkKernels& kernelsFor(qrx::dsp::InstructionSet set) noexcept {
    // The effect only asks for a set the processor runs; the check keeps a stray request safe.
    if (set == qrx::dsp::InstructionSet::Avx2Fma &&
        qrx::dsp::bestInstructionSet() == qrx::dsp::InstructionSet::Avx2Fma)
        return avx2ChunkKernels();
    return baselineChunkKernels();
}

}  // namespace tinypress
