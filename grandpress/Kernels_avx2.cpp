// The AVX2+FMA kernel table: built with -mavx2 -mfma (grandpress/CMakeLists.txt); four doubles
// per vector, the recursive stages on two-lane vectors with fused products where they ask.
#include "grandpress/DetectorKernels.h"
#include "grandpress/GainComputerKernels.h"
#include "grandpress/GainCurveKernels.h"
#include "grandpress/Kernels.h"
#include "grandpress/LimiterPassesImpl.h"
#include "grandpress/MeterKernelsImpl.h"
#include "grandpress/MixKernelsImpl.h"
#include "grandpress/SideChainKernels.h"

namespace grandpress {
namespace {

using Arch = xsimd::fma3<xsimd::avx2>;

constexpr Kernels kAvx2Kernels = {
    .limiter = limiterKernelsFor<Arch>(),
    .meters = meterKernelsFor<Arch>(),
    .mix = mixKernelsFor<Arch>(),
    .sideChain = sideChainKernelsFor<Arch>(),
    .gainCurve = gainCurveKernelsFor<Arch>(),
    .gainComputer = gainComputerKernelsFor<Arch>(),
    .detector = detectorKernelsFor<Arch>(),
};

}  // namespace

const Kernels& avx2Kernels() noexcept {
    return kAvx2Kernels;
}

}  // namespace grandpress
