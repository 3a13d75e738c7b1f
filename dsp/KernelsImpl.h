// The dsp kernel table of one xsimd architecture, composed from each kernel's template. Included
// only by Kernels.cpp (xsimd::sse2) and Kernels_avx2.cpp (xsimd::fma3<xsimd::avx2>).
#pragma once

#include <xsimd/xsimd.hpp>

#include "dsp/HalfBandResamplerKernel.h"
#include "dsp/HilbertKernelImpl.h"
#include "dsp/InputStageImpl.h"
#include "dsp/Kernels.h"
#include "dsp/NoiseKernelImpl.h"

namespace qrx::dsp {
namespace {

template <class Arch>
constexpr Kernels kernelsOf() noexcept {
    return {hilbertSums<Arch>, noiseKernelsFor<Arch>(), halfband::phaseKernelsFor<Arch>(),
            hostSampleKernelsFor<Arch>()};
}

}  // namespace
}  // namespace qrx::dsp
