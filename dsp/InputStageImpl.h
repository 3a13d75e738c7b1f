// The host-sample runs (InputStage.h) as templates on the xsimd architecture, for the dsp kernel
// table (KernelsImpl.h). Everything here has internal linkage (an unnamed namespace), so each
// build keeps its own code. The loops are plain: they are simple enough that the compiler
// vectorises them for the build's instruction set (Kernels.cpp and Kernels_avx2.cpp are built
// with full optimisation), which xsimd cannot do better here (float-to-double widening).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "dsp/InputStage.h"

namespace qrx::dsp {
namespace {

template <class Arch, typename Sample>
void finiteRun(const Sample* __restrict from, double* __restrict to, int n, double hold) noexcept {
    // Nearly always every sample is inside the bound: then the run is only converted, in the
    // same pass as the test. The test is made on the host's type (the bounds are exact in float
    // too) and is false for NaN. (The flags are as wide as a sample, so that the loop runs on
    // vectors.)
    const Sample limit = static_cast<Sample>(hold);
    using Flags = std::conditional_t<sizeof(Sample) == 4, std::int32_t, std::int64_t>;
    Flags outside = 0;
    for (int i = 0; i < n; ++i) {
        const Sample x = from[i];
        outside |= static_cast<Flags>(!(x >= -limit)) | static_cast<Flags>(!(x <= limit));
        to[i] = static_cast<double>(x);
    }
    if (outside == 0) return;
    // Otherwise the run again, held (`from` is still as it was: the host's buffers are not the
    // engine's).
    constexpr double kLargest = std::numeric_limits<double>::max();
    for (int i = 0; i < n; ++i) {
        const double x = static_cast<double>(from[i]);
        const double held = x < -hold ? -hold : (x > hold ? hold : x);
        to[i] = std::fabs(x) <= kLargest ? held : 0.0;  // false for NaN and infinities
    }
}

template <class Arch>
void finiteFloats(const float* from, double* to, int n, double hold) noexcept {
    finiteRun<Arch>(from, to, n, hold);
}
template <class Arch>
void finiteDoubles(const double* from, double* to, int n, double hold) noexcept {
    finiteRun<Arch>(from, to, n, hold);
}
template <class Arch>
void toFloats(const double* from, float* to, int n) noexcept {
    for (int i = 0; i < n; ++i) to[i] = static_cast<float>(from[i]);
}

template <class Arch>
constexpr HostSampleKernels hostSampleKernelsFor() noexcept {
    return {finiteFloats<Arch>, finiteDoubles<Arch>, toFloats<Arch>};
}

}  // namespace
}  // namespace qrx::dsp
