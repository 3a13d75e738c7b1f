// The effect as a host sees it without audio: identity, pins, speaker arrangements, latency,
// rate and block-size handling, parameter writes and the working values they derive, and the
// single-precision-only process entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "support/CallbackRecorder.h"
#include "tinypress/Mappings.h"
#include "tinypress/TinyPress.h"

namespace tinypress {
namespace {

using tinypress_test::shelvesAre;

class TinyPressTest : public ::testing::Test {
  protected:
    TinyPress fx{testsupport::CallbackRecorder::callback};
};

TEST_F(TinyPressTest, Identity) {
    AEffect* e = fx.getAeffect();
    EXPECT_EQ(e->uniqueID, vstFourCC('Q', 'R', 't', 'p'));
    EXPECT_EQ(e->uniqueID, 0x51527470);
    // Replacing, chunks; no double precision. The editor flag (0x1) comes with the plug-in
    // library's editor factory (plugin_interface_tests).
    EXPECT_EQ(e->flags, 0x0030);
    EXPECT_EQ(e->numInputs, 4);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->numParams, 34);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_FALSE(fx.constructionFailed());
    EXPECT_EQ(fx.getPlugCategory(), 4);
    EXPECT_EQ(fx.getVendorVersion(), 1700);
    EXPECT_TRUE(fx.setProcessPrecision(1));
    char text[256] = {};
    ASSERT_TRUE(fx.getEffectName(text));
    EXPECT_STREQ(text, "QRX TinyPress");
    ASSERT_TRUE(fx.getProductString(text));
    EXPECT_STREQ(text, "QRX TinyPress - stereo mastering compressor");
    ASSERT_TRUE(fx.getVendorString(text));
    EXPECT_GT(std::strlen(text), 0u);
    fx.getParameterLabel(kAttack, text);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(fx.alwaysOne(), 1.0f);
}

TEST_F(TinyPressTest, MeterScaleTable) {
    ASSERT_NE(fx.meterScaleTable(), nullptr);
    EXPECT_EQ(fx.meterScaleTable()[0], 0.0);
    EXPECT_EQ(fx.meterScaleTable()[1], 1.0);
    EXPECT_NEAR(fx.meterScaleTable()[999], std::exp(0.05 * std::log(999.0)), 1e-12);
}

TEST_F(TinyPressTest, PinProperties) {
    VstPinProperties p;
    ASSERT_TRUE(fx.getInputProperties(0, &p));
    EXPECT_STREQ(p.label, "My 1 In");
    EXPECT_EQ(p.flags, 3);
    ASSERT_TRUE(fx.getInputProperties(1, &p));
    EXPECT_STREQ(p.label, "My 2 In");
    ASSERT_TRUE(fx.getOutputProperties(0, &p));
    EXPECT_STREQ(p.label, "My 1 Out");
    ASSERT_TRUE(fx.getOutputProperties(1, &p));
    EXPECT_STREQ(p.label, "My 2 Out");
    EXPECT_EQ(p.flags, 3);
    EXPECT_FALSE(fx.getInputProperties(2, &p));
    EXPECT_FALSE(fx.getInputProperties(-1, &p));
    EXPECT_FALSE(fx.getOutputProperties(2, &p));
}

TEST_F(TinyPressTest, SpeakerArrangementRows) {
    EXPECT_TRUE(fx.secondInputUsable());
    EXPECT_TRUE(fx.secondOutputUsable());
    EXPECT_TRUE(fx.sideChainAvailable());
    const struct {
        int ins, outs;
        bool rightIn, rightOut, sideChain, accepted;
    } rows[] = {
        // A refused arrangement never leaves a channel in use that the host does not give.
        {1, 1, false, false, false, true},  {1, 2, false, true, false, true},
        {1, 3, false, true, false, false},  {1, 0, false, false, false, false},
        {2, 1, false, false, false, false}, {2, 2, true, true, false, true},
        {2, 4, true, true, false, false},   {4, 2, true, true, true, true},
        {4, 1, true, false, false, false},  {3, 2, true, true, false, false},
        {8, 2, true, true, false, false},   {0, 0, false, false, false, false},
    };
    // Each row starts once from all flags set (4/2) and once from all cleared (1/1), so every
    // flag the row answers is really written.
    for (const int start : {4, 1}) {
        for (const auto& r : rows) {
            VstSpeakerArrangement in{}, out{};
            in.numChannels = start;
            out.numChannels = start == 4 ? 2 : 1;
            ASSERT_TRUE(fx.setSpeakerArrangement(&in, &out));
            in.numChannels = r.ins;
            out.numChannels = r.outs;
            const std::string row = std::to_string(r.ins) + "/" + std::to_string(r.outs);
            EXPECT_EQ(fx.setSpeakerArrangement(&in, &out), r.accepted) << row;
            EXPECT_EQ(fx.secondInputUsable(), r.rightIn) << row;
            EXPECT_EQ(fx.secondOutputUsable(), r.rightOut) << row;
            EXPECT_EQ(fx.sideChainAvailable(), r.sideChain) << row;
        }
    }
    VstSpeakerArrangement any{};
    EXPECT_FALSE(fx.setSpeakerArrangement(nullptr, &any));
    EXPECT_FALSE(fx.setSpeakerArrangement(&any, nullptr));
}

TEST_F(TinyPressTest, LatencyFollowsTheHostRate) {
    EXPECT_EQ(fx.getAeffect()->initialDelay, 977);  // 44100 Hz at construction: 1021 - 44
    const struct {
        float rate;
        int samples;
    } rows[] = {{48000.0f, 973}, {96000.0f, 925}, {44100.0f, 977}, {22050.0f, 999}};
    for (const auto& r : rows) {
        fx.setSampleRate(r.rate);
        EXPECT_EQ(fx.getAeffect()->initialDelay, r.samples) << r.rate;
        EXPECT_EQ(fx.storedLatencySamples(), r.samples);
        EXPECT_EQ(fx.getLatencySamples(), r.samples);
        EXPECT_NEAR(fx.getLatencyMs(), r.samples * 1000.0 / r.rate, 1e-9);
    }
    // Where processing falls back to 44100 Hz the signal is delayed as at 44100 Hz, and that is
    // the delay announced (the milliseconds then count at 44100 Hz too).
    for (const float rate : {8000.0f, 11025.0f, 200000.0f, 300000.0f, 384000.0f}) {
        fx.setSampleRate(rate);
        EXPECT_EQ(fx.processingRate(), 44100.0) << rate;
        EXPECT_EQ(fx.getAeffect()->initialDelay, 977) << rate;
        EXPECT_EQ(fx.getLatencySamples(), 977) << rate;
    }
    EXPECT_NEAR(fx.getLatencyMs(), 977 * 1000.0 / 44100.0, 1e-9);
}

TEST_F(TinyPressTest, SuspendClampsAndResumeReplacesUnsupportedRates) {
    fx.AudioEffect::setSampleRate(300000.0f);  // stored without the reset
    fx.suspend();
    EXPECT_EQ(fx.processingRate(), 192000.0);
    fx.resume();
    EXPECT_EQ(fx.processingRate(), 44100.0);
    EXPECT_EQ(fx.settingsNow().hilbertLength, 44);

    fx.AudioEffect::setSampleRate(8000.0f);
    fx.suspend();
    EXPECT_EQ(fx.processingRate(), 22050.0);
    fx.resume();
    EXPECT_EQ(fx.processingRate(), 44100.0);

    fx.AudioEffect::setSampleRate(NAN);
    fx.suspend();
    EXPECT_EQ(fx.processingRate(), 22050.0);
    fx.resume();
    EXPECT_EQ(fx.processingRate(), 44100.0);
    EXPECT_EQ(fx.getAeffect()->initialDelay, 977);

    fx.setSampleRate(96000.0f);
    EXPECT_EQ(fx.processingRate(), 96000.0);
    EXPECT_EQ(fx.getSampleRate(), 96000.0f);
    EXPECT_EQ(fx.settingsNow().hilbertLength, 96);
}

TEST_F(TinyPressTest, BlockSizeBelowOneIsTakenAs1024) {
    fx.setBlockSize(256);
    EXPECT_EQ(fx.getBlockSize(), 256);
    fx.setBlockSize(0);
    EXPECT_EQ(fx.getBlockSize(), 1024);
    fx.dispatcher(effSetBlockSize, 0, 64, nullptr, 0.0f);
    EXPECT_EQ(fx.getBlockSize(), 64);
    fx.dispatcher(effSetBlockSize, 0, -5, nullptr, 0.0f);
    EXPECT_EQ(fx.getBlockSize(), 1024);
}

TEST_F(TinyPressTest, ValuesAreClampedAndNonFiniteValuesIgnored) {
    fx.setParameter(kThreshold, 1.5f);
    EXPECT_EQ(fx.getParameter(kThreshold), 1.0f);
    EXPECT_DOUBLE_EQ(fx.settingsNow().thresholdGain, 32.0);
    EXPECT_EQ(fx.programStore()->value(0, kThreshold), 1.0f);
    fx.setParameter(kThreshold, -3.0f);
    EXPECT_EQ(fx.getParameter(kThreshold), 0.0f);
    EXPECT_EQ(fx.programStore()->value(0, kThreshold), 0.0f);
    fx.setParameter(kRatio, 7.0f);
    EXPECT_DOUBLE_EQ(fx.settingsNow().inverseRatio, 1.0 / 64.0);
    fx.setParameter(kRatio, -0.2f);
    EXPECT_DOUBLE_EQ(fx.settingsNow().inverseRatio, 2.0);

    fx.setParameter(kAttack, 0.25f);
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        fx.setParameter(kAttack, bad);
        EXPECT_EQ(fx.getParameter(kAttack), 0.25f);
        EXPECT_EQ(fx.programStore()->value(0, kAttack), 0.25f);
        const EngineSettings settings = fx.settingsNow();
        EXPECT_DOUBLE_EQ(settings.attackCoefficient,
                         attackCoefficientOf(attackMsOf(0.25f), settings.rateHz, settings.rms));
    }
    fx.setParameter(kPower, NAN);
    for (int p = 0; p < kNumPrograms; ++p) EXPECT_EQ(fx.programStore()->value(p, kPower), 1.0f);
}

TEST_F(TinyPressTest, ParametersOutsideTheTableStoreNothing) {
    for (int i : {-1, 34, 41, 53, 56, 1000}) {
        fx.setParameter(i, 0.7f);
        EXPECT_EQ(fx.getParameter(i), 0.0f) << i;
    }
    // Engine-only indices are kept but never reach a program.
    fx.setParameter(kScMonitor, 1.0f);
    EXPECT_EQ(fx.getParameter(kScMonitor), 1.0f);
    EXPECT_EQ(fx.settingsNow().sideChainMonitor, 1);
    fx.setParameter(kVuIntegration, 0.0f);
    EXPECT_EQ(fx.getParameter(kVuIntegration), 0.0f);
    EXPECT_DOUBLE_EQ(fx.settingsNow().vuOnePole, vuOnePoleOf(30.0, fx.processingRate()));
}

TEST_F(TinyPressTest, PresetFlagIndices) {
    const float before = fx.programStore()->value(0, 20);
    EXPECT_FALSE(fx.presetFlag());
    fx.setParameter(kPresetFlagOn, 0.0f);
    EXPECT_TRUE(fx.presetFlag());
    fx.setParameter(kPresetFlagOn, 1.0f);
    EXPECT_TRUE(fx.presetFlag());
    fx.setParameter(kPresetFlagOff, 1.0f);
    EXPECT_FALSE(fx.presetFlag());
    EXPECT_EQ(fx.getParameter(kPresetFlagOn), 0.0f);
    EXPECT_EQ(fx.programStore()->value(0, 20), before);
    fx.setParameter(kPresetFlagOn, NAN);  // ignored like any non-finite value
    EXPECT_FALSE(fx.presetFlag());
}

TEST_F(TinyPressTest, GainComputerValues) {
    fx.setParameter(kThreshold, 0.5f);
    fx.setParameter(kRatio, 0.6f);  // k = 12, R = 2
    EngineSettings s = fx.settingsNow();
    EXPECT_DOUBLE_EQ(s.thresholdGain, 4.0);
    EXPECT_DOUBLE_EQ(s.inverseRatio, 0.5);
    EXPECT_NEAR(s.autoMakeupGain, 1.370784144222729, 1e-12);  // 2.2^0.4
    EXPECT_NEAR(s.kneeLowY, 1.224744871391589, 1e-12);        // 1.5^0.5
    EXPECT_NEAR(s.kneeHighY, 1.5811388300841898, 1e-12);      // 2.5^0.5
    // A threshold change alone recomputes A with the ratio in force: g_T = 32, A = 17.6^0.4.
    fx.setParameter(kThreshold, 1.0f);
    EXPECT_NEAR(fx.settingsNow().autoMakeupGain, std::pow(17.6, 0.4), 1e-12);
    // A ratio below 1 expands: A < 1 for a level below 1.
    fx.setParameter(kThreshold, 0.0f);  // 0.55 * 0.5 = 0.275
    fx.setParameter(kRatio, 0.0f);      // R = 0.5, exponent 2
    s = fx.settingsNow();
    EXPECT_NEAR(s.autoMakeupGain, std::pow(1.0 / 0.275, 0.8), 1e-12);
    EXPECT_NEAR(s.kneeHighY, 6.25, 1e-12);
}

TEST_F(TinyPressTest, TimesGainsAndCorners) {
    fx.setParameter(kAttack, 0.0f);
    fx.setParameter(kRelease, 1.0f);
    fx.setParameter(kMakeup, 0.5f);
    fx.setParameter(kOutput, 0.0f);
    fx.setParameter(kMix, 0.3f);
    fx.setParameter(kLowCorner, 0.5f);
    fx.setParameter(kHighCorner, 0.5f);
    fx.setParameter(kVuReference, 0.0f);
    EngineSettings s = fx.settingsNow();
    EXPECT_DOUBLE_EQ(s.attackCoefficient, attackCoefficientOf(0.01, s.rateHz, s.rms));
    EXPECT_DOUBLE_EQ(s.releaseCoefficient, releaseCoefficientOf(3.33, s.rateHz, s.rms));
    EXPECT_DOUBLE_EQ(s.makeupTarget, 2.0);
    EXPECT_DOUBLE_EQ(s.outputTarget, 0.25);
    EXPECT_DOUBLE_EQ(s.meterMix, 0.3f);
    EXPECT_NEAR(s.meterScale, 1.0 / 0.06125, 1e-12);
    // The corners move the shapes the selectors set (program 0: both flat).
    EXPECT_TRUE(shelvesAre(s, {70.0, 0.7, 0.0}, {5500.0, 0.7, 0.0}));
    // The selector sets the mode's whole shape, its corner included; the hidden corner moves it
    // again only when set later.
    fx.setParameter(kLowScf, 1.0f);
    fx.setParameter(kHighScf, 0.5f);
    EXPECT_TRUE(shelvesAre(fx.settingsNow(), shelfShapeOnSet(ShelfBand::Low, 2),
                           shelfShapeOnSet(ShelfBand::High, 1)));
    fx.setParameter(kLowCorner, 0.5f);
    EXPECT_TRUE(
        shelvesAre(fx.settingsNow(), {70.0, 0.35, -9.0}, shelfShapeOnSet(ShelfBand::High, 1)));
    fx.setParameter(kMeters, 1.0f);
    EXPECT_EQ(fx.settingsNow().meterSource, 2);
}

// "Meters " shows the source the engine meters, for every value automation may send (the
// engine switches at 0.25 and 0.75).
TEST_F(TinyPressTest, MetersTextFollowsTheMeteredSource) {
    static const char* const kSources[] = {"Pre", "GainRed", "Post"};
    for (int step = 0; step <= 100; ++step) {
        const float v = step / 100.0f;
        fx.setParameter(kMeters, v);
        char text[64] = {};
        fx.getParameterDisplay(kMeters, text);
        const int source = fx.settingsNow().meterSource;
        ASSERT_TRUE(source >= 0 && source <= 2) << v;
        EXPECT_STREQ(text, kSources[source]) << v;
    }
}

TEST_F(TinyPressTest, OverIndicatorStoresItsStep) {
    fx.setParameter(kOverIndicator, 0.3f);  // 9 * 0.3 + 0.5 = 3.2 -> 3
    EXPECT_EQ(fx.getParameter(kOverIndicator), 3.0f / 9.0f);
    EXPECT_EQ(fx.settingsNow().overSamples, 4);
    char text[32];
    fx.getParameterDisplay(kOverIndicator, text);
    EXPECT_STREQ(text, "4smps");
}

TEST_F(TinyPressTest, ResetIndexRecomputesTheHilbertLength) {
    fx.setSampleRate(48000.0f);
    EXPECT_EQ(fx.settingsNow().hilbertLength, 48);
    fx.AudioEffect::setSampleRate(96000.0f);
    fx.suspend();  // processing now at 96000 Hz
    fx.setParameter(kReset, 0.0f);
    EXPECT_EQ(fx.settingsNow().hilbertLength, 96);
}

TEST_F(TinyPressTest, DisplaysAndNamesThroughTheDispatcher) {
    char text[64];
    fx.setParameter(kRatio, 1.0f);
    fx.dispatcher(effGetParamDisplay, kRatio, 0, text, 0.0f);
    EXPECT_STREQ(text, "64.00 : 1");
    fx.dispatcher(effGetParamName, kThreshold, 0, text, 0.0f);
    EXPECT_STREQ(text, "Threshold ");
    fx.dispatcher(effGetParamName, 1, 0, text, 0.0f);
    EXPECT_STREQ(text, " - ");
    fx.setParameter(1, 1.0f);
    fx.dispatcher(effGetParamDisplay, 1, 0, text, 0.0f);
    EXPECT_STREQ(text, "");
    fx.setParameter(kThreshold, 0.5f);
    EXPECT_FLOAT_EQ(fx.getDisplayValue(kThreshold), -12.0f);
    VstParameterProperties p;
    EXPECT_TRUE(fx.getParameterProperties(kStereo, &p));
    EXPECT_FALSE(fx.getParameterProperties(kThreshold, &p));
}

TEST_F(TinyPressTest, ProcessesSinglePrecisionOnly) {
    constexpr int n = 8;
    // No double-precision processing.
    std::vector<double> din(n, 0.5), dout(n, -1.0);
    double* dins[4] = {din.data(), din.data(), din.data(), din.data()};
    double* douts[2] = {dout.data(), dout.data()};
    fx.processDoubleReplacing(dins, douts, n);
    EXPECT_TRUE(std::all_of(dout.begin(), dout.end(), [](double v) { return v == -1.0; }));
    // The single-precision path writes both outputs (the delayed signal: silence so far).
    std::vector<float> in(n, 0.5f), out0(n, -1.0f), out1(n, -1.0f);
    float* ins[4] = {in.data(), in.data(), in.data(), in.data()};
    float* outs[2] = {out0.data(), out1.data()};
    fx.resume();
    fx.processReplacing(ins, outs, n);
    EXPECT_TRUE(
        std::all_of(out0.begin(), out0.end(), [](float v) { return std::fabs(v) < 1e-9f; }));
    EXPECT_TRUE(
        std::all_of(out1.begin(), out1.end(), [](float v) { return std::fabs(v) < 1e-9f; }));
}

// The host is asked for its block size and output latency at construction, suspend and resume.
TEST(TinyPressHostRequests, BlockSizeAndOutputLatencyAtConstructionSuspendAndResume) {
    testsupport::CallbackRecorder host;
    host.blockSizeAnswer = 333;
    TinyPress fx(testsupport::CallbackRecorder::callback);
    EXPECT_EQ(fx.getBlockSize(), 333);
    EXPECT_EQ(host.count(audioMasterGetBlockSize), 2);  // constructor and its suspend
    EXPECT_EQ(host.count(audioMasterGetOutputLatency), 2);
    host.blockSizeAnswer = 77;
    fx.suspend();
    EXPECT_EQ(fx.getBlockSize(), 77);
    EXPECT_EQ(host.count(audioMasterGetBlockSize), 3);
    EXPECT_EQ(host.count(audioMasterGetOutputLatency), 3);
    host.blockSizeAnswer = 128;
    fx.resume();
    EXPECT_EQ(fx.getBlockSize(), 128);
    EXPECT_EQ(host.count(audioMasterGetBlockSize), 4);
    EXPECT_EQ(host.count(audioMasterGetOutputLatency), 4);
}

TEST(TinyPressWithoutHost, ConstructsWithNullCallback) {
    TinyPress fx(nullptr);
    EXPECT_FALSE(fx.constructionFailed());
    EXPECT_EQ(fx.getAeffect()->initialDelay, 977);
    EXPECT_EQ(fx.getParameter(kRatio), 0.3f);
}

}  // namespace
}  // namespace tinypress
