// The adaptor as a VST host: loading, the host callback table, forwarding and guarded writes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/CaughtNotices.h"
#include "tests/wrapper/TestSupport.h"
#include "wrapper/CPluginWrapper.h"
#include "wrapper/VstExtras.h"

namespace {

using wrapper_test::FakeLibrary;

struct RecordingCallback : CPluginWrapperCallback {
    std::vector<std::pair<int, float>> automated;
    int refreshes = 0, idles = 0;
    void AutomateParameter(int index, float value) override { automated.push_back({index, value}); }
    void RefreshAllParameters() override { ++refreshes; }
    void RequestIdle() override { ++idles; }
};

class WrapperCallbackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake.config().numParams = 3;
        wrapper.SetCallback(&callback);
        ASSERT_TRUE(wrapper.LoadLibrary(wrapper_test::fakeEffectPath().c_str()));
    }
    VstIntPtr ask(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                  float opt = 0.0f) {
        return fake.config().master(wrapper.Effect(), opcode, index, value, ptr, opt);
    }
    FakeLibrary fake;
    RecordingCallback callback;
    CPluginWrapper wrapper;
};

TEST_F(WrapperCallbackTest, LoadingOpensTheEffectAtTheDefaultRateAndCountsChannels) {
    EXPECT_TRUE(wrapper.IsLoaded());
    EXPECT_EQ(fake.config().opened, 1);
    EXPECT_FLOAT_EQ(fake.config().sampleRate, 44100.0f);
    EXPECT_EQ(wrapper.GetNumChannels(), 4);  // max(4 inputs, 2 outputs, 2)
    EXPECT_EQ(wrapper.GetNumParams(), 3);
    EXPECT_EQ(reinterpret_cast<CPluginWrapper*>(wrapper.Effect()->resvd1), &wrapper);
    wrapper.UnloadLibrary();
    EXPECT_EQ(fake.config().opened, 0);
    EXPECT_FALSE(wrapper.IsLoaded());
}

TEST_F(WrapperCallbackTest, AnswersTheHostTable) {
    EXPECT_EQ(ask(audioMasterVersion), 2);
    EXPECT_EQ(ask(audioMasterCurrentId), vstFourCC('Q', 'r', 't', 'p'));
    for (int pin = 0; pin <= 3; ++pin) EXPECT_EQ(ask(audioMasterPinConnected, pin), 0) << pin;
    EXPECT_EQ(ask(audioMasterPinConnected, 4), 1);
    EXPECT_EQ(ask(audioMasterGetCurrentProcessLevel), 1);
    EXPECT_EQ(ask(audioMasterVendorSpecific), 0);
    EXPECT_EQ(ask(audioMasterWantMidi), 0);
    char text[64] = {};
    ask(audioMasterGetVendorString, 0, 0, text);
    EXPECT_STREQ(text, "QRXsoundwerk");
    ask(audioMasterGetProductString, 0, 0, text);
    EXPECT_STREQ(text, "Vst2Nrtx");

    auto* time = reinterpret_cast<VstTimeInfo*>(ask(audioMasterGetTime));
    ASSERT_EQ(time, wrapper.GetTimeInfo());
    EXPECT_DOUBLE_EQ(time->tempo, 120.0);
    EXPECT_EQ(time->timeSigNumerator, 4);
    EXPECT_EQ(time->timeSigDenominator, 4);
    EXPECT_EQ(time->flags, wrapper::kVstTempoValid | wrapper::kVstTimeSigValid);

    EXPECT_EQ(ask(audioMasterGetSampleRate), 44100);
    EXPECT_EQ(ask(audioMasterGetBlockSize), 1024);
    wrapper.SetSampleRate(48000.0);
    wrapper.SetBlockSize(64);
    EXPECT_EQ(ask(audioMasterGetSampleRate), 48000);
    EXPECT_EQ(ask(audioMasterGetBlockSize), 64);
    EXPECT_EQ(fake.config().blockSize, 64);
    EXPECT_EQ(fake.config().resumed, 0);  // the block size change suspends
    wrapper.SetSampleRate(14999.0);       // outside 15000..200000
    EXPECT_EQ(ask(audioMasterGetSampleRate), 44100);
    wrapper.SetSampleRate(200001.0);
    EXPECT_FLOAT_EQ(fake.config().sampleRate, 44100.0f);
}

TEST_F(WrapperCallbackTest, CanDoIsExactAndCaseSensitive) {
    const std::pair<const char*, VstIntPtr> table[] = {
        {"sendVstEvents", 1},
        {"sendVstMidiEvent", 1},
        {"sendVstTimeInfo", 1},
        {"receiveVstEvents", 0},
        {"receiveVstMidiEvent", 0},
        {"receiveVstTimeInfo", 0},
        {"reportConnectionChanges", 0},
        {"acceptIOChanges", 0},
        {"sizeWindow", 1},
        {"asyncProcessing", 0},
        {"offline", 0},
        {"supplyIdle", 1},
        {"supportShell", 0},
        {"SizeWindow", 0},
        {"supplyIdle ", 0},
        {"", 0},
    };
    for (const auto& [text, answer] : table)
        EXPECT_EQ(ask(audioMasterCanDo, 0, 0, const_cast<char*>(text)), answer) << text;
    EXPECT_EQ(ask(audioMasterCanDo), 0);  // null text
}

TEST_F(WrapperCallbackTest, AnswersBeforeTheEffectIsAttached) {
    EXPECT_EQ(CPluginWrapper::HostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0), 2);
    EXPECT_EQ(CPluginWrapper::HostCallback(nullptr, audioMasterGetSampleRate, 0, 0, nullptr, 0),
              44100);
    EXPECT_EQ(CPluginWrapper::HostCallback(nullptr, audioMasterGetBlockSize, 0, 0, nullptr, 0),
              1024);
    EXPECT_EQ(CPluginWrapper::HostCallback(nullptr, audioMasterAutomate, 0, 0, nullptr, 0.5f), 0);
}

TEST_F(WrapperCallbackTest, AutomationReachesTheCallbackAndOutOfRangeBlocksHostWrites) {
    ask(audioMasterAutomate, 1, 0, nullptr, 0.25f);
    ask(audioMasterAutomate, 2, 0, nullptr, 1.0f);
    ASSERT_EQ(callback.automated.size(), 2u);
    EXPECT_EQ(callback.automated[0], std::make_pair(1, 0.25f));
    EXPECT_EQ(callback.automated[1], std::make_pair(2, 1.0f));

    ask(audioMasterAutomate, 1, 0, nullptr, 1.5f);
    ask(audioMasterAutomate, 7, 0, nullptr, -1.0f);  // beyond the parameter count: ignored
    EXPECT_EQ(callback.automated.size(), 2u);
    EXPECT_TRUE(wrapper.IsHostWriteBlocked(1));
    EXPECT_FALSE(wrapper.IsHostWriteBlocked(0));
    const int calls = fake.config().setParameterCalls;
    wrapper.SetParameter(1, 0.9f);
    EXPECT_EQ(fake.config().setParameterCalls, calls);
    wrapper.SetParameter(0, 0.9f);
    EXPECT_EQ(fake.config().setParameterCalls, calls + 1);
}

TEST_F(WrapperCallbackTest, GuardedSetSkipsEqualValuesEchoesAndBadIndices) {
    wrapper.SetParameter(0, 0.4f);
    const int calls = fake.config().setParameterCalls;
    wrapper.SetParameter(0, 0.4f);  // same value: not sent again
    wrapper.SetParameter(-1, 0.4f);
    wrapper.SetParameter(3, 0.4f);
    CPluginWrapper::echoGuard.store(true);
    wrapper.SetParameter(0, 0.7f);
    CPluginWrapper::echoGuard.store(false);
    EXPECT_EQ(fake.config().setParameterCalls, calls);
    EXPECT_FLOAT_EQ(wrapper.GetParameter(0), 0.4f);
    wrapper.RawSetParameter(0, 0.4f);  // the raw entry is not guarded
    EXPECT_EQ(fake.config().setParameterCalls, calls + 1);
}

TEST_F(WrapperCallbackTest, IdleAndUpdateDisplayGoThroughTheCallback) {
    ask(audioMasterIdle);
    EXPECT_EQ(callback.idles, 1);
    fake.config().program = 1;
    ask(audioMasterUpdateDisplay);
    EXPECT_EQ(callback.refreshes, 1);
    EXPECT_EQ(wrapper.CurrentProgram(), 1);
}

TEST(WrapperLoading, MissingLibraryOrEntryLeavesAnInertAdaptor) {
    testsupport::CaughtNotices notices;
    CPluginWrapper wrapper;
    EXPECT_FALSE(wrapper.LoadLibrary("no-such-plugin.so"));
    EXPECT_FALSE(wrapper.IsLoaded());
    // The Motor stand-in is a library without a VST entry.
    EXPECT_FALSE(wrapper.LoadLibrary(wrapper_test::motorPath().c_str()));
    // Each failure tells the user, in a box with an empty title.
    EXPECT_EQ(notices.lines(),
              ": Plug-in core lib failed to load.\n"
              ": Plug-in core lib failed to load.\n");
    char text[32] = "x";
    wrapper.GetParameterName(0, text);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(wrapper.GetNumParams(), 0);
    EXPECT_EQ(wrapper.Dispatch(effGetProgram, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(wrapper.GetStateSize(), 8);
    EXPECT_EQ(wrapper.GetInitialDelay(), 0);
    EXPECT_FALSE(wrapper.IsSynth());
    int w = 1, h = 1;
    wrapper.GetEditorSize(&w, &h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    float buffer[4] = {1, 2, 3, 4};
    float* channels[4] = {buffer, buffer, buffer, buffer};
    wrapper.Process(channels, 4, nullptr);  // passes unchanged
    EXPECT_EQ(buffer[3], 4.0f);
}

TEST(WrapperLoading, WrongMagicIsKeptUnloadedWithoutClosing) {
    FakeLibrary fake;
    fake.config().magic = vstFourCC('N', 'o', 'p', 'e');
    CPluginWrapper wrapper;
    EXPECT_FALSE(wrapper.LoadLibrary(wrapper_test::fakeEffectPath().c_str()));
    EXPECT_FALSE(wrapper.IsLoaded());
    EXPECT_EQ(fake.config().opened, 0);
    EXPECT_EQ(wrapper.GetNumParams(), 0);
}

TEST(WrapperLoading, TinypressIsFoundBesideTheAdaptorAndReportsItsLatency) {
    SKIP_WITHOUT_TINYPRESS();
    CPluginWrapper wrapper;
    // The test program lives in bin/, tinypress.so one folder up: load it by path here; by
    // file name the process tests (through wrapper.so) cover the search beside the adaptor.
    ASSERT_TRUE(wrapper.LoadLibrary(wrapper_test::tinypressPath().c_str()));
    EXPECT_EQ(wrapper.GetNumChannels(), 4);
    wrapper.SetSampleRate(44100.0);
    wrapper.Resume();
    EXPECT_EQ(wrapper.GetInitialDelay(), 977);  // 1021 - floor(44100 / 1000)
    EXPECT_TRUE(wrapper.Effect()->flags & effFlagsProgramChunks);
}

}  // namespace
