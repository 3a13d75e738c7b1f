// Meter ballistics: settle values, over counting and the lamps, hold ages.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "grandpress/EngineRig.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/Kernels.h"
#include "grandpress/Meters.h"
#include "grandpress/Parameters.h"

namespace {

namespace gp = grandpress;

gp::EngineSettings meterSettings(float source, float overIndicator = 0.0f) {
    float p[gp::kNumParams] = {};
    p[gp::kPower] = 1.0f;
    p[gp::kRatio] = 0.3f;
    p[gp::kMix] = 1.0f;
    p[gp::kMeters] = source;
    p[gp::kVuIntegration] = 0.5f;  // 300 ms
    p[gp::kVuReference] = 0.5f;    // 0.06125^0.5
    p[gp::kPpmIntegration] = 0.52f;
    p[gp::kPpmReturn] = 0.72365f;
    p[gp::kOverIndicator] = overIndicator;
    gp::EngineSettings s;
    gp::applyAll(s, p, 44100.0);
    return s;
}

TEST(GrandPressMeters, VuOfAFullScaleSineIs0_9868OverTheReference) {
    const gp::EngineSettings s = meterSettings(1.0f);  // Post
    ASSERT_EQ(s.meterSource, kMeterPost);
    MeterFeed feed;
    gp::MeterState m;
    m.load(feed, s);
    double lo = 1e9, hi = 0.0;
    for (int i = 0; i < 5 * 44100; ++i) {
        const double x = std::sin(2.0 * std::numbers::pi * 441.0 * i / 44100.0);
        m.feedSignal(x, 0.5 * x, 0.0);
        if (i > 4 * 44100) {
            lo = std::min(lo, m.ch[0].vu);
            hi = std::max(hi, m.ch[0].vu);
        }
    }
    // 1.096 * 1.4142136 * 2/pi = 0.98679; the integrator ripples by well under 0.1 %.
    const double expected = 1.096 * 1.4142136 * 2.0 / std::numbers::pi / std::pow(0.06125, 0.5);
    EXPECT_NEAR(lo / expected, 1.0, 2e-3);
    EXPECT_NEAR(hi / expected, 1.0, 2e-3);
    EXPECT_NEAR(m.ch[1].vu / expected, 0.5, 2e-3);
    // The PPM follows the peaks: near the amplitude, held at its maximum.
    EXPECT_GT(m.ch[0].ppmHold, 0.9);
    EXPECT_LE(m.ch[0].ppmHold, 1.0);
}

TEST(GrandPressMeters, OverLampAndCounting) {
    MeterFeed feed;
    {
        const gp::EngineSettings s = meterSettings(1.0f, 0.0f);  // overSamples 1
        gp::MeterState m;
        m.load(feed, s);
        for (int i = 0; i < 100; ++i) m.feedSignal(i == 50 ? 1.0 : 0.1, 0.1, 0.0);
        m.finishBlock(feed, 100);
        EXPECT_EQ(feed.channel[0].overload.load(), 1.0);  // one sample at 1.0 lights it
        EXPECT_EQ(feed.channel[0].overCount.load(), 0.0);
        EXPECT_EQ(feed.channel[1].overload.load(), 0.0);
        m.load(feed, s);
        for (int i = 0; i < 100; ++i) m.feedSignal(0.1, 0.1, 0.0);
        m.finishBlock(feed, 100);
        EXPECT_EQ(feed.channel[0].overload.load(), 0.0);  // for that block only
    }
    {
        const gp::EngineSettings s = meterSettings(1.0f, 3.0f / 9.0f);  // overSamples 4
        ASSERT_EQ(s.overSamples, 4);
        gp::MeterState m;
        m.load(feed, s);
        for (int i = 0; i < 3; ++i) m.feedSignal(1.0, -1.2, 0.0);
        EXPECT_EQ(m.ch[0].overCount, 3.0);
        m.feedSignal(0.5, -1.0, 0.0);
        EXPECT_EQ(m.ch[0].overCount, 0.0);  // three in a row are not enough
        EXPECT_EQ(m.ch[1].overCount, 4.0);  // four are, and the count stays till the block end
        m.feedSignal(0.5, 0.5, 0.0);
        EXPECT_EQ(m.ch[1].overCount, 4.0);
        m.finishBlock(feed, 5);
        EXPECT_EQ(feed.channel[0].overload.load(), 0.0);
        EXPECT_EQ(feed.channel[1].overload.load(), 1.0);
        EXPECT_EQ(feed.channel[1].overCount.load(), 0.0);
    }
}

TEST(GrandPressMeters, GainReductionSettlesAt0_98WithoutCompression) {
    const gp::EngineSettings s = meterSettings(0.5f);  // GainRed
    MeterFeed feed;
    for (auto& c : feed.channel) c.peakA = c.peakB = 1.0;  // holds at "no reduction"
    gp::MeterState m;
    m.load(feed, s);
    // The PPM rises to 0.98 with its return time (24 dB in 2.8 s: time constant 1 s), so 40 s
    // settle it.
    for (int i = 0; i < 40 * 44100; ++i) m.feedGain(1.0, 0.5, 1.0, 0.0);
    EXPECT_NEAR(m.ch[0].vu, 0.98, 1e-4);
    EXPECT_NEAR(m.ch[0].ppm, 0.98, 1e-4);
    // The holds keep the deepest reduction above 0.01: the rising start of the needle counts
    // too (its first value above 0.01), and nothing above it replaces it.
    EXPECT_NEAR(m.ch[1].vu, 0.49, 1e-4);
    EXPECT_GT(m.ch[1].vuHold, 0.01);
    EXPECT_LT(m.ch[1].vuHold, 0.0101);
    // A hold at 0 (cleared) never moves: no gain value lies below it.
    MeterFeed cleared;
    gp::MeterState z;
    z.load(cleared, s);
    for (int i = 0; i < 44100; ++i) z.feedGain(0.5, 0.5, 1.0, 0.0);
    EXPECT_EQ(z.ch[0].vuHold, 0.0);
    // Expansion above 1 is held when it exceeds the hold.
    for (int i = 0; i < 44100; ++i) z.feedGain(2.0, 2.0, 1.0, 0.0);
    EXPECT_GT(z.ch[0].vuHold, 1.0);
    m.finishBlock(feed, 41 * 44100);
    EXPECT_GT(feed.channel[0].mainLevel.load(), 0.9);
}

// The gain meter reads (|0.98 g| - 1) mix + 1, times the limiter's gain: at mix 0 it stays at the
// limiter's gain whatever the gain (reduction on the left, expansion on the right).
TEST(GrandPressMeters, GainReadingFollowsTheMixAndTheLimiterGain) {
    const double gains[2] = {0.25, 2.0};
    for (const double mix : {0.0, 0.3, 1.0})
        for (const double limiterGain : {1.0, 0.7}) {
            SCOPED_TRACE(testing::Message() << "mix " << mix << ", limiter gain " << limiterGain);
            gp::EngineSettings s = meterSettings(0.5f);  // GainRed
            s.mixAmount = mix;
            MeterFeed feed;
            gp::MeterState m;
            m.load(feed, s);
            for (int i = 0; i < 20 * 44100; ++i) m.feedGain(gains[0], gains[1], limiterGain, 0.0);
            for (int c = 0; c < 2; ++c) {
                const double reading = ((0.98 * gains[c] - 1.0) * mix + 1.0) * limiterGain;
                EXPECT_NEAR(m.ch[c].vu, reading, 1e-6 * reading);
                EXPECT_NEAR(m.ch[c].ppm, reading, 1e-6 * reading);
            }
            if (mix == 0.0) {
                EXPECT_EQ(m.ch[0].vu, m.ch[1].vu);
                EXPECT_EQ(m.ch[0].ppm, m.ch[1].ppm);
            }
        }
}

// Each PPM takes its attack and its return whichever of the two is the faster: the gain PPM
// falls into reduction with its attack and recovers with its return (the other way round
// expanding), the Post PPM rises with its attack and falls with its return. Frame by frame and
// through the chunk feeds of both kernel sets.
TEST(GrandPressMeters, PpmTakesItsAttackAndReturnWhicheverIsFaster) {
    struct Case {
        float source;
        bool expanding;
    };
    for (const Case c : {Case{0.5f, false}, Case{0.5f, true}, Case{1.0f, false}})
        for (const bool slowAttack : {false, true}) {
            const bool gain = c.source == 0.5f;
            SCOPED_TRACE(testing::Message() << (gain ? "GainRed, " : "Post, ")
                                            << (c.expanding ? "expanding" : "compressing")
                                            << (slowAttack ? ", attack slower" : ""));
            gp::EngineSettings s = meterSettings(c.source);
            ASSERT_EQ(s.meterSource, gain ? kMeterGainRed : kMeterPost);
            s.expanding = c.expanding ? 1 : 0;
            if (slowAttack) std::swap(s.ppmAttack, s.ppmReturn);
            ASSERT_EQ(s.ppmAttack[0] < s.ppmReturn[0], slowAttack);
            // From 0.5 down to the reading 0.245 for 64 frames, then up to 0.98 for 64 more (the
            // gain meter reads 0.98 times the gain).
            const double inputs[2] = {gain ? 0.25 : 0.245, gain ? 1.0 : -0.98};
            const double readings[2] = {0.98 * 0.25, 0.98};
            std::vector<const gp::Kernels*> feeds = {nullptr};  // frame by frame
            for (const qrx::dsp::InstructionSet set : testsupport::kernelSetsHere())
                feeds.push_back(&gp::kernelsFor(set));
            for (const gp::Kernels* k : feeds) {
                MeterFeed feed;
                for (MeterChannelFeed& f : feed.channel) f.secondLevel = 0.5;
                gp::MeterState m;
                m.load(feed, s);
                ASSERT_EQ(m.ch[0].ppm, 0.5);
                double want = 0.5;
                for (int run = 0; run < 2; ++run) {
                    const std::vector<double> x(64, inputs[run]), zero(64, 0.0);
                    if (k && gain) {
                        m.feedGains(k->meters, x.data(), x.data(), 64, 1.0, zero.data(), 0);
                    } else if (k) {
                        m.feedSignals(k->meters, x.data(), x.data(), 64, zero.data(), 1);
                    } else {
                        for (const double v : x) {
                            if (gain)
                                m.feedGain(v, v, 1.0, 0.0);
                            else
                                m.feedSignal(v, v, 0.0);
                        }
                    }
                    // The gain meter falls with its attack when compressing, rises with it
                    // expanding; a signal meter rises with it.
                    const bool attack = gain ? (run == 0) != c.expanding : run == 1;
                    const double rate = attack ? s.ppmAttack[0] : s.ppmReturn[0];
                    want = readings[run] + (want - readings[run]) * std::pow(1.0 - rate, 64);
                    EXPECT_NEAR(m.ch[0].ppm, want, 1e-12) << "run " << run;
                }
            }
        }
}

// Every value a feed hands the editor, bit for bit.
void expectSameFeeds(const MeterFeed& chunkFeed, const MeterFeed& frameFeed) {
    for (int c = 0; c < 2; ++c) {
        const MeterChannelFeed& a = chunkFeed.channel[c];
        const MeterChannelFeed& b = frameFeed.channel[c];
        ASSERT_EQ(a.mainLevel.load(), b.mainLevel.load()) << "channel " << c;
        ASSERT_EQ(a.secondLevel.load(), b.secondLevel.load()) << "channel " << c;
        ASSERT_EQ(a.peakA.load(), b.peakA.load()) << "channel " << c;
        ASSERT_EQ(a.peakB.load(), b.peakB.load()) << "channel " << c;
        ASSERT_EQ(a.peakAAge.load(), b.peakAAge.load()) << "channel " << c;
        ASSERT_EQ(a.peakBAge.load(), b.peakBAge.load()) << "channel " << c;
        ASSERT_EQ(a.overCount.load(), b.overCount.load()) << "channel " << c;
        ASSERT_EQ(a.overload.load(), b.overload.load()) << "channel " << c;
    }
}

TEST(GrandPressMeters, SignalChunksReadAsSignalFramesWithOversAndHoldsOnEveryKernelSet) {
    // Bursts past full scale (short and long runs, the over lamp lit and not), swells, negative
    // and zero samples, per channel, with the noise read at every frame and every second one:
    // both channels at once give every reading, count, lamp, hold and age of the frame-by-frame
    // feed bit for bit.
    double left[64], right[64], noise[128];
    for (const qrx::dsp::InstructionSet set : testsupport::kernelSetsHere()) {
        for (const float overIndicator : {0.0f, 0.6f}) {
            for (const int noiseStep : {1, 2}) {
                SCOPED_TRACE(qrx::dsp::instructionSetName(set));
                const gp::EngineSettings s = meterSettings(1.0f, overIndicator);
                MeterFeed chunkFeed, frameFeed;
                gp::MeterState chunks, frames;
                const gp::MeterKernels& kernels = gp::kernelsFor(set).meters;
                bool lit = false;
                for (int block = 0; block < 60; ++block) {
                    chunks.load(chunkFeed, s);
                    frames.load(frameFeed, s);
                    const int n = 64 - block % 9;
                    for (int i = 0; i < 2 * n; ++i)
                        noise[i] = (i % 2 ? 1e-12 : -1e-12) * (1 + i % 3);
                    for (int i = 0; i < n; ++i) {
                        const double t = block * 64 + i;
                        const bool burst = block % 6 == 2 && i > 20 && i < 20 + block % 5;
                        left[i] = burst ? 1.2 * (i % 2 ? 1 : -1)
                                        : 0.8 * std::sin(0.002 * t * (1 + block % 4));
                        right[i] = block % 10 < 3
                                       ? 0.0
                                       : (block % 11 == 5 ? -1.0 : 0.3 * std::cos(0.05 * t));
                    }
                    chunks.feedSignals(kernels, left, right, n, noise, noiseStep);
                    for (int i = 0; i < n; ++i)
                        frames.feedSignal(left[i], right[i], noise[i * noiseStep]);
                    chunks.finishBlock(chunkFeed, n);
                    frames.finishBlock(frameFeed, n);
                    SCOPED_TRACE(block);
                    expectSameFeeds(chunkFeed, frameFeed);
                    if (HasFatalFailure()) return;
                    lit = lit || chunkFeed.channel[1].overload.load() == 1.0;
                    if (block == 30) {  // the editor clears a needle between blocks
                        chunkFeed.channel[0].mainLevel = 0.0;
                        frameFeed.channel[0].mainLevel = 0.0;
                    }
                }
                // An over lamp lit, and the holds were taken late on.
                EXPECT_TRUE(lit);
                EXPECT_LT(chunkFeed.channel[0].peakBAge.load(), 60 * 64);
            }
        }
    }
}

TEST(GrandPressMeters, GainChunksReadAsGainFramesWhileCompressingAndExpandingOnEveryKernelSet) {
    // Gains that dive, recover, expand and drop below 0.01, different per channel (and stretches
    // where both only reduce, with new lows taken), through the limiter's gain, at fs and (FAT) at
    // 2 fs against the base-rate noise: both channels at once give every reading, hold and age of
    // the frame-by-frame feed bit for bit.
    double gL[128], gR[128], noise[128];
    for (const qrx::dsp::InstructionSet set : testsupport::kernelSetsHere()) {
        for (bool expanding : {false, true}) {
            for (int noiseShift : {0, 1}) {
                SCOPED_TRACE(qrx::dsp::instructionSetName(set));
                gp::EngineSettings s = meterSettings(0.5f);
                s.expanding = expanding ? 1 : 0;
                MeterFeed chunkFeed, frameFeed;
                for (MeterFeed* f : {&chunkFeed, &frameFeed})
                    for (auto& c : f->channel) c.peakA = c.peakB = 0.5;
                gp::MeterState chunks, frames;
                const gp::MeterKernels& kernels = gp::kernelsFor(set).meters;
                for (int block = 0; block < 40; ++block) {
                    chunks.load(chunkFeed, s);
                    frames.load(frameFeed, s);
                    const int n = 128 - block;
                    for (int i = 0; i < n; ++i) {
                        const double t = block * 128 + i;
                        const bool reducing = block >= 20 && block < 30;  // readings in (0.01, 1]
                        gL[i] = reducing ? 0.6 + 0.35 * std::sin(0.004 * t)
                                         : 1.0 + 0.9 * std::sin(0.003 * t) +
                                               (block % 7 == 3 ? 0.6 : 0.0);
                        gR[i] = block < 20 ? 0.001 * (1 + block) : 0.4 + 0.3 * std::cos(0.01 * t);
                        noise[i] = (i % 2 ? 1e-12 : -1e-12);
                    }
                    const double limiterGain = block % 5 == 0 ? 0.7 : 1.0;
                    chunks.feedGains(kernels, gL, gR, n, limiterGain, noise, noiseShift);
                    for (int i = 0; i < n; ++i)
                        frames.feedGain(gL[i], gR[i], limiterGain, noise[i >> noiseShift]);
                    chunks.finishBlock(chunkFeed, n);
                    frames.finishBlock(frameFeed, n);
                    SCOPED_TRACE(block);
                    expectSameFeeds(chunkFeed, frameFeed);
                    if (HasFatalFailure()) return;
                }
                // The holds moved both ways during the run (new extremes were taken late on).
                EXPECT_NE(chunkFeed.channel[0].peakA.load(), 0.5);
                EXPECT_LT(chunkFeed.channel[0].peakBAge.load(), 40 * 128);
            }
        }
    }
}

TEST(GrandPressMeters, AgesGrowByTheBlockAndEditorResetsAreTakenOver) {
    const gp::EngineSettings s = meterSettings(1.0f);
    MeterFeed feed;
    gp::MeterState m;
    m.load(feed, s);
    m.feedSignal(0.5, 0.5, 0.0);  // new extremes: ages 0
    m.finishBlock(feed, 64);
    EXPECT_EQ(feed.channel[0].peakAAge.load(), 64);
    EXPECT_EQ(feed.channel[0].peakBAge.load(), 64);
    EXPECT_GT(feed.channel[0].mainLevel.load(), 0.0);
    feed.reset();  // the editor's click between blocks
    m.load(feed, s);
    m.finishBlock(feed, 64);
    EXPECT_EQ(feed.channel[0].mainLevel.load(), 0.0);
    EXPECT_EQ(feed.channel[0].peakAAge.load(), 64);
}

// The VU integration time means the same on every source, with and without FAT: each feed uses
// coefficients for the rate it runs at (Pre and Post at fs, GainRed at the gain-stage rate).
// From rest, a step takes 0.9525 of the time (300 ms) to go from 10 % to 1 - 0.1091012 of its
// final reading. Pre and Post meter a DC step; GainRed rises from 0 to 0.98 g on silence.
TEST(GrandPressMeterFeeds, VuRisesInTheSetTimeOnEverySourceWithAndWithoutFat) {
    constexpr int kBlock = 64;
    constexpr double kRate = 44100.0;
    for (const float fat : {0.0f, 1.0f}) {
        for (const float source : {0.0f, 0.5f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << "FAT " << fat << ", source " << source);
            testsupport::EngineRig rig(static_cast<float>(kRate));
            rig.set(gp::kPower, 1.0f);
            rig.set(gp::kFat, fat);
            rig.set(gp::kMeters, source);
            rig.set(gp::kVuIntegration, 0.5f);  // 300 ms
            rig.restart(static_cast<float>(kRate));
            const double level = source == 0.5f ? 0.0 : 0.5;
            const std::vector<double> in(kBlock, level);
            std::vector<double> outL, outR, vu;
            for (int b = 0; b < 2 * 44100 / kBlock; ++b) {
                rig.run(in, in, outL, outR, kBlock);
                vu.push_back(rig.effect->meterFeed().channel[0].mainLevel.load());
            }
            ASSERT_EQ(rig.settings().layout.gainOversampled, static_cast<int>(fat));
            const double final = vu.back();
            ASSERT_GT(final, 0.3);
            auto reached = [&](double fraction) {
                for (size_t b = 0; b < vu.size(); ++b)
                    if (vu[b] >= fraction * final) return static_cast<double>(b) * kBlock / kRate;
                return -1.0;
            };
            const double rise = reached(1.0 - 0.1091012) - reached(0.1);
            EXPECT_NEAR(rise, 0.9525 * 0.3, 0.004);
        }
    }
}

}  // namespace
