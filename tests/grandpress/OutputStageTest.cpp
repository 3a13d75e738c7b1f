// Limiter and output line.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "grandpress/EngineSettings.h"
#include "grandpress/OutputStage.h"
#include "grandpress/Parameters.h"

namespace {

namespace gp = grandpress;

gp::EngineSettings settingsAt(double rate) {
    float p[gp::kNumParams] = {};
    p[gp::kPower] = 1.0f;
    p[gp::kLimiter] = 1.0f;
    gp::EngineSettings s;
    gp::applyAll(s, p, rate);
    return s;
}

TEST(GrandPressLimiter, LooksAheadSixtyTwoSamplesAt44k) {
    const gp::EngineSettings s = settingsAt(44100.0);
    EXPECT_EQ(s.limiterLookAhead, 61);  // (int)(44100 * 1.4 ms)
    gp::Limiter lim;
    lim.reset(s);
    EXPECT_EQ(lim.lookAhead(), 62);  // r = w - c - 1
    EXPECT_EQ(settingsAt(192000.0).limiterLookAhead, 268);
}

TEST(GrandPressLimiter, FullScaleSquareNeverExceedsTheCeiling) {
    const gp::EngineSettings s = settingsAt(44100.0);
    gp::Limiter lim;
    lim.reset(s);
    // 0.5 for a while, then a full-scale square wave (period 100) from sample 3000.
    constexpr int kEdge = 3000;
    std::vector<double> out(20000);
    std::vector<double> envelope(out.size());
    for (int i = 0; i < static_cast<int>(out.size()); ++i) {
        double x = i < kEdge ? 0.5 : ((i - kEdge) / 50 % 2 ? -1.0 : 1.0);
        double y = x;
        lim.process(x, y, true, s, 0.0);
        out[i] = x;
        envelope[i] = lim.envelope();
    }
    for (double v : out) ASSERT_LE(std::abs(v), 0.999);
    // The 511-sample line: the 0.5 level leaves scaled by the 0.999 ceiling factor only.
    EXPECT_DOUBLE_EQ(out[510], 0.0);
    EXPECT_DOUBLE_EQ(out[511], 0.5 * 0.999);
    // The window reaches the edge on the step that stores it, while the sample it scales is the
    // one 62 earlier: the envelope starts rising there, 62 samples before the edge leaves.
    EXPECT_NEAR(envelope[kEdge - 1], envelope[kEdge - 2], 1e-6);
    EXPECT_GT(envelope[kEdge], envelope[kEdge - 1] + 0.01);
    EXPECT_DOUBLE_EQ(out[kEdge + 511 - 63], 0.5 * 0.999);  // before the look-ahead: untouched
    EXPECT_NEAR(std::abs(out[kEdge + 511 + 200]), 0.999 / std::max(1.0, envelope[kEdge + 200 + 62]),
                1e-3);
}

TEST(GrandPressLimiter, OverdrivenEdgeIsReducedWithinTheLookAhead) {
    const gp::EngineSettings s = settingsAt(44100.0);
    gp::Limiter lim;
    lim.reset(s);
    constexpr int kEdge = 3000;
    std::vector<double> out(5000);
    for (int i = 0; i < static_cast<int>(out.size()); ++i) {
        double x = i < kEdge ? 0.5 : 2.0;  // +6 dB over full scale
        double y = -x;
        lim.process(x, y, true, s, 0.0);
        out[i] = x;
        ASSERT_LE(std::abs(y), 0.999);
    }
    const int edgeOut = kEdge + 511;
    int firstReduced = -1;
    for (int i = 511; i < edgeOut; ++i)
        if (out[i] < 0.5 * 0.999 - 1e-9) {
            firstReduced = i;
            break;
        }
    // Reduction starts inside the 62-sample look-ahead, before the edge leaves.
    EXPECT_GE(firstReduced, edgeOut - 62);
    EXPECT_LT(firstReduced, edgeOut);
    EXPECT_LT(out[edgeOut - 1], 0.5 * 0.999 * 0.9);  // E is near 1.95 by then: G about 0.51
}

TEST(GrandPressLimiter, OffOnlyDelays) {
    const gp::EngineSettings s = settingsAt(48000.0);
    gp::Limiter lim;
    lim.reset(s);
    for (int i = 0; i < 600; ++i) {
        double l = i == 10 ? 3.0 : 0.0, r = i == 20 ? -4.0 : 0.0;
        lim.process(l, r, false, s, 0.0);
        if (i == 10 + 511) {
            EXPECT_EQ(l, 3.0);
        }
        if (i == 20 + 511) {
            EXPECT_EQ(r, -4.0);
        }
    }
    EXPECT_EQ(lim.gain(), 1.0);
}

}  // namespace
