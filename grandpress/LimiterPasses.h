// The limiter's passes over a chunk that run on vectors (everything but its level averages and
// envelope), built once for plain x86-64 and once for AVX2 (LimiterPasses_avx2.cpp); the limiter
// picks a table per block.
//
// Threads: audio thread. Pure functions over the arrays they are given; nothing allocates.
#pragma once

#include "dsp/BiquadDesign.h"
#include "dsp/InstructionSet.h"

namespace grandpress {

struct LimiterPasses {
    // peak[i]: the peak measure of frame i (left[i], right[i]), capped.
    void (*peaks)(const double* left, const double* right, int n, double* peak) noexcept;
    // Sliding maxima: run[0 .. span + n - 2] are peaks in line order (overwritten); m[i] becomes
    // the largest of run[i .. i + span - 1] plus the window offset, plus noise[i * noiseStep].
    void (*windowMaxima)(double* run, int span, int n, const double* noise, int noiseStep,
                         double* m) noexcept;
    // The fast and slow level averages of the window peaks m (a biquad each, `lanes` their
    // x1, x2, y1, y2 and noise offset, fast then slow).
    void (*levelAverages)(const double* m, int n, const qrx::dsp::BiquadCoefficients& fast,
                          const qrx::dsp::BiquadCoefficients& slow, double lanes[2][5],
                          double* fastLevel, double* slowLevel) noexcept;
    // The envelope's two steps for each frame, e' = e k + p: falling, k = 1 - f and p = m f with
    // f = release * (4 t / (t + 1) + 0.1), t = 0.2 fast / slow (slow at least 1e-6); rising,
    // p = m * attack (its k is the same for every frame).
    void (*envelopeSteps)(const double* fast, const double* slow, const double* m, int n,
                          double release, double attack, double* keepDown, double* pullDown,
                          double* pullUp) noexcept;
    // The envelope from e over n frames, rising where m[i] is above it (keepUp, pullUp[i]),
    // else falling (keepDown[i], pullDown[i]); g[i] its value after frame i, the last returned.
    double (*envelope)(double e, const double* m, const double* keepDown, const double* pullDown,
                       const double* pullUp, double keepUp, int n, double* g) noexcept;
    // g[i] = 1 / e[i] above 1, else 1 (in place).
    void (*gains)(double* g, int n) noexcept;
    // x[i] scaled by g[i] and the ceiling, held inside it.
    void (*scaleToCeiling)(double* x, const double* g, int n) noexcept;
};

extern const LimiterPasses kLimiterPassesBaseline;
extern const LimiterPasses kLimiterPassesAvx2;

inline const LimiterPasses& limiterPassesFor(qrx::dsp::InstructionSet set) noexcept {
    return set == qrx::dsp::InstructionSet::Avx2Fma ? kLimiterPassesAvx2 : kLimiterPassesBaseline;
}

}  // namespace grandpress
