#include "dsp/NoiseKernel.h"

namespace qrx::dsp {

void referenceNoiseValues(DenormalNoise::Words& words, double scale, int count,
                          double* to) noexcept {
    DenormalNoise g(scale);
    g.setWords(words);
    for (int k = 0; k < count; ++k) to[k] = g.next();
    words = g.words();
}

void referenceNoiseFrames(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                          double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                          int n) noexcept {
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

}  // namespace qrx::dsp
