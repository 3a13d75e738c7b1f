// Runs of DenormalNoise values for a whole chunk. referenceNoiseValues / referenceNoiseFrames run
// the generator itself, value by value; the vector kernel (one template, NoiseKernelImpl.h, in
// the dsp kernel table) gives the same values to the bit and leaves the generators where the
// plain loop would.
//
// Threads: pure functions of their arguments; the engines call them on the audio thread.
#pragma once

#include "dsp/DenormalNoise.h"

namespace qrx::dsp {

// Most values one generator gives in one call, and most frames of a paired call.
inline constexpr int kNoiseRunMax = 384;
inline constexpr int kNoiseFramesMax = 128;

// On a generator's words and scale (the words are carried):
struct NoiseKernels {
    // The next `count` (<= kNoiseRunMax) values, in order.
    void (*values)(DenormalNoise::Words& words, double scale, int count, double* to) noexcept;
    // n (<= kNoiseFramesMax) frames of two generators: `a` steps `perFrame` (2 or 3) times per
    // frame, `b` once. Value v of a's run goes to toA[v % streams][v / streams]: one stream keeps
    // the run in order, `perFrame` streams give one array per step of the frame. b's values go to
    // toB.
    void (*frames)(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                   double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                   int n) noexcept;
};

// The plain per-value loops the kernels are held to.
void referenceNoiseValues(DenormalNoise::Words& words, double scale, int count,
                          double* to) noexcept;
void referenceNoiseFrames(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                          double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                          int n) noexcept;

// The same on generators, with the kernels `k`.
inline void noiseValues(const NoiseKernels& k, DenormalNoise& generator, int count,
                        double* to) noexcept {
    DenormalNoise::Words words = generator.words();
    k.values(words, generator.scale(), count, to);
    generator.setWords(words);
}
inline void noiseFrames(const NoiseKernels& k, DenormalNoise& a, int perFrame, int streams,
                        double* const toA[], DenormalNoise& b, double* toB, int n) noexcept {
    DenormalNoise::Words wordsA = a.words(), wordsB = b.words();
    k.frames(wordsA, a.scale(), perFrame, streams, toA, wordsB, b.scale(), toB, n);
    a.setWords(wordsA);
    b.setWords(wordsB);
}

}  // namespace qrx::dsp
