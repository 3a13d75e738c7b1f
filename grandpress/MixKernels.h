// The gain stage's mix over a chunk (the realigned main signal through its gains and makeup,
// blended with the dry signal, times the output gain) and the glides of its gains: the engine's
// kernel table (Kernels.h) holds one MixKernels per instruction set.
//
// Threads: audio thread. Pure functions over the arrays they are given; nothing allocates.
#pragma once

namespace grandpress {

// A chunk's streams of the mix: frame i has main and dry samples, the curve's gains, the
// gliding makeup, output gain and mix amount.
struct MixStreams {
    const double *mainLeft, *mainRight, *dryLeft, *dryRight;
    const double *gainLeft, *gainRight;
    const double *makeup, *output, *mix;
    double autoMakeup;
};

// The glides of the mix's makeup, output gain and mix amount (GlidingGains): value q steps
// x = x * keep + (pull[q] + noise) per frame, frame i with noise[i >> noiseShift] (noiseShift 0
// or 1). value carries the glides in and out; glided[q][i] is value q after frame i.
struct GlideRun {
    double value[3];
    double pull[3];
    double keep;
};

struct MixKernels {
    // y = output * (dry + mix * (main * gain * makeup * autoMakeup - dry)) for n frames, each
    // frame rounded as that formula reads.
    void (*mix)(const MixStreams& in, int n, double* left, double* right) noexcept;
    // n frames of the glides: four frames (the AVX2 build eight) per step of the recursion,
    // which rounds otherwise than GlidingGains' steps one by one (within some 1e-13 of the
    // values).
    void (*glide)(GlideRun& g, const double* noise, int noiseShift, int n,
                  double* const glided[3]) noexcept;
};

}  // namespace grandpress
