// Front of the signal path: the four input delay lines, the anti-denormal noise, the left/right
// tilt, the low and high shelving equaliser and the frequency-selective stereo link.
//
// Threads: owned by SignalPath; every function runs on the audio thread (or in the constructor).
// Coefficients come from the block's EngineSettings copy; nothing here allocates or locks.
#pragma once

#include "dsp/BiquadDesign.h"
#include "dsp/DenormalNoise.h"
#include "dsp/Kernels.h"
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
    // The shelves run on `kernels`, the noise on `dsp` (the block's tables).
    void process(const SideChainKernels& kernels, const qrx::dsp::Kernels& dsp,
                 const EngineSettings& s, int n, double* mainL, double* mainR, const double* sideL,
                 const double* sideR, double* eqL, double* eqR, double* linkL, double* linkR,
                 double* noiseC) noexcept;

  private:
    qrx::dsp::DenormalNoise engineNoise{1e-12};
    qrx::dsp::DenormalNoise shelfNoise{qrx::dsp::kBiquadNoiseScale};  // both shelves' noise
    ShelfCascadeState filters;  // both shelves and the link band filter
};

}  // namespace grandpress
