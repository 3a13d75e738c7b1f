// Limiter and output line.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "dsp/PlainBiquad.h"
#include "grandpress/EngineRig.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/Kernels.h"
#include "grandpress/LimiterPasses.h"
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

// The limiter as a plain frame-by-frame walk: the new peak overwrites every smaller value behind
// it in a peak line, the value at r is the window's largest.
class ReferenceLimiter {
  public:
    explicit ReferenceLimiter(const gp::EngineSettings& s) : c(s.limiterLookAhead) {
        r = (w - static_cast<unsigned>(c) - 1) & 511u;
    }
    void process(double& left, double& right, const gp::EngineSettings& s, double noise) {
        lineL[w] = left;
        lineR[w] = right;
        const double p = std::min(
            std::max(std::fabs(left * 1.005773063) + 0.011, std::fabs(right * 1.005773063) + 0.011),
            1000.0);
        peak[w] = p;
        for (unsigned j = (w - 1) & 511u; p > peak[j] && j != r; j = (j - 1) & 511u) peak[j] = p;
        if (p > peak[r]) peak[r] = p;
        const double m = peak[r] + 0.0009766 + noise;
        peak[r] = 0.0;
        const double f = qrx::dsp::plainBiquadStep(m, s.limiterFast, fast, fastOffset);
        const double sl = qrx::dsp::plainBiquadStep(m, s.limiterSlow, slow, slowOffset);
        if (m > E) {
            E += (m - E) * s.limiterAttack;
        } else {
            const double t = 0.2 * f / std::max(sl, 1e-6);
            E += (4.0 * t / (t + 1.0) + 0.1) * (m - E) * s.limiterRelease;
        }
        G = E <= 1.0 ? 1.0 : 1.0 / E;
        lineL[r] = std::min(std::max(lineL[r] * G * 0.999, -0.999), 0.999);
        lineR[r] = std::min(std::max(lineR[r] * G * 0.999, -0.999), 0.999);
        w = (w + 1) & 511u;
        r = (r + 1) & 511u;
        left = lineL[w];
        right = lineR[w];
    }
    double E = 0.0001, G = 1.0;

  private:
    int c;
    double lineL[512] = {}, lineR[512] = {}, peak[512] = {};
    unsigned w = 511, r = 0;
    qrx::dsp::BiquadMemories fast, slow;
    double fastOffset = qrx::dsp::kBiquadNoiseScale, slowOffset = qrx::dsp::kBiquadNoiseScale;
};

TEST(GrandPressLimiter, ChunksFollowThePlainWalkAtEveryRateOnEveryKernelSet) {
    // Bursts that rise sample by sample (the longest walks), loud edges and quiet stretches, in
    // chunks of every length the engine uses, on the plain and (where the processor has them)
    // the fast vector passes. (At 1 kHz the window is shorter than four peaks.)
    for (const qrx::dsp::InstructionSet set : testsupport::kernelSetsHere())
        for (double rate : {1000.0, 22050.0, 44100.0, 96000.0, 192000.0}) {
            SCOPED_TRACE(qrx::dsp::instructionSetName(set));
            const gp::EngineSettings s = settingsAt(rate);
            ReferenceLimiter plain(s);
            gp::Limiter chunks;
            chunks.reset(s);
            const gp::LimiterPasses& passes = gp::kernelsFor(set).limiter;
            std::vector<double> noise(256);
            for (size_t i = 0; i < noise.size(); ++i) noise[i] = 1e-12 * std::sin(0.7 * i);
            int pos = 0;
            for (int n :
                 {128, 1, 127, 64, 7, 128, 64, 33, 128, 2, 128, 100, 128, 64, 17, 128, 128}) {
                for (int pass = 0; pass < 8; ++pass, pos += n) {
                    constexpr int kMost = gp::kLimiterCallFrames;
                    double l[kMost], r[kMost], pl[kMost], pr[kMost];
                    for (int i = 0; i < n; ++i) {
                        const int t = pos + i;
                        const double ramp = (t % 700) / 150.0;
                        l[i] = (t / 900) % 2 ? ramp * std::sin(0.05 * t) : 0.01 * std::cos(0.3 * t);
                        r[i] = (t % 1300 < 40) ? 3.0 : 0.5 * std::sin(0.011 * t) * ramp;
                        pl[i] = l[i];
                        pr[i] = r[i];
                        plain.process(pl[i], pr[i], s, noise[2 * i]);
                    }
                    chunks.process(passes, l, r, n, true, s, noise.data(), 2);
                    // The envelope's steps are arranged differently: rounding apart, the same.
                    for (int i = 0; i < n; ++i) {
                        ASSERT_NEAR(l[i], pl[i], 1e-12) << rate << " Hz, frame " << pos + i;
                        ASSERT_NEAR(r[i], pr[i], 1e-12) << rate << " Hz, frame " << pos + i;
                    }
                    ASSERT_NEAR(chunks.gain(), plain.G, 1e-12);
                    ASSERT_NEAR(chunks.envelope(), plain.E, 1e-12 * plain.E);
                }
            }
        }
}

TEST(GrandPressLimiter, SwitchedOnAgainItForgetsThePeaksOfBefore) {
    // Loud enough to limit, then the limiter off over quiet music, then on again: the old peaks
    // must not pull the new quiet signal down.
    const gp::EngineSettings s = settingsAt(44100.0);
    gp::Limiter lim;
    lim.reset(s);
    double l = 0.0, r = 0.0;
    for (int i = 0; i < 3000; ++i) {
        l = r = 4.0 * std::sin(0.01 * i);
        lim.process(l, r, true, s, 0.0);
    }
    ASSERT_GT(lim.envelope(), 2.0);
    // Off for a whole number of line lengths (about a second), so the window comes back to the
    // positions it held when it was switched off.
    for (int i = 0; i < 86 * gp::Limiter::kRing; ++i) {
        l = r = 0.1 * std::sin(0.01 * i);
        lim.process(l, r, false, s, 0.0);
    }
    // The envelope has not moved while off, so it falls now: the window holds only the new
    // quiet peaks.
    const double before = lim.envelope();
    for (int i = 0; i < 512; ++i) {
        l = r = 0.1 * std::sin(0.01 * i);
        lim.process(l, r, true, s, 0.0);
        ASSERT_LE(lim.envelope(), before) << i;
    }
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

TEST(GrandPressRealignLines, ChunksGiveWhatFramesGive) {
    // Chunks of every length up to 128, over many turns of the 4096-sample lines (runs that wrap
    // on writing, on reading, or both), at a short and at the longest delay: each frame comes
    // out as frame-by-frame pushes give it.
    for (int delay : {1, 300, gp::kRealignLineLength - 128}) {
        auto framewise = std::make_unique<gp::RealignLines>();
        auto chunkwise = std::make_unique<gp::RealignLines>();
        double in[4][128], spill[4][128];
        int t = 0;
        for (int n = 1, chunk = 0; chunk < 400; ++chunk, n = (n * 37 + 11) % 128 + 1) {
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < 4; ++c) in[c][i] = (t + i) * 4.0 + c;
            const double* const lines[4] = {in[0], in[1], in[2], in[3]};
            const double* out[4];
            chunkwise->push(lines, n, delay, spill, out);
            for (int i = 0; i < n; ++i, ++t) {
                const double frame[4] = {in[0][i], in[1][i], in[2][i], in[3][i]};
                double expected[4];
                framewise->push(frame, delay, expected);
                for (int c = 0; c < 4; ++c)
                    ASSERT_EQ(out[c][i], expected[c]) << "delay " << delay << ", frame " << t;
            }
        }
        ASSERT_GT(t, 3 * gp::kRealignLineLength);
    }
}

using testsupport::EngineRig;

// The engine with the limiter holding a hot gain stage (make-up +24 dB, output +12 dB: a 0.5 sine
// leaves the gain stage at 32), fed in host blocks of 200 frames (so chunks of 128 and 72), on the
// kernels of `set`. One switch is set to `to` at the block that starts at the returned index.
struct SwitchedRun {
    std::vector<double> in, out;
    size_t switchedAt = 0;
};
SwitchedRun hotRunSwitching(float rate, qrx::dsp::InstructionSet set, int index, float to) {
    EngineRig rig(rate);
    const bool baseline = set == qrx::dsp::InstructionSet::Baseline;
    rig.effect->vendorSpecific(gp::GrandPress::kInstructionSetRequest, baseline ? 0 : 1, nullptr,
                               0.0f);
    rig.set(gp::kLimiter, 1.0f);
    rig.set(gp::kMakeup, 1.0f);
    rig.set(gp::kOutput, 1.0f);
    rig.restart(rate);
    constexpr int kBlock = 200;
    SwitchedRun run;
    run.switchedAt = static_cast<size_t>(rate / 20 / kBlock) * kBlock;  // about 50 ms in
    run.in.resize(run.switchedAt + 2 * gp::Limiter::kRing + static_cast<size_t>(rate / 50));
    for (size_t i = 0; i < run.in.size(); ++i)
        run.in[i] = 0.5 * std::sin(2.0 * M_PI * 997.0 * static_cast<double>(i) / rate);
    std::vector<double> part, partRight;
    for (const bool after : {false, true}) {
        const auto first = run.in.begin() + (after ? static_cast<long>(run.switchedAt) : 0);
        const auto last = after ? run.in.end() : run.in.begin() + static_cast<long>(run.switchedAt);
        const std::vector<double> segment(first, last);
        rig.run(segment, segment, part, partRight, kBlock);
        run.out.insert(run.out.end(), part.begin(), part.end());
        if (!after) rig.set(index, to);
    }
    return run;
}

double largestMagnitude(const std::vector<double>& x, size_t from, size_t to) {
    double m = 0.0;
    for (size_t i = from; i < to; ++i) m = std::max(m, std::abs(x[i]));
    return m;
}

TEST(GrandPressLimiter, NoFrameLimitedOnEntryLeavesUnlimitedWhateverFollows) {
    // Every frame stored in the output line while the limiter was on leaves scaled, whatever
    // routine takes over: Power off (the pass-through), FAT, Smooth, soft knee and RMS switched.
    // The frames stored 511 samples before the switch still wait in the line then, the last
    // look-ahead of them not yet scaled. What follows Power off is the delayed dry signal.
    struct Switch {
        const char* name;
        int index;
        float to;
    };
    constexpr Switch kSwitches[] = {{"Power off", gp::kPower, 0.0f},
                                    {"FAT on", gp::kFat, 1.0f},
                                    {"Smooth on", gp::kSmooth, 1.0f},
                                    {"Soft on", gp::kSoft, 1.0f},
                                    {"RMS on", gp::kRms, 1.0f}};
    for (const qrx::dsp::InstructionSet set : testsupport::kernelSetsHere())
        for (const float rate : {44100.0f, 96000.0f, 192000.0f})
            for (const Switch& sw : kSwitches) {
                SCOPED_TRACE(testing::Message() << sw.name << " at " << rate << " Hz, "
                                                << qrx::dsp::instructionSetName(set));
                const SwitchedRun run = hotRunSwitching(rate, set, sw.index, sw.to);
                EXPECT_LE(largestMagnitude(run.out, 0, run.out.size()), gp::Limiter::kCeiling);
                // Limited all along before the switch (not silent: the test means something).
                EXPECT_GT(largestMagnitude(run.out, run.switchedAt, run.switchedAt + 511), 0.99);
                if (sw.index != gp::kPower) continue;
                for (size_t i = run.switchedAt + 511; i < run.out.size(); ++i)
                    ASSERT_NEAR(run.out[i], run.in[i - 1660], 1e-9) << i;
            }
}

TEST(GrandPressLimiter, SwitchedOffItScalesWhatItHadSeenAndReleasesNoLouderBurst) {
    // The frames stored while it was on leave scaled; after them the unlimited signal (0.5 at
    // +36 dB: 32), and nothing louder than it.
    for (const qrx::dsp::InstructionSet set : testsupport::kernelSetsHere())
        for (const float rate : {44100.0f, 96000.0f, 192000.0f}) {
            SCOPED_TRACE(testing::Message()
                         << rate << " Hz, " << qrx::dsp::instructionSetName(set));
            const SwitchedRun run = hotRunSwitching(rate, set, gp::kLimiter, 0.0f);
            const size_t leaving = run.switchedAt + 511;
            EXPECT_LE(largestMagnitude(run.out, 0, leaving), gp::Limiter::kCeiling);
            const double unlimited = largestMagnitude(run.out, leaving, run.out.size());
            EXPECT_GT(unlimited, 31.0);
            EXPECT_LE(unlimited, 32.0 * (1.0 + 1e-9));
        }
}

}  // namespace
