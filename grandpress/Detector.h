// Hilbert-envelope detector: the linked side chain of both channels goes into one interleaved
// line; each new sample yields the level of the sample 2L behind it,
//   q = sum_{i<L} h[i] * (x[c+2i+1] - x[c-2i-1]),  h[i] = 2 / ((2i+1) pi),
//   d = detectorScale * sqrt(q^2 + x[c]^2) + 0.005,
// with c the centre at least 2L samples behind the newest one, so that the whole window
// (c-2L+1 .. c+2L-1) lies in what has been written. The level is linear, 1.0 at the threshold.
//
// Threads: owned by SignalPath, audio thread only (setLength also from the constructor).
#pragma once

#include <cstdint>

#include "dsp/Kernels.h"
#include "grandpress/EngineSettings.h"

namespace grandpress {

// sqrt(s) in single precision as s * rsqrt(s): the bit-pattern estimate 0x5F3759DF - bits/2
// refined by two Newton steps r *= 1.5 - ((0.5 s) r) r. Never NaN for s >= 0: s = 0 gives 0.
float fastSquareRoot(float s) noexcept;

// The detector's floor, about -46 dB below the threshold.
inline constexpr double kDetectorFloor = 0.005;

// The detector's entry in the engine's kernel table (DetectorKernels.h): the levels of n <= 128
// frames of both channels from their Hilbert sums q and centre samples (each readable up to the
// next multiple of 4), the root exact or fastSquareRoot.
struct DetectorKernels {
    void (*levels)(const double* const q[2], const double* const centre[2], int n,
                   double detectorScale, bool exactRoot, double* const det[2]) noexcept;
};

// The reference the kernels are held to (they give the same bits): frame by frame,
// detectorScale * sqrt(q^2 + c^2) + kDetectorFloor.
void referenceDetectorLevels(const double* const q[2], const double* const centre[2], int n,
                             double detectorScale, bool exactRoot, double* const det[2]) noexcept;

class Detector {
  public:
    static constexpr int kMaxLength = kLinkedLineLength / 4;  // the window needs 4L samples

    Detector() noexcept;
    // New length L (clamped to 1..kMaxLength) and centre (samples behind the newest one, at
    // least 2L, at most 4096 - 2L); clears the line.
    void setLength(int length, int centre) noexcept;
    void clear() noexcept;
    int length() const noexcept { return taps; }
    int centre() const noexcept { return centreDelay; }

    // n samples (n <= 128) at the side-chain rate: appends linkL/linkR, writes the levels to
    // detL/detR, with the levels of `kernels` and the Hilbert sums of `dsp` (the block's tables).
    void process(const DetectorKernels& kernels, const qrx::dsp::Kernels& dsp, const double* linkL,
                 const double* linkR, int n, double detectorScale, bool exactRoot, double* detL,
                 double* detR) noexcept;

  private:
    // Each channel's line is linear: samples are appended at `position`; when the end is near,
    // the history (the centre delay and 2L samples) moves to the front, keeping each sample's
    // index modulo 8. Every window is thus one contiguous run and no read ever reaches unrelated
    // data. The slack after the end absorbs the reads of the padded outputs of the last vector
    // block (their results are dropped).
    static constexpr int kLineSize = 2 * kLinkedLineLength;
    static constexpr int kSlack = 64;
    alignas(64) double line[2][kLineSize + kSlack];
    alignas(64) double kernel[qrx::dsp::hilbertKernelSize(kMaxLength)];  // fillHilbertKernel
    alignas(64) double q[2][128 + 16];  // Hilbert sums of the chunk
    // What the Hilbert sums carry from chunk to chunk, and the index of the chunk's first output
    // since the line was cleared.
    qrx::dsp::HilbertHistory hilbertHistory[2];
    std::int64_t produced = 0;
    int position = 0;  // next write index, >= centre + 2L
    int taps = 1;
    int centreDelay = 2;
};

}  // namespace grandpress
