// Hilbert-envelope detector: the linked side chain of both channels goes into one interleaved
// line; each new sample yields the level of the sample 2L behind it,
//   q = sum_{i<L} h[i] * (x[c+2i+1] - x[c-2i-1]),  h[i] = 2 / ((2i+1) pi),
//   d = detectorScale * sqrt(q^2 + x[c]^2) + 0.005,
// with c the centre 2L samples behind the newest one, so that the whole window (c-2L+1 ..
// c+2L-1) lies in what has been written. The level is linear, 1.0 at the threshold.
//
// Threads: owned by SignalPath, audio thread only (setLength also from the constructor).
#pragma once

#include "grandpress/EngineSettings.h"

namespace grandpress {

// sqrt(s) in single precision as s * rsqrt(s): the bit-pattern estimate 0x5F3759DF - bits/2
// refined by two Newton steps r *= 1.5 - ((0.5 s) r) r. Never NaN for s >= 0: s = 0 gives 0.
float fastSquareRoot(float s) noexcept;

class Detector {
  public:
    static constexpr int kMaxLength = kLinkedLineLength / 4;  // the window needs 4L samples

    Detector() noexcept;
    // New length (clamped to 1..kMaxLength); clears the line.
    void setLength(int length) noexcept;
    void clear() noexcept;
    int length() const noexcept { return taps; }

    // n samples at the side-chain rate: pushes linkL/linkR, writes the levels to detL/detR.
    void process(const double* linkL, const double* linkR, int n, double detectorScale,
                 bool exactRoot, double* detL, double* detR) noexcept;

  private:
    static constexpr unsigned kMask = kLinkedLineLength - 1;
    // Pairs (left, right), each stored twice (at p and p + length) so every window is one
    // contiguous run: 2 * 4096 pairs.
    alignas(64) double line[2 * kLinkedLineLength * 2];
    alignas(64) double kernel[kMaxLength + 4];  // h[i], zero from L on
    unsigned position = kLinkedLineLength - 1;  // newest pair
    int taps = 1;
};

}  // namespace grandpress
