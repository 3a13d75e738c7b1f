// Front of the signal path: the four input delay lines, the anti-denormal noise, the left/right
// tilt, the low and high shelving equaliser and the frequency-selective stereo link.
//
// Threads: owned by SignalPath; every function runs on the audio thread (or in the constructor).
// Coefficients come from the block's EngineSettings copy; nothing here allocates or locks.
#pragma once

#include "dsp/BiquadDesign.h"
#include "dsp/DenormalNoise.h"
#include "grandpress/EngineSettings.h"

namespace grandpress {

// Largest chunk at the base rate, and after 2x up-sampling.
inline constexpr int kChunk = 64;
inline constexpr int kChunk2x = 2 * kChunk;

// The four input streams, delayed by the layout's input delay. One shared write index.
class InputLines {
  public:
    enum Stream { kMainLeft, kMainRight, kSideLeft, kSideRight, kStreams };

    void clear() noexcept;
    // Stores one frame (already made finite) and returns the frame `delay` samples older
    // (0 <= delay < 1024) in `out`.
    void push(const double in[kStreams], int delay, double out[kStreams]) noexcept {
        write = (write + 1) & (kInputLineLength - 1);
        const unsigned read = (write - static_cast<unsigned>(delay)) & (kInputLineLength - 1);
        for (int s = 0; s < kStreams; ++s) {
            line[s][write] = in[s];
            out[s] = line[s][read];
        }
    }

  private:
    double line[kStreams][kInputLineLength] = {};
    unsigned write = kInputLineLength - 1;
};

// A host sample made safe to enter the engine: NaN and infinities become 0, and finite values
// are limited to +-1e6 (+120 dBFS) so that no square or sum further on can overflow.
inline double finiteInput(double x) noexcept {
    constexpr double kLimit = 1e6;
    if (x >= -kLimit && x <= kLimit) return x;  // false for NaN
    if (x > kLimit && x <= 1.7976931348623157e308) return kLimit;
    if (x < -kLimit && x >= -1.7976931348623157e308) return -kLimit;
    return 0.0;
}

// State of one gliding biquad run by the block loop: running coefficients, memories, its noise.
struct GlidingState {
    qrx::dsp::BiquadCoefficients current;
    qrx::dsp::BiquadMemories memories;
    qrx::dsp::DenormalNoise noise{qrx::dsp::kBiquadNoiseScale};
};

// State of one plain biquad: memories and the alternating offset.
struct PlainState {
    qrx::dsp::BiquadMemories memories;
    double offset = qrx::dsp::kBiquadNoiseScale;
    void reset() noexcept { memories = {}; }
};

class SideChain {
  public:
    // Designs take effect at once and the memories are cleared (rate changes, suspend).
    void reset(const EngineSettings& s) noexcept;
    // Clears the link band memories (the link switches changed).
    void resetLink() noexcept;

    // One chunk of n samples at the side-chain rate. Adds the noise terms to the main and side
    // inputs in place, writes the equalised (eqL/eqR), linked (linkL/linkR) side chain and the
    // per-sample noise term nC.
    void process(const EngineSettings& s, int n, double* mainL, double* mainR, double* sideL,
                 double* sideR, double* eqL, double* eqR, double* linkL, double* linkR,
                 double* noiseC) noexcept;

    qrx::dsp::DenormalNoise& noise() noexcept { return engineNoise; }

  private:
    qrx::dsp::DenormalNoise engineNoise{1e-12};
    GlidingState lowShelf[2], highShelf[2];
    PlainState linkBand[2];
};

}  // namespace grandpress
