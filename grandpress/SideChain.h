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

// Most frames of one chunk at the rate its stages run: the length of every chunk buffer. A chunk
// takes that many host samples, or half as many where FAT runs its stages at twice the rate. (Where
// chunks end changes the outputs by rounding only; longer chunks spread each stage's set-up over
// more frames: against chunks of 64 host samples, the plain build ran 6-9 % faster.)
inline constexpr int kChunkFrames = 128;

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
