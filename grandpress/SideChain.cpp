#include "grandpress/SideChain.h"

#include "grandpress/ShelfCascade.h"

namespace grandpress {

namespace {
// The link band filter has +12 dB in its band; a quarter brings the band back to unity.
constexpr double kLinkBandScale = 0.25;
constexpr double kMidScale = 0.7071;

}  // namespace

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
    qrx::dsp::DenormalNoise noise = engineNoise, shelf = shelfNoise;
    const qrx::dsp::BiquadCoefficients lowT = s.lowShelf, highT = s.highShelf, bandC = s.linkBand;
    const double glide = s.filterGlideRate;
    const StereoPair tilt = {s.tiltGainLeft, s.tiltGainRight};
    const double link = s.linkAmount;

    // The noise first (each loop keeps its state in registers): nA, nB on the inputs, nC for
    // the later stages, h for the shelves.
    double h[kChunk2x];
    for (int i = 0; i < n; ++i) {
        const double nA = noise.next();
        mainL[i] += nA;
        sideL[i] += nA;
        const double nB = noise.next();
        mainR[i] += nB;
        sideR[i] += nB;
        noiseC[i] = noise.next();
        h[i] = shelf.next();
    }
    engineNoise = noise;
    shelfNoise = shelf;

    // The equaliser: the shelves in series.
    if (set == qrx::dsp::InstructionSet::Avx2Fma && n > 0) {
        ShelfCascadeState state;
        const GlidingPair* shelves[2] = {&lowShelf, &highShelf};
        for (int f = 0; f < 2; ++f) {
            state.current[f] = shelves[f]->current;
            const PairMemories& m = shelves[f]->m;
            for (int c = 0; c < 2; ++c) {
                state.x1[f][c] = m.x1[c];
                state.x2[f][c] = m.x2[c];
                state.y1[f][c] = m.y1[c];
                state.y2[f][c] = m.y2[c];
            }
        }
        const ShelfCascadeInput in{sideL, sideR, h, n, tilt[0], tilt[1], lowT, highT, glide};
        shelfCascadeAvx2(state, in, eqL, eqR);
        GlidingPair* out[2] = {&lowShelf, &highShelf};
        for (int f = 0; f < 2; ++f) {
            out[f]->current = state.current[f];
            PairMemories& m = out[f]->m;
            m.x1 = StereoPair{state.x1[f][0], state.x1[f][1]};
            m.x2 = StereoPair{state.x2[f][0], state.x2[f][1]};
            m.y1 = StereoPair{state.y1[f][0], state.y1[f][1]};
            m.y2 = StereoPair{state.y2[f][0], state.y2[f][1]};
        }
    } else {
        GlidingPair low = lowShelf, high = highShelf;
        for (int i = 0; i < n; ++i) {
            const StereoPair x = StereoPair{sideL[i], sideR[i]} * tilt;
            const StereoPair e = high.step(low.step(x, lowT, glide, h[i]), highT, glide, h[i]);
            eqL[i] = e[0];
            eqR[i] = e[1];
        }
        lowShelf = low;
        highShelf = high;
    }

    // The link: only what passes the band filter is shared between the channels.
    PlainPair band = linkBand;
    for (int i = 0; i < n; ++i) {
        const StereoPair e = {eqL[i], eqR[i]};
        const StereoPair b = kLinkBandScale * band.step(e, bandC);
        const double mid = (b[0] + b[1]) * kMidScale;
        const StereoPair linked = e + link * (mid - b);
        linkL[i] = linked[0];
        linkR[i] = linked[1];
    }
    linkBand = band;
}

}  // namespace grandpress
