// The limiter's passes over a chunk: the engine's kernel table (Kernels.h) holds one
// LimiterPasses per instruction set.
//
// Threads: audio thread. Pure functions over the arrays they are given; nothing allocates.
#pragma once

#include "dsp/BiquadDesign.h"

namespace grandpress {

// Positions of the limiter's lines (a power of two).
inline constexpr int kLimiterRing = 512;
// Most frames of one call of the window maxima and the envelope (the engine's chunk at the base
// rate). With the longest look-ahead (268 frames at 192 kHz) a call's frames are then all still
// in the lines when the envelope scales them.
inline constexpr int kLimiterCallFrames = 128;

// What the limiter's envelope needs of the settings.
struct LimiterLaw {
    qrx::dsp::BiquadCoefficients fast, slow;  // the level averages
    double release = 0.0, attack = 0.0;       // step coefficients
};

struct LimiterPasses {
    // peak[i]: the peak measure of frame i (left[i], right[i]), capped.
    void (*peaks)(const double* left, const double* right, int n, double* peak) noexcept;
    // Sliding maxima over the peak line `ring` (kLimiterRing positions): m[i] becomes the largest
    // of the `span` peaks from position first + i on, plus the window offset, plus
    // noise[i * noiseStep] (span + n - 1 at most kLimiterRing).
    void (*windowMaxima)(const double* ring, unsigned first, int span, int n, const double* noise,
                         int noiseStep, double* m) noexcept;
    // The envelope over the window peaks m of n frames from e, and the frames it scales: the
    // fast and slow level averages of m (a biquad each, `lanes` their x1, x2, y1, y2 and noise
    // offset, fast then slow); each frame's step e' = e k + p, rising where m[i] is above e
    // (k = 1 - attack, p = m attack), else falling (k = 1 - f, p = m f with
    // f = release * (4 t / (t + 1) + 0.1), t = 0.2 fast / slow, slow at least 1e-6); then the
    // frame at position first + i of the lines `left` and `right` (rings of kLimiterRing)
    // scaled by the gain 1 / e' (1 where e' is at most 1) and the ceiling, held inside the
    // ceiling. Returns e after the last frame.
    double (*envelope)(const double* m, int n, const LimiterLaw& law, double lanes[2][5], double e,
                       double* left, double* right, unsigned first) noexcept;
};

}  // namespace grandpress
