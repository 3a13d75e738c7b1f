// The power v^p of the compressors' static curves (p = 1 / ratio), from tables made for one p.
// v = 2^e m with m in [1, 2) near c = 1 + (j + 1/2) / 256 (j: the top eight bits of m's fraction),
// so v^p = 2^(p e) c^p (1 + t)^p with t = m / c - 1, |t| <= 2^-9, and (1 + t)^p is its binomial
// series to t^5 (what is left out stays below 1e-17 of it). Each table entry is rounded once, so
// the power lies within a few units of the last place of std::pow's (3.2 eps measured). 2^(p e) is
// held at 2^1020, near the end of the doubles: only expansion reaches it (p = 2 from v = 2^510 on).
// The vector kernels read the tables through PowerTablesImpl.h.
//
// Threads: the engines make the tables anew on the audio thread when the ratio changes (about
// 1,300 exp2 and pow calls, some 6 us; no allocation); their curve kernels read them.
#pragma once

#include <cstdint>
#include <limits>

namespace qrx::dsp {

struct PowerTables {
    static constexpr int kOctaves = 1024;  // e = 0 .. 1023: every v of at least 1
    static constexpr int kSteps = 256;

    struct alignas(16) Step {
        double power = 0.0;    // c^p
        double inverse = 0.0;  // 1 / c
    };

    double exponent = std::numeric_limits<double>::quiet_NaN();  // p, what the tables hold
    double binomial[5] = {};  // p (p - 1) ... (p - k + 1) / k! for k = 1 .. 5
    Step step[kSteps];
    // Last, so that a look-up past it would leave the object (the sanitizer build sees that).
    alignas(16) double octave[kOctaves] = {};  // 2^(p e)

    // Makes the tables for p unless they hold it already.
    void prepare(double p) noexcept {
        if (!(exponent == p)) design(p);
    }
    void design(double p) noexcept;

    // The entries of the bits of a v in [1, the largest double].
    static std::uint64_t octaveOf(std::uint64_t bits) noexcept { return (bits >> 52) - 1023; }
    static std::uint64_t stepOf(std::uint64_t bits) noexcept { return (bits >> 44) & 255; }
};

}  // namespace qrx::dsp
