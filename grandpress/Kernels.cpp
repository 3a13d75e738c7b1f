// The plain x86-64 kernel table (SSE2, two doubles per vector), and the choice of a table.
#include "grandpress/Kernels.h"

#include "grandpress/DetectorKernels.h"
#include "grandpress/GainComputerKernels.h"
#include "grandpress/GainCurveKernels.h"
#include "grandpress/LimiterPassesImpl.h"
#include "grandpress/MeterKernelsImpl.h"
#include "grandpress/MixKernelsImpl.h"
#include "grandpress/SideChainKernels.h"

namespace grandpress {
namespace {

using Arch = xsimd::sse2;

constexpr Kernels kBaselineKernels = {
    .limiter = limiterKernelsFor<Arch>(),
    .meters = meterKernelsFor<Arch>(),
    .mix = mixKernelsFor<Arch>(),
    .sideChain = sideChainKernelsFor<Arch>(),
    .gainCurve = gainCurveKernelsFor<Arch>(),
    .gainComputer = gainComputerKernelsFor<Arch>(),
    .detector = detectorKernelsFor<Arch>(),
};

}  // namespace

const Kernels& kernelsFor(qrx::dsp::InstructionSet set) noexcept {
    // The effect only asks for a set the processor runs; the check keeps a stray request safe.
    if (set == qrx::dsp::InstructionSet::Avx2Fma &&
        qrx::dsp::bestInstructionSet() == qrx::dsp::InstructionSet::Avx2Fma)
        return avx2Kernels();
    return kBaselineKernels;
}

}  // namespace grandpress
