// The host driving the test effect through an entry function linked into this program.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "host/AudioBuffers.h"
#include "host/VstHost.h"
#include "tests/host/TestEffect.h"

namespace host {
namespace {

using host_test::counters;
using host_test::objectOf;
using host_test::TestEffect;
using host_test::testEntry;

class VstHost : public ::testing::Test {
  protected:
    void SetUp() override { host_test::resetCounters(); }

    static std::unique_ptr<Plugin> loadTest(const HostConfig& config = {}) {
        std::string error = "stale";
        auto plugin = Plugin::fromEntry(&testEntry, config, &error);
        EXPECT_TRUE(plugin) << error;
        EXPECT_TRUE(error.empty()) << error;
        return plugin;
    }

    static VstIntPtr ask(Plugin& plugin, host_test::Ask what, VstIntPtr value = 0,
                         float opt = 0.0f) {
        return plugin.dispatch(effVendorSpecific, what, value, nullptr, opt);
    }
};

TEST_F(VstHost, LoadingAnswersTheEntryAndTheConstructorBeforeTheRecordIsOurs) {
    HostConfig config;
    config.blockSizeAnswer = 256;
    config.sampleRateAnswer = 48000;
    auto plugin = loadTest(config);
    ASSERT_TRUE(plugin);
    TestEffect* effect = objectOf(plugin->effect());
    ASSERT_NE(effect, nullptr);

    // The version request comes with a null AEffect; the constructor's two requests come with
    // the record before resvd1 is filled. All three must reach this host and be answered from
    // its configuration.
    const std::vector<HostRequest> requests = plugin->requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].opcode, audioMasterVersion);
    EXPECT_FALSE(requests[0].withEffect);
    EXPECT_EQ(requests[0].answer, kVstVersion);
    EXPECT_EQ(requests[1].opcode, audioMasterGetBlockSize);
    EXPECT_TRUE(requests[1].withEffect);
    EXPECT_EQ(requests[1].answer, 256);
    EXPECT_EQ(requests[2].opcode, audioMasterGetSampleRate);
    EXPECT_EQ(effect->sampleRateAtConstruction, 48000);

    // Afterwards the record carries the host, and the effect was opened and set up.
    EXPECT_EQ(plugin->effect()->resvd1, reinterpret_cast<VstIntPtr>(plugin.get()));
    EXPECT_EQ(counters().opened.load(), 1);
    EXPECT_EQ(effect->getSampleRate(), 48000.0f);
    EXPECT_EQ(effect->getBlockSize(), 256);
    EXPECT_EQ(plugin->numParams(), 2);
    EXPECT_EQ(plugin->numInputs(), 2);
    EXPECT_EQ(plugin->numOutputs(), 2);
    EXPECT_EQ(plugin->uniqueId(), vstFourCC('Q', 'T', 's', 't'));

    HostConfig unopened;
    unopened.openOnLoad = false;
    auto second = loadTest(unopened);
    ASSERT_TRUE(second);
    EXPECT_EQ(counters().opened.load(), 1);
}

TEST_F(VstHost, VersionAnswerOfZeroMakesLoadingFail) {
    HostConfig config;
    config.versionAnswer = 0;
    std::string error;
    auto plugin = Plugin::fromEntry(&testEntry, config, &error);
    EXPECT_FALSE(plugin);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(counters().entryCalls.load(), 1);
    EXPECT_EQ(counters().constructed.load(), 0);
}

AEffect* entryWithoutMagic(audioMasterCallback) {
    static AEffect notAnEffect{};
    return &notAnEffect;
}

AEffect* throwingEntry(audioMasterCallback) {
    throw std::runtime_error("broken entry");
}

TEST_F(VstHost, BrokenEntriesFailWithATextInsteadOfCrashing) {
    std::string error;
    EXPECT_FALSE(Plugin::fromEntry(&entryWithoutMagic, {}, &error));
    EXPECT_NE(error.find("magic"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(Plugin::fromEntry(&throwingEntry, {}, &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(Plugin::fromEntry(nullptr, {}, &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(VstHost, CallsNoHostOwnGetOnlyTheVersion) {
    // A request outside any entry call with a record the host never filled in.
    AEffect stranger{};
    EXPECT_EQ(Plugin::hostCallback(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f), kVstVersion);
    EXPECT_EQ(Plugin::hostCallback(&stranger, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f), 0);
}

TEST_F(VstHost, AutomationIsRecordedWithIndexAndValueAfterBeingApplied) {
    auto plugin = loadTest();
    ASSERT_TRUE(plugin);
    plugin->clearRequests();
    EXPECT_TRUE(plugin->requests().empty());

    ask(*plugin, host_test::kAskAutomate, 1, 0.625f);
    ask(*plugin, host_test::kAskAutomate, 0, 0.125f);
    const std::vector<HostRequest> requests = plugin->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].opcode, audioMasterAutomate);
    EXPECT_EQ(requests[0].index, 1);
    EXPECT_EQ(requests[0].opt, 0.625f);
    EXPECT_TRUE(requests[0].withEffect);
    EXPECT_EQ(requests[1].index, 0);
    EXPECT_EQ(requests[1].opt, 0.125f);
    EXPECT_EQ(plugin->count(audioMasterAutomate), 2);
    EXPECT_EQ(plugin->count(audioMasterVersion), 0);
    EXPECT_EQ(plugin->getParameter(1), 0.625f);
    EXPECT_EQ(plugin->getParameter(0), 0.125f);
}

TEST_F(VstHost, FixedAnswersForDisplayEditCanDoAndLatency) {
    HostConfig config;
    config.outputLatencyAnswer = 64;
    auto plugin = loadTest(config);
    ASSERT_TRUE(plugin);
    plugin->clearRequests();
    EXPECT_EQ(ask(*plugin, host_test::kAskUpdateDisplay), 1);
    EXPECT_EQ(ask(*plugin, host_test::kAskBeginEdit, 1), 1);
    EXPECT_EQ(ask(*plugin, host_test::kAskEndEdit, 1), 1);
    EXPECT_EQ(ask(*plugin, host_test::kAskCanDo), 0);
    EXPECT_EQ(ask(*plugin, host_test::kAskOutputLatency), 64);

    const std::vector<HostRequest> requests = plugin->requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].opcode, audioMasterUpdateDisplay);
    EXPECT_EQ(requests[1].opcode, audioMasterBeginEdit);
    EXPECT_EQ(requests[1].index, 1);
    EXPECT_EQ(requests[2].opcode, audioMasterEndEdit);
    EXPECT_EQ(requests[3].opcode, audioMasterCanDo);
    EXPECT_EQ(requests[3].text, "sendVstEvents");
    EXPECT_EQ(requests[4].opcode, audioMasterGetOutputLatency);
}

TEST_F(VstHost, PinConnectedAnswersComeFromTheConfiguredFunction) {
    std::vector<std::pair<int, bool>> asked;
    HostConfig config;
    // Input 1 is unplugged; the answer's sense is inverted (non-zero = not connected).
    config.pinConnected = [&asked](int pin, bool output) -> VstIntPtr {
        asked.emplace_back(pin, output);
        return (!output && pin == 1) ? 1 : 0;
    };
    auto plugin = loadTest(config);
    ASSERT_TRUE(plugin);
    EXPECT_EQ(ask(*plugin, host_test::kAskInputConnected, 0), 1);
    EXPECT_EQ(ask(*plugin, host_test::kAskInputConnected, 1), 0);
    EXPECT_EQ(ask(*plugin, host_test::kAskOutputConnected, 1), 1);
    const std::vector<std::pair<int, bool>> expected = {{0, false}, {1, false}, {1, true}};
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(plugin->count(audioMasterPinConnected), 3);

    // Without a function every pin counts as connected.
    auto plain = loadTest();
    ASSERT_TRUE(plain);
    EXPECT_EQ(ask(*plain, host_test::kAskInputConnected, 1), 1);
    EXPECT_EQ(ask(*plain, host_test::kAskOutputConnected, 0), 1);
}

TEST_F(VstHost, RequestsReachTheHostOfTheirOwnEffect) {
    auto first = loadTest();
    auto second = loadTest();
    ASSERT_TRUE(first && second);
    first->clearRequests();
    second->clearRequests();
    ask(*second, host_test::kAskAutomate, 0, 0.5f);
    EXPECT_EQ(first->count(audioMasterAutomate), 0);
    EXPECT_EQ(second->count(audioMasterAutomate), 1);
}

TEST_F(VstHost, ProcessingPassesAudioInBothPrecisions) {
    auto plugin = loadTest();
    ASSERT_TRUE(plugin);
    plugin->resume();
    constexpr int kFrames = 64;

    AudioBuffers<float> in(2, kFrames);
    AudioBuffers<float> out(2, kFrames);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kFrames; ++i) {
            in.channel(c)[i] = static_cast<float>((c + 1) * (i - 32)) / 64.0f;
            out.channel(c)[i] = 99.0f;
        }
    ASSERT_TRUE(plugin->processReplacing(in.data(), out.data(), kFrames));
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kFrames; ++i) ASSERT_EQ(out.channel(c)[i], in.channel(c)[i]) << c << i;

    AudioBuffers<double> inD(2, kFrames);
    AudioBuffers<double> outD(2, kFrames);
    for (int i = 0; i < kFrames; ++i) {
        inD.channel(0)[i] = 1.0 / (i + 1);
        inD.channel(1)[i] = -0.25 * i;
    }
    ASSERT_TRUE(plugin->processDoubleReplacing(inD.data(), outD.data(), kFrames));
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kFrames; ++i) ASSERT_EQ(outD.channel(c)[i], inD.channel(c)[i]);

    // A plug-in that does not declare double processing is not called with doubles.
    plugin->effect()->flags &= ~effFlagsCanDoubleReplacing;
    EXPECT_FALSE(plugin->processDoubleReplacing(inD.data(), outD.data(), kFrames));
}

TEST_F(VstHost, AudioThreadRequestsAndUserRequestsAreAllRecorded) {
    int pinQueries = 0;  // only the audio thread calls the function
    HostConfig config;
    config.pinConnected = [&pinQueries](int, bool) -> VstIntPtr {
        ++pinQueries;
        return 1;  // input 0 unplugged
    };
    auto plugin = loadTest(config);
    ASSERT_TRUE(plugin);
    TestEffect* effect = objectOf(plugin->effect());
    effect->askPinsWhileProcessing.store(true);
    plugin->clearRequests();
    plugin->resume();

    constexpr int kBlocks = 500;
    std::thread audio([&plugin] {
        AudioBuffers<float> in(2, 32);
        AudioBuffers<float> out(2, 32);
        for (int b = 0; b < kBlocks; ++b) plugin->processReplacing(in.data(), out.data(), 32);
    });
    for (int i = 0; i < kBlocks; ++i)
        ask(*plugin, host_test::kAskAutomate, i % 2, static_cast<float>(i) / kBlocks);
    audio.join();

    EXPECT_EQ(pinQueries, kBlocks);
    EXPECT_EQ(plugin->count(audioMasterPinConnected), kBlocks);
    EXPECT_EQ(plugin->count(audioMasterAutomate), kBlocks);
    EXPECT_EQ(plugin->requests().size(), static_cast<std::size_t>(2 * kBlocks));
    EXPECT_EQ(effect->lastInputConnected.load(), 0);
}

TEST_F(VstHost, StringGettersHandOverTheWholeAnswer) {
    auto plugin = loadTest();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->parameterName(0), "Gain");
    EXPECT_EQ(plugin->parameterName(1), "Mix");
    EXPECT_EQ(plugin->parameterLabel(0), "dB");
    // An over-long label arrives whole, so a length check in a test can catch it.
    EXPECT_EQ(plugin->parameterLabel(1).size(), std::strlen(host_test::kOverlongLabel));
    plugin->setParameter(0, 0.25f);
    EXPECT_EQ(plugin->parameterDisplay(0), "0.25");
    EXPECT_EQ(plugin->programName(), "Init");
    std::string name = "stale";
    EXPECT_TRUE(plugin->programNameIndexed(0, name));
    EXPECT_EQ(name, "Init");
    EXPECT_FALSE(plugin->programNameIndexed(1, name));
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(plugin->effectName(), "Test Effect");
    EXPECT_EQ(plugin->vendorString(), "QRX");
    EXPECT_EQ(plugin->productString(), "QRX Test");
    EXPECT_EQ(plugin->vendorVersion(), 1234);
    EXPECT_EQ(plugin->category(), kPlugCategEffect);
}

TEST_F(VstHost, PropertyRecordsAreClearedBeforeAsking) {
    auto plugin = loadTest();
    ASSERT_TRUE(plugin);
    VstPinProperties pin;
    std::memset(&pin, 0x7F, sizeof pin);
    ASSERT_TRUE(plugin->inputProperties(1, pin));
    EXPECT_STREQ(pin.label, "In 2");
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_EQ(pin.shortLabel[0], 0);  // not written by the effect: the host's zero
    ASSERT_TRUE(plugin->outputProperties(0, pin));
    EXPECT_STREQ(pin.label, "Out 1");
    EXPECT_FALSE(plugin->outputProperties(2, pin));
    EXPECT_EQ(pin.label[0], 0);

    VstParameterProperties parameter;
    std::memset(&parameter, 0x7F, sizeof parameter);
    ASSERT_TRUE(plugin->parameterProperties(1, parameter));
    EXPECT_STREQ(parameter.label, "Mix");
    EXPECT_EQ(parameter.flags, kVstParameterCanRamp);
    EXPECT_EQ(parameter.stepFloat, 0.0f);

    ERect rect{};
    ASSERT_TRUE(plugin->editRect(rect));
    EXPECT_EQ(rect.bottom, host_test::kEditorRect.bottom);
    EXPECT_EQ(rect.right, host_test::kEditorRect.right);
}

TEST_F(VstHost, SpeakerArrangementsCarryTheChannelCounts) {
    auto plugin = loadTest();
    ASSERT_TRUE(plugin);
    TestEffect* effect = objectOf(plugin->effect());
    EXPECT_FALSE(plugin->setSpeakerArrangement(1, 2));
    EXPECT_EQ(effect->lastInput.numChannels, 1);
    EXPECT_EQ(effect->lastInput.type, kSpeakerArrMono);
    EXPECT_EQ(effect->lastOutput.numChannels, 2);
    EXPECT_EQ(effect->lastOutput.type, kSpeakerArrStereo);
    EXPECT_TRUE(plugin->setSpeakerArrangement(2, 2));
    EXPECT_EQ(effect->lastInput.type, kSpeakerArrStereo);
    EXPECT_FALSE(plugin->setSpeakerArrangement(6, 6));
    EXPECT_EQ(effect->lastInput.type, kSpeakerArrUserDefined);
    EXPECT_EQ(effect->lastOutput.numChannels, 6);
}

TEST_F(VstHost, ChunksRoundTripAndCarryTheBankOrProgramFlag) {
    auto plugin = loadTest();
    ASSERT_TRUE(plugin);
    TestEffect* effect = objectOf(plugin->effect());
    plugin->setParameter(0, 0.25f);
    plugin->setParameter(1, 0.75f);
    std::vector<std::uint8_t> chunk;
    ASSERT_TRUE(plugin->getChunk(chunk, true));
    EXPECT_TRUE(effect->lastChunkWasPreset);
    EXPECT_EQ(chunk.size(), 2 * sizeof(float));

    plugin->setParameter(0, 0.0f);
    plugin->setParameter(1, 0.0f);
    EXPECT_EQ(plugin->setChunk(chunk), 1);
    EXPECT_FALSE(effect->lastChunkWasPreset);
    EXPECT_EQ(plugin->getParameter(0), 0.25f);
    EXPECT_EQ(plugin->getParameter(1), 0.75f);
    EXPECT_EQ(plugin->setChunk({1, 2, 3}), 0);
    EXPECT_EQ(plugin->getParameter(1), 0.75f);
}

TEST_F(VstHost, CloseDeletesTheEffectOnceAndLeavesTheHostSafe) {
    auto plugin = loadTest();
    ASSERT_TRUE(plugin);
    plugin->close();
    EXPECT_EQ(counters().closed.load(), 1);
    EXPECT_EQ(counters().destroyed.load(), 1);
    EXPECT_EQ(plugin->effect(), nullptr);

    // Nothing reaches the deleted record any more.
    plugin->close();
    EXPECT_EQ(plugin->dispatch(effGetVendorVersion), 0);
    EXPECT_EQ(plugin->parameterName(0), "");
    AudioBuffers<float> buffers(2, 8);
    EXPECT_FALSE(plugin->processReplacing(buffers.data(), buffers.data(), 8));
    plugin.reset();
    EXPECT_EQ(counters().destroyed.load(), 1);
    EXPECT_EQ(counters().closed.load(), 1);
}

TEST_F(VstHost, DestroyingTheHostSuspendsThenClosesTheEffect) {
    auto plugin = loadTest();
    ASSERT_TRUE(plugin);
    plugin->resume();
    plugin.reset();
    EXPECT_EQ(counters().suspended.load(), 1);
    EXPECT_EQ(counters().closedWhileResumed.load(), 0);
    EXPECT_EQ(counters().closed.load(), 1);
    EXPECT_EQ(counters().destroyed.load(), 1);
}

}  // namespace
}  // namespace host
