// The signal path as a host hears it: the bypass delay, the unity path, mono sums, the choice of
// input buffers from the pin answers and flags, non-finite input, and chunking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "EngineRig.h"

namespace tinypress {
namespace {

using tinypress_test::constant;
using tinypress_test::EngineRig;
using tinypress_test::firstAbove;
using tinypress_test::noiseSignal;
using tinypress_test::Signal;
using tinypress_test::Stereo;

// Power off: the main pair comes out unchanged, exactly 1021 - floor(fs / 1000) samples late
// (977 at 44.1 kHz), whatever the meter source, with the meters running.
TEST(TinyPressBypass, DelaysTheMainPairExactly) {
    const struct {
        float rate;
        int delay;
    } rows[] = {
        {44100.0f, 977}, {48000.0f, 973}, {22050.0f, 999}, {96000.0f, 925}, {192000.0f, 829}};
    for (const auto& r : rows) {
        for (const float meters : {0.0f, 0.5f, 1.0f}) {
            EngineRig rig(r.rate);
            rig.neutral();
            rig.set(kPower, 0.0f);
            rig.set(kMeters, meters);
            const Signal left = noiseSignal(4000, 0.9f, 1);
            const Signal right = noiseSignal(4000, 0.5f, 2);
            const Stereo out = rig.run(left, right, 300);
            ASSERT_EQ(rig.fx.getAeffect()->initialDelay, r.delay);
            for (int i = 0; i < r.delay; ++i) ASSERT_EQ(out.left[i], 0.0f) << r.rate << " " << i;
            for (int i = r.delay; i < 4000; ++i) {
                ASSERT_EQ(out.left[i], left[i - r.delay]) << r.rate << " " << i;
                ASSERT_EQ(out.right[i], right[i - r.delay]) << r.rate << " " << i;
            }
            // The meters ran: on the delayed signal, or (GainRed) rising toward rest at 1.
            const double level = rig.meter(0).secondLevel.load();
            EXPECT_GT(level, 0.01) << r.rate << " " << meters;
            EXPECT_LE(level, 1.0) << r.rate << " " << meters;
            EXPECT_GT(rig.meter(1).mainLevel.load(), 0.05) << r.rate << " " << meters;
        }
    }
}

// The announced delay is the delay the signal has, with the power on and off, at every rate:
// also where processing falls back to 44100 Hz, so host compensation and the Power switch both
// keep the timing.
TEST(TinyPressBypass, AnnouncedDelayIsTheMeasuredDelayAtEveryRate) {
    for (const float rate :
         {8000.0f, 11025.0f, 22050.0f, 48000.0f, 192000.0f, 200000.0f, 384000.0f}) {
        for (const float power : {1.0f, 0.0f}) {
            EngineRig rig(rate);
            rig.neutral();
            rig.set(kPower, power);
            Signal impulse = constant(2000, 0.0f);
            impulse[10] = 1.0f;
            const Stereo out = rig.run(impulse, 256);
            const int announced = rig.fx.getAeffect()->initialDelay;
            EXPECT_EQ(firstAbove(out.left, 0.5f) - 10, announced) << rate << " " << power;
            EXPECT_EQ(firstAbove(out.right, 0.5f) - 10, announced) << rate << " " << power;
            EXPECT_EQ(rig.fx.getLatencySamples(), announced);
        }
    }
}

// Power on, ratio 1, hard knee, unity make-up and output: the output is the input delayed by the
// same 1021 - N samples times v / (v + 1e-6), within 0.09 dB of unity (v >= 0.0001).
TEST(TinyPressUnityPath, RatioOneKeepsLevelAndTiming) {
    for (const float rate : {44100.0f, 96000.0f}) {
        EngineRig rig(rate);
        rig.neutral();
        const int delay = rig.fx.getAeffect()->initialDelay;
        const Signal left = noiseSignal(6000, 0.8f, 3);
        const Signal right = noiseSignal(6000, 0.3f, 4);
        const Stereo out = rig.run(left, right, 512);
        const double tolerance = 1.0 - std::pow(10.0, -0.09 / 20.0);  // 0.0103
        for (int i = delay; i < 6000; ++i) {
            const double l = left[i - delay], r = right[i - delay];
            ASSERT_NEAR(out.left[i], l, tolerance * std::fabs(l) + 1e-9) << rate << " " << i;
            ASSERT_NEAR(out.right[i], r, tolerance * std::fabs(r) + 1e-9) << rate << " " << i;
        }
        // Before the delay only the anti-denormal noise (1e-12) comes out.
        ASSERT_GT(std::fabs(left[0]), 1e-3f);
        EXPECT_EQ(firstAbove(out.left, 1e-9f), delay);
    }
}

// Mono: both outputs carry (L + R) / 2 processed.
TEST(TinyPressUnityPath, MonoSumsBothInputsToBothOutputs) {
    EngineRig rig;
    rig.neutral();
    rig.set(kStereo, 0.0f);
    const Signal left = noiseSignal(3000, 0.6f, 5);
    const Signal right = noiseSignal(3000, 0.6f, 6);
    const Stereo out = rig.run(left, right, 256);
    for (int i = 977; i < 3000; ++i) {
        const double sum = 0.5 * (left[i - 977] + right[i - 977]);
        ASSERT_NEAR(out.left[i], sum, 0.0103 * std::fabs(sum) + 1e-9) << i;
        ASSERT_EQ(out.left[i], out.right[i]) << i;
    }
}

// The result does not depend on how the host cuts its blocks (the path works in chunks of 64).
TEST(TinyPressUnityPath, HostBlockSizeDoesNotChangeTheOutput) {
    const Signal left = noiseSignal(5000, 1.5f, 7);
    const Signal right = noiseSignal(5000, 0.2f, 8);
    Stereo reference;
    for (const int block : {64, 1, 37, 1000, 4096}) {
        EngineRig rig;
        rig.neutral();
        rig.set(kRatio, 0.6f);  // R = 2: the gain really moves
        rig.set(kThreshold, 0.5f);
        rig.set(kAttack, 0.3f);
        const Stereo out = rig.run(left, right, block);
        if (block == 64)
            reference = out;
        else
            EXPECT_TRUE(out.left == reference.left && out.right == reference.right) << block;
    }
}

// The side-chain monitor switched on in mid-stream first replays what the post-detector ring
// held: the same whether the host's blocks keep the chunks aligned with the ring or not.
TEST(TinyPressUnityPath, MonitorSwitchedOnReplaysTheRingAtEveryBlockSize) {
    const Signal left = noiseSignal(3000, 0.8f, 11);
    const Signal right = noiseSignal(3000, 0.3f, 12);
    Stereo reference[2];
    for (const int block : {64, 37, 1000, 4096}) {
        EngineRig rig;
        rig.neutral();
        rig.set(kRatio, 0.6f);
        rig.set(kThreshold, 0.5f);
        const Stereo before = rig.run(left, right, block);
        rig.set(kScMonitor, 1.0f);
        const Stereo after = rig.run(right, left, block);
        if (block == 64) {
            reference[0] = before;
            reference[1] = after;
            float loudest = 0.0f;
            for (const float v : after.left) loudest = std::max(loudest, std::fabs(v));
            EXPECT_GT(loudest, 0.05f);
            continue;
        }
        EXPECT_TRUE(before.left == reference[0].left && before.right == reference[0].right)
            << block;
        EXPECT_TRUE(after.left == reference[1].left && after.right == reference[1].right) << block;
    }
}

// Input selection: right main input, side-chain pair and their fall-backs, from the host's
// pin answers (0 = connected), the connection flags and null pointers.
class TinyPressInputSelection : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.neutral();
        rig.set(kPower, 0.0f);  // the delayed main pair shows which inputs were taken
    }
    // Processes one block of 1200 frames with constant inputs 0.1, 0.2, 0.3, 0.4 (any pointer
    // may be null); returns the two outputs at the end (after the 977-sample delay).
    std::pair<float, float> outputs(float** ins) {
        std::vector<float> o0(1200, -1.0f), o1(1200, -1.0f);
        float* outs[2] = {o0.data(), o1.data()};
        rig.fx.processReplacing(ins, outs, 1200);
        return {o0[1199], o1[1199]};
    }
    EngineRig rig;
    Signal a = constant(1200, 0.1f), b = constant(1200, 0.2f), c = constant(1200, 0.3f),
           d = constant(1200, 0.4f);
};

TEST_F(TinyPressInputSelection, RightMainInput) {
    float* ins[4] = {a.data(), b.data(), c.data(), d.data()};
    EXPECT_EQ(outputs(ins), std::make_pair(0.1f, 0.2f));
    rig.host.pinAnswer = [](VstInt32 pin, VstIntPtr isOutput) {
        return !isOutput && pin == 1 ? 1 : 0;
    };
    EXPECT_EQ(outputs(ins), std::make_pair(0.1f, 0.1f));  // not connected
    rig.host.pinAnswer = nullptr;
    float* noRight[4] = {a.data(), nullptr, c.data(), d.data()};
    EXPECT_EQ(outputs(noRight), std::make_pair(0.1f, 0.1f));  // null pointer
    VstSpeakerArrangement one{}, two{};
    one.numChannels = 1;
    two.numChannels = 2;
    ASSERT_TRUE(rig.fx.setSpeakerArrangement(&one, &two));
    EXPECT_EQ(outputs(ins), std::make_pair(0.1f, 0.1f));  // the flag
    // A null left input and a null input array read as silence; null outputs are skipped.
    float* noLeft[4] = {nullptr, b.data(), c.data(), d.data()};
    EXPECT_EQ(outputs(noLeft), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(outputs(nullptr), std::make_pair(0.0f, 0.0f));
    std::vector<float> o0(64, -1.0f);
    float* halfOuts[2] = {o0.data(), nullptr};
    rig.fx.processReplacing(ins, halfOuts, 64);
    rig.fx.processReplacing(ins, nullptr, 64);
    EXPECT_EQ(o0[0], 0.0f);
}

// The right output is output 2 only when the arrangement has it, the host reports it connected
// and its pointer is not null; else output 1 takes both channels, the right one last, and output
// 2 is left alone.
TEST_F(TinyPressInputSelection, RightOutput) {
    float* ins[4] = {a.data(), b.data(), c.data(), d.data()};
    rig.host.pinAnswer = [](VstInt32 pin, VstIntPtr isOutput) {
        return isOutput && pin == 1 ? 1 : 0;
    };
    EXPECT_EQ(outputs(ins), std::make_pair(0.2f, -1.0f));  // not connected
    rig.host.pinAnswer = nullptr;
    std::vector<float> left(1200, -1.0f);
    float* noRight[2] = {left.data(), nullptr};
    rig.fx.processReplacing(ins, noRight, 1200);
    EXPECT_EQ(left[1199], 0.2f);  // null pointer
    VstSpeakerArrangement two{};
    two.numChannels = 2;
    VstSpeakerArrangement one{};
    one.numChannels = 1;
    ASSERT_TRUE(rig.fx.setSpeakerArrangement(&two, &two));
    EXPECT_EQ(outputs(ins), std::make_pair(0.1f, 0.2f));
    // One output (the arrangement's flag); with one input both channels carry input 1.
    ASSERT_TRUE(rig.fx.setSpeakerArrangement(&one, &one));
    EXPECT_EQ(outputs(ins), std::make_pair(0.1f, -1.0f));
}

// The side chain is seen through the side-chain monitor: output = filtered side chain (flat
// here) times the output gain, 977 + 44 samples after it arrived.
TEST_F(TinyPressInputSelection, SideChainPairAndFallBacks) {
    rig.set(kPower, 1.0f);
    rig.set(kScMonitor, 1.0f);
    rig.set(kScExt, 1.0f);
    float* ins[4] = {a.data(), b.data(), c.data(), d.data()};
    auto near = [](std::pair<float, float> got, float l, float r) {
        return std::fabs(got.first - l) < 1e-5f && std::fabs(got.second - r) < 1e-5f;
    };
    EXPECT_TRUE(near(outputs(ins), 0.3f, 0.4f));
    // Input 4 not connected: the side-chain left serves both.
    rig.host.pinAnswer = [](VstInt32 pin, VstIntPtr) { return pin == 3 ? 1 : 0; };
    EXPECT_TRUE(near(outputs(ins), 0.3f, 0.3f));
    // Input 3 not connected: input 1 on the left, input 4 on the right.
    rig.host.pinAnswer = [](VstInt32 pin, VstIntPtr) { return pin == 2 ? 1 : 0; };
    EXPECT_TRUE(near(outputs(ins), 0.1f, 0.4f));
    // Neither connected: behaves as if the external side chain were off.
    rig.host.pinAnswer = [](VstInt32 pin, VstIntPtr) { return pin >= 2 ? 1 : 0; };
    EXPECT_TRUE(near(outputs(ins), 0.1f, 0.2f));
    rig.host.pinAnswer = nullptr;
    float* nullSide[4] = {a.data(), b.data(), nullptr, nullptr};
    EXPECT_TRUE(near(outputs(nullSide), 0.1f, 0.2f));
    float* nullSideRight[4] = {a.data(), b.data(), c.data(), nullptr};
    EXPECT_TRUE(near(outputs(nullSideRight), 0.3f, 0.3f));
    // A stereo arrangement (2 in, 2 out) clears the side-chain flag: main pair again.
    VstSpeakerArrangement two{};
    two.numChannels = 2;
    ASSERT_TRUE(rig.fx.setSpeakerArrangement(&two, &two));
    EXPECT_TRUE(near(outputs(ins), 0.1f, 0.2f));
    // The switch off: main pair whatever the pins.
    VstSpeakerArrangement four{};
    four.numChannels = 4;
    ASSERT_TRUE(rig.fx.setSpeakerArrangement(&four, &two));
    rig.set(kScExt, 0.0f);
    EXPECT_TRUE(near(outputs(ins), 0.1f, 0.2f));
}

// Non-finite host samples enter as 0: they neither come out nor poison the detector.
TEST(TinyPressInputSafety, NonFiniteSamplesAreTakenAsZero) {
    for (const float power : {0.0f, 1.0f}) {
        EngineRig rig;
        rig.neutral();
        rig.set(kPower, power);
        rig.set(kRatio, 0.6f);
        rig.set(kRms, 1.0f);
        Signal left = noiseSignal(4000, 0.5f, 9);
        const Signal right = noiseSignal(4000, 0.5f, 10);
        const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity()};
        for (int i = 0; i < 30; ++i) left[500 + 7 * i] = bad[i % 3];
        const Stereo out = rig.run(left, right, 128);
        for (int i = 0; i < 4000; ++i) {
            ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
            if (i >= 977 && !std::isfinite(left[i - 977])) {
                ASSERT_NEAR(out.left[i], 0.0f, 1e-9f);
            }
        }
        EXPECT_TRUE(std::isfinite(rig.path().envelope(0)));
        EXPECT_TRUE(std::isfinite(rig.meter(0).secondLevel.load()));
        // The right channel is untouched by the left's bad samples in bypass.
        if (power == 0.0f) {
            EXPECT_EQ(out.right[3000], right[3000 - 977]);
        }
    }
}

}  // namespace
}  // namespace tinypress
