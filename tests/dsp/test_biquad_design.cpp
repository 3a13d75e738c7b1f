#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>

#include "dsp/BiquadDesign.h"

namespace qrx::dsp {
namespace {

constexpr double kPi = std::numbers::pi;

// |H(e^jw)| in dB of a normalised section at frequency fHz.
double responseDb(const BiquadCoefficients& c, double fHz, double fs) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * fHz / fs);  // z^-1
    const std::complex<double> num = c.b0 + c.b1 * z1 + c.b2 * z1 * z1;
    const std::complex<double> den = 1.0 + c.a1 * z1 + c.a2 * z1 * z1;
    return 20.0 * std::log10(std::abs(num / den));
}

BiquadDesign designed(int type, double f, double q, double gainDb, double fs = 44100.0) {
    BiquadDesign d;
    d.sampleRateHz = fs;
    d.type = type;
    d.frequencyHz = f;
    d.quality = q;
    d.gainDb = gainDb;
    d.design();
    return d;
}

// Reference designs from the cookbook formulas, with Q scaled by the near-Nyquist factor
// 1 - (f / (h fs))^K that our filters apply; written out per type, unnormalised.
struct Ref {
    double b0, b1, b2, a0, a1, a2;
};

Ref reference(int type, double f, double q, double gainDb, double fs) {
    const double w0 = 2.0 * kPi * f / fs;
    const double c = std::cos(w0);
    const double s = std::sin(w0);
    const double A = std::sqrt(std::pow(10.0, gainDb / 20.0));
    auto qEff = [&](double k, double h) { return q * (1.0 - std::pow(f / (h * fs), k)); };
    switch (type) {
        case 1: {
            const double al = s / (2.0 * qEff(6.0, 0.5001));
            return {(1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + al, -2 * c, 1 - al};
        }
        case 3: {
            const double al = s / (2.0 * qEff(3.0, 0.5001));
            const double t = 2 * std::sqrt(A) * al;
            return {A * ((A + 1) - (A - 1) * c + t), 2 * A * ((A - 1) - (A + 1) * c),
                    A * ((A + 1) - (A - 1) * c - t), (A + 1) + (A - 1) * c + t,
                    -2 * ((A - 1) + (A + 1) * c),    (A + 1) + (A - 1) * c - t};
        }
        case 4: {
            const double al = s / (2.0 * qEff(2.8, 0.5001));
            return {1 + al * A, -2 * c, 1 - al * A, 1 + al / A, -2 * c, 1 - al / A};
        }
        case 5: {
            const double al = s / (2.0 * qEff(2.8, 0.5001));
            return {al, 0, -al, 1 + al, -2 * c, 1 - al};
        }
        case 6: {
            const double al = s / (2.0 * qEff(2.8, 0.5001));
            return {1, -2 * c, 1, 1 + al, -2 * c, 1 - al};
        }
        case 7: {
            const double al = s / (2.0 * qEff(3.0, 0.5001));
            const double t = 2 * std::sqrt(A) * al;
            return {A * ((A + 1) + (A - 1) * c + t), -2 * A * ((A - 1) + (A + 1) * c),
                    A * ((A + 1) + (A - 1) * c - t), (A + 1) - (A - 1) * c + t,
                    2 * ((A - 1) - (A + 1) * c),     (A + 1) - (A - 1) * c - t};
        }
        case 8: {
            const double al = s / (2.0 * qEff(8.0, 0.50001));
            return {(1 - c) / 2, 1 - c, (1 - c) / 2, 1 + al, -2 * c, 1 - al};
        }
        case 10: {
            const double al = s / (2.0 * q);
            return {1 - al, -2 * c, 1 + al, 1 + al, -2 * c, 1 - al};
        }
        default:
            return {1, 1, 1, 1, 1, 1};
    }
}

TEST(BiquadDesign, EveryBiquadTypeMatchesTheCookbookReference) {
    const double fs = 48000.0;
    for (int type : {0, 1, 3, 4, 5, 6, 7, 8, 10, 11, -1}) {
        for (double f : {40.0, 1000.0, 9000.0, 21000.0}) {
            for (double q : {0.3, 0.7071, 4.0}) {
                const double g = (type == 3 || type == 4 || type == 7) ? -9.5 : 0.0;
                SCOPED_TRACE(testing::Message() << "type " << type << " f " << f << " q " << q);
                const BiquadDesign d = designed(type, f, q, g, fs);
                const Ref r = reference(type, f, q, g, fs);
                const double tol = 1e-12;
                EXPECT_NEAR(d.a0, r.a0, tol * std::fabs(r.a0));
                EXPECT_NEAR(d.target.b0, r.b0 / r.a0, tol);
                EXPECT_NEAR(d.target.b1, r.b1 / r.a0, tol);
                EXPECT_NEAR(d.target.b2, r.b2 / r.a0, tol);
                EXPECT_NEAR(d.target.a1, r.a1 / r.a0, tol);
                EXPECT_NEAR(d.target.a2, r.a2 / r.a0, tol);
            }
        }
    }
}

TEST(BiquadDesign, ShelvesReachTheirGainAtOneEndAndZeroAtTheOther) {
    const double fs = 44100.0;
    const BiquadDesign low = designed(kBiquadLowShelf, 200.0, 0.7071, 12.0, fs);
    EXPECT_NEAR(responseDb(low.target, 0.0, fs), 12.0, 1e-9);
    EXPECT_NEAR(responseDb(low.target, 22050.0, fs), 0.0, 1e-9);
    EXPECT_NEAR(responseDb(low.target, 10000.0, fs), 0.0, 0.05);

    const BiquadDesign high = designed(kBiquadHighShelf, 3000.0, 0.7071, -6.0, fs);
    EXPECT_NEAR(responseDb(high.target, 0.0, fs), 0.0, 1e-9);
    EXPECT_NEAR(responseDb(high.target, 22050.0, fs), -6.0, 1e-9);
    // Half-way point of a cookbook shelf: half the gain at f.
    EXPECT_NEAR(responseDb(high.target, 3000.0, fs), -3.0, 0.05);
}

TEST(BiquadDesign, BellsGiveTheirGainAtTheCentre) {
    const double fs = 44100.0;
    for (double g : {-18.0, 3.0, 12.0}) {
        const BiquadDesign peak = designed(kBiquadPeaking, 2500.0, 2.0, g, fs);
        EXPECT_NEAR(responseDb(peak.target, 2500.0, fs), g, 1e-9);
        EXPECT_NEAR(responseDb(peak.target, 0.0, fs), 0.0, 1e-9);
        EXPECT_NEAR(responseDb(peak.target, 22050.0, fs), 0.0, 1e-9);
    }
    const BiquadDesign bp = designed(kBiquadBandPass, 700.0, 1.5, 0.0, fs);
    EXPECT_NEAR(responseDb(bp.target, 700.0, fs), 0.0, 1e-9);
    EXPECT_LT(responseDb(bp.target, 70.0, fs), -20.0);
    const BiquadDesign notch = designed(kBiquadNotch, 700.0, 1.5, 0.0, fs);
    EXPECT_LT(responseDb(notch.target, 700.0, fs), -200.0);
    EXPECT_NEAR(responseDb(notch.target, 0.0, fs), 0.0, 1e-9);
}

TEST(BiquadDesign, PassFiltersAndAllPass) {
    const double fs = 44100.0;
    const BiquadDesign hp = designed(kBiquadHighPass, 100.0, 0.7071, 0.0, fs);
    EXPECT_NEAR(responseDb(hp.target, 22050.0, fs), 0.0, 1e-9);
    EXPECT_NEAR(responseDb(hp.target, 100.0, fs), -3.01, 0.01);  // |H(f)| = Q
    EXPECT_LT(responseDb(hp.target, 10.0, fs), -39.0);           // 12 dB/octave

    const BiquadDesign lp = designed(kBiquadLowPass, 1000.0, 0.7071, 0.0, fs);
    EXPECT_NEAR(responseDb(lp.target, 0.0, fs), 0.0, 1e-9);
    EXPECT_NEAR(responseDb(lp.target, 1000.0, fs), -3.01, 0.01);

    const BiquadDesign ap = designed(kBiquadAllPass, 1000.0, 0.7071, 0.0, fs);
    for (double f : {0.0, 100.0, 1000.0, 15000.0}) {
        EXPECT_NEAR(responseDb(ap.target, f, fs), 0.0, 1e-9);
    }
}

TEST(BiquadDesign, NearNyquistCorrectionLowersTheResonanceCloseToNyquist) {
    // A cookbook low-pass has |H(f)| = Q at its corner; ours uses Q * N(8, 0.50001), which at
    // 18 kHz / 44.1 kHz is 1 - (18000 / 22050.441)^8 = 1 - 0.81631^8 = 1 - 0.19717 = 0.80283.
    const double fs = 44100.0;
    const double n = 1.0 - std::pow(18000.0 / 22050.441, 8.0);
    EXPECT_NEAR(n, 0.80283, 1e-5);
    const BiquadDesign lp = designed(kBiquadLowPass, 18000.0, 2.0, 0.0, fs);
    EXPECT_NEAR(responseDb(lp.target, 18000.0, fs), 20.0 * std::log10(2.0 * n), 1e-9);
    // The all-pass is not corrected, and the factor is ~1 far below Nyquist.
    EXPECT_NEAR(nearNyquistCorrection(1000.0, fs, 8.0, 0.50001), 1.0, 1e-10);
}

TEST(BiquadDesign, FrequencyIsCappedAndStoredBack) {
    BiquadDesign d = designed(kBiquadPeaking, 30000.0, 1.0, 6.0, 44100.0);
    EXPECT_DOUBLE_EQ(d.frequencyHz, 0.499 * 44100.0);
    EXPECT_NEAR(d.frequencyHz, 22005.9, 1e-9);
    // The stored cap stays when the rate goes up again.
    d.sampleRateHz = 96000.0;
    d.design();
    EXPECT_NEAR(d.frequencyHz, 22005.9, 1e-9);
    // At the cap the corrected filters stay finite and stable (|a2| < 1).
    for (int type : {1, 3, 4, 5, 6, 7, 8, 10}) {
        const BiquadDesign c = designed(type, 1e6, 0.7071, 6.0, 44100.0);
        EXPECT_TRUE(std::isfinite(c.target.b0) && std::isfinite(c.target.a1));
        EXPECT_LT(std::fabs(c.target.a2), 1.0) << "type " << type;
    }
}

TEST(BiquadDesign, TheEntryPointGivesTheDesignOfTheRecord) {
    for (int type : {1, 3, 4, 5, 6, 7, 8, 10}) {
        for (double f : {35.0, 1000.0, 30000.0}) {  // 30 kHz is capped at 0.499 fs
            SCOPED_TRACE(testing::Message() << type << " " << f);
            const BiquadCoefficients c = designBiquad(type, f, 0.7, -9.0, 44100.0);
            const BiquadDesign d = designed(type, f, 0.7, -9.0);
            EXPECT_EQ(std::memcmp(&c, &d.target, sizeof c), 0);
        }
    }
}

TEST(BiquadDesign, OnePoleTypesOnlySetTheirCoefficients) {
    BiquadDesign d = designed(kBiquadPeaking, 1000.0, 1.0, 6.0, 44100.0);
    const BiquadCoefficients before = d.target;
    d.type = kBiquadOnePole;
    d.frequencyHz = 441.0;
    d.design();
    // 0.005^(441/44100) = exp(0.01 * ln 0.005) = exp(-0.0529832) = 0.948396
    EXPECT_NEAR(d.a0, 0.948396, 1e-6);
    EXPECT_EQ(d.target.b0, before.b0);
    EXPECT_EQ(d.target.a1, before.a1);
    EXPECT_EQ(d.target.a2, before.a2);

    d.type = kBiquadOnePolePair;
    d.design();
    EXPECT_NEAR(d.a0, 0.948396, 1e-6);
    EXPECT_DOUBLE_EQ(d.target.a1, (d.a0 + 1.0) / 2.0);
    EXPECT_EQ(d.target.b1, before.b1);
    EXPECT_EQ(d.target.a2, before.a2);
}

TEST(BiquadDesign, UnsafeParametersStillGiveFiniteCoefficients) {
    for (int type : {1, 3, 4, 5, 6, 7, 8, 10}) {
        SCOPED_TRACE(type);
        for (const BiquadDesign& d : {designed(type, 1000.0, 0.0, 6.0),          // Q = 0
                                      designed(type, 1000.0, -2.0, 6.0),         // Q < 0
                                      designed(type, -50.0, 1.0, 6.0),           // f < 0
                                      designed(type, 1000.0, 1.0, 6.0, 0.0)}) {  // fs = 0
            EXPECT_TRUE(std::isfinite(d.target.b0) && std::isfinite(d.target.b1) &&
                        std::isfinite(d.target.b2) && std::isfinite(d.target.a1) &&
                        std::isfinite(d.target.a2));
            EXPECT_LE(std::fabs(d.target.a2), 1.0);
        }
    }
    EXPECT_EQ(designed(kBiquadLowPass, -50.0, 1.0, 0.0).frequencyHz, 0.0);
    EXPECT_EQ(designed(kBiquadLowPass, 1000.0, 1.0, 0.0, 0.0).sampleRateHz, 44100.0);
}

}  // namespace
}  // namespace qrx::dsp
