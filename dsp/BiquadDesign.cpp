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

void BiquadDesign::design() noexcept {
    // A non-positive or NaN rate would turn every coefficient into NaN; fall back to 44.1 kHz.
    if (!(sampleRateHz > 0.0) || !std::isfinite(sampleRateHz)) sampleRateHz = 44100.0;
    frequencyHz = cappedFrequencyHz(frequencyHz, sampleRateHz);

    const double f = frequencyHz;
    const double fs = sampleRateHz;

    if (type == kBiquadOnePole) {
        a0 = onePoleCoefficient(f, fs);
        return;
    }
    if (type == kBiquadOnePolePair) {
        a0 = onePoleCoefficient(f, fs);
        target.a1 = (a0 + 1.0) / 2.0;
        return;
    }

    const double q = quality > kMinQuality ? quality : kMinQuality;
    const double w = 2.0 * std::numbers::pi * f / fs;
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    const double A = shelfAmplitudeFromDb(std::isfinite(gainDb) ? gainDb : 0.0);
    auto alphaFor = [&](double k, double h) {
        return sw / (2.0 * q * nearNyquistCorrection(f, fs, k, h));
    };

    Raw r = allOnes();
    switch (type) {
        case kBiquadHighPass: {
            const double alpha = alphaFor(kHighPassK, kDefaultH);
            r = {(1.0 + cw) / 2.0, -(1.0 + cw), (1.0 + cw) / 2.0,
                 1.0 + alpha,      -2.0 * cw,   1.0 - alpha};
            break;
        }
        case kBiquadLowShelf: {
            const double B =
                std::sqrt(A) * sw / (q * nearNyquistCorrection(f, fs, kShelfK, kDefaultH));
            r = {A * ((A + 1.0) - (A - 1.0) * cw + B), 2.0 * A * ((A - 1.0) - (A + 1.0) * cw),
                 A * ((A + 1.0) - (A - 1.0) * cw - B), (A + 1.0) + (A - 1.0) * cw + B,
                 -2.0 * ((A - 1.0) + (A + 1.0) * cw),  (A + 1.0) + (A - 1.0) * cw - B};
            break;
        }
        case kBiquadPeaking: {
            const double alpha = alphaFor(kBellK, kDefaultH);
            r = {1.0 + alpha * A, -2.0 * cw, 1.0 - alpha * A,
                 1.0 + alpha / A, -2.0 * cw, 1.0 - alpha / A};
            break;
        }
        case kBiquadBandPass: {
            const double alpha = alphaFor(kBellK, kDefaultH);
            r = {alpha, 0.0, -alpha, 1.0 + alpha, -2.0 * cw, 1.0 - alpha};
            break;
        }
        case kBiquadNotch: {
            const double alpha = alphaFor(kBellK, kDefaultH);
            r = {1.0, -2.0 * cw, 1.0, 1.0 + alpha, -2.0 * cw, 1.0 - alpha};
            break;
        }
        case kBiquadHighShelf: {
            const double B =
                std::sqrt(A) * sw / (q * nearNyquistCorrection(f, fs, kShelfK, kDefaultH));
            r = {A * ((A + 1.0) + (A - 1.0) * cw + B), -2.0 * A * ((A - 1.0) + (A + 1.0) * cw),
                 A * ((A + 1.0) + (A - 1.0) * cw - B), (A + 1.0) - (A - 1.0) * cw + B,
                 2.0 * ((A - 1.0) - (A + 1.0) * cw),   (A + 1.0) - (A - 1.0) * cw - B};
            break;
        }
        case kBiquadLowPass: {
            const double alpha = alphaFor(kLowPassK, kLowPassH);
            r = {(1.0 - cw) / 2.0, 1.0 - cw, (1.0 - cw) / 2.0, 1.0 + alpha, -2.0 * cw, 1.0 - alpha};
            break;
        }
        case kBiquadAllPass: {
            const double alpha = sw / (2.0 * q);  // no near-Nyquist correction
            r = {1.0 - alpha, -2.0 * cw, 1.0 + alpha, 1.0 + alpha, -2.0 * cw, 1.0 - alpha};
            break;
        }
        default:  // bypass and unknown types
            break;
    }

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
