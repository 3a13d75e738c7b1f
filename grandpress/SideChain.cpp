#include "grandpress/SideChain.h"

#include "dsp/Kernels.h"
#include "grandpress/ShelfCascade.h"

namespace grandpress {

namespace {

// The shelves of both channels and the link band filter as pairs, for the plain loop.
struct Pairs {
    GlidingPair low, high;
    PlainPair band;
};

qrx::dsp::BiquadCoefficients coefficientsOf(const ShelfCascadeState& f, int lane) noexcept {
    qrx::dsp::BiquadCoefficients c;
    c.a1 = f.a1[lane];
    c.a2 = f.a2[lane];
    c.b0 = f.b0[lane];
    c.b1 = f.b1[lane];
    c.b2 = f.b2[lane];
    return c;
}

void setCoefficients(ShelfCascadeState& f, int lane,
                     const qrx::dsp::BiquadCoefficients& c) noexcept {
    for (int k = lane; k < lane + 2; ++k) {
        f.a1[k] = c.a1;
        f.a2[k] = c.a2;
        f.b0[k] = c.b0;
        f.b1[k] = c.b1;
        f.b2[k] = c.b2;
    }
}

// Lanes k and k + 1 of a memory as a pair.
StereoPair pairOf(const double* lanes, int k) noexcept {
    return StereoPair{lanes[k], lanes[k + 1]};
}

PairMemories memoriesOf(const double* x1, const double* x2, const double* y1, const double* y2,
                        int k) noexcept {
    PairMemories m;
    m.x1 = pairOf(x1, k);
    m.x2 = pairOf(x2, k);
    m.y1 = pairOf(y1, k);
    m.y2 = pairOf(y2, k);
    return m;
}

Pairs pairsOf(const ShelfCascadeState& f) noexcept {
    Pairs p;
    p.low.current = coefficientsOf(f, 0);
    p.high.current = coefficientsOf(f, 2);
    p.low.m = memoriesOf(f.x1, f.x2, f.y1, f.y2, 0);
    p.high.m = memoriesOf(f.x1, f.x2, f.y1, f.y2, 2);
    p.band.m = memoriesOf(f.bandX1, f.bandX2, f.bandY1, f.bandY2, 0);
    p.band.offset = f.bandOffset;
    return p;
}

void store(const Pairs& p, ShelfCascadeState& f) noexcept {
    setCoefficients(f, 0, p.low.current);
    setCoefficients(f, 2, p.high.current);
    const PairMemories* m[2] = {&p.low.m, &p.high.m};
    for (int k = 0; k < 4; ++k) {
        const PairMemories& pm = *m[k / 2];
        f.x1[k] = pm.x1[k % 2];
        f.x2[k] = pm.x2[k % 2];
        f.y1[k] = pm.y1[k % 2];
        f.y2[k] = pm.y2[k % 2];
    }
    for (int c = 0; c < 2; ++c) {
        f.bandX1[c] = p.band.m.x1[c];
        f.bandX2[c] = p.band.m.x2[c];
        f.bandY1[c] = p.band.m.y1[c];
        f.bandY2[c] = p.band.m.y2[c];
    }
    f.bandOffset = p.band.offset;
}

// True when the running coefficients of lane pair `lane` are within the tolerance of t.
bool arrivedAt(const ShelfCascadeState& f, int lane,
               const qrx::dsp::BiquadCoefficients& t) noexcept {
    const qrx::dsp::BiquadCoefficients c = coefficientsOf(f, lane);
    const double d[5] = {c.b0 - t.b0, c.b1 - t.b1, c.b2 - t.b2, c.a1 - t.a1, c.a2 - t.a2};
    bool near = true;
    for (double v : d) near = near && v <= kShelfArrivedTolerance && v >= -kShelfArrivedTolerance;
    return near;
}

}  // namespace

bool settleShelves(ShelfCascadeState& state, const qrx::dsp::BiquadCoefficients& lowTarget,
                   const qrx::dsp::BiquadCoefficients& highTarget) noexcept {
    if (!arrivedAt(state, 0, lowTarget) || !arrivedAt(state, 2, highTarget)) return false;
    setCoefficients(state, 0, lowTarget);
    setCoefficients(state, 2, highTarget);
    return true;
}

void SideChain::reset(const EngineSettings& s) noexcept {
    Pairs p;
    p.low.current = s.lowShelf;
    p.high.current = s.highShelf;
    store(p, filters);
}

void SideChain::resetLink() noexcept {
    Pairs p = pairsOf(filters);
    p.band.reset();
    store(p, filters);
}

void SideChain::process(qrx::dsp::InstructionSet set, const EngineSettings& s, int n, double* mainL,
                        double* mainR, const double* sideL, const double* sideR, double* eqL,
                        double* eqR, double* linkL, double* linkR, double* noiseC) noexcept {
    static_assert(kChunk2x <= kShelfCascadeFrames && kChunk2x <= qrx::dsp::kNoiseFramesMax);
    const qrx::dsp::BiquadCoefficients lowT = s.lowShelf, highT = s.highShelf, bandC = s.linkBand;
    const double glide = s.filterGlideRate;
    const StereoPair tilt = {s.tiltGainLeft, s.tiltGainRight};
    const double link = s.linkAmount;

    // The noise first: nA, nB on the inputs, nC for the later stages (the engine source's three
    // values of each frame), h for the shelves.
    alignas(32) double nA[kChunk2x], nB[kChunk2x], h[kChunk2x];
    double* const engine[3] = {nA, nB, noiseC};
    qrx::dsp::noiseFrames(qrx::dsp::kernelsFor(set).noise, engineNoise, 3, 3, engine, shelfNoise, h,
                          n);
    for (int i = 0; i < n; ++i) {
        mainL[i] += nA[i];
        mainR[i] += nB[i];
    }

    // The equaliser (the shelves in series) and the link: only what passes the band filter is
    // shared between the channels. Shelves whose coefficients have arrived skip the glide.
    const bool arrived = settleShelves(filters, lowT, highT);
    if (set == qrx::dsp::InstructionSet::Avx2Fma && n > 0) {
        const ShelfCascadeInput in{sideL,   sideR, nA,    nB,    h,       n,     tilt[0],
                                   tilt[1], lowT,  highT, glide, arrived, bandC, link};
        shelfCascadeAvx2(filters, in, eqL, eqR, linkL, linkR);
        return;
    }
    Pairs p = pairsOf(filters);
    GlidingPair low = p.low, high = p.high;
    PlainPair band = p.band;
    for (int i = 0; i < n; ++i) {
        const StereoPair x = StereoPair{sideL[i] + nA[i], sideR[i] + nB[i]} * tilt;
        const StereoPair e = arrived
                                 ? high.hold(low.hold(x, h[i]), h[i])
                                 : high.step(low.step(x, lowT, glide, h[i]), highT, glide, h[i]);
        const StereoPair b = kLinkBandScale * band.step(e, bandC);
        const double mid = (b[0] + b[1]) * kMidScale;
        const StereoPair linked = e + link * (mid - b);
        eqL[i] = e[0];
        eqR[i] = e[1];
        linkL[i] = linked[0];
        linkR[i] = linked[1];
    }
    store({low, high, band}, filters);
}

}  // namespace grandpress
