// The bodies of the host-sample runs (InputStage.h), included by exactly one source file per
// instruction set. Everything here has internal linkage, so each build keeps its own code.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "dsp/InputStage.h"

namespace qrx::dsp {
namespace {

template <typename Sample>
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

void finiteFloats(const float* from, double* to, int n, double hold) noexcept {
    finiteRun(from, to, n, hold);
}
void finiteDoubles(const double* from, double* to, int n, double hold) noexcept {
    finiteRun(from, to, n, hold);
}
void toFloats(const double* from, float* to, int n) noexcept {
    for (int i = 0; i < n; ++i) to[i] = static_cast<float>(from[i]);
}

}  // namespace
}  // namespace qrx::dsp
