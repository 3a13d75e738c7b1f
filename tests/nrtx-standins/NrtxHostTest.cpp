// wrapper.so (wrapper.dll) inside the host stand-ins, as the host loads it: Motor first, then the
// library (attach, WinPlugInOpen, NewPlugIn), its registration, the four types, automation both
// ways, chunks between instances, and a third-party VST 2.4 plug-in driven by path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "nrtx-standins/NrtxHost.h"
#include "platform/DynamicLibrary.h"
#ifdef _WIN32
#include "support/MessageBoxCloser_win.h"
#endif

namespace {

using nrtx::fourCC;
using namespace nrtx_host;

const std::string kBuild = QRX_BUILD_DIR;
const char* kZamComp = "/usr/lib/vst/ZamComp-vst.so";

// The plug-in file the adaptor loads instead of tinypress (empty: tinypress).
void choosePlugin(const char* plugin) {
#ifdef _WIN32
    _putenv_s("QRX_WRAPPER_PLUGIN", plugin ? plugin : "");
#else
    if (plugin)
        setenv("QRX_WRAPPER_PLUGIN", plugin, 1);
    else
        unsetenv("QRX_WRAPPER_PLUGIN");
#endif
}

std::string builtLibrary(const char* name) {
    return kBuild + "/" + name + platform::kLibrarySuffix;
}

class NrtxHostTest : public ::testing::Test {
  protected:
    void load(const char* plugin = nullptr) {
        choosePlugin(plugin);
        engine = Engine::load(builtLibrary("Motor"));
        ASSERT_NE(engine, nullptr);
        std::string error;
        library = PlugInLibrary::load(builtLibrary("wrapper"), &error);
        ASSERT_NE(library, nullptr) << error;
    }
    void TearDown() override {
        library.reset();
        engine.reset();
        choosePlugin(nullptr);
    }
    std::unique_ptr<Engine> engine;
    std::unique_ptr<PlugInLibrary> library;
};

TEST_F(NrtxHostTest, AttachRegistersProceduresAndOpenAcceptsOnlyItsCode) {
    load();
    const auto [open, close] = engine->registeredProcs();
    EXPECT_NE(open, nullptr);
    EXPECT_NE(close, nullptr);
    auto winOpen = reinterpret_cast<nrtx::WinPlugInOpenProc>(library->symbol("WinPlugInOpen"));
    EXPECT_EQ(winOpen(0x48), -1);
    EXPECT_EQ(winOpen(0), -1);
}

TEST_F(NrtxHostTest, GroupRegistersTheEffectAndItsFourTypes) {
    load();
    nrtx::Group& g = library->group();
    EXPECT_STREQ(g.effectName(), "QRX TinyPress");
    EXPECT_STREQ(g.manufacturerName(), "QRXsoundwerk\nQRX");
    EXPECT_EQ(g.manufacturerId(), fourCC("QRXa"));
    ASSERT_EQ(g.typeCount(), 4);
    struct Row {
        const char* id;
        nrtx::TypeKind kind;
        int format[3];
        int options[3];
    };
    const Row rows[] = {{"QRus", nrtx::TypeKind::RealTime, {0, 0, 0}, {8, 48, 5}},
                        {"QRux", nrtx::TypeKind::RealTime, {0, 1, 0}, {8, 48, 5}},
                        {"QRum", nrtx::TypeKind::RealTime, {1, 1, 0}, {8, 48, 5}},
                        {"QRua", nrtx::TypeKind::Offline, {0, 0, 0}, {8, 2, 5}}};
    for (int i = 0; i < 4; ++i) {
        nrtx::TypeInfo info{};
        ASSERT_TRUE(g.typeInfo(i, &info));
        EXPECT_EQ(info.typeId, fourCC(*reinterpret_cast<const char(*)[5]>(rows[i].id)));
        EXPECT_EQ(info.productId, fourCC("Qrtp"));
        EXPECT_EQ(info.kind, rows[i].kind);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(info.formatValues[k], rows[i].format[k]) << i;
            EXPECT_EQ(info.options[k], rows[i].options[k]) << i;
        }
        EXPECT_EQ(info.furtherSetting, 6);
        EXPECT_STREQ(info.effectName, "QRX TinyPress");
    }
}

TEST_F(NrtxHostTest, EveryTypeInstantiatesTinypressFoundBesideTheAdaptor) {
    load();
    for (const char* id : {"QRus", "QRux", "QRum", "QRua"}) {
        auto instance = Instance::create(*library, fourCC(*reinterpret_cast<const char(*)[5]>(id)));
        ASSERT_NE(instance, nullptr) << id;
        ASSERT_EQ(instance->controlCount(), 35) << id;  // bypass + 34 parameters
        EXPECT_TRUE(instance->isOnOff(1));
        EXPECT_EQ(instance->controlFirstLine(1), "Master Bypass");
        EXPECT_EQ(instance->controlFirstLine(2), "0:  Power ");
        EXPECT_EQ(instance->text(2), "On");
    }
}

TEST_F(NrtxHostTest, HostControlsDriveTheEffectAndStateMovesBetweenInstances) {
    load();
    auto first = Instance::create(*library, fourCC("QRus"));
    auto second = Instance::create(*library, fourCC("QRus"));
    ASSERT_TRUE(first && second);
    first->setUnit(25, 0.25);  // Output: -12 + 18 * 0.25 = -7.5
    EXPECT_EQ(first->text(25), "-7.50");
    EXPECT_TRUE(first->automation().empty());  // a host change is not echoed back
    const auto record = first->saveChunk(fourCC("All "));
    ASSERT_GT(record.size(), 56u);
    nrtx::ChunkHeader header;
    std::memcpy(&header, record.data(), sizeof header);
    EXPECT_EQ(header.size, static_cast<int>(record.size()));
    EXPECT_EQ(header.id, fourCC("All "));
    ASSERT_TRUE(second->restoreChunk(record));
    EXPECT_EQ(second->text(25), "-7.50");
    // The restore moved the host control through the plug-in side.
    EXPECT_FALSE(second->automation().empty());
    const auto controls = first->saveChunk(nrtx::kControlsChunkId);
    EXPECT_EQ(controls.size(), 56u + 4 * 35);
}

// The "Complete State" record around `data` (header, then the data).
std::vector<unsigned char> stateRecord(const std::vector<unsigned char>& data) {
    nrtx::ChunkHeader header{};
    header.size = static_cast<std::int32_t>(sizeof header + data.size());
    header.id = fourCC("All ");
    std::vector<unsigned char> record(sizeof header);
    std::memcpy(record.data(), &header, sizeof header);
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

// Form B of the state: every program's name and values, big-endian, for `programs` programs of
// `params` values; value u of program p is values(p, u).
template <class Values>
std::vector<unsigned char> formBState(int params, int programs, int current, Values values) {
    std::vector<unsigned char> data;
    auto word = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            data.push_back(static_cast<unsigned char>(v >> shift));
    };
    word(static_cast<std::uint32_t>(params));
    word(static_cast<std::uint32_t>(programs));
    for (int p = 0; p < programs; ++p) {
        char name[64] = {};
        std::snprintf(name, sizeof name, "Restored %d", p);
        data.insert(data.end(), name, name + 64);
        for (int u = 0; u < params; ++u) {
            const float v = values(p, u);
            std::uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            word(bits);
        }
    }
    word(0x2001);
    word(static_cast<std::uint32_t>(current));
    return data;
}

// A host writing automation records every control change the plug-in reports: a restore reports
// each control at most once, only where its value changed, and nothing when it is ignored.
TEST_F(NrtxHostTest, RestoreReportsEachChangedControlOnce) {
    load();
    auto source = Instance::create(*library, fourCC("QRus"));
    auto target = Instance::create(*library, fourCC("QRus"));
    ASSERT_TRUE(source && target);
    source->setUnit(25, 0.25);  // Output
    source->setUnit(8, 0.9);    // Ratio
    const auto record = source->saveChunk(fourCC("All "));
    auto reportsPerControl = [&] {
        std::map<int, int> count;
        for (const AutomationEvent& e : target->automation()) ++count[e.index];
        return count;
    };

    target->clearAutomation();
    ASSERT_TRUE(target->restoreChunk(record));
    auto reports = reportsPerControl();
    EXPECT_EQ(reports.size(), 2u);  // the two controls that differ
    for (auto [index, count] : reports) EXPECT_EQ(count, 1) << "control " << index;
    EXPECT_EQ(target->text(25), "-7.50");

    target->clearAutomation();
    ASSERT_TRUE(target->restoreChunk(record));  // the same state again: nothing changes
    EXPECT_TRUE(target->automation().empty());

    target->clearAutomation();
    ASSERT_TRUE(target->restoreChunk(stateRecord({})));  // empty: ignored
    std::vector<unsigned char> damaged(record.begin() + 56, record.end());
    damaged.erase(damaged.begin() + 100);  // a bank of the wrong length: tinypress refuses it
    ASSERT_TRUE(target->restoreChunk(stateRecord(damaged)));
    EXPECT_TRUE(target->automation().empty());
    EXPECT_EQ(target->text(25), "-7.50");

    // Form B sets every program in turn; the host still hears of each control once.
    target->clearAutomation();
    ASSERT_TRUE(target->restoreChunk(
        stateRecord(formBState(34, 16, 0, [](int, int u) { return u == 0 ? 1.0f : 0.15f; }))));
    reports = reportsPerControl();
    EXPECT_FALSE(reports.empty());
    for (auto [index, count] : reports) EXPECT_EQ(count, 1) << "control " << index;
    EXPECT_EQ(target->text(25), "-9.30");  // Output: -12 + 18 * 0.15
}

TEST_F(NrtxHostTest, RealTimeAndOfflineRendersKeepLength) {
    load();
    auto rt = Instance::create(*library, fourCC("QRux"));
    auto ofl = Instance::create(*library, fourCC("QRua"));
    Audio in(2, std::vector<float>(10000));
    for (int i = 0; i < 10000; ++i) in[0][i] = in[1][i] = std::sin(0.01f * i) * 0.5f;
    const Audio out = renderRealTime(*rt, in, {1, 37, 512, 1000}, {3000, 7001});
    ASSERT_EQ(out[0].size(), 10000u);
    // Bypassed stretch (3000..7000): the input 977 frames late.
    for (int i = 4000; i < 7000; ++i) ASSERT_EQ(out[0][i], in[0][i - 977]) << i;
    const Audio offline = renderOffline(*ofl, in, 4096);
    ASSERT_EQ(offline[0].size(), 10000u);
    for (float s : offline[0]) ASSERT_TRUE(std::isfinite(s));
}

TEST_F(NrtxHostTest, MissingPluginGivesInstancesWithoutEffect) {
#ifdef _WIN32
    // The adaptor tells the user in a message box of its own.
    testsupport::MessageBoxCloser boxes;
#endif
    load("no-such-plugin.so");
    auto instance = Instance::create(*library, fourCC("QRus"));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->controlCount(), 1);
#ifdef _WIN32
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Plug-in core lib failed to load."});
#endif
}

TEST_F(NrtxHostTest, DrivesAThirdPartyPluginGivenByPath) {
#ifdef _WIN32
    GTEST_SKIP() << "the third-party plug-in is a Linux library (zam-plugins)";
#endif
    if (!std::filesystem::exists(kZamComp)) GTEST_SKIP() << kZamComp << " missing (zam-plugins)";
    load(kZamComp);
    auto first = Instance::create(*library, fourCC("QRus"));
    ASSERT_NE(first, nullptr);
    ASSERT_GT(first->controlCount(), 3);
    for (int i = 2; i <= first->controlCount(); ++i) {
        EXPECT_FALSE(first->controlFirstLine(i).empty()) << i;
        first->text(i);
    }
    Audio in(2, std::vector<float>(8000));
    for (int i = 0; i < 8000; ++i) in[0][i] = in[1][i] = std::sin(0.02f * i) * 0.9f;
    const Audio out = renderRealTime(*first, in, {64, 100, 7});
    double energy = 0.0;
    for (float s : out[0]) {
        ASSERT_TRUE(std::isfinite(s));
        energy += s * s;
    }
    EXPECT_GT(energy, 0.0);
    // Form B state: change a control, move the state to a second instance.
    first->setUnit(3, 0.8);
    const std::string changed = first->text(3);
    auto second = Instance::create(*library, fourCC("QRus"));
    const auto record = first->saveChunk(fourCC("All "));
    ASSERT_GT(record.size(), 56u + 16u);
    const unsigned char* tag = record.data() + record.size() - 8;
    EXPECT_EQ(tag[2], 0x20);  // 0x00002001 big-endian
    EXPECT_EQ(tag[3], 0x01);
    ASSERT_TRUE(second->restoreChunk(record));
    EXPECT_EQ(second->text(3), changed);
}

}  // namespace
