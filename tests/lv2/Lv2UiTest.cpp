// The LV2 UI of both bundles in a real X11 window (run under Xvfb), loaded through libsuil as a
// host loads it, beside a plug-in instance (lilv): a click on a control writes its port (with
// touch around it), a port value from the host moves the control, a program step in the preset
// bar writes the new values to the ports and hands the program over to the plug-in, the needles
// move with the plug-in's audio where the host gives instance access, and without it the editor
// says nothing is metered. Screenshots stay in <build>/test-artifacts/.
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <suil/suil.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "EngineFixtures.h"
#include "Lv2Host.h"
#include "editor/WindowPanels.h"
#include "lv2/Engines.h"
#include "platform/UserStore.h"
#include "presets/CPresetSystemFiles.h"

// X11 last: its macros (None, Bool, Status) would clash with the headers above.
#include "support/XWindows.h"

namespace {

using lv2test::Instance;
using lv2test::World;

const auto* const kKeepServer = ::testing::AddGlobalTestEnvironment(new testsupport::KeepXServer);

struct Write {
    std::uint32_t port;
    float value;
};

// What the UI told its host.
struct HostSide {
    std::vector<Write> writes;
    std::vector<std::pair<std::uint32_t, bool>> touches;
    int width = 0, height = 0;
};

void writePort(SuilController controller, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
    if (format == 0 && size == sizeof(float))
        static_cast<HostSide*>(controller)
            ->writes.push_back({port, *static_cast<const float*>(buffer)});
}

void touchPort(SuilController controller, uint32_t port, bool grabbed) {
    static_cast<HostSide*>(controller)->touches.emplace_back(port, grabbed);
}

int resizeUi(LV2UI_Feature_Handle handle, int width, int height) {
    auto* host = static_cast<HostSide*>(handle);
    host->width = width;
    host->height = height;
    return 0;
}

struct Lv2UiWindow : ::testing::TestWithParam<Panel> {
    void SetUp() override {
        const std::string missing =
            testsupport::openHostWindow(450, GetParam().height, display, parent);
        if (!missing.empty()) GTEST_SKIP() << missing;
        suilHost = suil_host_new(writePort, nullptr, nullptr, nullptr);
        suil_host_set_touch_func(suilHost, touchPort);
        dsp = std::make_unique<Instance>(world, GetParam().name, 44100);
        ASSERT_TRUE(dsp->valid());
        dsp->restart();
    }
    void TearDown() override {
        if (ui) suil_instance_free(ui);
        if (suilHost) suil_host_free(suilHost);
        dsp.reset();
        testsupport::closeHostWindow(display, parent);
    }

    // Instantiates the UI as a host does, and sends it every control port's value.
    // With `scale` the host gives its scale factor (ui:scaleFactor).
    void openUi(bool instanceAccess, float scale = 0) {
        const std::string name = GetParam().name;
        const std::string bundle = std::string(QRX_BUILD_DIR) + "/lv2/qrx-" + name + ".lv2/";
        const std::string plugin = lv2test::kUriBase + name;
        LV2_Feature parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(parent)};
        LV2_Feature mapFeature = {LV2_URID__map, world.urids().mapFeature()};
        LV2UI_Resize resize = {&host, resizeUi};
        LV2_Feature resizeFeature = {LV2_UI__resize, &resize};
        LV2_Feature accessFeature = {LV2_INSTANCE_ACCESS_URI, dsp->handle()};
        std::vector<const LV2_Feature*> features = {&parentFeature, &mapFeature, &resizeFeature};
        if (instanceAccess) features.push_back(&accessFeature);
        LV2_URID_Map* map = world.urids().mapFeature();
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, map->map(map->handle, LV2_UI__scaleFactor), sizeof scale,
             map->map(map->handle, LV2_ATOM__Float), &scale},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        LV2_Feature optionsFeature = {LV2_OPTIONS__options,
                                      const_cast<LV2_Options_Option*>(options)};
        if (scale > 0) features.push_back(&optionsFeature);
        features.push_back(nullptr);
        ui = suil_instance_new(suilHost, &host, LV2_UI__X11UI, plugin.c_str(),
                               (plugin + "#ui").c_str(), LV2_UI__X11UI, bundle.c_str(),
                               (bundle + "qrx-" + name + "-ui.so").c_str(), features.data());
        ASSERT_NE(ui, nullptr);
        idleInterface = static_cast<const LV2UI_Idle_Interface*>(
            suil_instance_extension_data(ui, LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);
        const qrxlv2::PortTable table(engine());
        for (int k = 0; k < table.controlCount(); ++k) sendPort(table.symbol(table.parameterAt(k)));
        ASSERT_TRUE(idleUntil([&] { return childCount() == 1; }));
    }
    const qrxlv2::Engine& engine() const {
        return std::string(GetParam().name) == "grandpress" ? qrxlv2::grandpressEngine()
                                                            : qrxlv2::tinypressEngine();
    }
    // The plug-in's port value, as the host sends it to the UI.
    void sendPort(const std::string& symbol) {
        const float value = dsp->control(symbol);
        suil_instance_port_event(ui, static_cast<uint32_t>(dsp->portIndex(symbol)), sizeof value, 0,
                                 &value);
    }
    // Idles the UI as a host does (a pass every 5 ms or more) until `done` holds, or `passes`
    // passes went by: however slow the machine, the UI gets that many idles.
    bool idleUntil(const std::function<bool()>& done, int passes = 600) {
        for (int i = 0; i < passes; ++i) {
            idleInterface->idle(suil_instance_get_handle(ui));
            XSync(display, False);
            if (done()) return true;
            usleep(5000);
        }
        return false;
    }
    void idlePasses(int passes) {
        idleUntil([] { return false; }, passes);
    }
    int childCount() { return testsupport::childCount(display, parent); }
    void clickAt(int x, int y) { testsupport::clickAt(display, parent, x, y); }
    // The window's pixels (0xRRGGBB), also in <build>/test-artifacts/`file`.
    std::vector<std::uint32_t> screenshot(const std::string& file) {
        return testsupport::windowPixels(display, parent, 450, GetParam().height,
                                         std::string(QRX_BUILD_DIR) + "/test-artifacts/" + file);
    }
    std::vector<Write> writesTo(const std::string& symbol) const {
        std::vector<Write> found;
        for (const Write& w : host.writes)
            if (static_cast<int>(w.port) == dsp->portIndex(symbol)) found.push_back(w);
        return found;
    }

    World world;
    HostSide host;
    std::unique_ptr<Instance> dsp;
    SuilHost* suilHost = nullptr;
    SuilInstance* ui = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    Display* display = nullptr;
    Window parent = 0;
};

INSTANTIATE_TEST_SUITE_P(BothPlugins, Lv2UiWindow, ::testing::ValuesIn(kPanels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(Lv2UiWindow, ControlsWritePortsAndPortsMoveControls) {
    const Panel& p = GetParam();
    // The host moved a port since the plug-in last published its programs.
    dsp->control("threshold") = -20.0f;
    dsp->render(lv2test::bursts(64), 0, {64});
    openUi(true);
    EXPECT_EQ(host.width, 450);
    EXPECT_EQ(host.height, p.height);
    idlePasses(40);
    EXPECT_TRUE(host.writes.empty()) << "the host's own values are not written back";

    // Power is on: a click switches it off through its port, touched around the change.
    ASSERT_EQ(dsp->control("power"), 1.0f);
    clickAt(p.powerX, p.powerY);
    ASSERT_TRUE(idleUntil([&] { return !writesTo("power").empty(); }));
    EXPECT_EQ(writesTo("power").back().value, 0.0f);
    const auto powerPort = static_cast<std::uint32_t>(dsp->portIndex("power"));
    ASSERT_EQ(host.touches.size(), 2u);
    EXPECT_EQ(host.touches[0], std::make_pair(powerPort, true));
    EXPECT_EQ(host.touches[1], std::make_pair(powerPort, false));

    // The host switches it on again: the button follows, so the next click switches it off.
    sendPort("power");  // the plug-in's port still says on
    host.writes.clear();
    clickAt(p.powerX, p.powerY);
    ASSERT_TRUE(idleUntil([&] { return !writesTo("power").empty(); }));
    EXPECT_EQ(writesTo("power").back().value, 0.0f);
}

// A host on a 200 % screen says so: the editor opens at twice its size, asks the host for that
// size, and a click lands where the scaled control is.
TEST_P(Lv2UiWindow, TheHostsScaleFactorSizesTheEditor) {
    const Panel& p = GetParam();
    XResizeWindow(display, parent, 900, 2 * p.height);
    openUi(true, 2.0f);
    EXPECT_EQ(host.width, 900);
    EXPECT_EQ(host.height, 2 * p.height);
    clickAt(2 * p.powerX, 2 * p.powerY);
    ASSERT_TRUE(idleUntil([&] { return !writesTo("power").empty(); }));
    EXPECT_EQ(writesTo("power").back().value, 0.0f);
}

// The editor's own effect starts from the user's stored default preset, the plug-in from the
// factory program: taking the plug-in's programs over writes nothing to the ports.
TEST_P(Lv2UiWindow, TakingThePluginsProgramsOverWritesNoPort) {
    const std::vector<std::uint8_t> preset = lv2test::factoryPreset(engine(), 6);  // "Peak Restore"
    auto key =
        platform::UserStoreKey::create(CPresetSystemFiles::kStoreKey, platform::StoreAccess::Write);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->setBinary("DefaultPreset", preset.data(), preset.size()));
    openUi(true);
    idlePasses(40);
    key->deleteValue("DefaultPreset");
    EXPECT_TRUE(host.writes.empty());
    // The editor shows the plug-in's program: a click on Power switches it off.
    clickAt(GetParam().powerX, GetParam().powerY);
    ASSERT_TRUE(idleUntil([&] { return !writesTo("power").empty(); }));
    EXPECT_EQ(writesTo("power").back().value, 0.0f);
}

TEST_P(Lv2UiWindow, AProgramStepReachesThePortsAndThePlugin) {
    const Panel& p = GetParam();
    const qrxlv2::PortTable table(engine());
    openUi(true);
    // The right half of the preset bar's rocker: the next program ("Gentle Master").
    const int barTop = std::string(p.name) == "grandpress" ? 444 : 362;
    clickAt(337, barTop + 7);
    const int threshold = 5;
    const float expected =
        table.portValue(threshold, static_cast<float>(engine().programs[1].values[threshold]));
    ASSERT_TRUE(idleUntil([&] { return !writesTo("threshold").empty(); }));
    EXPECT_EQ(writesTo("threshold").back().value, expected);

    // The plug-in takes the program over at its next block: program 1 is current in its state.
    // The host carries the UI's writes to the plug-in's ports.
    for (const Write& w : host.writes) dsp->controlAt(w.port) = w.value;
    dsp->render(lv2test::bursts(64), 0, {64});
    std::map<std::string, Instance::Property> properties;
    ASSERT_EQ(dsp->save(properties), LV2_STATE_SUCCESS);
    const auto& chunk = properties[lv2test::kUriBase + "state#chunk"].value;
    ASSERT_EQ(chunk.size(), 2592u);
    std::uint32_t current;
    std::memcpy(&current, chunk.data() + 12, 4);
    EXPECT_EQ(current, 1u);
}

TEST_P(Lv2UiWindow, TheNeedlesFollowThePluginsAudio) {
    openUi(true);
    idlePasses(60);
    const auto still = screenshot(std::string("lv2-") + GetParam().name + "-still.png");
    dsp->render(lv2test::bursts(22050), 0, {512});
    // The needles swing at their own pace: idle until the screen shows the plug-in's levels.
    auto changedPixels = [&] {
        const auto now = testsupport::windowPixels(display, parent, 450, GetParam().height, "");
        std::size_t changed = 0;
        for (std::size_t i = 0; i < still.size() && i < now.size(); ++i)
            changed += still[i] != now[i];
        return changed;
    };
    EXPECT_TRUE(idleUntil([&] { return changedPixels() > 200; }))
        << "the needles and read-outs show the plug-in's levels";
    const auto moving = screenshot(std::string("lv2-") + GetParam().name + "-metering.png");
    ASSERT_EQ(still.size(), moving.size());
    std::size_t notice = 0;
    for (std::uint32_t px : moving) notice += px == 0x282828;
    EXPECT_LT(notice, 100u) << "no notice where the meters read the plug-in";
}

TEST_P(Lv2UiWindow, WithoutInstanceAccessTheEditorSaysNothingIsMetered) {
    const Panel& p = GetParam();
    openUi(false);
    idlePasses(60);
    const auto pixels = screenshot(std::string("lv2-") + p.name + "-unmetered.png");
    std::size_t notice = 0;
    for (std::uint32_t px : pixels) notice += px == 0x282828;
    EXPECT_GT(notice, 1000u) << "the notice strip over the meters";
    // Still a control surface.
    clickAt(p.powerX, p.powerY);
    ASSERT_TRUE(idleUntil([&] { return !writesTo("power").empty(); }));
    EXPECT_EQ(writesTo("power").back().value, 0.0f);
}

}  // namespace
