// The bodies of the host-sample runs (InputStage.h), included by exactly one source file per
// instruction set. Everything here has internal linkage, so each build keeps its own code.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "grandpress/InputStage.h"

namespace grandpress {
namespace {

template <typename Sample>
void finiteRun(const Sample* from, double* to, int n) noexcept {
    // Nearly always every sample is inside the limits: then the run is only converted. The test
    // is made on the host's type (1e6 is exact in float too) and is false for NaN.
    constexpr Sample kLimit = static_cast<Sample>(1e6);
    // (The flags are as wide as a sample and the test is a loop of its own, so that it runs on
    // vectors.)
    using Flags = std::conditional_t<sizeof(Sample) == 4, std::int32_t, std::int64_t>;
    Flags outside = 0;
    for (int i = 0; i < n; ++i) {
        const Sample x = from[i];
        outside |= static_cast<Flags>(!(x >= -kLimit)) | static_cast<Flags>(!(x <= kLimit));
    }
    if (outside == 0) {
        for (int i = 0; i < n; ++i) to[i] = static_cast<double>(from[i]);
        return;
    }
    constexpr double kHeld = 1e6;
    constexpr double kLargest = std::numeric_limits<double>::max();
    for (int i = 0; i < n; ++i) {
        const double x = static_cast<double>(from[i]);
        const double held = x < -kHeld ? -kHeld : (x > kHeld ? kHeld : x);
        to[i] = std::fabs(x) <= kLargest ? held : 0.0;  // false for NaN and infinities
    }
}

void finiteFloats(const float* from, double* to, int n) noexcept {
    finiteRun(from, to, n);
}
void finiteDoubles(const double* from, double* to, int n) noexcept {
    finiteRun(from, to, n);
}
void toFloats(const double* from, float* to, int n) noexcept {
    for (int i = 0; i < n; ++i) to[i] = static_cast<float>(from[i]);
}

}  // namespace
}  // namespace grandpress
