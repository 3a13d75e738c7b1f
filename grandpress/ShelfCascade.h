// The side chain's shelves and link over one chunk, as plain values for the AVX2+FMA build
// (SideChain_avx2.cpp): both channels of both gliding shelves run as one four-lane cascade, the
// low shelf on frame i beside the high shelf on frame i - 1, and the link band filter beside
// them, so the three recursions overlap.
//
// Threads: pure function of its arguments, audio thread.
#pragma once

#include "dsp/BiquadDesign.h"

namespace grandpress {

// The link band filter has +12 dB in its band; a quarter brings the band back to unity. The
// shared mid signal is the sum of both channels' band times kMidScale.
inline constexpr double kLinkBandScale = 0.25;
inline constexpr double kMidScale = 0.7071;

// Running coefficients and memories of both shelves ([0] low, [1] high) and the link band
// filter's memories ([2]) and alternating offset.
struct ShelfCascadeState {
    qrx::dsp::BiquadCoefficients current[2];
    double x1[3][2], x2[3][2], y1[3][2], y2[3][2];  // [filter][channel]
    double bandOffset;
};

struct ShelfCascadeInput {
    const double* sideL;  // side chain with its noise, before the tilt
    const double* sideR;
    const double* noise;  // the shelves' noise value of each frame
    int n;                // frames, at least 1
    double tiltLeft, tiltRight;
    qrx::dsp::BiquadCoefficients lowTarget, highTarget;
    double glideRate;
    qrx::dsp::BiquadCoefficients band;  // the link band filter
    double linkAmount;
};

// Writes the equalised side chain eqL/eqR[0 .. n) and the linked one linkL/linkR: the link band
// filter runs in the same loop, one frame behind the high shelf.
void shelfCascadeAvx2(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL,
                      double* eqR, double* linkL, double* linkR) noexcept;

}  // namespace grandpress
