#include "grandpress/SideChain.h"

#include "dsp/GlidingBiquad.h"
#include "dsp/PlainBiquad.h"

namespace grandpress {

using qrx::dsp::glidingBiquadStep;
using qrx::dsp::plainBiquadStep;

namespace {
// The link band filter has +12 dB in its band; a quarter brings the band back to unity.
constexpr double kLinkBandScale = 0.25;
constexpr double kMidScale = 0.7071;
}  // namespace

void InputLines::clear() noexcept {
    for (auto& l : line)
        for (double& v : l) v = 0.0;
    write = kInputLineLength - 1;
}

void SideChain::reset(const EngineSettings& s) noexcept {
    for (int c = 0; c < 2; ++c) {
        lowShelf[c].current = s.lowShelf;
        lowShelf[c].memories = {};
        highShelf[c].current = s.highShelf;
        highShelf[c].memories = {};
        linkBand[c].reset();
    }
}

void SideChain::resetLink() noexcept {
    linkBand[0].reset();
    linkBand[1].reset();
}

void SideChain::process(const EngineSettings& s, int n, double* mainL, double* mainR, double* sideL,
                        double* sideR, double* eqL, double* eqR, double* linkL, double* linkR,
                        double* noiseC) noexcept {
    qrx::dsp::DenormalNoise noise = engineNoise;
    GlidingState low[2] = {lowShelf[0], lowShelf[1]};
    GlidingState high[2] = {highShelf[0], highShelf[1]};
    PlainState band[2] = {linkBand[0], linkBand[1]};
    const qrx::dsp::BiquadCoefficients lowT = s.lowShelf, highT = s.highShelf, bandC = s.linkBand;
    const double glide = s.filterGlideRate;
    const double tiltL = s.tiltGainLeft, tiltR = s.tiltGainRight, link = s.linkAmount;

    for (int i = 0; i < n; ++i) {
        const double nA = noise.next();
        mainL[i] += nA;
        sideL[i] += nA;
        const double nB = noise.next();
        mainR[i] += nB;
        sideR[i] += nB;
        noiseC[i] = noise.next();

        double e[2] = {sideL[i] * tiltL, sideR[i] * tiltR};
        double b[2];
        for (int c = 0; c < 2; ++c) {
            e[c] =
                glidingBiquadStep(e[c], lowT, low[c].current, low[c].memories, glide, low[c].noise);
            e[c] = glidingBiquadStep(e[c], highT, high[c].current, high[c].memories, glide,
                                     high[c].noise);
            b[c] = kLinkBandScale * plainBiquadStep(e[c], bandC, band[c].memories, band[c].offset);
        }
        const double mid = (b[0] + b[1]) * kMidScale;
        eqL[i] = e[0];
        eqR[i] = e[1];
        linkL[i] = e[0] + link * (mid - b[0]);
        linkR[i] = e[1] + link * (mid - b[1]);
    }

    engineNoise = noise;
    for (int c = 0; c < 2; ++c) {
        lowShelf[c] = low[c];
        highShelf[c] = high[c];
        linkBand[c] = band[c];
    }
}

}  // namespace grandpress
