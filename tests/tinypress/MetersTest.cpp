// Meter feeds: over counting with t_o, VU scaling, PPM ballistics at fs and 2 fs, the
// gain-reduction meter with its mix, holds and ages, and the bypass meters.
#include <gtest/gtest.h>

#include <cmath>

#include "EngineRig.h"

namespace tinypress {
namespace {

using tinypress_test::constant;
using tinypress_test::EngineRig;
using tinypress_test::Signal;

Signal squareWave(int frames, int halfPeriod) {
    Signal s(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) s[i] = (i / halfPeriod) % 2 ? -1.0f : 1.0f;
    return s;
}

// A full-scale square wave with t_o = 3 lights the over lamp at the end of every call of at
// least 3 samples; fewer samples carry the run over to the next call. Power on ("Pre"), and off
// ("Pre" and "Post"), where the +-1e-12 anti-denormal offsets must not break a full-scale run.
TEST(TinyPressMeterOvers, SquareWaveWithThreeSamples) {
    const struct { float power, meters; } rows[] = {{1.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 1.0f}};
    for (const auto& r : rows) {
        EngineRig rig;
        rig.neutral();
        rig.set(kPower, r.power);
        rig.set(kMeters, r.meters);
        rig.set(kOverIndicator, 2.0f / 9.0f);  // c = 2: three samples
        ASSERT_EQ(rig.fx.settingsNow().overSamples, 3);
        const Signal wave = squareWave(20000, 5);
        rig.run(Signal(wave.begin(), wave.begin() + 1000), 500);  // past the 977-sample delay
        int at = 1000;
        for (const int call : {3, 4, 64, 7, 512, 3}) {
            rig.run(Signal(wave.begin() + at, wave.begin() + at + call), call);
            at += call;
            EXPECT_EQ(rig.meter(0).overload.load(), 1.0) << r.power << " " << call;
            EXPECT_EQ(rig.meter(1).overload.load(), 1.0) << r.power << " " << call;
            EXPECT_EQ(rig.meter(0).overCount.load(), 0.0);
        }
        // Two samples: the run continues into the next call.
        rig.run(Signal(wave.begin() + at, wave.begin() + at + 2), 2);
        EXPECT_EQ(rig.meter(0).overload.load(), 0.0);
        EXPECT_EQ(rig.meter(0).overCount.load(), 2.0);
        rig.run(Signal(wave.begin() + at + 2, wave.begin() + at + 3), 1);
        EXPECT_EQ(rig.meter(0).overload.load(), 1.0);
    }
}

TEST(TinyPressMeterOvers, SingleFullScaleSampleNeedsTOfOne) {
    for (const float c : {2.0f / 9.0f, 0.0f}) {
        EngineRig rig;
        rig.neutral();
        rig.set(kOverIndicator, c);
        Signal s = constant(1100, 0.5f);
        s[50] = 1.0f;
        s[60] = -1.0f;
        rig.run(s, 1100);
        EXPECT_EQ(rig.meter(0).overload.load(), c > 0.0f ? 0.0 : 1.0) << c;
        rig.run(constant(10, 0.5f), 10);
        EXPECT_EQ(rig.meter(0).overload.load(), 0.0);
    }
}

// VU reference 0 dBFS: the VU settles at x * sqrt(2) * 1.096 = 0.774989 for DC 0.5; the PPM
// (instant attack at 0 ms integration) returns with 1 - 0.0625^(1 / (fs * 0.1 s)): every source
// is fed once per sample, so the set 100 ms mean 1/16 of the level after 4410 samples at
// 44.1 kHz, on "Pre" as on "Post", once the silence has come through the 977-sample delay.
TEST(TinyPressMeterBallistics, VuScaleAndPpmReturnInTheSetTimeOnEverySource) {
    for (const float meters : {0.0f, 1.0f}) {
        EngineRig rig;
        rig.neutral();
        rig.set(kMeters, meters);
        rig.set(kVuReference, 1.0f);
        rig.set(kPpmIntegration, 0.0f);
        rig.set(kPpmReturn, 0.0f);  // 100 ms
        rig.set(kVuIntegration, 0.0f);
        Signal s = constant(977 + 20000, 0.5f);
        rig.run(s, 512);
        const double level = 0.5;  // "Post": times g = 0.999998 at ratio 1
        EXPECT_NEAR(rig.meter(0).mainLevel.load(), level * std::sqrt(2.0) * 1.096, 2e-4);
        EXPECT_NEAR(rig.meter(0).secondLevel.load(), level, 2e-4);
        const int returnSamples = 4410;
        rig.run(constant(977 + returnSamples, 0.0f), 977 + returnSamples);  // the silence arrives
        EXPECT_NEAR(rig.meter(0).secondLevel.load(), level / 16.0, 2e-4) << meters;
        // Held values: the highest PPM and VU, their ages counting the samples since.
        EXPECT_NEAR(rig.meter(0).peakB.load(), level, 2e-4);
        EXPECT_GE(rig.meter(0).peakBAge.load(), returnSamples);
        EXPECT_GT(rig.meter(0).peakA.load(), rig.meter(0).mainLevel.load());
    }
}

// "GainRed": x = (|0.98 g| - 1) * mix + 1. Without reduction (ratio 1, g = 1 - 2e-4) the meters
// settle at 0.98 g; with meter mix 0 they stay at 1 whatever the gain; with reduction they read
// 0.98 g of the settled gain.
TEST(TinyPressMeterBallistics, GainReductionMeterAndMix) {
    const struct {
        float ratio, mix, amplitude;
        double expected;
    } rows[] = {
        {0.3f, 1.0f, 0.5f, 0.98 * 0.418908 / 0.418909},
        {1.0f, 0.0f, 2.0f, 1.0},
        {0.6f, 1.0f, 2.0f, 0.98 * 0.7760023502209861},
        {0.6f, 0.5f, 2.0f, (0.98 * 0.7760023502209861 - 1.0) * 0.5 + 1.0},
    };
    for (const auto& r : rows) {
        EngineRig rig;
        rig.neutral();
        rig.set(kMeters, 0.5f);
        rig.set(kRatio, r.ratio);
        rig.set(kMix, r.mix);
        rig.set(kVuIntegration, 0.0f);
        rig.set(kPpmReturn, 0.0f);
        rig.run(constant(40000, r.amplitude), 512);
        for (int c = 0; c < 2; ++c) {
            EXPECT_NEAR(rig.meter(c).mainLevel.load(), r.expected, 2e-5) << r.ratio << r.mix;
            EXPECT_NEAR(rig.meter(c).secondLevel.load(), r.expected, 2e-5) << r.ratio << r.mix;
        }
    }
}

// Power off, "GainRed": VU and PPM move to exactly 1 and no over is counted.
TEST(TinyPressMeterBallistics, BypassGainMetersRestAtOne) {
    EngineRig rig;
    rig.neutral();
    rig.set(kPower, 0.0f);
    rig.set(kMeters, 0.5f);
    rig.set(kVuIntegration, 0.0f);
    rig.set(kPpmReturn, 0.0f);
    rig.set(kOverIndicator, 0.0f);
    rig.run(squareWave(40000, 4), 512);
    EXPECT_NEAR(rig.meter(0).mainLevel.load(), 1.0, 1e-9);
    EXPECT_NEAR(rig.meter(0).secondLevel.load(), 1.0, 1e-9);
    EXPECT_EQ(rig.meter(0).overload.load(), 0.0);
}

// suspend puts the feed at rest (lamps 0.01); the next call sets them to 0 or 1. The editor's
// changes between calls are taken over (a zeroed level, a fallen hold).
TEST(TinyPressMeterBallistics, SuspendAndEditorChanges) {
    EngineRig rig;
    rig.neutral();
    rig.run(constant(3000, 0.5f), 512);
    EXPECT_GT(rig.meter(0).secondLevel.load(), 0.3);
    rig.fx.suspend();
    EXPECT_EQ(rig.meter(0).secondLevel.load(), 0.0);
    EXPECT_EQ(rig.meter(0).overload.load(), 0.01);
    rig.run(constant(64, 0.0f), 64);
    EXPECT_EQ(rig.meter(0).overload.load(), 0.0);
    EXPECT_EQ(rig.meter(0).peakBAge.load(), 64);
    rig.fx.meterFeed().channel[0].peakB.store(0.0);
    rig.fx.meterFeed().channel[0].peakBAge.store(0);
    rig.run(constant(100, 0.0f), 100);
    EXPECT_EQ(rig.meter(0).peakBAge.load(), 100);
}

}  // namespace
}  // namespace tinypress
