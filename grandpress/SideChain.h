// Front of the signal path: the four input delay lines, the anti-denormal noise, the left/right
// tilt, the low and high shelving equaliser and the frequency-selective stereo link.
//
// Threads: owned by SignalPath; every function runs on the audio thread (or in the constructor).
// Coefficients come from the block's EngineSettings copy; nothing here allocates or locks.
#pragma once

#include "dsp/BiquadDesign.h"
#include "dsp/DenormalNoise.h"
#include "dsp/InstructionSet.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/ShelfCascade.h"

namespace grandpress {

// Largest chunk at the base rate, and after 2x up-sampling.
inline constexpr int kChunk = 64;
inline constexpr int kChunk2x = 2 * kChunk;

// Larger and smaller of two values, inlined (the library's fmax/fmin are calls; no NaN ever
// reaches these).
inline double maxOf(double a, double b) noexcept {
    return a > b ? a : b;
}
inline double minOf(double a, double b) noexcept {
    return a < b ? a : b;
}

// A sample pair (left, right) handled by one vector operation.
typedef double StereoPair __attribute__((vector_size(16)));

// Memories of one biquad for both channels.
struct PairMemories {
    StereoPair x1 = {0.0, 0.0}, x2 = {0.0, 0.0}, y1 = {0.0, 0.0}, y2 = {0.0, 0.0};
};

// A gliding biquad for both channels. The left and right filters of the side chain are always
// designed and reset together, and every noise source starts from the same seeds, so their
// running coefficients and noise are identical: one glide and one noise value serve the pair
// (results equal to two separate GlidingBiquads). The noise value h comes from the caller: the
// low and high shelves' sources run in step from the same seeds, so one source serves both.
struct GlidingPair {
    qrx::dsp::BiquadCoefficients current;
    PairMemories m;

    StereoPair step(StereoPair x, const qrx::dsp::BiquadCoefficients& t, double rate,
                    double h) noexcept {
        qrx::dsp::BiquadCoefficients& c = current;
        c.b0 = c.b0 + h + (t.b0 - c.b0) * rate;
        c.b1 = c.b1 + h + (t.b1 - c.b1) * rate;
        c.b2 = c.b2 + h + (t.b2 - c.b2) * rate;
        c.a1 = c.a1 + h + (t.a1 - c.a1) * rate;
        c.a2 = c.a2 + h + (t.a2 - c.a2) * rate;
        return hold(x, h);
    }
    // A step on the running coefficients as they are (they have arrived on their target).
    StereoPair hold(StereoPair x, double h) noexcept {
        const qrx::dsp::BiquadCoefficients& c = current;
        const StereoPair xh = x + h;
        const StereoPair y = c.b0 * xh + c.b1 * m.x1 + c.b2 * m.x2 - c.a1 * m.y1 - c.a2 * m.y2;
        m.x2 = m.x1;
        m.x1 = xh;
        m.y2 = m.y1;
        m.y1 = y + h;
        return y;
    }
};

// A plain biquad for both channels (their alternating offsets run in step).
struct PlainPair {
    PairMemories m;
    double offset = qrx::dsp::kBiquadNoiseScale;

    void reset() noexcept { m = {}; }
    StereoPair step(StereoPair x, const qrx::dsp::BiquadCoefficients& c) noexcept {
        const double before = offset;
        offset = -offset;
        const StereoPair xo = x + offset;
        const StereoPair y = c.b0 * xo + c.b1 * m.x1 + c.b2 * m.x2 - c.a1 * m.y1 - c.a2 * m.y2;
        m.x2 = m.x1;
        m.x1 = xo;
        m.y2 = m.y1;
        m.y1 = y + before;
        return y;
    }
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

    // One chunk of n samples at the side-chain rate. Adds the noise terms to the main inputs in
    // place (the side inputs take theirs on the way in and are left as they are), writes the
    // equalised (eqL/eqR), linked (linkL/linkR) side chain and the per-sample noise term nC.
    // The noise and the shelves run on the kernels of `set`.
    void process(qrx::dsp::InstructionSet set, const EngineSettings& s, int n, double* mainL,
                 double* mainR, const double* sideL, const double* sideR, double* eqL, double* eqR,
                 double* linkL, double* linkR, double* noiseC) noexcept;

  private:
    qrx::dsp::DenormalNoise engineNoise{1e-12};
    qrx::dsp::DenormalNoise shelfNoise{qrx::dsp::kBiquadNoiseScale};  // both shelves' noise
    ShelfCascadeState filters;  // both shelves and the link band filter
};

}  // namespace grandpress
