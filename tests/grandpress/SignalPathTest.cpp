// The whole engine: makeup glide, mix and monitor routing, side-chain buffer selection with the
// host's pin answers, non-finite input, limiter ceiling and settings reaching the audio thread.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "grandpress/EngineRig.h"
#include "grandpress/SideChain.h"

namespace {

namespace gp = grandpress;
using testsupport::CallbackRecorder;
using testsupport::EngineRig;

TEST(GrandPressSignalPath, MakeupGlidesByAThousandthPerSample) {
    EngineRig rig;
    std::vector<double> in(4096, 0.25), outL, outR;
    rig.run(in, in, outL, outR);  // settle at 0 dB makeup
    ASSERT_NEAR(outL[4095], 0.25, 1e-4);
    rig.set(gp::kMakeup, 1.0f);  // +24.08 dB: 16x
    rig.run(in, in, outL, outR);
    // The gain stage's sample k of this block leaves through the 511-sample output line (at the
    // base rate the realignment before it carries the resamplers' 64 + 64); after k + 1 glide
    // steps the makeup is 16 - 15 * 0.999^(k+1). The gain computer's level/(level + 1e-6)
    // stays within 1e-5 of 1.
    for (int k : {0, 1, 100, 999, 2000, 3000}) {
        const double makeup = 16.0 - 15.0 * std::pow(0.999, k + 1);
        EXPECT_NEAR(outL[511 + k] / 0.25, makeup, makeup * 1e-4) << k;
    }
    EXPECT_NEAR(outL[510] / 0.25, 1.0, 1e-4);
}

TEST(GrandPressSignalPath, MixZeroIsTheDelayedDryTimesTheOutputGain) {
    EngineRig rig;
    rig.set(gp::kMix, 0.0f);
    rig.set(gp::kOutput, 1.0f);  // +12.04 dB: 4x
    rig.set(gp::kRatio, 1.0f);   // 64:1 and a low threshold: the wet path would be squashed
    rig.set(gp::kThreshold, 1.0f);
    rig.restart(44100);
    std::vector<double> in(4096, 0.0), outL, outR;
    for (int i = 100; i < 1000; ++i) in[i] = 0.5 * std::sin(0.05 * i);
    rig.run(in, in, outL, outR);
    for (int i = 100; i < 1000; i += 37) EXPECT_NEAR(outL[i + 1660], 4.0 * in[i], 1e-6) << i;
}

TEST(GrandPressSignalPath, SideChainMonitorRoutesTheEqualisedSideChain) {
    CallbackRecorder host;  // every pin connected
    EngineRig rig(44100, CallbackRecorder::callback);
    rig.set(gp::kScExt, 1.0f);
    std::vector<double> silent(8192, 0.0), side(8192, 0.0);
    for (int i = 0; i < 8192; ++i)
        side[i] = 0.5 * std::sin(2.0 * std::numbers::pi * 3000.0 * i / 44100.0);
    auto run = [&](float monitor) {
        rig.set(gp::kScMonitor, monitor);
        rig.restart(44100);
        std::vector<double> l(8192), r(8192);
        std::vector<double> oL(512), oR(512), o2(512), o3(512);
        double peak = 0.0;
        for (int pos = 0; pos < 8192; pos += 512) {
            double* ins[4] = {silent.data() + pos, silent.data() + pos, side.data() + pos,
                              side.data() + pos};
            double* outs[2] = {oL.data(), oR.data()};
            rig.effect->processDoubleReplacing(ins, outs, 512);
            for (double v : oL) peak = std::max(peak, std::abs(v));
        }
        return peak;
    };
    EXPECT_LT(run(0.0f), 1e-6);  // the main pair is silent
    // Monitoring: the side chain, tilt-neutral, shelved (+12 dB boost from 22 kHz is beyond
    // 3 kHz; the -15 dB low cut at 17.5 Hz leaves 3 kHz alone) at about its own level.
    const double monitored = run(1.0f);
    EXPECT_GT(monitored, 0.4);
    EXPECT_LT(monitored, 0.7);
}

// The right channel's envelope after a block of silent main input and a loud side chain on
// the inputs the pin answers allow.
double sideChainEnvelope(bool external, std::function<VstIntPtr(VstInt32, VstIntPtr)> pins,
                         int channel, bool loudThird = true) {
    CallbackRecorder host;
    host.pinAnswer = std::move(pins);
    EngineRig rig(44100, CallbackRecorder::callback);
    rig.set(gp::kScExt, external ? 1.0f : 0.0f);
    rig.set(gp::kRatio, 0.9f);
    std::vector<double> silent(512, 0.0), loud(512, 0.8);
    for (int i = 0; i < 512; ++i) loud[i] = 0.8 * std::sin(0.2 * i);
    double* ins[4] = {silent.data(), silent.data(), loud.data(),
                      loudThird ? loud.data() : silent.data()};
    std::vector<double> oL(512), oR(512);
    double* outs[2] = {oL.data(), oR.data()};
    for (int b = 0; b < 8; ++b) rig.effect->processDoubleReplacing(ins, outs, 512);
    return rig.effect->signalPath()->gainComputer().envelope(channel);
}

TEST(GrandPressSignalPath, SideChainInputsFollowTheSwitchAndThePinAnswers) {
    auto all = [](VstInt32, VstIntPtr) -> VstIntPtr { return 0; };  // 0: connected
    auto noThird = [](VstInt32 pin, VstIntPtr output) -> VstIntPtr {
        return !output && pin == 3 ? 1 : 0;
    };
    auto noSide = [](VstInt32 pin, VstIntPtr output) -> VstIntPtr {
        return !output && pin >= 2 ? 1 : 0;
    };
    // S.C.Ext off: the connected external inputs are ignored.
    EXPECT_LT(sideChainEnvelope(false, all, 0), 0.01);
    EXPECT_GT(sideChainEnvelope(true, all, 0), 0.1);
    // Input 3 not connected, input 2 connected: both side-chain channels come from input 2.
    EXPECT_GT(sideChainEnvelope(true, noThird, 1, false), 0.1);
    // Neither connected: back to the (silent) main pair.
    EXPECT_LT(sideChainEnvelope(true, noSide, 0), 0.01);
    EXPECT_LT(sideChainEnvelope(true, noSide, 1), 0.01);
}

TEST(GrandPressSignalPath, SideChainOnlyWhenTheArrangementAllowsIt) {
    CallbackRecorder host;
    EngineRig rig(44100, CallbackRecorder::callback);
    rig.set(gp::kScExt, 1.0f);
    VstSpeakerArrangement in{}, out{};
    in.numChannels = out.numChannels = 2;
    ASSERT_TRUE(rig.effect->setSpeakerArrangement(&in, &out));
    // Two inputs announced: inputs[2] and [3] do not exist and must not be read.
    std::vector<double> silent(512, 0.0), oL(512), oR(512);
    double* ins[2] = {silent.data(), silent.data()};
    double* outs[2] = {oL.data(), oR.data()};
    for (int b = 0; b < 4; ++b) rig.effect->processDoubleReplacing(ins, outs, 512);
    EXPECT_LT(rig.effect->signalPath()->gainComputer().envelope(0), 0.01);
    for (const auto& r : host.requests) {
        if (r.opcode == audioMasterPinConnected) {
            EXPECT_LT(r.index, 2);
        }
    }
}

TEST(GrandPressSignalPath, NonFiniteInputIsTakenAsZero) {
    // Two runs: one with NaN and infinities in all four inputs, one with zeros in their place
    // (and +-1e6 for absurd finite values). The outputs are identical, and finite.
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::vector<double> bad(8192), clean(8192);
    for (int i = 0; i < 8192; ++i) bad[i] = clean[i] = 0.3 * std::sin(0.01 * i);
    const int spots[] = {700, 701, 1500, 2047};
    bad[700] = std::numeric_limits<double>::quiet_NaN();
    bad[701] = inf;
    bad[1500] = -inf;
    bad[2047] = 1e300;
    clean[700] = clean[701] = clean[1500] = 0.0;
    clean[2047] = 1e6;
    (void)spots;
    for (float limiter : {0.0f, 1.0f}) {
        EngineRig a, b;
        for (EngineRig* r : {&a, &b}) {
            r->set(gp::kLimiter, limiter);
            r->set(gp::kRatio, 0.7f);
            r->restart(44100);
        }
        std::vector<double> aL, aR, bL, bR;
        a.run(bad, bad, aL, aR);
        b.run(clean, clean, bL, bR);
        for (size_t i = 0; i < aL.size(); ++i) {
            ASSERT_TRUE(std::isfinite(aL[i])) << i;
            ASSERT_EQ(aL[i], bL[i]) << i;
        }
    }
}

TEST(GrandPressSignalPath, LimiterHoldsTheCeilingThroughTheEngine) {
    EngineRig rig;
    rig.set(gp::kLimiter, 1.0f);
    rig.set(gp::kMakeup, 0.75f);  // +15 dB into the limiter
    rig.restart(44100);
    std::vector<double> in(30000), outL, outR;
    for (size_t i = 0; i < in.size(); ++i) in[i] = i < 5000 ? 0.0 : ((i / 60) % 2 ? 1.0 : -1.0);
    rig.run(in, in, outL, outR);
    double peak = 0.0;
    for (size_t i = 0; i < outL.size(); ++i) peak = std::max(peak, std::abs(outL[i]));
    EXPECT_LE(peak, 0.999);
    EXPECT_GT(peak, 0.99);
}

TEST(GrandPressSignalPath, ParameterChangesReachTheAudioThreadWithinOneBlock) {
    EngineRig rig;
    std::vector<double> in(512, 0.0), outL, outR;
    rig.run(in, in, outL, outR);
    rig.set(gp::kRatio, 0.7f);
    rig.set(gp::kFat, 1.0f);
    rig.run(in, in, outL, outR);
    EXPECT_DOUBLE_EQ(rig.settings().inverseRatio, 1.0 / 2.8);
    EXPECT_EQ(rig.settings().layout.routine, static_cast<int>(gp::Routine::Fat));
    EXPECT_EQ(rig.effect->signalPath()->detectorLength(), 55);
}

using Settings = std::vector<std::pair<int, float>>;
using StereoOut = std::vector<double>[2];

// One signal (on both channels and the side chain) through the settings `values` (parameter
// index, value) on the kernels of `set`, in host blocks of `block` frames.
void runThrough(const Settings& values, const std::vector<double>& in, qrx::dsp::InstructionSet set,
                int block, StereoOut& out) {
    EngineRig rig;
    const bool baseline = set == qrx::dsp::InstructionSet::Baseline;
    rig.effect->vendorSpecific(gp::GrandPress::kInstructionSetRequest, baseline ? 0 : 1, nullptr,
                               0.0f);
    for (const auto& [index, value] : values) rig.set(index, value);
    rig.restart(44100);
    rig.run(in, in, out[0], out[1], block);
}

double largestDifference(const StereoOut& a, const StereoOut& b) {
    double largest = 0.0;
    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < a[c].size(); ++i)
            largest = std::max(largest, std::abs(a[c][i] - b[c][i]));
    return largest;
}

// The largest difference between the fast kernels' output and the baseline's.
double largestKernelDifference(const Settings& values, const std::vector<double>& in) {
    StereoOut fast, baseline;
    runThrough(values, in, qrx::dsp::InstructionSet::Avx2Fma, 512, fast);
    runThrough(values, in, qrx::dsp::InstructionSet::Baseline, 512, baseline);
    return largestDifference(fast, baseline);
}

TEST(GrandPressSignalPath, HostBlockSizesChangeTheOutputOnlyByRounding) {
    // The path cuts each host block into chunks of 128 frames (64 with FAT) from its start, so
    // the host's block size moves every chunk's end. Hard compression into the limiter with auto
    // release and RMS, which carry the most state from chunk to chunk: only the rounding of the
    // carried filter memories may differ, on every kernel set, FAT on and off.
    std::vector<double> in(12000);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = (i % 3000 < 1200 ? 0.9 : 0.05) * std::sin(0.021 * i) + 0.1 * std::sin(0.33 * i);
    for (const qrx::dsp::InstructionSet set : testsupport::kernelSetsHere())
        for (const float fat : {0.0f, 1.0f}) {
            SCOPED_TRACE(testing::Message()
                         << qrx::dsp::instructionSetName(set) << (fat > 0 ? ", FAT" : ""));
            const Settings hard = {{gp::kFat, fat},     {gp::kLimiter, 1.0f},
                                   {gp::kRatio, 0.8f},  {gp::kThreshold, 0.8f},
                                   {gp::kMakeup, 0.8f}, {gp::kAutoRelease, 1.0f},
                                   {gp::kRms, 1.0f}};
            StereoOut reference;
            runThrough(hard, in, set, 128, reference);
            const double loudest = reference[0][testsupport::peakIndex(reference[0])];
            EXPECT_GT(std::abs(loudest), 0.9);  // held at the limiter's ceiling
            for (const int block : {1, 37, 100, 200, 1000, 4096}) {
                StereoOut out;
                runThrough(hard, in, set, block, out);
                EXPECT_LT(largestDifference(out, reference), 1e-12) << "blocks of " << block;
            }
        }
}

TEST(GrandPressSignalPath, OversampledRoutinesRunTheChosenKernels) {
    if (qrx::dsp::bestInstructionSet() != qrx::dsp::InstructionSet::Avx2Fma)
        GTEST_SKIP() << "this processor has only the baseline kernels";
    // FAT and FAT+Smooth on the fast kernels and on the baseline: the same sound, yet not the
    // same rounding, so the choice does reach the resamplers.
    std::vector<double> in(8192);
    for (size_t i = 0; i < in.size(); ++i) in[i] = 0.6 * std::sin(0.013 * i) * std::sin(0.37 * i);
    for (float smooth : {0.0f, 1.0f}) {
        SCOPED_TRACE(smooth);
        const double largest = largestKernelDifference(
            {{gp::kFat, 1.0f}, {gp::kSmooth, smooth}, {gp::kRatio, 0.7f}, {gp::kThreshold, 0.8f}},
            in);
        EXPECT_GT(largest, 0.0);
        EXPECT_LT(largest, 1e-9);
    }
}

TEST(GrandPressSignalPath, EveryEnvelopeLawSoundsAlikeOnBothKernelSets) {
    if (qrx::dsp::bestInstructionSet() != qrx::dsp::InstructionSet::Avx2Fma)
        GTEST_SKIP() << "this processor has only the baseline kernels";
    // Bursts well over the threshold and quiet stretches, compressed hard under every
    // combination of RMS, auto attack, auto release, the "Classic" law and the soft knee: the
    // envelope and curve kernels stay within rounding of the baseline at the output.
    std::vector<double> in(8192);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = (i % 3000 < 1200 ? 0.9 : 0.05) * std::sin(0.021 * i) + 0.1 * std::sin(0.33 * i);
    for (int law = 0; law < 32; ++law) {
        SCOPED_TRACE(law);
        const auto on = [&](int bit) { return (law & bit) != 0 ? 1.0f : 0.0f; };
        const double largest = largestKernelDifference({{gp::kRms, on(1)},
                                                        {gp::kAutoAttack, on(2)},
                                                        {gp::kAutoRelease, on(4)},
                                                        {gp::kClassic, on(8)},
                                                        {gp::kSoft, on(16)},
                                                        {gp::kRatio, 0.8f},
                                                        {gp::kThreshold, 0.8f},
                                                        {gp::kRelease, 0.2f}},
                                                       in);
        EXPECT_LT(largest, 1e-9);
    }
}

}  // namespace
