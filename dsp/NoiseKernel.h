// Runs of DenormalNoise values for a whole chunk. The baseline build runs the generator itself;
// the AVX2+FMA build steps the three words side by side in one vector (a different shift per
// word), keeps every step's words, and folds and converts them eight at a time afterwards. Two
// generators stepped in one pass overlap their chains. Either build gives the generator's exact
// values and leaves it where the plain loop would.
//
// Threads: pure functions of their arguments; the engines call them on the audio thread.
#pragma once

#include "dsp/DenormalNoise.h"
#include "dsp/InstructionSet.h"

namespace qrx::dsp {

// Most values one generator gives in one call, and most frames of a paired call.
inline constexpr int kNoiseRunMax = 384;
inline constexpr int kNoiseFramesMax = 128;

// The next `count` (<= kNoiseRunMax) values of `generator`, in order, with the kernels of `set`
// (which this processor must run).
void noiseValues(InstructionSet set, DenormalNoise& generator, int count, double* to) noexcept;

// n (<= kNoiseFramesMax) frames of two generators: `a` steps `perFrame` (2 or 3) times per
// frame, `b` once. Value v of a's run goes to toA[v % streams][v / streams]: one stream keeps the
// run in order, `perFrame` streams give one array per step of the frame. b's values go to toB.
void noiseFrames(InstructionSet set, DenormalNoise& a, int perFrame, int streams,
                 double* const toA[], DenormalNoise& b, double* toB, int n) noexcept;

// The same on a generator's words and scale, for kernels that keep them apart (the words are
// carried).
void noiseValues(InstructionSet set, DenormalNoise::Words& words, double scale, int count,
                 double* to) noexcept;
void noiseFrames(InstructionSet set, DenormalNoise::Words& a, double scaleA, int perFrame,
                 int streams, double* const toA[], DenormalNoise::Words& b, double scaleB,
                 double* toB, int n) noexcept;

// The AVX2+FMA build (NoiseKernel_avx2.cpp); only for processors that have it.
void noiseValuesAvx2(DenormalNoise::Words& words, double scale, int count, double* to) noexcept;
void noiseFramesAvx2(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                     double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                     int n) noexcept;

}  // namespace qrx::dsp
