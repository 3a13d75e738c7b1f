#include "grandpress/SideChain.h"

#include "dsp/NoiseKernel.h"
#include "grandpress/ShelfCascade.h"

namespace grandpress {

void SideChain::reset(const EngineSettings& s) noexcept {
    lowShelf.current = s.lowShelf;
    lowShelf.m = {};
    highShelf.current = s.highShelf;
    highShelf.m = {};
    linkBand.reset();
}

void SideChain::resetLink() noexcept {
    linkBand.reset();
}

void SideChain::process(qrx::dsp::InstructionSet set, const EngineSettings& s, int n, double* mainL,
                        double* mainR, double* sideL, double* sideR, double* eqL, double* eqR,
                        double* linkL, double* linkR, double* noiseC) noexcept {
    const qrx::dsp::BiquadCoefficients lowT = s.lowShelf, highT = s.highShelf, bandC = s.linkBand;
    const double glide = s.filterGlideRate;
    const StereoPair tilt = {s.tiltGainLeft, s.tiltGainRight};
    const double link = s.linkAmount;

    // The noise first: nA, nB on the inputs, nC for the later stages (the engine source's three
    // values of each frame), h for the shelves.
    alignas(32) double nA[kChunk2x], nB[kChunk2x], h[kChunk2x];
    double* const engine[3] = {nA, nB, noiseC};
    qrx::dsp::noiseFrames(set, engineNoise, 3, 3, engine, shelfNoise, h, n);
    for (int i = 0; i < n; ++i) {
        mainL[i] += nA[i];
        sideL[i] += nA[i];
        mainR[i] += nB[i];
        sideR[i] += nB[i];
    }

    // The equaliser (the shelves in series) and the link: only what passes the band filter is
    // shared between the channels.
    if (set == qrx::dsp::InstructionSet::Avx2Fma && n > 0) {
        ShelfCascadeState state;
        const PairMemories* memories[3] = {&lowShelf.m, &highShelf.m, &linkBand.m};
        state.current[0] = lowShelf.current;
        state.current[1] = highShelf.current;
        for (int f = 0; f < 3; ++f)
            for (int c = 0; c < 2; ++c) {
                state.x1[f][c] = memories[f]->x1[c];
                state.x2[f][c] = memories[f]->x2[c];
                state.y1[f][c] = memories[f]->y1[c];
                state.y2[f][c] = memories[f]->y2[c];
            }
        state.bandOffset = linkBand.offset;
        const ShelfCascadeInput in{sideL, sideR, h,     n,     tilt[0], tilt[1],
                                   lowT,  highT, glide, bandC, link};
        shelfCascadeAvx2(state, in, eqL, eqR, linkL, linkR);
        lowShelf.current = state.current[0];
        highShelf.current = state.current[1];
        PairMemories* out[3] = {&lowShelf.m, &highShelf.m, &linkBand.m};
        for (int f = 0; f < 3; ++f) {
            out[f]->x1 = StereoPair{state.x1[f][0], state.x1[f][1]};
            out[f]->x2 = StereoPair{state.x2[f][0], state.x2[f][1]};
            out[f]->y1 = StereoPair{state.y1[f][0], state.y1[f][1]};
            out[f]->y2 = StereoPair{state.y2[f][0], state.y2[f][1]};
        }
        linkBand.offset = state.bandOffset;
        return;
    }
    GlidingPair low = lowShelf, high = highShelf;
    PlainPair band = linkBand;
    for (int i = 0; i < n; ++i) {
        const StereoPair x = StereoPair{sideL[i], sideR[i]} * tilt;
        const StereoPair e = high.step(low.step(x, lowT, glide, h[i]), highT, glide, h[i]);
        const StereoPair b = kLinkBandScale * band.step(e, bandC);
        const double mid = (b[0] + b[1]) * kMidScale;
        const StereoPair linked = e + link * (mid - b);
        eqL[i] = e[0];
        eqR[i] = e[1];
        linkL[i] = linked[0];
        linkR[i] = linked[1];
    }
    lowShelf = low;
    highShelf = high;
    linkBand = band;
}

}  // namespace grandpress
