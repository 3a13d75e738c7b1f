#pragma once
// Half-band 2x resampler for the oversampled ("FAT") signal path, plus delay-only stages with
// which the normal path is run at the base rate.
//
// Kernels (255 taps, index i = -127..127, computed once in double precision):
//   s(0) = 0.5, s(i) = sin(i*pi/2) / (256 * sin(i*pi/255))
//   up:   u(i) = 2 * s(i) * Blackman(i),  u(0) = 1
//   down: d(i) =     s(i) * Hann(i),      d(0) = 0.5
// Every even tap other than the centre is zero: an interpolated output is a sum over the 128
// past samples with the odd taps (64 symmetric pairs), the other output a single centre tap.
// Taps below 1e-16 are zero and the others rounded to multiples of 2^-53 (HalfBandResampler.cpp).
//
// Delays: upsample() delays by 64.5 input samples (129 output samples), downsample() by 129 input
// samples (64.5 output samples); downsample(upsample(x)) is x delayed by exactly 129 base-rate
// samples. delayUp()/delayDown() delay by exactly 64 samples each (128 for the pair). The figure
// announced to the host is kLatencyFigure, whatever the mode; aligning the mode-dependent delay is
// up to the engine.
//
// The tap sums run on the phase kernels the caller passes (the dsp kernel table's `halfBand`,
// picked once per block); both sets give the same result up to rounding (a few 1e-16).
//
// Threading: one instance per stream, used only by the processing thread; reset() from the same
// thread or while processing is stopped. Process functions allocate nothing.

#include <array>
#include <cstdint>

#include "dsp/FastFirHistory.h"

namespace qrx::dsp {

namespace halfband {

// Taps per output of the interpolated phase: the odd taps of the 255-tap kernel, both sides.
inline constexpr int kPhaseTaps = 128;

// The baseline's fast FIR (HalfBandFastFir.h) takes a phase as nine 32-tap sub-filters. With
// a[t] = taps[2t] and b[t] = taps[2t + 1] (t < 64), five sets describe them all: the even and odd
// taps of a and their sum (ae, ao, asum), the even taps of s = a + b (se; its odd taps are se
// reversed) and the first half of the even plus the odd taps of s (ssum, symmetric). Each tap is
// written twice, for both lanes of a two-double vector.
struct SplitTaps {
    alignas(16) double ae[64], ao[64], asum[64], se[64], ssum[32];
};

// Taps of each of the fast FIR's sub-filters.
inline constexpr int kFastFirLeaf = 32;

// What the baseline's fast FIR carries over a pair's calls (FastFirHistory.h): nine kinds of
// stream rows, up to 96 rows of each (the sub-filters' 32 and runs of new rows after them); a
// call goes on from it where the call before ended on a whole row of four samples. About 14 KB.
using PhaseHistory = FastFirHistory<9, 96>;

// A phase: its 128 taps, oldest sample first, and their split, made once with the taps instead of
// on every call of the tap sums.
struct PhaseTaps {
    alignas(32) double taps[kPhaseTaps];
    SplitTaps split;
};

// The phase of taps[0 .. kPhaseTaps - 1].
PhaseTaps phaseOf(const double* taps) noexcept;

// out[i] = sum over q = 0..127 of taps[q] * x[i - 128 + q] for i = 0..count-1, vectorised. The
// taps must be symmetric (taps[63 - j] == taps[64 + j]), as a half-band phase is: the baseline
// (a fast FIR, HalfBandFastFir.h) shares sub-sums between four neighbouring outputs on that
// assumption, and its rounding of an output depends on x[i]'s address modulo 32 bytes (never on
// where the call starts). x[-128] .. x[count + 2] must be readable (the last vector may read past
// `count`); only out[0 .. count - 1] is written.
using PhaseSumsKernel = void (*)(const PhaseTaps& taps, const double* x, double* out,
                                 int count) noexcept;

// One instruction set's kernels (HalfBandResamplerKernel.h): the plain sums, the same sums with
// what the resampler does with them, so that its outputs are written in one pass (same reads as the
// plain sums; they write only the outputs of i < count), and the split of the down-sampler's input
// pairs.
struct PhaseKernels {
    PhaseSumsKernel sums;
    // Up-sampler: out2n[2i] = the sum of output i, out2n[2i + 1] = direct[i].
    void (*interleaved)(const PhaseTaps& taps, const double* x, const double* direct, double* out2n,
                        int count) noexcept;
    // Down-sampler: out[i] = the sum of output i + directTap * direct[i]; directTap must be a
    // power of two (the product exact), so that fused and separate rounding agree.
    void (*withDirect)(const PhaseTaps& taps, const double* x, const double* direct,
                       double directTap, double* out, int count) noexcept;
    // Down-sampler input: even[i] = pairs[2i], odd[i] = pairs[2i + 1], i = 0..count-1.
    void (*split)(const double* pairs, double* even, double* odd, int count) noexcept;
    // interleaved and withDirect for two streams on the same taps at once. `history` (or null)
    // carries the fast FIR's work over the pair's calls, `start` (>= 0, or -1 for none) being
    // the index of x[0] in both streams since the caller began counting.
    void (*interleavedTwo)(const PhaseTaps& taps, const double* const x[2],
                           const double* const direct[2], double* const out2n[2], int count,
                           PhaseHistory* history, std::int64_t start) noexcept;
    void (*withDirectTwo)(const PhaseTaps& taps, const double* const x[2],
                          const double* const direct[2], double directTap, double* const out[2],
                          int count, PhaseHistory* history, std::int64_t start) noexcept;
};

// out[i] = sum over q of taps[q] * x[i - 128 + q], term by term in the order of q: the plain sum
// the kernels are held to.
void referencePhaseSums(const PhaseTaps& taps, const double* x, double* out, int count) noexcept;

}  // namespace halfband

class HalfBandResampler {
  public:
    static constexpr int kTaps = 255;
    static constexpr int kHalfTaps = 127;  // taps on each side of the centre
    static constexpr int kOddTapsPerSide = 64;
    static constexpr int kHistory = 128;  // past input samples an output depends on
    static constexpr int kBlock = 64;     // input samples handed to the tap sums at once
    static constexpr int kDelayOnlySamples = 64;
    static constexpr int kLatencyFigure = 126;

    HalfBandResampler() noexcept;
    // Not copied: a resampler that leads a pair keeps its partner's address.
    HalfBandResampler(const HalfBandResampler&) = delete;
    HalfBandResampler& operator=(const HalfBandResampler&) = delete;

    // Clears both histories.
    void reset() noexcept;

    // n base-rate samples in, 2n samples out, on the tap sums of `k`. in and out2n must not
    // overlap.
    void upsample(const halfband::PhaseKernels& k, const double* in, double* out2n, int n) noexcept;
    // 2n samples in, n base-rate samples out. out may be in2n (in place).
    void downsample(const halfband::PhaseKernels& k, const double* in2n, double* out,
                    int n) noexcept;
    // Both calls for two streams at once (the same results, cheaper): `two` points to the two
    // resamplers.
    static void upsampleTwo(const halfband::PhaseKernels& k, HalfBandResampler* two,
                            const double* const in[2], double* const out2n[2], int n) noexcept;
    static void downsampleTwo(const halfband::PhaseKernels& k, HalfBandResampler* two,
                              const double* const in2n[2], double* const out[2], int n) noexcept;

    // Delay-only stages: n in, n out, delayed by exactly 64 samples. They use the history of the
    // same direction; delayUp() keeps the same history as upsample(), so switching between the two
    // is seamless on the way up (call reset() when switching the way down). In place allowed.
    void delayUp(const double* in, double* out, int n) noexcept;
    void delayDown(const double* in, double* out, int n) noexcept;

    // Kernel taps for i in -127..127 (0 outside).
    static double upTap(int i) noexcept;
    static double downTap(int i) noexcept;

  private:
    const halfband::PhaseTaps* upPhase_;    // the interpolated phase on x[k-128] .. x[k-1]
    const halfband::PhaseTaps* downPhase_;  // the phase on the even samples E[k-128] .. E[k-1]
    // A line of past samples: the newest kHistory samples end at end_, oldest first; blocks
    // are appended after them until the line is full, and only then does the history move back
    // to the front, to the same position modulo four. Four spare samples let the last vector of
    // the tap sums run past a block. (The baseline tap sums give an output's bits according to
    // its sample's address modulo 32 bytes, HalfBandFastFir.h; with each sample's position kept
    // modulo four, the outputs do not depend on the block lengths.)
    class HistoryLine {
      public:
        // Where the next block of m <= kBlock samples goes; the history lies just before it.
        double* blockOf(int m) noexcept;
        void advance(int m) noexcept {
            end_ += m;
            count_ += m;
        }
        void clear() noexcept;
        // Samples appended since the line was made, one more for each clear(): a count no run
        // of samples before a clear() shares with one after it.
        std::int64_t count() const noexcept { return count_; }

      private:
        static constexpr int kBlocksPerMove = 4;
        static constexpr int kPositions = 4;  // doubles in 32 bytes
        alignas(32) std::array<double, kHistory + kBlocksPerMove * kBlock + 4> samples_{};
        int end_ = kHistory;
        std::int64_t count_ = 0;
    };
    // The fast FIR's history of the pairs this resampler leads (as two[0]) up and down, and the
    // partner it was left with.
    struct PairHistory {
        halfband::PhaseHistory rows;
        const HalfBandResampler* partner = nullptr;

        // The index both lines of the pair stand at, or -1 where they stand apart or the partner
        // is not the one the rows were left with (the call then starts afresh).
        std::int64_t startOf(const HalfBandResampler* with, const HistoryLine& a,
                             const HistoryLine& b) noexcept;
    };
    static void delayThrough(HistoryLine& line, const double* in, double* out, int n) noexcept;

    HistoryLine upLine_;    // base-rate input (both up modes)
    HistoryLine evenLine_;  // first sample of each 2x pair, or the base-rate input in delay mode
    HistoryLine oddLine_;   // second sample of each 2x pair
    PairHistory upPair_, downPair_;
};

}  // namespace qrx::dsp
