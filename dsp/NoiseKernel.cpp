#include "dsp/NoiseKernel.h"

namespace qrx::dsp {

void noiseValues(InstructionSet set, DenormalNoise::Words& words, double scale, int count,
                 double* to) noexcept {
    if (set == InstructionSet::Avx2Fma) {
        noiseValuesAvx2(words, scale, count, to);
        return;
    }
    DenormalNoise g(scale);
    g.setWords(words);
    for (int k = 0; k < count; ++k) to[k] = g.next();
    words = g.words();
}

void noiseFrames(InstructionSet set, DenormalNoise::Words& a, double scaleA, int perFrame,
                 int streams, double* const toA[], DenormalNoise::Words& b, double scaleB,
                 double* toB, int n) noexcept {
    if (set == InstructionSet::Avx2Fma) {
        noiseFramesAvx2(a, scaleA, perFrame, streams, toA, b, scaleB, toB, n);
        return;
    }
    DenormalNoise ga(scaleA), gb(scaleB);
    ga.setWords(a);
    gb.setWords(b);
    if (streams == 1) {
        double* to = toA[0];
        for (int v = 0; v < perFrame * n; ++v) to[v] = ga.next();
    } else {
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < perFrame; ++j) toA[j][i] = ga.next();
    }
    for (int i = 0; i < n; ++i) toB[i] = gb.next();
    a = ga.words();
    b = gb.words();
}

void noiseValues(InstructionSet set, DenormalNoise& generator, int count, double* to) noexcept {
    DenormalNoise::Words words = generator.words();
    noiseValues(set, words, generator.scale(), count, to);
    generator.setWords(words);
}

void noiseFrames(InstructionSet set, DenormalNoise& a, int perFrame, int streams,
                 double* const toA[], DenormalNoise& b, double* toB, int n) noexcept {
    DenormalNoise::Words wordsA = a.words(), wordsB = b.words();
    noiseFrames(set, wordsA, a.scale(), perFrame, streams, toA, wordsB, b.scale(), toB, n);
    a.setWords(wordsA);
    b.setWords(wordsB);
}

}  // namespace qrx::dsp
