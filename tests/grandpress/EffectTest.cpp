// The master compressor as a VST effect: identity, pins, arrangements, latency, lifecycle, the
// editor object, Power across programs and the meter settings kept per user.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "editor/MeterSettingsStore.h"
#include "grandpress/GrandPress.h"
#include "support/CallbackRecorder.h"

namespace {

using grandpress::GrandPress;
using testsupport::CallbackRecorder;

VstIntPtr dispatch(AEffect* e, VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0,
                   void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, op, index, value, ptr, opt);
}

class GrandPressEffect : public ::testing::Test {
protected:
    testsupport::TemporaryConfigHome config;
};

TEST_F(GrandPressEffect, RecordAndIdentity) {
    GrandPress effect(nullptr);
    AEffect* e = effect.getAeffect();
    EXPECT_EQ(e->flags, 0x1031);
    EXPECT_EQ(e->numParams, 34);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numInputs, 4);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->uniqueID, vstFourCC('Q', 'X', 'G', 'P'));
    EXPECT_EQ(e->initialDelay, 1660);
    char text[256] = {};
    ASSERT_EQ(dispatch(e, effGetEffectName, 0, 0, text), 1);
    EXPECT_STREQ(text, "QRX GrandPress");
    ASSERT_EQ(dispatch(e, effGetProductString, 0, 0, text), 1);
    EXPECT_STREQ(text, "QRX GrandPress - stereo mastering compressor");
    ASSERT_EQ(dispatch(e, effGetVendorString, 0, 0, text), 1);
    EXPECT_GT(std::strlen(text), 0u);
    EXPECT_LT(std::strlen(text), 64u);
    EXPECT_EQ(dispatch(e, effGetVendorVersion), 1700);
    EXPECT_EQ(dispatch(e, effGetPlugCategory), kPlugCategMastering);
    EXPECT_EQ(dispatch(e, effSetProcessPrecision, 0, kVstProcessPrecision64), 1);
}

TEST_F(GrandPressEffect, PinProperties) {
    GrandPress effect(nullptr);
    VstPinProperties p{};
    ASSERT_TRUE(effect.getInputProperties(1, &p));
    EXPECT_STREQ(p.label, "My 2 In");
    EXPECT_EQ(p.flags, kVstPinIsActive | kVstPinIsStereo);
    ASSERT_TRUE(effect.getOutputProperties(0, &p));
    EXPECT_STREQ(p.label, "My 1 Out");
    EXPECT_FALSE(effect.getInputProperties(2, &p));
    EXPECT_FALSE(effect.getOutputProperties(2, &p));
    EXPECT_FALSE(effect.getInputProperties(-1, &p));
}

TEST_F(GrandPressEffect, SpeakerArrangementTable) {
    GrandPress effect(nullptr);
    struct Row {
        int ins, outs;
        bool sideChain, second, secondOut, accepted;
    };
    const Row rows[] = {
        {1, 1, false, false, false, true}, {1, 2, false, false, true, true},
        {2, 1, true, false, false, false}, {2, 2, false, true, true, true},
        {4, 2, true, true, true, true},    {3, 2, false, true, true, false},
        {4, 4, false, true, true, false},  {0, 0, false, true, true, false},
    };
    for (const Row& r : rows) {
        VstSpeakerArrangement in{}, out{};
        in.numChannels = r.ins;
        out.numChannels = r.outs;
        EXPECT_EQ(effect.setSpeakerArrangement(&in, &out), r.accepted) << r.ins << "/" << r.outs;
        EXPECT_EQ(effect.sideChainAvailable(), r.sideChain) << r.ins << "/" << r.outs;
        EXPECT_EQ(effect.secondInputUsable(), r.second) << r.ins << "/" << r.outs;
        EXPECT_EQ(effect.secondOutputUsable(), r.secondOut) << r.ins << "/" << r.outs;
    }
}

TEST_F(GrandPressEffect, RatesAndLatency) {
    GrandPress effect(nullptr);
    AEffect* e = effect.getAeffect();
    dispatch(e, effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_DOUBLE_EQ(effect.getLatencyMs(), 1660 * 1000.0 / 96000.0);
    EXPECT_EQ(effect.getLatencySamples(), 1660);
    dispatch(e, effMainsChanged, 0, 1);
    EXPECT_DOUBLE_EQ(effect.processingRate(), 96000.0);
    EXPECT_EQ(e->initialDelay, 1660);

    dispatch(e, effSetSampleRate, 0, 0, nullptr, 8000.0f);
    dispatch(e, effMainsChanged, 0, 0);
    EXPECT_DOUBLE_EQ(effect.processingRate(), 22050.0);  // suspend clamps
    dispatch(e, effMainsChanged, 0, 1);
    EXPECT_DOUBLE_EQ(effect.processingRate(), 44100.0);  // resume replaces
    EXPECT_DOUBLE_EQ(effect.getLatencyMs(), 1660 * 1000.0 / 44100.0);

    dispatch(e, effSetSampleRate, 0, 0, nullptr, 384000.0f);
    dispatch(e, effMainsChanged, 0, 0);
    EXPECT_DOUBLE_EQ(effect.processingRate(), 192000.0);
}

TEST_F(GrandPressEffect, AsksTheHostForBlockSizeAndLatency) {
    CallbackRecorder host;
    host.blockSizeAnswer = 333;
    GrandPress effect(CallbackRecorder::callback);
    EXPECT_EQ(effect.getBlockSize(), 333);
    EXPECT_GE(host.count(audioMasterGetBlockSize), 2);  // constructor and its suspend
    EXPECT_GE(host.count(audioMasterGetOutputLatency), 2);
    EXPECT_EQ(host.count(audioMasterUpdateDisplay), 1);  // selectProgram(0)
    EXPECT_EQ(host.count(audioMasterAutomate), 0);
}

TEST_F(GrandPressEffect, EditorObjectExistsButHasNoWindowYet) {
    GrandPress effect(nullptr);
    AEffect* e = effect.getAeffect();
    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 450);
    EXPECT_EQ(rect->bottom - rect->top, 460);
    EXPECT_EQ(dispatch(e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
    EXPECT_EQ(dispatch(e, effSetEditKnobMode, 0, 2), 1);
}

TEST_F(GrandPressEffect, PowerIsSharedByAllPrograms) {
    GrandPress effect(nullptr);
    effect.selectProgram(3);
    effect.setParameter(0, 0.0f);
    for (int p = 0; p < kNumPrograms; ++p) EXPECT_EQ(effect.programStore()->value(p, 0), 0.0f);
    effect.selectProgram(8);
    EXPECT_EQ(effect.getParameter(0), 0.0f);
    EXPECT_EQ(effect.derived().power.load(), 0);
    effect.setParameter(5, 0.9f);
    effect.selectProgram(2);
    effect.selectProgram(8);
    EXPECT_EQ(effect.getParameter(5), 0.9f);
}

TEST_F(GrandPressEffect, ProcessingPassesTheMainPairThrough) {
    GrandPress effect(nullptr);
    float l[5] = {1, 2, 3, 4, 5}, r[5] = {-1, -2, -3, -4, -5}, s[5] = {9, 9, 9, 9, 9};
    float outL[5] = {}, outR[5] = {};
    float* ins[4] = {l, r, s, s};
    float* outs[2] = {outL, outR};
    effect.processReplacing(ins, outs, 5);
    EXPECT_EQ(std::memcmp(outL, l, sizeof l), 0);
    EXPECT_EQ(std::memcmp(outR, r, sizeof r), 0);

    double dl[3] = {0.5, 0.25, 0.125}, dOut[3] = {};
    double* dins[4] = {dl, dl, dl, dl};
    double* douts[2] = {dOut, dOut};
    effect.processDoubleReplacing(dins, douts, 3);
    EXPECT_EQ(dOut[2], 0.125);

    // Mono in, mono out: only one channel pointer exists on each side.
    VstSpeakerArrangement in{}, out{};
    in.numChannels = out.numChannels = 1;
    ASSERT_TRUE(effect.setSpeakerArrangement(&in, &out));
    float mono[2] = {0.5f, 0.25f}, monoOut[2] = {};
    float* monoIns[1] = {mono};
    float* monoOuts[1] = {monoOut};
    effect.processReplacing(monoIns, monoOuts, 2);
    EXPECT_EQ(monoOut[1], 0.25f);
}

TEST_F(GrandPressEffect, MeterSettingsDefaultWhenAbsentAndPersist) {
    {
        GrandPress effect(nullptr);
        EXPECT_FLOAT_EQ(effect.getParameter(37), 0.41f);
        EXPECT_FLOAT_EQ(effect.getParameter(40), 2.0f / 9.0f);
        EXPECT_EQ(effect.derived().overSamples.load(), 3);
        EXPECT_FLOAT_EQ(effect.getParameter(36), 0.5f);
        effect.setParameter(36, 0.75f);
        effect.setParameter(40, 0.5f);
    }
    const auto folder = std::filesystem::path(config.folder()) / "QRX-soundwerk/AmberGlowTube20";
    EXPECT_EQ(std::filesystem::file_size(folder / "vuintegration.bin"), 4u);
    GrandPress next(nullptr);
    EXPECT_FLOAT_EQ(next.getParameter(36), 0.75f);
    EXPECT_FLOAT_EQ(next.getParameter(40), 5.0f / 9.0f);
}

TEST_F(GrandPressEffect, StoredMeterSettingsOutOfRangeFallBackToEngineDefaults) {
    meter_settings::write(36, 1.5f);
    meter_settings::write(37, -0.1f);
    meter_settings::write(38, NAN);
    meter_settings::write(39, 7.0f);
    meter_settings::write(40, 2.0f);
    GrandPress effect(nullptr);
    EXPECT_FLOAT_EQ(effect.getParameter(36), 0.5f);
    EXPECT_FLOAT_EQ(effect.getParameter(37), 0.5f);
    EXPECT_FLOAT_EQ(effect.getParameter(38), 0.52f);
    EXPECT_FLOAT_EQ(effect.getParameter(39), 0.72365f);
    EXPECT_FLOAT_EQ(effect.getParameter(40), 2.0f / 9.0f);  // 0.25 snapped to n/9
}

TEST_F(GrandPressEffect, MeterSettingsStoreIgnoresOtherIndices) {
    meter_settings::write(35, 0.9f);
    meter_settings::write(41, 0.9f);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(config.folder()) / "QRX-soundwerk"));
    EXPECT_EQ(meter_settings::read(35), 0.0f);
    EXPECT_FLOAT_EQ(meter_settings::read(38), 0.5f);
}

}  // namespace
