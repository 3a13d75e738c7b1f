// The engine's kernel table of one xsimd architecture, composed from each stage's templates.
// Included only by Kernels.cpp (xsimd::sse2) and Kernels_avx2.cpp (xsimd::fma3<xsimd::avx2>).
#pragma once

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

template <class Arch>
constexpr Kernels kernelsOf() noexcept {
    return {
        .limiter = limiterKernelsFor<Arch>(),
        .meters = meterKernelsFor<Arch>(),
        .mix = mixKernelsFor<Arch>(),
        .sideChain = sideChainKernelsFor<Arch>(),
        .gainCurve = gainCurveKernelsFor<Arch>(),
        .gainComputer = gainComputerKernelsFor<Arch>(),
        .detector = detectorKernelsFor<Arch>(),
    };
}

}  // namespace
}  // namespace grandpress
