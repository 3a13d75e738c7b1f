// The master compressor as a VST effect: identity, pins, arrangements, latency, lifecycle, the
// editor object, Power across programs and the meter settings kept per user.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "editor/MeterSettingsStore.h"
#include "grandpress/GrandPress.h"
#include "support/CallbackRecorder.h"

namespace {

using grandpress::GrandPress;
using grandpress::Routine;
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
    EXPECT_EQ(e->flags, 0x1030);  // no editor without a factory: the plug-in library adds 0x1
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
    // A refused arrangement never leaves a channel in use that the host does not give (2/1 has no
    // side-chain pair, 0/0 no right channels).
    const Row rows[] = {
        {1, 1, false, false, false, true},  {1, 2, false, false, true, true},
        {2, 1, false, false, false, false}, {2, 2, false, true, true, true},
        {4, 2, true, true, true, true},     {3, 2, false, true, true, false},
        {4, 4, false, true, true, false},   {0, 0, false, false, false, false},
        {3, 1, false, true, false, false},  {1, 3, false, false, true, false},
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

TEST_F(GrandPressEffect, WithoutAnEditorFactoryHasNoEditor) {
    GrandPress effect(nullptr);
    AEffect* e = effect.getAeffect();
    EXPECT_EQ(effect.getEditor(), nullptr);
    EXPECT_EQ(e->flags & effFlagsHasEditor, 0);
    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(dispatch(e, effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234)), 0);
}

TEST_F(GrandPressEffect, PowerIsSharedByAllPrograms) {
    GrandPress effect(nullptr);
    effect.selectProgram(3);
    effect.setParameter(0, 0.0f);
    for (int p = 0; p < kNumPrograms; ++p) EXPECT_EQ(effect.programStore()->value(p, 0), 0.0f);
    effect.selectProgram(8);
    EXPECT_EQ(effect.getParameter(0), 0.0f);
    EXPECT_EQ(effect.settingsNow().layout.routine, static_cast<int>(Routine::PassThrough));
    effect.setParameter(5, 0.9f);
    effect.selectProgram(2);
    effect.selectProgram(8);
    EXPECT_EQ(effect.getParameter(5), 0.9f);
}

TEST_F(GrandPressEffect, ProcessingDelaysTheMainPairByTheAnnouncedLatency) {
    // Program "Default" is 1:1 at Mix 100%: both channels leave 1660 samples later, unchanged
    // to within the 1e-6 of the gain computer's level/(level + 1e-6).
    GrandPress effect(nullptr);
    constexpr int kFrames = 2048;
    std::vector<float> l(kFrames, 0.0f), r(kFrames, 0.0f), outL(kFrames), outR(kFrames);
    std::vector<float> side(kFrames, 9.0f);
    for (int i = 0; i < 5; ++i) {
        l[i] = 0.1f * (i + 1);
        r[i] = -0.1f * (i + 1);
    }
    float* ins[4] = {l.data(), r.data(), side.data(), side.data()};
    float* outs[2] = {outL.data(), outR.data()};
    effect.processReplacing(ins, outs, kFrames);
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(outL[1660 + i], l[i], 1e-3) << i;
        EXPECT_NEAR(outR[1660 + i], r[i], 1e-3) << i;
    }
    EXPECT_NEAR(outL[1659], 0.0f, 1e-6);

    std::vector<double> dl(kFrames, 0.0), dOut(kFrames, 1.0);
    dl[0] = 0.5;
    double* dins[4] = {dl.data(), dl.data(), dl.data(), dl.data()};
    double* douts[2] = {dOut.data(), dOut.data()};
    effect.suspend();
    effect.resume();
    effect.processDoubleReplacing(dins, douts, kFrames);
    EXPECT_NEAR(dOut[1660], 0.5, 1e-3);

    // Mono in, mono out: only one channel pointer exists on each side.
    VstSpeakerArrangement in{}, out{};
    in.numChannels = out.numChannels = 1;
    ASSERT_TRUE(effect.setSpeakerArrangement(&in, &out));
    effect.suspend();
    effect.resume();
    std::vector<float> mono(kFrames, 0.0f), monoOut(kFrames, 1.0f);
    mono[1] = 0.25f;
    float* monoIns[1] = {mono.data()};
    float* monoOuts[1] = {monoOut.data()};
    effect.processReplacing(monoIns, monoOuts, kFrames);
    EXPECT_NEAR(monoOut[1661], 0.25f, 1e-3);
    EXPECT_NEAR(monoOut[1660], 0.0f, 1e-6);
}

TEST_F(GrandPressEffect, MeterSettingsDefaultWhenAbsentAndPersist) {
    {
        GrandPress effect(nullptr);
        EXPECT_FLOAT_EQ(effect.getParameter(37), 0.41f);
        EXPECT_FLOAT_EQ(effect.getParameter(40), 2.0f / 9.0f);
        EXPECT_EQ(effect.settingsNow().overSamples, 3);
        EXPECT_FLOAT_EQ(effect.getParameter(36), 0.5f);
        effect.setParameter(36, 0.75f);
        effect.setParameter(40, 0.5f);
    }
#ifndef _WIN32  // on Windows the store is the registry, not files
    const auto folder = std::filesystem::path(config.folder()) / "QRX-soundwerk/AmberGlowTube20";
    EXPECT_EQ(std::filesystem::file_size(folder / "vuintegration.bin"), 4u);
#endif
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
