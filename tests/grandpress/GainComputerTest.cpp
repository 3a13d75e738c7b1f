// Gain computer: settle values of the static curve and the envelope laws, with the engine's
// coefficient maths.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "grandpress/EngineSettings.h"
#include "grandpress/GainComputer.h"
#include "grandpress/GainCurve.h"
#include "grandpress/Parameters.h"

namespace {

namespace gp = grandpress;

// Settings for ratio step k at 44.1 kHz with the Default program's times (attack 3.16 ms,
// release 1 s), switches as given.
gp::EngineSettings settings(float ratio, bool soft, bool rms = false, bool classic = false,
                            float release = 0.5f) {
    float p[gp::kNumParams] = {};
    p[gp::kPower] = 1.0f;
    p[gp::kRatio] = ratio;
    p[gp::kAttack] = 0.5f;
    p[gp::kRelease] = release;
    p[gp::kSoft] = soft ? 1.0f : 0.0f;
    p[gp::kRms] = rms ? 1.0f : 0.0f;
    p[gp::kClassic] = classic ? 1.0f : 0.0f;
    p[gp::kMakeup] = 1.0f / 3.0f;
    p[gp::kOutput] = 0.5f;
    p[gp::kMix] = 1.0f;
    gp::EngineSettings s;
    gp::applyAll(s, p, 44100.0);
    return s;
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

TEST(GrandPressGainComputer, ChunkEnvelopesAreTheFrameEnvelopesUnderEveryLaw) {
    // A rising, falling and bursting detector level, different on the two channels, through
    // chunks of uneven length: the chunk form gives each frame's level bit for bit, under every
    // combination of RMS, auto attack, auto release and the "Classic" law.
    static const gp::ReleaseShape shape;
    std::vector<double> dL(700), dR(700);
    for (int i = 0; i < 700; ++i) {
        dL[i] = 0.5 + 0.45 * std::sin(0.013 * i) + (i % 97 < 5 ? 1.5 : 0.0);
        dR[i] = i < 300 ? 0.01 * i : 0.002;
    }
    for (int law = 0; law < 16; ++law) {
        gp::EngineSettings s = settings(0.6f, law & 8, law & 1, false, 0.2f);
        s.autoAttack = (law & 2) != 0;
        s.autoRelease = (law & 4) != 0;
        s.classic = (law & 8) != 0;
        gp::GainComputer frames, chunks;
        double level[2 * 128];
        for (int start = 0, n = 1; start < 700; start += n, n = n % 91 + 37) {
            if (start + n > 700) n = 700 - start;
            chunks.levels(&dL[start], &dR[start], n, false, s, shape, level);
            for (int i = 0; i < n; ++i) {
                double gL = 0.0, gR = 0.0;
                frames.gains(dL[start + i], dR[start + i], s, shape, gL, gR);
                ASSERT_EQ(gp::GainComputer::gainOf(level[i], s), gL) << "law " << law;
                ASSERT_EQ(gp::GainComputer::gainOf(level[n + i], s), gR) << "law " << law;
            }
            ASSERT_EQ(chunks.envelope(0), frames.envelope(0));
            ASSERT_EQ(chunks.envelope(1), frames.envelope(1));
        }
    }
}

TEST(GrandPressGainComputer, ChunkEnvelopesAgreeOnBothKernelSets) {
    // The same detector levels as above (bursts, slow swings, a channel falling to its floor)
    // through both kernel sets under every law, with and without S.C.Monit: the vector build
    // follows the baseline within rounding, frame by frame and over many chunks. (The slow level
    // average's rounding shows in the auto factors at some 1e-12 of the level.)
    constexpr double kClose = 1e-11;
    using qrx::dsp::InstructionSet;
    if (qrx::dsp::bestInstructionSet() != InstructionSet::Avx2Fma) GTEST_SKIP();
    static const gp::ReleaseShape shape;
    constexpr int kFrames = 3000;
    std::vector<double> dL(kFrames), dR(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        dL[i] =
            0.5 + 0.45 * std::sin(0.013 * i) + (i % 97 < 5 ? 1.5 : 0.0) + (i > 2000 ? 8.0 : 0.0);
        dR[i] = i < 300 ? 0.01 * i : (i < 1500 ? 0.002 : 3.0 * (i % 211) / 211.0);
    }
    for (int law = 0; law < 32; ++law) {
        gp::EngineSettings s = settings(0.6f, law & 8, law & 1, false, 0.2f);
        s.autoAttack = (law & 2) != 0;
        s.autoRelease = (law & 4) != 0;
        s.classic = (law & 8) != 0;
        const bool monitor = (law & 16) != 0;
        gp::GainComputer plain, fast;
        double a[2 * 128], b[2 * 128];
        for (int start = 0, n = 1; start < kFrames; start += n, n = n % 106 + 23) {
            if (start + n > kFrames) n = kFrames - start;
            plain.levels(InstructionSet::Baseline, &dL[start], &dR[start], n, monitor, s, shape, a);
            fast.levels(InstructionSet::Avx2Fma, &dL[start], &dR[start], n, monitor, s, shape, b);
            for (int k = 0; k < 2 * n; ++k)
                ASSERT_NEAR(b[k], a[k], kClose * a[k])
                    << "law " << law << " frame " << start + k % n;
        }
        for (int c = 0; c < 2; ++c)
            EXPECT_NEAR(fast.envelope(c), plain.envelope(c), kClose * plain.envelope(c))
                << "law " << law;
        // The level averages went on alike: from the same state both continue alike.
        if (!s.classic) {
            s.classic = 1;
            plain.levels(InstructionSet::Baseline, dL.data(), dR.data(), 64, false, s, shape, a);
            fast.levels(InstructionSet::Baseline, dL.data(), dR.data(), 64, false, s, shape, b);
            for (int k = 0; k < 128; ++k) ASSERT_NEAR(b[k], a[k], kClose * a[k]) << "law " << law;
        }
    }
}

TEST(GrandPressGainComputer, ChunkCurveIsTheFrameCurveOnBothKernelSets) {
    // Levels across the whole range the envelope reaches, the knee joints and their neighbours,
    // in a chunk whose length leaves a partial quad. The vector build's shorter series leave
    // remainders below 2e-14 (log) and 7e-15 (exp); with the rounding of some thirty operations
    // on exponents of up to a few hundred the gain stays within 1e-13 of the baseline's (some
    // 3e-14 at the largest levels under expansion).
    std::vector<double> level;
    for (double x = 1e-4; x < 2e6; x *= 1.13) level.push_back(x);
    for (double x : {0.5, 0.5000001, 1.0, 1.0000001, 1.4999999, 1.5, 0.9999999}) level.push_back(x);
    level.resize(level.size() | 1);
    const int n = static_cast<int>(level.size());
    using qrx::dsp::InstructionSet;
    for (bool soft : {false, true}) {
        for (float ratio : {0.0f, 0.3f, 0.6f, 0.7f, 0.9f, 1.0f}) {
            const gp::EngineSettings s = settings(ratio, soft);
            for (InstructionSet set : {InstructionSet::Baseline, InstructionSet::Avx2Fma}) {
                if (set != InstructionSet::Baseline && qrx::dsp::bestInstructionSet() != set)
                    continue;
                std::vector<double> gain(level.size(), -1.0);
                gp::curveGains(set, s, level.data(), n, gain.data());
                for (int k = 0; k < n; ++k) {
                    const double frame = gp::GainComputer::gainOf(level[k], s);
                    if (set == InstructionSet::Baseline)
                        ASSERT_EQ(gain[k], frame) << "level " << level[k];
                    else
                        ASSERT_NEAR(gain[k], frame, 1e-13 * frame)
                            << "level " << level[k] << " ratio " << ratio << " soft " << soft;
                }
            }
        }
    }
}

TEST(GrandPressGainComputer, ChunkCurveFollowsOneLevelOverTheKneeAnywhere) {
    // A chunk of both channels as the gain stage hands it over, levels just under the knee, soft
    // knee's segment or over it, with one of them far above at each place in turn: every gain
    // is still the frame curve's, whichever way its neighbours go through the curve.
    using qrx::dsp::InstructionSet;
    if (qrx::dsp::bestInstructionSet() != InstructionSet::Avx2Fma) GTEST_SKIP();
    constexpr int kLevels = 128;
    for (bool soft : {false, true}) {
        const gp::EngineSettings s = settings(0.7f, soft);
        for (double base : {0.3, 0.99, 1.2}) {
            for (int place = 0; place < kLevels; ++place) {
                double level[kLevels], gain[kLevels];
                for (int k = 0; k < kLevels; ++k) level[k] = base * (1.0 + 1e-3 * (k % 7));
                level[place] = 40.0;
                gp::curveGains(InstructionSet::Avx2Fma, s, level, kLevels, gain);
                for (int k = 0; k < kLevels; ++k) {
                    const double frame = gp::GainComputer::gainOf(level[k], s);
                    ASSERT_NEAR(gain[k], frame, 1e-13 * frame)
                        << "soft " << soft << " base " << base << " place " << place << " k " << k;
                }
            }
        }
    }
}

}  // namespace
