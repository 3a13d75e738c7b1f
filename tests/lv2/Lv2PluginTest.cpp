// Both LV2 bundles of the build folder as a host meets them, through lilv: the ports follow the
// engines' tables, the demo signal comes out sample for sample as the VST plug-in renders it
// (qrx-render's engine) with the same latency, every factory preset sounds as the VST program of
// that name, the state is the VST chunk and comes back, and any block length, in place or not,
// gives the same samples.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/port-groups/port-groups.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "EngineFixtures.h"
#include "Lv2Host.h"
#include "host/VstHost.h"
#include "render/Render.h"
#include "support/TemporaryFolder.h"

namespace {

using lv2test::engineNamed;
using lv2test::factoryChunk;
using lv2test::Instance;
using lv2test::Stereo;
using lv2test::World;

std::string vstPath(const std::string& name) {
    return std::string(QRX_BUILD_DIR) + "/" + name + ".so";
}

std::string trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// One temporary folder with the demo signal for the whole program.
class DemoFiles {
  public:
    static DemoFiles& get() {
        static DemoFiles files;
        return files;
    }
    const Stereo& demo() const { return signal; }
    std::string path(const std::string& name) const { return folder.path(name); }
    // The VST plug-in's render of the demo signal (qrx-render's engine, float samples aligned
    // with the input), with a program chosen by name ("" keeps program 0).
    Stereo vstRender(const std::string& plugin, const std::string& program) const {
        render::RenderRequest request;
        request.plugin = vstPath(plugin);
        request.program = program;
        request.format = "float";
        request.input = path("demo.wav");
        request.output = path("vst.wav");
        render::RenderResult result;
        std::string error;
        EXPECT_EQ(render::renderFile(request, &result, &error), 0) << error;
        return lv2test::readWav(request.output);
    }

  private:
    DemoFiles() : folder("qrx-lv2-") { signal = lv2test::demoSignal(folder.folder().string(), 1); }
    testsupport::TemporaryFolder folder;
    Stereo signal;
};

// The LV2 output realigned with the input (the first `latency` frames are the delay line).
Stereo aligned(const Stereo& out, std::size_t latency, std::size_t frames) {
    Stereo s;
    s.left.assign(out.left.begin() + latency, out.left.begin() + latency + frames);
    s.right.assign(out.right.begin() + latency, out.right.begin() + latency + frames);
    return s;
}

// How many samples differ (bit for bit) between two renders of equal length.
std::size_t differences(const Stereo& a, const Stereo& b) {
    if (a.frames() != b.frames()) return std::max(a.frames(), b.frames());
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.frames(); ++i)
        n +=
            std::memcmp(&a.left[i], &b.left[i], 4) != 0 || std::memcmp(&a.right[i], &b.right[i], 4);
    return n;
}

int programNamed(const std::string& name) {
    for (int p = 0; p < kNumPrograms; ++p)
        if (name == kFactoryProgramNames[p]) return p;
    return -1;
}

class Lv2Plugin : public ::testing::TestWithParam<std::string> {
  protected:
    World world;
};

INSTANTIATE_TEST_SUITE_P(BothPlugins, Lv2Plugin, ::testing::Values("grandpress", "tinypress"),
                         [](const auto& info) { return info.param; });

bool hasProperty(World& w, const LilvPlugin* p, const LilvPort* port, const char* property) {
    LilvNode* node = w.uri(property);
    const bool has = lilv_port_has_property(p, port, node);
    lilv_node_free(node);
    return has;
}

TEST_P(Lv2Plugin, PortsFollowTheEngineTable) {
    const qrxlv2::Engine& engine = engineNamed(GetParam());
    const qrxlv2::PortTable table(engine);
    const LilvPlugin* p = world.plugin(GetParam());
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(p), table.portCount());
    // Nothing is required of a host.
    LilvNodes* required = lilv_plugin_get_required_features(p);
    EXPECT_EQ(lilv_nodes_size(required), 0u);
    lilv_nodes_free(required);

    const char* fixed[] = {"in_l",  "in_r",    "sc_l", "sc_r", "out_l",
                           "out_r", "latency", "gr_l", "gr_r"};
    for (std::uint32_t i = 0; i < qrxlv2::kFirstControlPort; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(p, port)), fixed[i]);
        const bool side = i == qrxlv2::kSideLeft || i == qrxlv2::kSideRight;
        EXPECT_EQ(hasProperty(world, p, port, LV2_CORE_PREFIX "isSideChain"), side) << fixed[i];
        EXPECT_EQ(hasProperty(world, p, port, LV2_CORE__connectionOptional), side) << fixed[i];
    }
    EXPECT_TRUE(hasProperty(world, p, lilv_plugin_get_port_by_index(p, qrxlv2::kLatencyPort),
                            LV2_CORE__reportsLatency));

    std::vector<float> mins(table.portCount()), maxs(table.portCount()), defs(table.portCount());
    lilv_plugin_get_port_ranges_float(p, mins.data(), maxs.data(), defs.data());
    for (int k = 0; k < table.controlCount(); ++k) {
        const int index = table.parameterAt(k);
        const units::Param& u = table.param(index);
        const std::uint32_t portIndex = qrxlv2::kFirstControlPort + k;
        const LilvPort* port = lilv_plugin_get_port_by_index(p, portIndex);
        SCOPED_TRACE(u.name);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(p, port)), table.symbol(index));
        LilvNode* name = lilv_port_get_name(p, port);
        EXPECT_EQ(lilv_node_as_string(name), trimmed(u.name));
        lilv_node_free(name);
        // Physical units: the range and the default are the table's, to the float.
        const units::Range r = units::rangeOf(u);
        EXPECT_EQ(mins[portIndex], static_cast<float>(r.min));
        EXPECT_EQ(maxs[portIndex], static_cast<float>(r.max));
        EXPECT_EQ(defs[portIndex], table.portValue(index, u.defaultValue));
        EXPECT_EQ(hasProperty(world, p, port, LV2_CORE__toggled), u.kind == units::Kind::Switch);
        EXPECT_EQ(hasProperty(world, p, port, LV2_CORE__enumeration),
                  u.kind == units::Kind::Stepped);
        EXPECT_EQ(hasProperty(world, p, port, LV2_PORT_PROPS__logarithmic),
                  u.kind == units::Kind::Continuous && u.curve == units::Curve::Exponential);
        LilvScalePoints* points = lilv_port_get_scale_points(p, port);
        EXPECT_EQ(points ? static_cast<int>(lilv_scale_points_size(points)) : 0,
                  u.kind == units::Kind::Continuous ? 0 : u.steps);
        lilv_scale_points_free(points);
    }
    // The units of a few ports by name.
    const auto unitOf = [&](const char* symbol) {
        LilvNode* s = lilv_new_string(world.lilv(), symbol);
        const LilvPort* port = lilv_plugin_get_port_by_symbol(p, s);
        lilv_node_free(s);
        LilvNode* unitPredicate = world.uri("http://lv2plug.in/ns/extensions/units#unit");
        LilvNodes* units = port ? lilv_port_get_value(p, port, unitPredicate) : nullptr;
        std::string text =
            units && lilv_nodes_size(units) ? lilv_node_as_uri(lilv_nodes_get_first(units)) : "";
        lilv_nodes_free(units);
        lilv_node_free(unitPredicate);
        return text.substr(text.find('#') + 1);
    };
    EXPECT_EQ(unitOf("threshold"), "db");
    EXPECT_EQ(unitOf("attack"), "ms");
    EXPECT_EQ(unitOf("release"), "s");
    EXPECT_EQ(unitOf("mix"), "pc");
    EXPECT_EQ(unitOf("ratio"), "ratio");
    EXPECT_EQ(unitOf("gr_l"), "db");
}

TEST_P(Lv2Plugin, TheDemoSignalComesOutAsFromTheVstPlugin) {
    const DemoFiles& files = DemoFiles::get();
    ASSERT_GT(files.demo().frames(), 0u);
    const Stereo vst = files.vstRender(GetParam(), "");
    auto host = host::Plugin::load(vstPath(GetParam()));
    ASSERT_NE(host, nullptr);
    host->resume();

    Instance lv2(world, GetParam(), 44100);
    ASSERT_TRUE(lv2.valid());
    const Stereo out = lv2.render(files.demo(), 4096, {512});
    const float latency = lv2.output("latency");
    EXPECT_EQ(latency, static_cast<float>(host->initialDelay()));
    EXPECT_EQ(latency, GetParam() == "grandpress" ? 1660.0f : 1021.0f - 44.0f);
    EXPECT_EQ(differences(aligned(out, static_cast<std::size_t>(latency), vst.frames()), vst), 0u);
}

TEST_P(Lv2Plugin, GainPortsShowTheReduction) {
    Instance lv2(world, GetParam(), 44100);
    lv2.control("threshold") = -24.0f;
    lv2.control("ratio") = 8.0f;
    lv2.render(lv2test::bursts(4096), 0, {512});
    EXPECT_LT(lv2.output("gr_l"), -3.0f);
    EXPECT_LT(lv2.output("gr_r"), -3.0f);
    EXPECT_GE(lv2.output("gr_l"), qrxlv2::kGainPortMinDb);
    // Switched off, nothing is reduced.
    lv2.control("power") = 0.0f;
    lv2.render(lv2test::bursts(4096), 0, {512});
    EXPECT_EQ(lv2.output("gr_l"), 0.0f);
    EXPECT_EQ(lv2.output("gr_r"), 0.0f);
}

TEST_P(Lv2Plugin, LatencyFollowsTheRate) {
    for (const double rate : {22050.0, 48000.0, 96000.0, 192000.0}) {
        Instance lv2(world, GetParam(), rate);
        ASSERT_TRUE(lv2.valid());
        lv2.render(Stereo{{0.0f}, {0.0f}}, 0, {1});
        const float expected = GetParam() == "grandpress"
                                   ? 1660.0f
                                   : static_cast<float>(1021 - static_cast<int>(rate / 1000));
        EXPECT_EQ(lv2.output("latency"), expected) << rate;
    }
}

// One instance of each format goes through all sixteen programs, restarted (suspend, resume)
// before each render.
TEST_P(Lv2Plugin, EveryFactoryPresetSoundsAsTheVstProgram) {
    const qrxlv2::Engine& engine = engineNamed(GetParam());
    const Stereo in = lv2test::bursts(8192);
    LilvNode* presetClass = world.uri(LV2_PRESETS__Preset);
    LilvNodes* presets = lilv_plugin_get_related(world.plugin(GetParam()), presetClass);
    lilv_node_free(presetClass);
    ASSERT_EQ(lilv_nodes_size(presets), static_cast<unsigned>(kNumPrograms));
    auto vst = host::Plugin::load(vstPath(GetParam()));
    ASSERT_NE(vst, nullptr);
    // Both run from the start; each program is then taken and the engine restarted alike.
    vst->resume();
    Instance lv2(world, GetParam(), 44100);
    lv2.restart();
    std::set<std::string> names;
    LILV_FOREACH(nodes, i, presets) {
        const LilvNode* uri = lilv_nodes_get(presets, i);
        lilv_world_load_resource(world.lilv(), uri);
        LilvState* state = lilv_state_new_from_world(world.lilv(), world.urids().mapFeature(), uri);
        ASSERT_NE(state, nullptr);
        const std::string name = lilv_state_get_label(state);
        SCOPED_TRACE(name);
        const int program = programNamed(name);
        ASSERT_GE(program, 0);
        names.insert(name);
        lv2.restore(state);
        lilv_state_free(state);
        lv2.restart();
        const Stereo out = lv2.render(in, 0, {512});

        ASSERT_EQ(vst->setChunk(factoryChunk(engine, program)), 0);
        vst->suspend();
        vst->resume();
        EXPECT_EQ(differences(out, lv2test::renderVst(*vst, in, 0)), 0u);
        // The port values the preset set are those of the program.
        const qrxlv2::PortTable table(engine);
        for (int k = 0; k < table.controlCount(); ++k) {
            const int index = table.parameterAt(k);
            EXPECT_EQ(
                lv2.control(table.symbol(index)),
                table.portValue(index, static_cast<float>(engine.programs[program].values[index])))
                << table.symbol(index);
        }
    }
    lilv_nodes_free(presets);
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kNumPrograms));
}

TEST_P(Lv2Plugin, AnyBlockLengthInPlaceOrNotGivesTheSameSamples) {
    const DemoFiles& files = DemoFiles::get();
    Instance reference(world, GetParam(), 44100);
    const Stereo expected = reference.render(files.demo(), 2048, {512});
    // Empty runs, single frames, odd lengths, runs across the engines' 64-frame chunks and runs
    // longer than any nominal block (and than the adaptor's slices).
    const std::vector<std::size_t> odd = {0, 1, 63, 64, 65, 0, 777, 4097, 9000, 3};
    for (const bool inPlace : {false, true}) {
        Instance lv2(world, GetParam(), 44100);
        EXPECT_EQ(differences(lv2.render(files.demo(), 2048, odd, inPlace), expected), 0u)
            << (inPlace ? "in place" : "separate buffers");
    }
    Instance inPlace(world, GetParam(), 44100);
    EXPECT_EQ(differences(inPlace.render(files.demo(), 2048, {512}, true), expected), 0u);
}

}  // namespace
