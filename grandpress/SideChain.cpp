#include "grandpress/SideChain.h"

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

void SideChain::process(const EngineSettings& s, int n, double* mainL, double* mainR, double* sideL,
                        double* sideR, double* eqL, double* eqR, double* linkL, double* linkR,
                        double* noiseC) noexcept {
    qrx::dsp::DenormalNoise noise = engineNoise;
    GlidingPair low = lowShelf, high = highShelf;
    PlainPair band = linkBand;
    const qrx::dsp::BiquadCoefficients lowT = s.lowShelf, highT = s.highShelf, bandC = s.linkBand;
    const double glide = s.filterGlideRate;
    const StereoPair tilt = {s.tiltGainLeft, s.tiltGainRight};
    const double link = s.linkAmount;

    // Two passes over the chunk (noise, then filters) keep each loop's state in registers.
    for (int i = 0; i < n; ++i) {
        const double nA = noise.next();
        mainL[i] += nA;
        sideL[i] += nA;
        const double nB = noise.next();
        mainR[i] += nB;
        sideR[i] += nB;
        noiseC[i] = noise.next();
    }
    for (int i = 0; i < n; ++i) {
        const StereoPair x = StereoPair{sideL[i], sideR[i]} * tilt;
        const StereoPair e = high.step(low.step(x, lowT, glide), highT, glide);
        const StereoPair b = kLinkBandScale * band.step(e, bandC);
        const double mid = (b[0] + b[1]) * kMidScale;
        const StereoPair linked = e + link * (mid - b);
        eqL[i] = e[0];
        eqR[i] = e[1];
        linkL[i] = linked[0];
        linkR[i] = linked[1];
    }

    engineNoise = noise;
    lowShelf = low;
    highShelf = high;
    linkBand = band;
}

}  // namespace grandpress
