// The gain stage's mix over a chunk (the realigned main signal through its gains and makeup,
// blended with the dry signal, times the output gain), built once for plain x86-64 and once for
// AVX2 (MixKernels_avx2.cpp), with the glides of its gains; the signal path picks one per block.
//
// Threads: audio thread. Pure functions over the arrays they are given; nothing allocates.
#pragma once

#include "dsp/InstructionSet.h"

namespace grandpress {

// A chunk's streams of the mix: frame i has main and dry samples, the curve's gains, the
// gliding makeup, output gain and mix amount.
struct MixStreams {
    const double *mainLeft, *mainRight, *dryLeft, *dryRight;
    const double *gainLeft, *gainRight;
    const double *makeup, *output, *mix;
    double autoMakeup;
};

// y = output * (dry + mix * (main * gain * makeup * autoMakeup - dry)) for n frames.
void mixFramesBaseline(const MixStreams& in, int n, double* left, double* right) noexcept;
void mixFramesAvx2(const MixStreams& in, int n, double* left, double* right) noexcept;

inline void mixFrames(qrx::dsp::InstructionSet set, const MixStreams& in, int n, double* left,
                      double* right) noexcept {
    if (set == qrx::dsp::InstructionSet::Avx2Fma)
        mixFramesAvx2(in, n, left, right);
    else
        mixFramesBaseline(in, n, left, right);
}

// The glides of the mix's makeup, output gain and mix amount (GlidingGains): value q steps
// x = x * keep + (pull[q] + noise) per frame, frame i with noise[i >> noiseShift] (noiseShift 0
// or 1). value carries the glides in and out; glided[q][i] is value q after frame i.
struct GlideRun {
    double value[3];
    double pull[3];
    double keep;
};

// The baseline takes the steps one by one; the AVX2 build four frames per step of its recursion,
// which rounds differently (within some 1e-13 of the values).
void glideFramesBaseline(GlideRun& g, const double* noise, int noiseShift, int n,
                         double* const glided[3]) noexcept;
void glideFramesAvx2(GlideRun& g, const double* noise, int noiseShift, int n,
                     double* const glided[3]) noexcept;

inline void glideFrames(qrx::dsp::InstructionSet set, GlideRun& g, const double* noise,
                        int noiseShift, int n, double* const glided[3]) noexcept {
    if (set == qrx::dsp::InstructionSet::Avx2Fma)
        glideFramesAvx2(g, noise, noiseShift, n, glided);
    else
        glideFramesBaseline(g, noise, noiseShift, n, glided);
}

}  // namespace grandpress
