// What the LV2 plug-ins keep and take: the state is the VST plug-in's chunk (both ways), lilv's
// snapshots survive their text form, a port value reaches the engine only when it changed and
// stands for another value, the port values of every factory program give back its sound and
// display texts, and a host that offers no feature at all still runs the plug-ins.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/state/state.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "EngineFixtures.h"
#include "Lv2Host.h"
#include "host/VstHost.h"
#include "support/TemporaryFolder.h"

namespace {

using lv2test::engineNamed;
using lv2test::Instance;
using lv2test::Stereo;
using lv2test::World;

const std::string kChunkKey = lv2test::kUriBase + "state#chunk";
const std::string kMeterKey = lv2test::kUriBase + "state#meterSettings";

bool sameSamples(const Stereo& a, const Stereo& b) {
    return a.frames() == b.frames() &&
           std::memcmp(a.left.data(), b.left.data(), 4 * a.frames()) == 0 &&
           std::memcmp(a.right.data(), b.right.data(), 4 * a.frames()) == 0;
}

float chunkValue(const std::vector<unsigned char>& chunk, int program, int index) {
    float v;
    std::memcpy(&v, chunk.data() + 32 + program * 160 + 24 + 4 * index, 4);
    return v;
}

class Lv2State : public ::testing::TestWithParam<std::string> {
  protected:
    std::vector<unsigned char> savedChunk(Instance& lv2) {
        std::map<std::string, Instance::Property> properties;
        EXPECT_EQ(lv2.save(properties), LV2_STATE_SUCCESS);
        EXPECT_EQ(properties[kChunkKey].type, LV2_ATOM__Chunk);
        return properties[kChunkKey].value;
    }

    World world;
    testsupport::TemporaryFolder folder{"qrx-lv2-state-"};
};

INSTANTIATE_TEST_SUITE_P(BothPlugins, Lv2State, ::testing::Values("grandpress", "tinypress"),
                         [](const auto& info) { return info.param; });

TEST_P(Lv2State, TheStateIsTheVstChunkWithTheMeterSettings) {
    const qrxlv2::PortTable table(engineNamed(GetParam()));
    Instance lv2(world, GetParam(), 44100);
    lv2.control("threshold") = -12.0f;
    lv2.control("ratio") = 4.0f;
    lv2.control("mix") = 60.0f;
    lv2.render(lv2test::bursts(256), 0, {256});

    auto vst = host::Plugin::load(std::string(QRX_BUILD_DIR) + "/" + GetParam() + ".so");
    ASSERT_NE(vst, nullptr);
    for (const char* symbol : {"threshold", "ratio", "mix"}) {
        for (int k = 0; k < table.controlCount(); ++k) {
            const int i = table.parameterAt(k);
            if (std::string(table.symbol(i)) == symbol)
                vst->setParameter(i, table.normalised(i, lv2.control(symbol)));
        }
    }
    std::vector<std::uint8_t> expected;
    ASSERT_TRUE(vst->getChunk(expected));

    std::map<std::string, Instance::Property> properties;
    ASSERT_EQ(lv2.save(properties), LV2_STATE_SUCCESS);
    EXPECT_EQ(properties[kChunkKey].value, expected);
    // The meter settings, as the engine holds them (read from the same private store).
    const Instance::Property& meters = properties[kMeterKey];
    ASSERT_EQ(meters.type, LV2_ATOM__Vector);
    ASSERT_EQ(meters.value.size(), sizeof(LV2_Atom_Vector_Body) + 5 * sizeof(float));
    for (int k = 0; k < 5; ++k) {
        float v;
        std::memcpy(&v, meters.value.data() + sizeof(LV2_Atom_Vector_Body) + 4 * k, 4);
        EXPECT_EQ(v, vst->getParameter(36 + k)) << 36 + k;
    }
}

TEST_P(Lv2State, AVstChunkRestoresItsCurrentProgram) {
    const qrxlv2::Engine& engine = engineNamed(GetParam());
    // A bank as the VST plug-in hands it out, program 13 current.
    const std::vector<std::uint8_t> bank = lv2test::factoryChunk(engine, 13);
    std::vector<unsigned char> chunk(bank.begin(), bank.end());

    Instance lv2(world, GetParam(), 44100);
    std::map<std::string, Instance::Property> properties = {{kChunkKey, {LV2_ATOM__Chunk, chunk}}};
    ASSERT_EQ(lv2.restore(properties), LV2_STATE_SUCCESS);
    EXPECT_EQ(savedChunk(lv2), chunk) << "saved as restored";

    auto vst = host::Plugin::load(std::string(QRX_BUILD_DIR) + "/" + GetParam() + ".so");
    ASSERT_NE(vst, nullptr);
    ASSERT_EQ(vst->setChunk(std::vector<std::uint8_t>(chunk.begin(), chunk.end())), 0);
    vst->resume();
    const Stereo in = lv2test::bursts(22050);
    Stereo expected = in;
    float* inputs[4] = {expected.left.data(), expected.right.data(), expected.left.data(),
                        expected.right.data()};
    std::vector<float> outL(in.frames()), outR(in.frames());
    float* outputs[2] = {outL.data(), outR.data()};
    for (std::size_t done = 0; done < in.frames(); done += 512) {
        float* blockIn[4];
        float* blockOut[2];
        for (int c = 0; c < 4; ++c) blockIn[c] = inputs[c] + done;
        for (int c = 0; c < 2; ++c) blockOut[c] = outputs[c] + done;
        vst->processReplacing(blockIn, blockOut,
                              static_cast<int>(std::min<std::size_t>(512, in.frames() - done)));
    }
    const Stereo out = lv2.render(in, 0, {512});
    EXPECT_TRUE(sameSamples(out, Stereo{outL, outR}));
    // A damaged chunk is refused and changes nothing.
    chunk[4] ^= 0x55;
    properties[kChunkKey].value = chunk;
    EXPECT_NE(lv2.restore(properties), LV2_STATE_SUCCESS);
    chunk[4] ^= 0x55;
    EXPECT_EQ(savedChunk(lv2), chunk);
}

TEST_P(Lv2State, ALilvSnapshotSurvivesItsTextForm) {
    const auto settle = [](Instance& i) {
        i.control("threshold") = -20.0f;
        i.control("attack") = 5.0f;
        i.render(Stereo{{0.0f}, {0.0f}}, 0, {1});
    };
    Instance a(world, GetParam(), 44100);
    settle(a);
    LilvState* state = a.snapshot();
    ASSERT_NE(state, nullptr);
    char* text = lilv_state_to_string(world.lilv(), world.urids().mapFeature(),
                                      world.urids().unmapFeature(), state, "urn:qrx:test", nullptr);
    lilv_state_free(state);
    ASSERT_NE(text, nullptr);
    LilvState* back = lilv_state_new_from_string(world.lilv(), world.urids().mapFeature(), text);
    lilv_free(text);
    ASSERT_NE(back, nullptr);
    Instance b(world, GetParam(), 44100);
    b.restore(back);
    lilv_state_free(back);
    EXPECT_EQ(b.control("threshold"), -20.0f);
    EXPECT_EQ(savedChunk(b), savedChunk(a));
    // b sounds as an instance given the same settings through its ports.
    Instance c(world, GetParam(), 44100);
    settle(c);
    b.render(Stereo{{0.0f}, {0.0f}}, 0, {1});
    const Stereo in = lv2test::bursts(11025);
    EXPECT_TRUE(sameSamples(b.render(in, 0, {512}), c.render(in, 0, {512})));
}

TEST_P(Lv2State, APortValueChangesTheEngineOnlyWhenItChangesAndMeansAnotherValue) {
    const qrxlv2::Engine& engine = engineNamed(GetParam());
    const qrxlv2::PortTable table(engine);
    Instance lv2(world, GetParam(), 44100);
    lv2.render(lv2test::bursts(64), 0, {64});
    std::vector<unsigned char> chunk = savedChunk(lv2);
    // A release value that a float port cannot tell apart from its neighbours.
    const int release = GetParam() == "grandpress" ? 9 : 10;
    const float exact = 0.123456789f;
    std::memcpy(chunk.data() + 32 + 24 + 4 * release, &exact, 4);
    ASSERT_EQ(lv2.restore({{kChunkKey, {LV2_ATOM__Chunk, chunk}}}), LV2_STATE_SUCCESS);

    // The host writes the port value of the restored value, then keeps writing it.
    lv2.control("release") = table.portValue(release, exact);
    for (int block = 0; block < 4; ++block) lv2.render(lv2test::bursts(64), 0, {64});
    EXPECT_EQ(chunkValue(savedChunk(lv2), 0, release), exact);

    // A new port value goes in as the nearest normalised value.
    const float seconds = GetParam() == "grandpress" ? 1.5f : 0.5f;
    lv2.control("release") = seconds;
    lv2.render(lv2test::bursts(64), 0, {64});
    EXPECT_EQ(chunkValue(savedChunk(lv2), 0, release), table.normalised(release, seconds));

    // A state restored under an unchanged port keeps its value: the stale port means nothing.
    ASSERT_EQ(lv2.restore({{kChunkKey, {LV2_ATOM__Chunk, chunk}}}), LV2_STATE_SUCCESS);
    lv2.render(lv2test::bursts(64), 0, {64});
    EXPECT_EQ(chunkValue(savedChunk(lv2), 0, release), exact);
}

TEST_P(Lv2State, AHostWithoutAnyFeatureRunsThePlugin) {
    Instance lv2(world, GetParam(), 48000, false);
    ASSERT_TRUE(lv2.valid());
    lv2.control("threshold") = -24.0f;
    const Stereo out = lv2.render(lv2test::bursts(4800), 0, {480});
    double energy = 0.0;
    for (float x : out.left) energy += x * x;
    EXPECT_GT(energy, 0.0);
    std::map<std::string, Instance::Property> properties;
    EXPECT_EQ(lv2.save(properties), LV2_STATE_ERR_NO_FEATURE);
    EXPECT_TRUE(properties.empty());
}

// The engines themselves: each factory program, its port values and back, sounds and reads the
// same (the mapping of the editor's typed entry, plus the fewest-decimals choice). Fresh effects
// for each program: a later write of a selector would also reset what the hidden values after it
// chose (tinypress's side-chain corners), as in the VST plug-in.
TEST_P(Lv2State, PortValuesGiveBackEveryFactoryProgram) {
    const qrxlv2::Engine& engine = engineNamed(GetParam());
    const qrxlv2::PortTable table(engine);
    const auto host = [](AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
        return static_cast<VstIntPtr>(opcode == audioMasterVersion ? kVstVersion : 0);
    };
    const Stereo in = lv2test::bursts(4096);
    for (int program = 0; program < kNumPrograms; ++program) {
        SCOPED_TRACE(kFactoryProgramNames[program]);
        std::unique_ptr<CompressorEffect> direct(engine.create(host, nullptr));
        std::unique_ptr<CompressorEffect> viaPorts(engine.create(host, nullptr));
        direct->selectProgram(program);
        viaPorts->selectProgram(program);
        for (int k = 0; k < table.controlCount(); ++k) {
            const int i = table.parameterAt(k);
            const float v = direct->getParameter(i);
            viaPorts->setParameter(i, table.normalised(i, table.portValue(i, v)));
            char a[64], b[64];
            direct->getParameterDisplay(i, a);
            viaPorts->getParameterDisplay(i, b);
            EXPECT_STREQ(a, b) << table.symbol(i);
        }
        Stereo outs[2] = {in, in};
        CompressorEffect* effects[2] = {direct.get(), viaPorts.get()};
        for (int e = 0; e < 2; ++e) {
            effects[e]->resume();
            Stereo source = in;
            float* inputs[4] = {source.left.data(), source.right.data(), nullptr, nullptr};
            float* outputs[2] = {outs[e].left.data(), outs[e].right.data()};
            effects[e]->processReplacing(inputs, outputs, static_cast<VstInt32>(in.frames()));
        }
        EXPECT_TRUE(sameSamples(outs[0], outs[1]));
    }
}

}  // namespace
