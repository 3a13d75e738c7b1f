#include "grandpress/EngineSettings.h"

#include <cmath>

#include "dsp/GlidingBiquad.h"
#include "grandpress/Mappings.h"
#include "grandpress/Parameters.h"

namespace grandpress {

using qrx::dsp::BiquadCoefficients;
using qrx::dsp::BiquadDesign;

namespace {

// Detector constant: 1.4142 * 0.582 * 1.005773063.
constexpr double kDetectorConstant = 1.4142 * 0.582 * 1.005773063;
// Base of the meter ballistics: VU reaches 1 - 0.1091012 in its time, the PPM attack 99 %, the
// PPM return falls 24 dB.
constexpr double kVuBase = 0.1091012;
constexpr double kPpmAttackBase = 0.01;
constexpr double kPpmReturnBase = 0.0625;
// Shelf settings by mode: cut (0) and boost (1).
constexpr double kShelfQuality[2] = {0.35, 0.5};
constexpr double kShelfGainDb[2] = {-15.0, 12.0};
constexpr double kLowShelfCornerFactor = 0.7;
constexpr double kHighShelfCornerFactor = 1.375;
constexpr double kLinkBandGainDb = 12.0;

bool on(const float* p, int index) {
    return switchOf(p[index]) != 0;
}

double sideChainRate(const EngineSettings& s) {
    return s.layout.sideChainOversampled ? 2.0 * s.rateHz : s.rateHz;
}

double envelopeRate(const EngineSettings& s) {
    return s.layout.gainOversampled ? 2.0 * s.rateHz : s.rateHz;
}

void designLevelFilters(EngineSettings& s) {
    const double fs = envelopeRate(s);
    s.levelFast = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, 200.0, 0.5, 0.0, fs);
    s.levelSlow = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, 20.0, 0.5, 0.0, fs);
}

void designLimiter(EngineSettings& s) {
    const int c = limiterLookAheadSamples(s.rateHz);
    s.limiterLookAhead = c;
    s.limiterAttack = 1.0 - std::pow(0.05, 1.0 / c);
    s.limiterRelease = 1.0 - std::pow(0.05, 1.0 / (c * 3.3 * 16.0 * 1.7));
    s.limiterFast = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, 200.0, 0.5, 0.0, s.rateHz);
    s.limiterSlow = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, 20.0, 0.5, 0.0, s.rateHz);
}

}  // namespace

void designShelves(EngineSettings& s, const float* p) {
    const double fs = sideChainRate(s);
    const int low = on(p, kLowScf), high = on(p, kHighScf);
    s.lowShelf = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowShelf,
                                        kLowShelfCornerFactor * sideChainLowHzOf(p[kLow]),
                                        kShelfQuality[low], kShelfGainDb[low], fs);
    s.highShelf = qrx::dsp::designBiquad(qrx::dsp::kBiquadHighShelf,
                                         kHighShelfCornerFactor * sideChainHighHzOf(p[kHigh]),
                                         kShelfQuality[high], kShelfGainDb[high], fs);
    s.filterGlideRate = qrx::dsp::glideRatePerSample(fs, qrx::dsp::kGlideRateAbove50kHz);
}

void designLinkBand(EngineSettings& s, const float* p) {
    const bool highCut = on(p, kLinkHighCut), lowCut = on(p, kLinkLowCut);
    int type = qrx::dsp::kBiquadPeaking;
    double frequency = 700.0, quality = 0.01;
    if (highCut && lowCut) {
        frequency = 1000.0;
        quality = 0.1;
    } else if (highCut) {
        type = qrx::dsp::kBiquadLowShelf;
        frequency = 7000.0;
        quality = 0.45;
    } else if (lowCut) {
        type = qrx::dsp::kBiquadHighShelf;
        frequency = 100.0;
        quality = 0.45;
    }
    s.linkBand =
        qrx::dsp::designBiquad(type, frequency, quality, kLinkBandGainDb, sideChainRate(s));
    ++s.linkGeneration;
}

void designEnvelope(EngineSettings& s, const float* p) {
    const double fs = envelopeRate(s);
    const bool rms = on(p, kRms);
    s.attackCoefficient = envelopeCoefficient(attackMsOf(p[kAttack]), fs, rms);
    s.releaseCoefficient = envelopeCoefficient(1000.0 * releaseSecondsOf(p[kRelease]), fs, rms);
    s.classicFloor = rms ? 0.5 : 0.4;
}

void designRms(EngineSettings& s, const float* p) {
    s.rms = on(p, kRms);
    designEnvelope(s, p);
}

void designThreshold(EngineSettings& s, const float* p) {
    s.detectorScale = thresholdGainOf(p[kThreshold]) * kDetectorConstant;
    s.autoMakeupGain = autoMakeupGainOf(thresholdGainOf(p[kThreshold]), s.inverseRatio);
}

void designRatio(EngineSettings& s, const float* p) {
    const int step = ratioStepOf(p[kRatio]);
    s.inverseRatio = 1.0 / ratioOfStep(step);
    s.expanding = step < 6;
    double k[4];
    kneePoints(s.inverseRatio, k);
    s.kneeP0 = k[0];
    s.kneeP1 = k[1];
    s.kneeP2 = k[2];
    s.kneeP3 = k[3];
    const TiltGains tilt = tiltGainsOf(p[kTilt], step);
    s.tiltGainLeft = tilt.left;
    s.tiltGainRight = tilt.right;
    s.autoMakeupGain = autoMakeupGainOf(thresholdGainOf(p[kThreshold]), s.inverseRatio);
}

void designMeters(EngineSettings& s, const float* p) {
    const double vuSeconds = 0.001 * vuIntegrationMsOf(p[kVuIntegration]);
    const double ppmMs = ppmIntegrationMsOf(p[kPpmIntegration]);
    const double returnSeconds = 0.001 * ppmReturnMsOf(p[kPpmReturn]);
    for (int i = 0; i < 2; ++i) {
        const double fm = s.rateHz * (i + 1);
        s.vuCoefficient[i] = stepCoefficient(kVuBase, fm, vuSeconds);
        s.ppmAttack[i] = ppmMs > 0.05 ? stepCoefficient(kPpmAttackBase, fm, 0.001 * ppmMs) : 1.0;
        s.ppmReturn[i] = stepCoefficient(kPpmReturnBase, fm, returnSeconds);
    }
    s.inverseVuReference = 1.0 / vuReferenceOf(p[kVuReference]);
    s.overSamples = overSamplesOf(p[kOverIndicator]);
}

// Layout change: everything that depends on the rates of the side chain and the envelope.
void designLayout(EngineSettings& s, const float* p) {
    s.layout = pathLayoutFor(on(p, kPower), on(p, kFat), on(p, kSmooth), s.rateHz);
    designShelves(s, p);
    designLinkBand(s, p);
    designEnvelope(s, p);
    designLevelFilters(s);
}

PathLayout pathLayoutFor(bool power, bool fat, bool smooth, double rateHz) {
    PathLayout l;
    const int fsInt = static_cast<int>(rateHz);
    if (!power) fat = false;  // the pass-through routine runs at the base rate
    l.routine = static_cast<int>(!power          ? Routine::PassThrough
                                 : smooth && fat ? Routine::FatSmooth
                                 : smooth        ? Routine::Smooth
                                 : fat           ? Routine::Fat
                                                 : Routine::Normal);
    l.exactRoot = smooth ? 1 : 0;
    const int used = kResamplerDelayOnly * 2 + kOutputLineDelay;  // 639
    if (!fat) {
        // Detector at fs: L = fs/800 (fs/400 with Smooth), realigned by 2L plus the 64 + 64
        // samples the resamplers' delay-only stages would add around the gain stage.
        l.detectorLength = static_cast<int>(rateHz * (smooth ? 2 : 1) * 0.5 / 400.0);
        l.detectorCentre = 2 * l.detectorLength + 2 * kResamplerDelayOnly;
        l.realignDelay = l.detectorCentre;
        l.inputDelay = kTotalLatencySamples - used - 2 * l.detectorLength;
    } else if (!smooth) {
        // Detector at fs, gain stage at 2 fs: realign 2L base samples = 4L gain-stage samples;
        // up- and down-sampling delay 64.5 base samples each.
        l.detectorLength = static_cast<int>(fsInt * 0.5 / 400.0);
        l.detectorCentre = 2 * l.detectorLength;
        l.realignDelay = 4 * l.detectorLength;
        l.inputDelay = kTotalLatencySamples - 129 - kOutputLineDelay - 2 * l.detectorLength;
        l.gainOversampled = 1;
    } else {
        // Side chain and gain stage at 2 fs: L = 2 fs/400, realign 2L at 2 fs = L base samples;
        // one sample of wait before the up-sampling.
        l.detectorLength = static_cast<int>(2 * fsInt * 2 * 0.5 / 400.0);
        l.detectorCentre = 2 * l.detectorLength;
        l.realignDelay = 2 * l.detectorLength;
        l.inputDelay = kTotalLatencySamples - 1 - 129 - kOutputLineDelay - l.detectorLength;
        l.sideChainOversampled = 1;
        l.gainOversampled = 1;
        l.smoothDelay = 1;
    }
    return l;
}

double stepCoefficient(double base, double rateHz, double seconds) {
    return 1.0 - std::pow(base, 1.0 / (rateHz * seconds));
}

double envelopeCoefficient(double timeMs, double envelopeRateHz, bool rms) {
    return stepCoefficient(rms ? 0.0025 : 0.05, envelopeRateHz, 0.001 * timeMs);
}

void kneePoints(double inverseRatio, double p[4]) {
    p[0] = -0.5;
    p[1] = 0.5;
    p[2] = std::pow(1.5, inverseRatio);
    p[3] = std::pow(2.5, inverseRatio);
}

double autoMakeupGainOf(double thresholdScale, double inverseRatio) {
    return std::pow(0.55 * thresholdScale, 0.8 * (1.0 - inverseRatio));
}

int limiterLookAheadSamples(double rateHz) {
    return static_cast<int>(rateHz * 0.001 * 1.4);
}

void applyParameter(EngineSettings& s, int index, const float* p) {
    Params::design(s, index, p);
}

void applyAll(EngineSettings& s, const float* p, double rateHz) {
    s.rateHz = rateHz;
    for (int i = 0; i < kNumParams; ++i)
        if (i != kPower && i != kFat && i != kSmooth) applyParameter(s, i, p);
    designLayout(s, p);
    designLimiter(s);
    designMeters(s, p);
}

}  // namespace grandpress
