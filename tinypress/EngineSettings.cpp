#include "tinypress/EngineSettings.h"

#include <cmath>

#include "dsp/GlidingBiquad.h"
#include "tinypress/Mappings.h"
#include "tinypress/Parameters.h"

namespace tinypress {
namespace {

struct ShelfModeRow {
    double cornerHz;
    double quality;
    double gainDbOnSet;
    double gainDbOnResume;
};

// Mode 0 raises the band in the side chain (the compressor reacts more to it), mode 1 is flat,
// mode 2 lowers it.
constexpr ShelfModeRow kLowModes[3] = {
    {110.0, 1.0, 9.0, 12.0},
    {100.0, 0.7, 0.0, 0.0},
    {150.0, 0.35, -9.0, -9.0},
};
constexpr ShelfModeRow kHighModes[3] = {
    {4500.0, 1.2, 12.0, 20.0},
    {6000.0, 0.7, 0.0, 0.0},
    {6000.0, 0.35, -6.0, -9.0},
};

const ShelfModeRow& modeRow(ShelfBand band, int mode) {
    const int m = mode < 0 ? 0 : (mode > 2 ? 2 : mode);
    return band == ShelfBand::Low ? kLowModes[m] : kHighModes[m];
}

}  // namespace

ShelfShape shelfShapeOnSet(ShelfBand band, int mode) {
    const ShelfModeRow& r = modeRow(band, mode);
    return {r.cornerHz, r.quality, r.gainDbOnSet};
}

ShelfShape shelfShapeOnResume(ShelfBand band, int mode) {
    const ShelfModeRow& r = modeRow(band, mode);
    return {r.cornerHz, r.quality, r.gainDbOnResume};
}

ShelfShape shelfShapeAtConstruction(ShelfBand band) {
    return band == ShelfBand::Low ? ShelfShape{35.0, 0.35, -15.0} : ShelfShape{5500.0, 0.5, 12.0};
}

double envelopeBase(bool rms) {
    return rms ? 0.0025 : 0.05;
}

double attackCoefficientOf(double attackMs, double rateHz, bool rms) {
    return 1.0 - std::pow(envelopeBase(rms), 1.0 / (rateHz * attackMs * 0.001));
}

double releaseCoefficientOf(double releaseSeconds, double rateHz, bool rms) {
    return 1.0 - std::pow(envelopeBase(rms), 1.0 / (releaseSeconds * rateHz));
}

double ppmAttackOf(double integrationMs, double meterRateHz) {
    if (!(integrationMs > 0.05)) return 1.0;
    return 1.0 - std::pow(0.01, 1.0 / (meterRateHz * integrationMs * 0.001));
}

double ppmReturnOf(double returnMs, double meterRateHz) {
    return 1.0 - std::pow(0.0625, 1.0 / (meterRateHz * returnMs * 0.001));
}

double vuOnePoleOf(double integrationMs, double rateHz) {
    return 1.0 - std::pow(0.1091012, 1.0 / (rateHz * integrationMs * 0.001));
}

void designEnvelope(EngineSettings& s, const float* p) {
    const bool rms = s.rms != 0;
    s.attackCoefficient = attackCoefficientOf(attackMsOf(p[kAttack]), s.rateHz, rms);
    s.releaseCoefficient = releaseCoefficientOf(releaseSecondsOf(p[kRelease]), s.rateHz, rms);
}

void designRms(EngineSettings& s, const float* p) {
    s.rms = switchOf(p[kRms]);
    designEnvelope(s, p);
}

void designGainCurve(EngineSettings& s, const float* p) {
    s.thresholdGain = thresholdGainOf(p[kThreshold]);
    s.inverseRatio = 1.0 / ratioOfStep(ratioStepOf(p[kRatio]));
    s.kneeLowY = kneeLowYOf(s.inverseRatio);
    s.kneeHighY = kneeHighYOf(s.inverseRatio);
    s.autoMakeupGain = autoMakeupGainOf(s.thresholdGain, s.inverseRatio);
    s.compressing = p[kRatio] >= 0.3f;
}

void designVu(EngineSettings& s, const float* p) {
    const double ms = vuIntegrationMsOf(p[kVuIntegration]);
    s.vu = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, vuCornerHzOf(ms), kVuQuality, 0.0,
                                  s.rateHz);
    s.vuOnePole = vuOnePoleOf(ms, s.rateHz);
}

void designMeterScale(EngineSettings& s, const float* p) {
    s.meterScale = 1.0 / vuReferenceOf(p[kVuReference]);
}

void designPpm(EngineSettings& s, const float* p) {
    const double ppmMs = ppmIntegrationMsOf(p[kPpmIntegration]);
    const double returnMs = ppmReturnMsOf(p[kPpmReturn]);
    // Every source is fed once per sample, so the PPM runs at fs.
    s.ppmAttack = ppmAttackOf(ppmMs, s.rateHz);
    s.ppmReturn = ppmReturnOf(returnMs, s.rateHz);
}

void applyParameter(EngineSettings& s, int index, const float* p) {
    Params::design(s, index, p);
}

void applyAll(EngineSettings& s, const float* p, double rateHz) {
    s.rateHz = rateHz;
    for (int i = 0; i < kNumParams; ++i) applyParameter(s, i, p);
    s.releaseFast = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, kReleaseFastHz,
                                           kReleaseQuality, 0.0, rateHz);
    s.releaseSlow = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, kReleaseSlowHz,
                                           kReleaseQuality, 0.0, rateHz);
}

void designShelves(EngineSettings& s, const ShelfShape& low, const ShelfShape& high) {
    s.shelfGlideRate = qrx::dsp::glideRatePerSample(s.rateHz, qrx::dsp::kGlideRateAbove50kHz);
    s.lowShelf = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowShelf, low.cornerHz, low.quality,
                                        low.gainDb, s.rateHz);
    s.highShelf = qrx::dsp::designBiquad(qrx::dsp::kBiquadHighShelf, high.cornerHz, high.quality,
                                         high.gainDb, s.rateHz);
}

}  // namespace tinypress
