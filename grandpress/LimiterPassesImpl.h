// The bodies of the limiter's passes that both builds share (LimiterPasses.h), included by
// exactly one source file per instruction set. Everything here has internal linkage, so each build
// keeps its own code (nothing is shared with, or merged into, the other instruction set's build).
#pragma once

#include <immintrin.h>

#include <cmath>

#include "dsp/BiquadDesign.h"
#include "grandpress/LimiterPasses.h"

namespace grandpress {
namespace {

constexpr double kPassPeakScale = 1.005773063;  // inter-sample peak allowance
constexpr double kPassPeakOffset = 0.011;
constexpr double kPassWindowOffset = 0.0009766;
// Highest peak the limiter follows (+60 dBFS). Above it the output is held at the ceiling by the
// clamp alone; without the cap an absurd input (1e38) lifts the envelope so far that its
// exponential release needs seconds of clean signal to come back down.
constexpr double kPassMaxPeak = 1000.0;
constexpr double kPassCeiling = 0.999;

inline double larger(double a, double b) noexcept {
    return a > b ? a : b;
}
inline double smaller(double a, double b) noexcept {
    return a < b ? a : b;
}

// Both level averages (fast, slow) in one pair of lanes: the same sums as one filter after the
// other. The slow average's poles sit so close to 1 that any other order of the sums would grow
// a thousandfold through its recursion, so both builds take this one.
typedef double LanePair __attribute__((vector_size(16)));

struct LevelLanes {
    LanePair b0, b1, b2, a1, a2;
    LanePair x1, x2, y1, y2;
    LanePair offset;  // the noise offset of the next frame's memories

    // From the law and the carried lanes (x1, x2, y1, y2, offset; fast then slow).
    LevelLanes(const LimiterLaw& law, const double lanes[2][5]) noexcept
        : b0{law.fast.b0, law.slow.b0},
          b1{law.fast.b1, law.slow.b1},
          b2{law.fast.b2, law.slow.b2},
          a1{law.fast.a1, law.slow.a1},
          a2{law.fast.a2, law.slow.a2},
          x1{lanes[0][0], lanes[1][0]},
          x2{lanes[0][1], lanes[1][1]},
          y1{lanes[0][2], lanes[1][2]},
          y2{lanes[0][3], lanes[1][3]},
          offset{lanes[0][4], lanes[1][4]} {}

    void store(double lanes[2][5]) const noexcept {
        for (int k = 0; k < 2; ++k) {
            lanes[k][0] = x1[k];
            lanes[k][1] = x2[k];
            lanes[k][2] = y1[k];
            lanes[k][3] = y2[k];
            lanes[k][4] = offset[k];
        }
    }

    // One frame of both filters on the peak mp, with the noise offset before and after its flip.
    [[gnu::always_inline]] inline LanePair step(double mp, LanePair before,
                                                LanePair after) noexcept {
        const LanePair x = mp + after;
        const LanePair y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y + before;
        return y;
    }
};

void peaksPass(const double* left, const double* right, int n, double* peak) noexcept {
    for (int i = 0; i < n; ++i)
        peak[i] = smaller(larger(std::fabs(left[i] * kPassPeakScale) + kPassPeakOffset,
                                 std::fabs(right[i] * kPassPeakScale) + kPassPeakOffset),
                          kPassMaxPeak);
}

[[gnu::always_inline]] inline double largestOfFour(const double* x) noexcept {
    return larger(larger(x[0], x[1]), larger(x[2], x[3]));
}

// Without branches: maxima over 4, 16, 64, ... peaks (each pass takes four runs of the pass
// before; the first one straight from the line, the later ones in place), then over twice as
// many where that still fits the window, then each window as the larger of two overlapping
// runs. After the first pass every pass reads whole vectors the pass before it stored.
void windowMaximaPass(const double* ring, unsigned first, int span, int n, const double* noise,
                      int noiseStep, double* m) noexcept {
    constexpr unsigned kMask = kLimiterRing - 1;
    const int runLength = span + n - 1;
    alignas(64) double run[kLimiterRing];
    int width = 1;
    if (span >= 4) {
        const int count = runLength - 3;
        const int at = static_cast<int>(first & kMask);
        // Runs of four that lie before the line's end, those that wrap, those after it.
        const int before = kLimiterRing - 3 - at < count ? kLimiterRing - 3 - at : count;
        const int wrapping = kLimiterRing - at < count ? kLimiterRing - at : count;
        int j = 0;
        for (const double* from = ring + at; j < before; ++j) run[j] = largestOfFour(from + j);
        for (; j < wrapping; ++j) {
            const unsigned p = static_cast<unsigned>(at + j);
            run[j] = larger(larger(ring[p & kMask], ring[(p + 1) & kMask]),
                            larger(ring[(p + 2) & kMask], ring[(p + 3) & kMask]));
        }
        if (j < count) {
            const double* from = ring + (at + j - kLimiterRing);
            for (int k = 0; k < count - j; ++k) run[j + k] = largestOfFour(from + k);
        }
        width = 4;
    } else {
        for (int j = 0; j < runLength; ++j)
            run[j] = ring[(first + static_cast<unsigned>(j)) & kMask];
    }
    for (; 4 * width <= span; width *= 4) {
        const int count = runLength - 4 * width + 1;
        const double* second = run + width;
        const double* third = run + 2 * width;
        const double* fourth = run + 3 * width;
        for (int j = 0; j < count; ++j)
            run[j] = larger(larger(run[j], second[j]), larger(third[j], fourth[j]));
    }
    if (2 * width <= span) {
        const int count = runLength - 2 * width + 1;
        const double* ahead = run + width;
        for (int j = 0; j < count; ++j) run[j] = larger(run[j], ahead[j]);
        width *= 2;
    }
    const double* late = run + span - width;
    if (noiseStep == 1)  // (a constant step keeps the loop on vectors)
        for (int i = 0; i < n; ++i) m[i] = larger(run[i], late[i]) + kPassWindowOffset + noise[i];
    else
        for (int i = 0; i < n; ++i)
            m[i] = larger(run[i], late[i]) + kPassWindowOffset + noise[i * noiseStep];
}

}  // namespace
}  // namespace grandpress
