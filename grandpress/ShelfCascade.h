// The side chain's shelves and link over one chunk, as plain values: the state and input of its
// kernel (SideChainKernels.h), its entry in the engine's kernel table and the per-frame
// reference the kernel is held to.
//
// Threads: pure functions of their arguments, audio thread.
#pragma once

#include "dsp/BiquadDesign.h"

namespace grandpress {

// The link band filter has +12 dB in its band; a quarter brings the band back to unity. The
// shared mid signal is the sum of both channels' band times kMidScale.
inline constexpr double kLinkBandScale = 0.25;
inline constexpr double kMidScale = 0.7071;

// A running coefficient this close to its target has arrived: the noise it takes on every
// frame keeps it within about 1e-11 of the target, and the filter's output moves by far less
// than this tolerance when the coefficient is set onto the target.
inline constexpr double kShelfArrivedTolerance = 1e-11;

// Most frames of one call.
inline constexpr int kShelfCascadeFrames = 128;

// The side chain's filter state, laid out for the four-lane cascade: lanes (low left, low right,
// high left, high right). Each shelf's running coefficients fill both of its lanes (the left and
// right filters glide alike). The link band filter's memories are (left, right).
struct ShelfCascadeState {
    alignas(32) double b0[4], b1[4], b2[4], a1[4], a2[4];
    alignas(32) double x1[4], x2[4], y1[4], y2[4];
    alignas(16) double bandX1[2], bandX2[2], bandY1[2], bandY2[2];
    double bandOffset;
};

struct ShelfCascadeInput {
    const double* sideL;   // side chain before its noise and the tilt
    const double* sideR;   //
    const double* noiseL;  // the noise terms each side-chain channel takes
    const double* noiseR;  //
    const double* noise;   // the shelves' noise value of each frame
    int n;                 // frames, 0 .. kShelfCascadeFrames
    double tiltLeft, tiltRight;
    qrx::dsp::BiquadCoefficients lowTarget, highTarget;
    double glideRate;
    bool arrived;  // every running coefficient equals its target: the filters hold still
    qrx::dsp::BiquadCoefficients band;  // the link band filter
    double linkAmount;
};

// Sets the running coefficients of both shelves onto their targets and returns true when every
// one of them is within kShelfArrivedTolerance of its target; returns false (and changes
// nothing) while any still glides.
bool settleShelves(ShelfCascadeState& state, const qrx::dsp::BiquadCoefficients& lowTarget,
                   const qrx::dsp::BiquadCoefficients& highTarget) noexcept;

// The side chain's entry in the kernel table: writes the equalised side chain eqL/eqR[0 .. n) and
// the linked one linkL/linkR, and moves the state on by n frames.
struct SideChainKernels {
    void (*shelves)(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL, double* eqR,
                    double* linkL, double* linkR) noexcept;
};

// The reference: frame by frame, each shelf's coefficients gliding (c + h + (t - c) rate) unless
// they have arrived, each biquad's input and memories taking the noise h (the band filter the
// alternating offset), both channels alike.
void referenceShelves(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL,
                      double* eqR, double* linkL, double* linkR) noexcept;

}  // namespace grandpress
