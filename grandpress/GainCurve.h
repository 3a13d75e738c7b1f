// The static curve of the gain computer over a whole chunk: envelope levels -> gain factors
// out(level) / (level + 1e-6), hard or soft knee. The curve is feed-forward, so it runs after the
// serial envelope loop, on the vectors of the block's kernel table (GainCurveKernels.h).
//
// Threads: pure functions, audio thread.
#pragma once

#include <cstdint>
#include <limits>

namespace grandpress {

struct EngineSettings;

// The curve's power level^inverseRatio, from tables: level = 2^e m with m in [1, 2) near
// c = 1 + (j + 1/2) / 256 (j: the top eight bits of m's fraction), so
// level^r = 2^(r e) c^r (1 + t)^r with t = m / c - 1, |t| <= 2^-9, and (1 + t)^r its binomial
// series to t^5 (what is left out stays below 1e-17). Each table entry is rounded once, so the
// power is within a few units of the last place of std::pow's. 2^(r e) is held at 2^1020 where
// it would leave the doubles (expansion of levels above 2^510).
//
// Threads: the audio thread makes the tables anew when the ratio changes (about 1,300 exp2 and
// pow calls, some 6 us; no allocation); the kernels read them.
struct CurvePowers {
    static constexpr int kOctaves = 1024;  // e = 0 .. 1023: every level of at least 1
    static constexpr int kSteps = 256;

    struct alignas(16) Step {
        double power = 0.0;    // c^r
        double inverse = 0.0;  // 1 / c
    };

    double inverseRatio = std::numeric_limits<double>::quiet_NaN();  // what the tables hold
    double binomial[5] = {};  // r (r - 1) ... (r - k + 1) / k! for k = 1 .. 5
    Step step[kSteps];
    // Last, so that a look-up past it would leave the object (the sanitizer build sees that).
    alignas(16) double octave[kOctaves] = {};  // 2^(r e)

    void design(double inverseRatio) noexcept;

    // The entries for the bits of a level in [1, the largest double].
    static std::uint64_t octaveOf(std::uint64_t bits) noexcept { return (bits >> 52) - 1023; }
    static std::uint64_t stepOf(std::uint64_t bits) noexcept { return (bits >> 44) & 255; }
};

// What the curve needs of the settings, as plain values (the kernels see nothing else).
struct CurveShape {
    const CurvePowers* powers = nullptr;  // made for the settings' inverseRatio
    bool soft = false;
    // Soft knee: the Catmull-Rom segment between levels 0.5 and 1.5 as c0 + c1 t + c2 t^2 + c3 t^3,
    // t = level - 0.5.
    double c0 = 0.0, c1 = 0.0, c2 = 0.0, c3 = 0.0;
};

CurveShape curveShapeOf(const EngineSettings& s) noexcept;

// The curve's entry in the engine's kernel table (Kernels.h): gain[k] for level[0 .. n).
struct GainCurveKernels {
    void (*gains)(const CurveShape& shape, const double* level, int n, double* gain) noexcept;
};

// gain[k] for level[0 .. n) with the kernels of the block's table (within a few units of the
// last place of the reference's); `powers` is made anew first if the ratio changed.
void curveGains(const GainCurveKernels& kernels, const EngineSettings& s, CurvePowers& powers,
                const double* level, int n, double* gain) noexcept;

// The reference the kernels are held to: GainComputer::gainOf frame by frame.
void referenceCurveGains(const EngineSettings& s, const double* level, int n,
                         double* gain) noexcept;

}  // namespace grandpress
