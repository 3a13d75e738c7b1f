// Side-chain shelves: the "set" and "resume" columns of both mode tables, the corner overrides of
// indices 13 and 15, gliding after resume and snapping on index 1, and the stereo link. Shelves
// are checked through the magnitude of the published designs: a shelf of G dB gives G dB on its
// shelf side and exactly G / 2 dB at its corner (for any Q).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "EngineRig.h"

namespace tinypress {
namespace {

using tinypress_test::constant;
using tinypress_test::EngineRig;
using tinypress_test::Signal;
using tinypress_test::Stereo;

double magnitudeDb(const qrx::dsp::BiquadCoefficients& c, double hz, double rate) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> h = (c.b0 + c.b1 * z1 + c.b2 * z2) / (1.0 + c.a1 * z1 + c.a2 * z2);
    return 20.0 * std::log10(std::abs(h));
}

struct Expect {
    double cornerHz, shelfDb;
};

// Low shelf: shelfDb at DC, half of it at the corner, 0 dB at Nyquist.
void expectLow(const EngineSettings& s, Expect e) {
    EXPECT_NEAR(magnitudeDb(s.lowShelf, 0.0, s.rateHz), e.shelfDb, 1e-9);
    EXPECT_NEAR(magnitudeDb(s.lowShelf, e.cornerHz, s.rateHz), e.shelfDb / 2, 1e-9);
    EXPECT_NEAR(magnitudeDb(s.lowShelf, s.rateHz / 2, s.rateHz), 0.0, 1e-9);
}
// High shelf: 0 dB at DC, half at the corner, shelfDb at Nyquist.
void expectHigh(const EngineSettings& s, Expect e) {
    EXPECT_NEAR(magnitudeDb(s.highShelf, 0.0, s.rateHz), 0.0, 1e-9);
    EXPECT_NEAR(magnitudeDb(s.highShelf, e.cornerHz, s.rateHz), e.shelfDb / 2, 1e-9);
    EXPECT_NEAR(magnitudeDb(s.highShelf, s.rateHz / 2, s.rateHz), e.shelfDb, 1e-9);
}

TEST(TinyPressSideChainShelves, ModeTablesSetAndResumeColumns) {
    EngineRig rig;
    const struct {
        float value;
        Expect lowSet, lowResume, highSet, highResume;
    } rows[] = {
        {0.0f, {110, 9}, {110, 12}, {4500, 12}, {4500, 20}},
        {0.5f, {100, 0}, {100, 0}, {6000, 0}, {6000, 0}},
        {1.0f, {150, -9}, {150, -9}, {6000, -6}, {6000, -9}},
    };
    for (const auto& r : rows) {
        rig.set(kLowScf, r.value);
        rig.set(kHighScf, r.value);
        SCOPED_TRACE(r.value);
        expectLow(rig.fx.settingsNow(), r.lowSet);
        expectHigh(rig.fx.settingsNow(), r.highSet);
        rig.fx.resume();
        expectLow(rig.fx.settingsNow(), r.lowResume);
        expectHigh(rig.fx.settingsNow(), r.highResume);
        // The resume values hold until the mode is written again.
        rig.set(kThreshold, 0.3f);
        expectLow(rig.fx.settingsNow(), r.lowResume);
        rig.set(kLowScf, r.value);
        expectLow(rig.fx.settingsNow(), r.lowSet);
    }
}

TEST(TinyPressSideChainShelves, CornerIndicesOverrideOnlyTheCorner) {
    EngineRig rig;
    rig.set(kLowScf, 0.0f);      // 110 Hz, +9 dB
    rig.set(kHighScf, 1.0f);     // 6000 Hz, -6 dB
    rig.set(kLowCorner, 0.5f);   // 0.7 * 25 * 16^0.5 = 70 Hz
    rig.set(kHighCorner, 0.5f);  // 1.375 * 1000 * 16^0.5 = 5500 Hz
    expectLow(rig.fx.settingsNow(), {70, 9});
    expectHigh(rig.fx.settingsNow(), {5500, -6});
    rig.set(kLowCorner, 0.0f);  // 17.5 Hz
    expectLow(rig.fx.settingsNow(), {17.5, 9});
    // Resume restores the mode corner (with the resume gain).
    rig.fx.resume();
    expectLow(rig.fx.settingsNow(), {110, 12});
    expectHigh(rig.fx.settingsNow(), {6000, -9});
    // A program applies its indices in ascending order: 13 overrides the corner 12 chose.
    // "Gentle Master": 12 = 1 (150 Hz, -9 dB), 13 = 1 (280 Hz); 14 = 0.5 (flat), 15 = 0.
    rig.fx.selectProgram(1);
    expectLow(rig.fx.settingsNow(), {280, -9});
}

// After resume the running shelf coefficients glide from the design in force at suspend to the
// resume design (0.001 per sample); index 1 snaps them at once.
TEST(TinyPressSideChainShelves, GlideAfterResumeAndSnapOnReset) {
    EngineRig rig;
    rig.neutral();
    rig.set(kLowScf, 0.0f);  // set column: +9 dB
    rig.fx.suspend();        // running coefficients snap to +9 dB
    rig.fx.resume();         // target +12 dB
    rig.set(kScMonitor, 1.0f);
    const EngineSettings s = rig.fx.settingsNow();
    // The monitor passes the filtered side chain at the output gain: a DC side chain comes out
    // at the shelf's DC gain, 977 + 44 samples later.
    Stereo out = rig.run(constant(2048, 0.01f), 64);
    const double dcGainStart = out.left[2047] / 0.01;
    EXPECT_GT(dcGainStart, std::pow(10.0, 8.9 / 20));
    EXPECT_LT(dcGainStart, std::pow(10.0, 11.9 / 20));
    EXPECT_NE(rig.path().lowShelfState(0).current.b0, s.lowShelf.b0);
    // Long after, the glide has arrived: +12 dB = 3.981.
    out = rig.run(constant(30000, 0.01f), 512);
    EXPECT_NEAR(out.left[29999] / 0.01, std::pow(10.0, 12.0 / 20), 1e-4);
    EXPECT_NEAR(out.right[29999] / 0.01, std::pow(10.0, 12.0 / 20), 1e-4);

    // Index 1 snaps: a fresh mode design is exact on the next block.
    rig.set(kLowScf, 1.0f);  // set column, mode 2: -9 dB at DC
    rig.set(kReset, 0.0f);
    rig.run(constant(64, 0.0f), 64);
    // (64 samples of 1e-13 coefficient noise since the snap)
    EXPECT_NEAR(rig.path().lowShelfState(0).current.b0, rig.fx.settingsNow().lowShelf.b0, 1e-10);
    out = rig.run(constant(3000, 0.01f), 512);
    EXPECT_NEAR(out.left[2999] / 0.01, std::pow(10.0, -9.0 / 20), 1e-4);
}

// Link: both detectors see sqrt(L^2 + R^2) * 0.7071, so a signal on the left side chain only
// reduces both channels equally.
TEST(TinyPressSideChainShelves, LinkCombinesBothDetectors) {
    for (const float link : {0.0f, 1.0f}) {
        EngineRig rig;
        rig.neutral();
        rig.set(kRatio, 0.6f);  // R = 2
        rig.set(kLink, link);
        rig.set(kScExt, 1.0f);
        const Signal main = constant(8000, 0.1f);
        const Stereo out = rig.run(main, main, 512, constant(8000, 2.0f), constant(8000, 0.0f));
        const double gainL = out.left[7999] / 0.1, gainR = out.right[7999] / 0.1;
        // Left detector level (Smooth, DC): 2 * 0.82782 (or * 0.7071 linked), normalised with
        // g_T = 0.5: P = level + 0.005; above 1 the gain is P^0.5 / P.
        const double level = 2.0 * kSmoothScale * (link > 0.5f ? 0.7071 : 1.0);
        const double p = level + 0.005;
        EXPECT_NEAR(gainL, 1.0 / std::sqrt(p), 2e-5) << link;
        if (link > 0.5f)
            EXPECT_NEAR(gainR, gainL, 1e-6);
        else
            EXPECT_NEAR(gainR, 0.005 / (0.005 + 1e-6), 2e-5);  // silent side chain: P = 0.005
    }
}

// Link switched on while the channels' envelopes differ: each channel keeps its own envelope
// until both have followed the combined level to the same gain.
TEST(TinyPressSideChainShelves, LinkSwitchedOnLateReachesOneGain) {
    EngineRig rig;
    rig.neutral();
    rig.set(kRatio, 0.6f);  // R = 2
    rig.set(kLink, 0.0f);
    rig.set(kScExt, 1.0f);
    const Signal main = constant(8000, 0.1f);
    rig.run(main, main, 512, constant(8000, 2.0f), constant(8000, 0.0f));
    rig.set(kLink, 1.0f);
    const Stereo out = rig.run(main, main, 512, constant(8000, 2.0f), constant(8000, 0.0f));
    const double p = 2.0 * kSmoothScale * 0.7071 + 0.005;
    EXPECT_NEAR(out.left[7999] / 0.1, 1.0 / std::sqrt(p), 2e-5);
    EXPECT_NEAR(out.right[7999] / 0.1, 1.0 / std::sqrt(p), 2e-5);
    // The envelopes stay apart bit for bit, so each channel ran its own gain curve.
    EXPECT_NE(rig.path().envelope(0), rig.path().envelope(1));
}

}  // namespace
}  // namespace tinypress
