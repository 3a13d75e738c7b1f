#include "grandpress/SideChain.h"

#include "dsp/Kernels.h"
#include "dsp/PlainBiquad.h"
#include "grandpress/ShelfCascade.h"

namespace grandpress {

namespace {

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

// True when the running coefficients of lane pair `lane` are within the tolerance of t.
bool arrivedAt(const ShelfCascadeState& f, int lane,
               const qrx::dsp::BiquadCoefficients& t) noexcept {
    const double d[5] = {f.b0[lane] - t.b0, f.b1[lane] - t.b1, f.b2[lane] - t.b2, f.a1[lane] - t.a1,
                         f.a2[lane] - t.a2};
    bool near = true;
    for (double v : d) near = near && v <= kShelfArrivedTolerance && v >= -kShelfArrivedTolerance;
    return near;
}

// The running coefficients of lane pair `lane` one glide step towards t, with the noise h.
void glide(ShelfCascadeState& f, int lane, const qrx::dsp::BiquadCoefficients& t, double rate,
           double h) noexcept {
    const auto step = [&](double c, double target) { return c + h + (target - c) * rate; };
    qrx::dsp::BiquadCoefficients c;
    c.b0 = step(f.b0[lane], t.b0);
    c.b1 = step(f.b1[lane], t.b1);
    c.b2 = step(f.b2[lane], t.b2);
    c.a1 = step(f.a1[lane], t.a1);
    c.a2 = step(f.a2[lane], t.a2);
    setCoefficients(f, lane, c);
}

// One step of the shelf biquad in lane k on x, its input and memories taking the noise h.
double shelfStep(ShelfCascadeState& f, int k, double x, double h) noexcept {
    const double xh = x + h;
    const double y = f.b0[k] * xh + f.b1[k] * f.x1[k] + f.b2[k] * f.x2[k] - f.a1[k] * f.y1[k] -
                     f.a2[k] * f.y2[k];
    f.x2[k] = f.x1[k];
    f.x1[k] = xh;
    f.y2[k] = f.y1[k];
    f.y1[k] = y + h;
    return y;
}

// One step of the link band filter on both channels (its alternating offset flips once).
void bandStep(ShelfCascadeState& f, const qrx::dsp::BiquadCoefficients& c, const double e[2],
              double y[2]) noexcept {
    const double before = f.bandOffset;
    f.bandOffset = -f.bandOffset;
    for (int ch = 0; ch < 2; ++ch)
        y[ch] = qrx::dsp::biquadStep(e[ch], c, f.bandX1[ch], f.bandX2[ch], f.bandY1[ch],
                                     f.bandY2[ch], f.bandOffset, before);
}

}  // namespace

void referenceShelves(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL,
                      double* eqR, double* linkL, double* linkR) noexcept {
    for (int i = 0; i < in.n; ++i) {
        const double h = in.noise[i];
        double e[2] = {(in.sideL[i] + in.noiseL[i]) * in.tiltLeft,
                       (in.sideR[i] + in.noiseR[i]) * in.tiltRight};
        for (int lane = 0; lane < 4; lane += 2) {  // the low shelf, then the high one
            if (!in.arrived)
                glide(state, lane, lane == 0 ? in.lowTarget : in.highTarget, in.glideRate, h);
            for (int ch = 0; ch < 2; ++ch) e[ch] = shelfStep(state, lane + ch, e[ch], h);
        }
        // Only what passes the band filter is shared between the channels.
        double band[2];
        bandStep(state, in.band, e, band);
        const double b[2] = {kLinkBandScale * band[0], kLinkBandScale * band[1]};
        const double mid = (b[0] + b[1]) * kMidScale;
        eqL[i] = e[0];
        eqR[i] = e[1];
        linkL[i] = e[0] + in.linkAmount * (mid - b[0]);
        linkR[i] = e[1] + in.linkAmount * (mid - b[1]);
    }
}

bool settleShelves(ShelfCascadeState& state, const qrx::dsp::BiquadCoefficients& lowTarget,
                   const qrx::dsp::BiquadCoefficients& highTarget) noexcept {
    if (!arrivedAt(state, 0, lowTarget) || !arrivedAt(state, 2, highTarget)) return false;
    setCoefficients(state, 0, lowTarget);
    setCoefficients(state, 2, highTarget);
    return true;
}

void SideChain::reset(const EngineSettings& s) noexcept {
    filters = {};
    setCoefficients(filters, 0, s.lowShelf);
    setCoefficients(filters, 2, s.highShelf);
    filters.bandOffset = qrx::dsp::kBiquadNoiseScale;
}

void SideChain::resetLink() noexcept {
    for (int c = 0; c < 2; ++c)
        filters.bandX1[c] = filters.bandX2[c] = filters.bandY1[c] = filters.bandY2[c] = 0.0;
}

void SideChain::process(const SideChainKernels& kernels, const qrx::dsp::Kernels& dsp,
                        const EngineSettings& s, int n, double* mainL, double* mainR,
                        const double* sideL, const double* sideR, double* eqL, double* eqR,
                        double* linkL, double* linkR, double* noiseC) noexcept {
    static_assert(kChunkFrames <= kShelfCascadeFrames && kChunkFrames <= qrx::dsp::kNoiseFramesMax);
    // The noise first: nA, nB on the inputs, nC for the later stages (the engine source's three
    // values of each frame), h for the shelves.
    alignas(32) double nA[kChunkFrames], nB[kChunkFrames], h[kChunkFrames];
    double* const engine[3] = {nA, nB, noiseC};
    qrx::dsp::noiseFrames(dsp.noise, engineNoise, 3, 3, engine, shelfNoise, h, n);
    for (int i = 0; i < n; ++i) {
        mainL[i] += nA[i];
        mainR[i] += nB[i];
    }

    // The equaliser (the shelves in series) and the link. Shelves whose coefficients have
    // arrived skip the glide.
    const bool arrived = settleShelves(filters, s.lowShelf, s.highShelf);
    const ShelfCascadeInput in{sideL,
                               sideR,
                               nA,
                               nB,
                               h,
                               n,
                               s.tiltGainLeft,
                               s.tiltGainRight,
                               s.lowShelf,
                               s.highShelf,
                               s.filterGlideRate,
                               arrived,
                               s.linkBand,
                               s.linkAmount};
    kernels.shelves(filters, in, eqL, eqR, linkL, linkR);
}

}  // namespace grandpress
