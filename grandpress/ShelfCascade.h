// The side chain's low and high shelves over one chunk, as plain values for the AVX2+FMA build
// (SideChain_avx2.cpp): both channels of both gliding shelves run as one four-lane cascade, the
// low shelf on frame i beside the high shelf on frame i - 1, so the two recursions overlap.
//
// Threads: pure function of its arguments, audio thread.
#pragma once

#include "dsp/BiquadDesign.h"

namespace grandpress {

// Running coefficients and memories of both shelves: [0] low, [1] high.
struct ShelfCascadeState {
    qrx::dsp::BiquadCoefficients current[2];
    double x1[2][2], x2[2][2], y1[2][2], y2[2][2];  // [shelf][channel]
};

struct ShelfCascadeInput {
    const double* sideL;  // side chain with its noise, before the tilt
    const double* sideR;
    const double* noise;  // the shelves' noise value of each frame
    int n;                // frames, at least 1
    double tiltLeft, tiltRight;
    qrx::dsp::BiquadCoefficients lowTarget, highTarget;
    double glideRate;
};

// Writes the equalised side chain eqL/eqR[0 .. n).
void shelfCascadeAvx2(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL,
                      double* eqR) noexcept;

}  // namespace grandpress
