// Both plug-in libraries as a VST 2.4 host sees them: loaded from build/<name>.so (.dll) at run
// time, driven only through the AEffect record and the dispatcher.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/AudioBuffers.h"
#include "host/KernelChoice.h"
#include "host/VstHost.h"
#include "platform/DynamicLibrary.h"
#include "support/CallbackRecorder.h"

namespace {

struct Identity {
    const char* library;
    VstInt32 uniqueId;
    VstInt32 flags;
    const char* effectName;
    const char* productString;
    VstInt16 panelHeight;
    VstInt32 latencyAt44100;
    VstInt32 latencyAt96000;
};

const Identity kGrandPress{"grandpress",
                           vstFourCC('Q', 'X', 'G', 'P'),
                           0x1031,
                           "QRX GrandPress",
                           "QRX GrandPress - stereo mastering compressor",
                           460,
                           1660,
                           1660};
const Identity kTinyPress{"tinypress",
                          vstFourCC('Q', 'R', 't', 'p'),
                          0x0031,
                          "QRX TinyPress",
                          "QRX TinyPress - stereo mastering compressor",
                          378,
                          1021 - 44,
                          1021 - 96};

std::string libraryPath(const char* name) {
    const char* dir = std::getenv("QRX_BUILD_DIR");
    return std::string(dir ? dir : QRX_BUILD_DIR) + "/" + name + platform::kLibrarySuffix;
}

void PrintTo(const Identity& id, std::ostream* os) {
    *os << id.library;
}

class PluginInterface : public ::testing::TestWithParam<Identity> {
  protected:
    void SetUp() override {
        std::string error;
        plugin = host::Plugin::load(libraryPath(GetParam().library), {}, &error);
        ASSERT_TRUE(plugin) << error;
    }
    VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) {
        return plugin->dispatch(op, index, value, ptr, opt);
    }
    std::vector<std::uint8_t> chunk() {
        std::vector<std::uint8_t> bytes;
        EXPECT_TRUE(plugin->getChunk(bytes));
        return bytes;
    }

    testsupport::TemporaryConfigHome config;
    std::unique_ptr<host::Plugin> plugin;
};

TEST_P(PluginInterface, RecordFields) {
    const Identity& id = GetParam();
    AEffect* e = plugin->effect();
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->flags, id.flags);
    EXPECT_EQ(e->numParams, 34);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numInputs, 4);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->uniqueID, id.uniqueId);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->initialDelay, id.latencyAt44100);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->processDoubleReplacing, nullptr);
}

TEST_P(PluginInterface, IdentityStrings) {
    const Identity& id = GetParam();
    EXPECT_EQ(plugin->effectName(), id.effectName);
    EXPECT_EQ(plugin->productString(), id.productString);
    EXPECT_FALSE(plugin->vendorString().empty());
    EXPECT_EQ(plugin->vendorVersion(), 1700);
    EXPECT_EQ(plugin->category(), kPlugCategMastering);
    EXPECT_EQ(dispatch(effGetVstVersion), 2400);
    EXPECT_EQ(dispatch(effIdentify), 0x4E764566);
}

TEST_P(PluginInterface, OpcodeAnswers) {
    char canDo[] = "receiveVstMidiEvent";
    EXPECT_EQ(dispatch(effCanDo, 0, 0, canDo), 0);
    EXPECT_EQ(dispatch(effCanBeAutomated, 12), 1);
    EXPECT_EQ(dispatch(effGetTailSize), 0);
    EXPECT_EQ(dispatch(effSetBypass, 0, 1), 0);
    EXPECT_EQ(dispatch(effGetCurrentMidiProgram), -1);
    EXPECT_EQ(dispatch(effSetTotalSampleToProcess, 0, 777), 777);
    EXPECT_EQ(dispatch(effSetProcessPrecision, 0, kVstProcessPrecision64), 1);
    EXPECT_EQ(dispatch(effGetNumMidiInputChannels), 0);
    EXPECT_EQ(dispatch(effString2Parameter, 3, 0, nullptr), 0);
    for (VstInt32 op :
         {effOfflineNotify, effOfflinePrepare, effOfflineRun, effProcessVarIo, effVendorSpecific,
          effGetMidiProgramName, effBeginSetProgram, effEndSetProgram, effShellGetNextPlugin,
          effStartProcess, effStopProcess, effSetPanLaw, effBeginLoadBank, effBeginLoadProgram})
        EXPECT_EQ(dispatch(op), 0) << "opcode " << op;
}

TEST_P(PluginInterface, ParametersThroughTheHost) {
    for (int i = 0; i < 34; ++i) {
        const std::string name = plugin->parameterName(i);
        EXPECT_FALSE(name.empty()) << i;
        EXPECT_LE(name.size(), 12u) << i << " '" << name << "'";
        EXPECT_EQ(plugin->parameterLabel(i), "") << i;
        for (float v : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}) {
            plugin->setParameter(i, v);
            EXPECT_EQ(plugin->getParameter(i), v) << i;
            EXPECT_LE(plugin->parameterDisplay(i).size(), 12u) << i << " at " << v;
        }
    }
    plugin->setParameter(6, 0.7f);
    EXPECT_EQ(plugin->parameterDisplay(6), "2.80 : 1");
    plugin->setParameter(6, 0.3f);
    EXPECT_EQ(plugin->parameterDisplay(6), "1.00 : 1");
    plugin->setParameter(5, 0.1667f);
    EXPECT_EQ(plugin->parameterDisplay(5), "-0.00dB");
    plugin->setParameter(5, NAN);
    EXPECT_EQ(plugin->getParameter(5), 0.1667f);
    plugin->setParameter(5, 2.0f);
    EXPECT_EQ(plugin->getParameter(5), 1.0f);
}

TEST_P(PluginInterface, PinsAndArrangements) {
    VstPinProperties pin{};
    ASSERT_TRUE(plugin->inputProperties(0, pin));
    EXPECT_STREQ(pin.label, "My 1 In");
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    ASSERT_TRUE(plugin->outputProperties(1, pin));
    EXPECT_STREQ(pin.label, "My 2 Out");
    EXPECT_FALSE(plugin->inputProperties(2, pin));
    EXPECT_FALSE(plugin->outputProperties(2, pin));
    EXPECT_TRUE(plugin->setSpeakerArrangement(4, 2));
    EXPECT_TRUE(plugin->setSpeakerArrangement(2, 2));
    EXPECT_TRUE(plugin->setSpeakerArrangement(1, 1));
    EXPECT_FALSE(plugin->setSpeakerArrangement(2, 1));
    EXPECT_FALSE(plugin->setSpeakerArrangement(6, 2));
    VstSpeakerArrangement* in = reinterpret_cast<VstSpeakerArrangement*>(0x10);
    VstSpeakerArrangement* out = reinterpret_cast<VstSpeakerArrangement*>(0x10);
    EXPECT_EQ(dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out), 0);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

TEST_P(PluginInterface, ProgramsThroughTheHost) {
    std::string name;
    ASSERT_TRUE(plugin->programNameIndexed(0, name));
    EXPECT_EQ(name, "Default");
    ASSERT_TRUE(plugin->programNameIndexed(15, name));
    EXPECT_EQ(name, "KickPump");
    EXPECT_FALSE(plugin->programNameIndexed(16, name));
    EXPECT_FALSE(plugin->programNameIndexed(-1, name));
    EXPECT_EQ(plugin->programName(), "Default");
    dispatch(effSetProgram, 0, 3);
    EXPECT_EQ(dispatch(effGetProgram), 0);
    EXPECT_EQ(plugin->programName(), "Default");
    char longName[] = "A name of thirty characters!!!";
    dispatch(effSetProgramName, 0, 0, longName);
    EXPECT_EQ(plugin->programName(), "A name of thirty charact");
}

TEST_P(PluginInterface, ChunkRoundTripAndRefusals) {
    const Identity& id = GetParam();
    std::vector<std::uint8_t> fresh = chunk();
    ASSERT_EQ(fresh.size(), 2592u);
    const std::uint8_t format[] = {0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(fresh.data(), format, 4), 0);
    VstInt32 storedId;
    std::memcpy(&storedId, &fresh[4], 4);
    EXPECT_EQ(storedId, id.uniqueId);
    EXPECT_EQ(fresh[8], 16);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&fresh[32])), "Default");

    plugin->setParameter(9, 0.61f);
    plugin->setParameter(0, 0.0f);
    const std::vector<std::uint8_t> changed = chunk();

    std::string error;
    auto other = host::Plugin::load(libraryPath(id.library), {}, &error);
    ASSERT_TRUE(other) << error;
    EXPECT_EQ(other->setChunk(changed), 0);
    EXPECT_EQ(other->getParameter(9), 0.61f);
    EXPECT_EQ(other->getParameter(0), 0.0f);
    std::vector<std::uint8_t> copy;
    ASSERT_TRUE(other->getChunk(copy));
    EXPECT_EQ(copy, changed);

    std::vector<std::uint8_t> truncated(changed.begin(), changed.end() - 1);
    EXPECT_EQ(other->setChunk(truncated), -1);
    std::vector<std::uint8_t> foreign = changed;
    const VstInt32 otherId =
        id.uniqueId == kGrandPress.uniqueId ? kTinyPress.uniqueId : kGrandPress.uniqueId;
    std::memcpy(&foreign[4], &otherId, 4);
    EXPECT_EQ(other->setChunk(foreign), -1);
}

TEST_P(PluginInterface, PowerReachesEveryProgram) {
    // Program switching is internal; the chunk shows all sixteen programs.
    plugin->setParameter(0, 0.0f);
    const std::vector<std::uint8_t> bytes = chunk();
    for (int p = 0; p < 16; ++p) {
        float power;
        std::memcpy(&power, &bytes[32 + p * 160 + 24], 4);
        EXPECT_EQ(power, 0.0f) << p;
    }
}

TEST_P(PluginInterface, EditorRectAndAnInvalidParentWindow) {
    const Identity& id = GetParam();
    ERect rect{};
    ASSERT_TRUE(plugin->editRect(rect));
    EXPECT_EQ(rect.right - rect.left, 450);
    EXPECT_EQ(rect.bottom - rect.top, id.panelHeight);
    EXPECT_EQ(dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1)), 0);
    dispatch(effEditIdle);
    dispatch(effEditClose);
}

TEST_P(PluginInterface, LatencyFollowsTheRate) {
    const Identity& id = GetParam();
    plugin->suspend();
    plugin->setSampleRate(96000.0f);
    plugin->resume();
    EXPECT_EQ(plugin->initialDelay(), id.latencyAt96000);
}

TEST_P(PluginInterface, ProcessesBlocksOfAnySize) {
    plugin->resume();
    host::AudioBuffers<float> in(4, 1000), out(2, 1000);
    for (int i = 0; i < 1000; ++i) {
        in.channel(0)[i] = 0.5f * std::sin(0.05f * i);
        in.channel(1)[i] = -in.channel(0)[i];
    }
    for (int frames : {1, 63, 64, 65, 1000, 0}) {
        ASSERT_TRUE(plugin->processReplacing(in.data(), out.data(), frames));
        for (int i = 0; i < frames; ++i)
            ASSERT_TRUE(std::isfinite(out.channel(0)[i]) && std::isfinite(out.channel(1)[i]));
    }
}

// The fast kernels this processor runs and the plain x86-64 ones sound alike within -120 dB, in
// the default setting and while compressing hard, through FAT (grandpress) and a loud burst.
TEST_P(PluginInterface, BaselineAndFastKernelsSoundAlike) {
    const Identity& id = GetParam();
    const std::vector<std::vector<std::pair<int, float>>> settings = {
        {}, {{6, 0.7f}, {5, 0.8f}}, {{4, 1.0f}, {6, 1.0f}, {5, 0.8f}}, {{1, 1.0f}}};
    constexpr int kBlock = 512, kBlocks = 80;
    for (const auto& setting : settings) {
        std::unique_ptr<host::Plugin> fast = std::move(plugin);
        std::string error;
        plugin = host::Plugin::load(libraryPath(id.library), {}, &error);
        ASSERT_TRUE(plugin) << error;
        std::unique_ptr<host::Plugin> baseline = host::Plugin::load(libraryPath(id.library));
        ASSERT_TRUE(baseline);
        ASSERT_TRUE(host::useBaselineKernels(*baseline));
        EXPECT_EQ(host::kernelsInUse(*baseline), "x86-64");
        EXPECT_FALSE(host::kernelsInUse(*fast).empty());
        for (host::Plugin* p : {fast.get(), baseline.get()}) {
            for (const auto& [index, value] : setting) p->setParameter(index, value);
            p->resume();
        }
        host::AudioBuffers<float> in(4, kBlock), outFast(2, kBlock), outBase(2, kBlock);
        double largest = 0.0;
        for (int b = 0; b < kBlocks; ++b) {
            for (int i = 0; i < kBlock; ++i) {
                const double t = (b * kBlock + i) / 44100.0;
                const double level = b > kBlocks / 2 ? 1.0 : 0.1;  // a burst after the middle
                in.channel(0)[i] = static_cast<float>(level * std::sin(2 * M_PI * 220 * t));
                in.channel(1)[i] = static_cast<float>(level * std::sin(2 * M_PI * 3100 * t));
            }
            ASSERT_TRUE(fast->processReplacing(in.data(), outFast.data(), kBlock));
            ASSERT_TRUE(baseline->processReplacing(in.data(), outBase.data(), kBlock));
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < kBlock; ++i)
                    largest =
                        std::max(largest, std::fabs(static_cast<double>(outFast.channel(c)[i]) -
                                                    static_cast<double>(outBase.channel(c)[i])));
        }
        EXPECT_LE(largest, 1e-6) << "setting " << (&setting - settings.data());
    }
}

TEST_P(PluginInterface, OldHostGetsNoEffect) {
    host::HostConfig old;
    old.versionAnswer = 0;
    std::string error;
    EXPECT_FALSE(host::Plugin::load(libraryPath(GetParam().library), old, &error));
}

TEST_P(PluginInterface, CloseAndReopen) {
    plugin->close();
    EXPECT_FALSE(plugin->isOpen());
    std::string error;
    auto again = host::Plugin::load(libraryPath(GetParam().library), {}, &error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->programName(), "Default");
}

INSTANTIATE_TEST_SUITE_P(Libraries, PluginInterface, ::testing::Values(kGrandPress, kTinyPress),
                         [](const auto& info) { return std::string(info.param.library); });

}  // namespace
