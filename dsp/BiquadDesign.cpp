#include "dsp/BiquadDesign.h"

#include <cmath>
#include <numbers>

namespace qrx::dsp {

namespace {

// Exponents K and Nyquist fractions h of the near-Nyquist correction, per response family.
constexpr double kShelfK = 3.0;
constexpr double kBellK = 2.8;  // peaking, band-pass, notch
constexpr double kHighPassK = 6.0;
constexpr double kLowPassK = 8.0;
constexpr double kDefaultH = 0.5001;
constexpr double kLowPassH = 0.50001;

// Smallest usable Q: Q <= 0 would divide by zero and fill the coefficients with inf/NaN.
constexpr double kMinQuality = 1e-6;

struct Raw {
    double b0, b1, b2, a0, a1, a2;
};

Raw allOnes() {
    return {1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
}

}  // namespace

double cappedFrequencyHz(double frequencyHz, double sampleRateHz) noexcept {
    const double cap = kMaxFrequencyFraction * sampleRateHz;
    if (!(frequencyHz >= 0.0)) return 0.0;
    return frequencyHz > cap ? cap : frequencyHz;
}

double nearNyquistCorrection(double frequencyHz, double sampleRateHz, double exponentK,
                             double nyquistFractionH) noexcept {
    return 1.0 - std::pow(frequencyHz / (nyquistFractionH * sampleRateHz), exponentK);
}

double shelfAmplitudeFromDb(double gainDb) noexcept {
    return std::pow(10.0, gainDb / 40.0);
}

double onePoleCoefficient(double frequencyHz, double sampleRateHz) noexcept {
    return std::pow(0.005, frequencyHz / sampleRateHz);
}

namespace {

// What every second-order response is designed from: the (capped) frequency, the rate, the
// clamped Q, the cosine and sine of the normalised angle and the shelf amplitude A.
struct Terms {
    double frequencyHz, sampleRateHz, q, cw, sw, A;
};

Terms termsFor(double frequencyHz, double sampleRateHz, double quality, double gainDb) {
    const double w = 2.0 * std::numbers::pi * frequencyHz / sampleRateHz;
    return {frequencyHz, sampleRateHz, quality > kMinQuality ? quality : kMinQuality,
            std::cos(w), std::sin(w),  shelfAmplitudeFromDb(std::isfinite(gainDb) ? gainDb : 0.0)};
}

// The bandwidth term alpha with the near-Nyquist correction of exponent k and fraction h.
double correctedAlpha(const Terms& t, double k, double h) {
    return t.sw / (2.0 * t.q * nearNyquistCorrection(t.frequencyHz, t.sampleRateHz, k, h));
}

// The shelves' 2 sqrt(A) alpha term, corrected near Nyquist.
double shelfTerm(const Terms& t) {
    return std::sqrt(t.A) * t.sw /
           (t.q * nearNyquistCorrection(t.frequencyHz, t.sampleRateHz, kShelfK, kDefaultH));
}

Raw highPass(const Terms& t) {
    const double cw = t.cw;
    const double alpha = correctedAlpha(t, kHighPassK, kDefaultH);
    return {(1.0 + cw) / 2.0, -(1.0 + cw), (1.0 + cw) / 2.0, 1.0 + alpha, -2.0 * cw, 1.0 - alpha};
}

Raw lowShelf(const Terms& t) {
    const double A = t.A, cw = t.cw, B = shelfTerm(t);
    return {A * ((A + 1.0) - (A - 1.0) * cw + B), 2.0 * A * ((A - 1.0) - (A + 1.0) * cw),
            A * ((A + 1.0) - (A - 1.0) * cw - B), (A + 1.0) + (A - 1.0) * cw + B,
            -2.0 * ((A - 1.0) + (A + 1.0) * cw),  (A + 1.0) + (A - 1.0) * cw - B};
}

Raw peaking(const Terms& t) {
    const double A = t.A, cw = t.cw;
    const double alpha = correctedAlpha(t, kBellK, kDefaultH);
    return {1.0 + alpha * A, -2.0 * cw, 1.0 - alpha * A,
            1.0 + alpha / A, -2.0 * cw, 1.0 - alpha / A};
}

Raw bandPass(const Terms& t) {
    const double alpha = correctedAlpha(t, kBellK, kDefaultH);
    return {alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * t.cw, 1.0 - alpha};
}

Raw notch(const Terms& t) {
    const double alpha = correctedAlpha(t, kBellK, kDefaultH);
    return {1.0, -2.0 * t.cw, 1.0, 1.0 + alpha, -2.0 * t.cw, 1.0 - alpha};
}

Raw highShelf(const Terms& t) {
    const double A = t.A, cw = t.cw, B = shelfTerm(t);
    return {A * ((A + 1.0) + (A - 1.0) * cw + B), -2.0 * A * ((A - 1.0) + (A + 1.0) * cw),
            A * ((A + 1.0) + (A - 1.0) * cw - B), (A + 1.0) - (A - 1.0) * cw + B,
            2.0 * ((A - 1.0) - (A + 1.0) * cw),   (A + 1.0) - (A - 1.0) * cw - B};
}

Raw lowPass(const Terms& t) {
    const double cw = t.cw;
    const double alpha = correctedAlpha(t, kLowPassK, kLowPassH);
    return {(1.0 - cw) / 2.0, 1.0 - cw, (1.0 - cw) / 2.0, 1.0 + alpha, -2.0 * cw, 1.0 - alpha};
}

Raw allPass(const Terms& t) {
    const double cw = t.cw;
    const double alpha = t.sw / (2.0 * t.q);  // no near-Nyquist correction
    return {1.0 - alpha, -2.0 * cw, 1.0 + alpha, 1.0 + alpha, -2.0 * cw, 1.0 - alpha};
}

// The second-order types and their unnormalised coefficients.
struct Response {
    int type;
    Raw (*coefficients)(const Terms&);
};
constexpr Response kResponses[] = {
    {kBiquadHighPass, highPass}, {kBiquadLowShelf, lowShelf}, {kBiquadPeaking, peaking},
    {kBiquadBandPass, bandPass}, {kBiquadNotch, notch},       {kBiquadHighShelf, highShelf},
    {kBiquadLowPass, lowPass},   {kBiquadAllPass, allPass},
};

// Bypass and unknown types are all ones.
Raw rawResponse(int type, const Terms& t) {
    for (const Response& r : kResponses)
        if (r.type == type) return r.coefficients(t);
    return allOnes();
}

}  // namespace

void BiquadDesign::design() noexcept {
    // A non-positive or NaN rate would turn every coefficient into NaN; fall back to 44.1 kHz.
    if (!(sampleRateHz > 0.0) || !std::isfinite(sampleRateHz)) sampleRateHz = 44100.0;
    frequencyHz = cappedFrequencyHz(frequencyHz, sampleRateHz);

    if (type == kBiquadOnePole) {
        a0 = onePoleCoefficient(frequencyHz, sampleRateHz);
        return;
    }
    if (type == kBiquadOnePolePair) {
        a0 = onePoleCoefficient(frequencyHz, sampleRateHz);
        target.a1 = (a0 + 1.0) / 2.0;
        return;
    }

    const Raw r = rawResponse(type, termsFor(frequencyHz, sampleRateHz, quality, gainDb));
    a0 = r.a0;
    target.b0 = r.b0 / r.a0;
    target.b1 = r.b1 / r.a0;
    target.b2 = r.b2 / r.a0;
    target.a1 = r.a1 / r.a0;
    target.a2 = r.a2 / r.a0;
}

BiquadCoefficients designBiquad(int type, double frequencyHz, double quality, double gainDb,
                                double sampleRateHz) noexcept {
    BiquadDesign d;
    d.sampleRateHz = sampleRateHz;
    d.type = type;
    d.frequencyHz = frequencyHz;
    d.quality = quality;
    d.gainDb = gainDb;
    d.design();
    return d.target;
}

}  // namespace qrx::dsp
