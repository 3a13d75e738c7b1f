// The baseline table: the kernel templates instantiated for SSE2 (the x86-64 baseline), with the
// library's normal flags.
#include "grandpress/Kernels.h"

#include "grandpress/DetectorKernels.h"
#include "grandpress/GainComputerKernels.h"
#include "grandpress/GainCurveKernels.h"
#include "grandpress/SideChainKernels.h"

namespace grandpress {

namespace {

constexpr Kernels kBaseline = {
    // The compressor's stages.
    sideChainKernelsFor<xsimd::sse2>(),
    gainCurveKernelsFor<xsimd::sse2>(),
    gainComputerKernelsFor<xsimd::sse2>(),
    detectorKernelsFor<xsimd::sse2>(),
};

}  // namespace

const Kernels& kernelsFor(qrx::dsp::InstructionSet set) noexcept {
    if (set == qrx::dsp::InstructionSet::Avx2Fma &&
        qrx::dsp::bestInstructionSet() == qrx::dsp::InstructionSet::Avx2Fma)
        return avx2Kernels();
    return kBaseline;
}

}  // namespace grandpress
