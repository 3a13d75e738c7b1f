// Level detector of the side chain: the filtered side-chain rings and the two detector modes.
//
// "Smooth" measures the envelope of the analytic signal: a Hilbert transformer of N taps per side
// (h[i] = 2 / ((2i + 1) pi), one tap pair per millisecond) gives the quadrature part H of the
// filtered side chain q around a centre sample c, and the level is |q[c] + jH| scaled by
// 1.4142 * 0.582 * 1.005773063. "Draft" takes the signed centre sample times 0.83.
//
// The window is centred 2N samples behind the newest filtered value, so its newest tap (c + 2N - 1)
// reads a sample already written; the side-chain input is read N samples earlier than the main
// signal to keep the gain's timing (see SignalPath).
//
// Threads: owned by the SignalPath; audio thread only (or the constructor). Nothing allocates.
#pragma once

#include "dsp/Kernels.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/EngineSettings.h"

namespace tinypress {

// sqrt(s) in single precision as s / sqrt(s) with the bit-pattern estimate 0x5F3759DF - bits/2
// and two Newton steps g <- g (1.5 - ((0.5 s) g) g). The left-to-right order keeps every product
// finite: s = 0 gives 0 (not 0 * inf), and s is saturated at the largest float first, so no
// argument gives NaN or infinity.
float fastSquareRoot(float s) noexcept;

// 1.4142 * 0.582 * 1.005773063: turns the analytic magnitude into the detector level.
inline constexpr double kSmoothScale = 1.4142 * 0.582 * 1.005773063;
inline constexpr double kDraftScale = 0.83;

class Detector {
  public:
    Detector() noexcept;

    void clear() noexcept;

    // Writes one chunk of filtered side chain (n <= kChunk samples per channel, `channels` 1 or
    // 2) and computes the level of each sample with its window centred 2N samples behind it,
    // with the block's kernels (`kernels` for the draft levels, `dsp` for the Hilbert sums).
    void process(const ChunkKernels& kernels, const qrx::dsp::Kernels& dsp,
                 const double* const filtered[2], int channels, int n, int taps, bool smooth,
                 double* const level[2]) noexcept;

    // The filtered value written `samplesBack` samples before the newest one (0 = newest).
    double filteredAt(int channel, int samplesBack) const noexcept {
        return ring[channel][((write - samplesBack) & kRingMask) + kRingLength];
    }

  private:
    // Writes the chunk's filtered side chain into both copies of the rings.
    void store(const double* const filtered[2], int channels, int n) noexcept;

    // Each value is stored twice, at p and p + 1024, so any window ending at the newest sample
    // lies in one contiguous stretch of the upper copy and its lower neighbour. The slack after
    // the second copy is read (never used) by the last vector of a window.
    static constexpr int kSlack = 8;
    alignas(64) double ring[2][2 * kRingLength + kSlack];
    alignas(64) double kernel[qrx::dsp::hilbertKernelSize(kMaxHilbertLength)];
    int kernelTaps = 0;           // the taps `kernel` holds (fillHilbertKernel)
    int write = kRingLength - 1;  // position of the newest value
};

}  // namespace tinypress
