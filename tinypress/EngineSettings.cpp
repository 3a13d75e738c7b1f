#include "tinypress/EngineSettings.h"

#include <cmath>

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

qrx::dsp::BiquadCoefficients biquadCoefficientsOf(int type, double frequencyHz, double quality,
                                                  double gainDb, double rateHz) {
    qrx::dsp::BiquadDesign d;
    d.sampleRateHz = rateHz;
    d.type = type;
    d.frequencyHz = frequencyHz;
    d.quality = quality;
    d.gainDb = gainDb;
    d.design();
    return d.target;
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

}  // namespace tinypress
