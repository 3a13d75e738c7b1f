// The host samples as they enter the engine, a run at a time: the rule of finiteInput (NaN and
// infinities become 0, finite values are held inside +-1e6) without branches, so that the loop
// runs on vectors.
//
// Threads: audio thread (the signal path's input stage). Pure.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace grandpress {

template <typename Sample>
inline void finiteInputs(const Sample* from, double* to, int n) noexcept {
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

}  // namespace grandpress
