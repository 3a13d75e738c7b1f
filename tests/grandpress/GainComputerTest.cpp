// Gain computer: settle values of the static curve and the envelope laws, with the engine's
// coefficient maths.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "grandpress/EngineSettings.h"
#include "grandpress/GainComputer.h"
#include "grandpress/Parameters.h"
#include "grandpress/StageSettings.h"

namespace {

namespace gp = grandpress;

gp::EngineSettings settings(float ratio, bool soft, bool rms = false, bool classic = false,
                            float release = 0.5f) {
    return testsupport::stageSettings(ratio, soft, rms, classic, release);
}

// Feeds a constant level to both channels for `samples`; returns the last left gain.
double settle(gp::GainComputer& g, const gp::EngineSettings& s, double d, int samples) {
    static const gp::ReleaseShape shape;
    double gL = 0.0, gR = 0.0;
    for (int i = 0; i < samples; ++i) g.gains(d, d, s, shape, gL, gR);
    EXPECT_EQ(gL, gR);
    return gL;
}

TEST(GrandPressGainComputer, HardKneeRatioTwoSixDecibelsOver) {
    const gp::EngineSettings s = settings(0.6f, false);  // step 12: 2:1
    ASSERT_DOUBLE_EQ(s.inverseRatio, 0.5);
    gp::GainComputer g;
    // 2.0 = 6 dB over: out = 2^0.5, g = 2^0.5 / 2 = 0.7071 (the 1e-6 of the division aside).
    EXPECT_NEAR(settle(g, s, 2.0, 44100), std::sqrt(2.0) / 2.0, 1e-5);
    // Below the threshold the curve is the identity.
    EXPECT_NEAR(settle(g, s, 0.5, 5 * 44100), 1.0, 1e-5);
}

TEST(GrandPressGainComputer, SoftKneeSplineThroughItsPoints) {
    const gp::EngineSettings s = settings(0.6f, true);
    EXPECT_NEAR(s.kneeP2, 1.224745, 1e-6);  // 1.5^0.5
    EXPECT_NEAR(s.kneeP3, 1.581139, 1e-6);  // 2.5^0.5
    // Hand-evaluated Catmull-Rom segment at t = 0.5: 0.5 + 0.431186 - 0.022770 - 0.005818.
    EXPECT_NEAR(gp::staticCurve(1.0, s), 0.902598, 1e-6);
    EXPECT_NEAR(gp::staticCurve(0.5, s), 0.5, 1e-12);
    EXPECT_NEAR(gp::staticCurve(1.5, s), 1.224745, 1e-6);
    EXPECT_NEAR(gp::staticCurve(1.4999999, s), 1.224745, 1e-6);  // continuous at the joints
    EXPECT_NEAR(gp::staticCurve(0.5000001, s), 0.5, 1e-6);
    gp::GainComputer g;
    EXPECT_NEAR(settle(g, s, 0.5, 44100), 1.0, 1e-5);
    EXPECT_NEAR(settle(g, s, 1.0, 5 * 44100), 0.902598, 1e-5);
}

TEST(GrandPressGainComputer, RatioStepsFromTheFloatValue) {
    // (int)(v * 20) on the float: 0.7f gives 14 (2.8:1), 0.9f gives 18 (8:1), 0.3f gives 6.
    EXPECT_DOUBLE_EQ(settings(0.7f, false).inverseRatio, 1.0 / 2.8);
    EXPECT_DOUBLE_EQ(settings(0.9f, false).inverseRatio, 1.0 / 8.0);
    EXPECT_DOUBLE_EQ(settings(0.3f, false).inverseRatio, 1.0);
    EXPECT_EQ(settings(0.25f, false).expanding, 1);  // step 5
    EXPECT_EQ(settings(0.3f, false).expanding, 0);
}

TEST(GrandPressGainComputer, EnvelopeFloorAndAttackTime) {
    const gp::EngineSettings s = settings(0.6f, false);
    gp::GainComputer g;
    // Silence: the envelope stays at its floor 0.0001.
    settle(g, s, 0.0, 1000);
    EXPECT_DOUBLE_EQ(g.envelope(0), gp::kEnvelopeFloor);
    // The detector's silent level 0.005: g = 0.005 / (0.005 + 1e-6).
    EXPECT_NEAR(settle(g, s, 0.005, 44100), 0.005 / 0.005001, 1e-9);
    // A step to 2.0 covers 95 % of the distance in the attack time (3.162 ms = 139.4 samples).
    gp::GainComputer a;
    const double attackSamples = 0.01 * std::pow(100000.0, 0.5) * 44.1;
    settle(a, s, 2.0, static_cast<int>(std::lround(attackSamples)));
    EXPECT_NEAR((a.envelope(0) - 1e-4) / (2.0 - 1e-4), 0.95, 0.002);
    // With RMS the square reaches 95 % in the same time (base 0.0025 = 0.05^2 on the square).
    const gp::EngineSettings r = settings(0.6f, false, true);
    gp::GainComputer b;
    settle(b, r, 2.0, static_cast<int>(std::lround(attackSamples)));
    EXPECT_NEAR((b.envelope(0) - 1e-4) / (4.0 - 1e-4), 1.0 - 0.0025, 0.001);
}

TEST(GrandPressGainComputer, ClassicLawFallsTowardsItsFloor) {
    // Release 0.1 s; in silence the fast average is at its 1e-6 floor, so the shape index is
    // capped at 999 and the step factor is releaseCoefficient^1.41247 (time constant about
    // 29000 samples): after 10 s the envelope sits at the floor 0.4 (peak) or 0.5 (RMS).
    const gp::EngineSettings s = settings(0.6f, false, false, true, 0.0f);
    const double factor = std::pow(s.releaseCoefficient, std::pow(999.0, 0.05));
    EXPECT_NEAR(1.0 / factor, 29000.0, 1000.0);
    gp::GainComputer peak, rms;
    settle(peak, s, 0.0, 10 * 44100);
    EXPECT_NEAR(peak.envelope(0), 0.4, 1e-4);
    settle(rms, settings(0.6f, false, true, true, 0.0f), 0.0, 10 * 44100);
    EXPECT_NEAR(rms.envelope(0), 0.5, 1e-4);
    // One step from the floor 0.0001 moves by exactly (0.4 - 0.0001) * factor.
    gp::GainComputer one;
    settle(one, s, 0.0, 1);
    EXPECT_NEAR(one.envelope(0), 0.0001 + (0.4 - 0.0001) * factor, 1e-12);
}

TEST(GrandPressGainComputer, ClassicReleasePowersAreThoseOfPow) {
    // The kept powers of the release shape: the bits of std::pow for every entry, while the
    // coefficient changes (as under a moving Release knob), comes back, and entries are asked
    // for in any order and more than once.
    const gp::ReleaseShape shape;
    for (double c : {0.99995, 0.9, 0.99995, 0.5, 0.999999, 0.9}) {
        for (int j = 0; j < 3 * gp::ReleaseShape::kEntries; ++j) {
            const int k = (j * 7919) % gp::ReleaseShape::kEntries;
            ASSERT_EQ(shape.exponent(k, c), std::pow(c, static_cast<double>(shape[k])))
                << "coefficient " << c << " entry " << k;
        }
    }
}

TEST(GrandPressGainComputer, ExpansionAboveTheThreshold) {
    const gp::EngineSettings s = settings(0.0f, false);  // step 0: ratio 0.5
    gp::GainComputer g;
    EXPECT_NEAR(settle(g, s, 2.0, 44100), 2.0, 1e-5);  // out = 2^2 = 4, g = 4/2
}

}  // namespace
