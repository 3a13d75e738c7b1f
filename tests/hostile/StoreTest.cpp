// The per-user store under hostile conditions: values truncated, oversized, garbage or of the
// wrong kind of file, read back by the meter settings and the stored defaults as both plug-ins
// do at construction; and two writers (threads, then processes) racing on the same values while
// a reader checks that it only ever sees the old value, the new one, or the defaults.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "editor/MeterSettingsStore.h"
#include "hostile/HostileRig.h"
#include "platform/UserStore.h"
#include "support/CallbackRecorder.h"

namespace hostile {
namespace {

namespace fs = std::filesystem;

const char* kMeterNames[] = {"vuintegration", "vureference", "ppmintegration", "ppmreturn",
                             "overcounter"};
const float kMeterDefaults[] = {0.5f, 0.41f, 0.5f, 0.5f, 0.2222222f};
// What both effects use in place of a stored value outside 0..1 (the last as its 1/9 step).
const float kMeterRangeDefaults[] = {0.5f, 0.5f, 0.52f, 0.72365f, 2.0f / 9.0f};

fs::path storeFolder(const char* key) {
    return fs::path(platform::userStoreRoot()) / key;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string floatBytes(float v) {
    return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

// Contents planted under a value's file name, and whether a reader may take them.
struct Planted {
    const char* what;
    std::string bytes;
};

std::vector<Planted> garbageValues() {
    return {
        {"empty", ""},
        {"truncated", std::string("\x00\x00", 2)},
        {"one byte over", floatBytes(0.3f) + "x"},
        {"oversized", std::string(1 << 20, '\x3f')},
        {"NaN", floatBytes(kNaN)},
        {"infinity", floatBytes(kInf)},
        {"negative", floatBytes(-0.5f)},
        {"above one", floatBytes(3.0f)},
        {"text", "0.75\n"},
    };
}

// Both plug-ins read the five meter settings when constructed: whatever is planted, each comes
// out a number in 0..1, and a value that is not a 4-byte float in 0..1 gives the default.
TEST(HostileStore, GarbageMeterSettingsGiveDefaults) {
    int cases = 0;
    for (const char* plugin : {"grandpress", "tinypress"})
        for (const Planted& p : garbageValues()) {
            testsupport::TemporaryConfigHome home;
            const fs::path folder = storeFolder("AmberGlowTube20");
            for (const char* name : kMeterNames)
                writeFile(folder / (std::string(name) + ".bin"), p.bytes);
            {
                auto effect = loadPlugin(plugin);
                ASSERT_TRUE(effect);
                for (int i = 0; i < 5; ++i) {
                    const float v = effect->getParameter(36 + i);
                    // A missing or wrongly sized value reads as the store's default; a 4-byte
                    // value outside 0..1 is replaced by the effect's own default.
                    const bool isDefault = v == kMeterDefaults[i] || v == kMeterRangeDefaults[i];
                    EXPECT_TRUE(isDefault) << plugin << ", " << p.what << ", " << i << ": " << v;
                }
            }
            ++cases;
            // Destroying the effect wrote proper values back over the garbage.
            for (int i = 0; i < 5; ++i) {
                const float v = meter_settings::read(36 + i);
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << p.what;
                EXPECT_EQ(fs::file_size(folder / (std::string(kMeterNames[i]) + ".bin")), 4u);
            }
        }
    RecordProperty("cases", cases);
}

// Other kinds of file under a value's name: a folder, a FIFO (which must not block the
// reader), a link to an endless device.
TEST(HostileStore, OddFilesUnderAValueNameAreIgnored) {
    testsupport::TemporaryConfigHome home;
    const fs::path folder = storeFolder("AmberGlowTube20");
    fs::create_directories(folder);
    fs::create_directory(folder / "vuintegration.bin");
    ASSERT_EQ(mkfifo((folder / "vureference.bin").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder / "ppmintegration.bin");
    fs::create_symlink("/dev/urandom", folder / "ppmreturn.bin");
    EXPECT_FLOAT_EQ(meter_settings::read(36), 0.5f);
    EXPECT_FLOAT_EQ(meter_settings::read(37), 0.41f);
    EXPECT_FLOAT_EQ(meter_settings::read(38), 0.5f);
    EXPECT_FLOAT_EQ(meter_settings::read(39), 0.5f);
    auto effect = loadPlugin("grandpress");
    ASSERT_TRUE(effect);
    for (int i = 36; i <= 40; ++i) {
        const float v = effect->getParameter(i);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i;
    }
}

// Stored default bank and preset that are truncated, oversized or garbage of the exact size:
// both plug-ins still construct with every parameter in range and a terminated program name.
TEST(HostileStore, GarbageStoredDefaultsAreRefused) {
    const std::size_t kBank = 2565, kPreset = 165;
    std::vector<Planted> images;
    for (std::size_t size : {kBank, kPreset}) {
        images.push_back({"zeros", std::string(size, '\0')});
        images.push_back({"ones", std::string(size, '\xff')});
        std::string pattern(size, 0);
        for (std::size_t i = 0; i < size; ++i) pattern[i] = static_cast<char>(i * 131 + 7);
        images.push_back({"pattern", pattern});
        images.push_back({"truncated", pattern.substr(0, size - 1)});
        images.push_back({"oversized", pattern + pattern});
    }
    int cases = 0;
    for (const char* plugin : {"grandpress", "tinypress"})
        for (const Planted& image : images) {
            testsupport::TemporaryConfigHome home;
            const fs::path folder = storeFolder("QRX_GrandPress");
            for (const char* name : {"DefaultBank", "DefaultPreset", "MemoA", "MemoB"})
                writeFile(folder / (std::string(name) + ".bin"), image.bytes);
            // Path texts: invalid UTF-8 and far longer than a path field.
            writeFile(folder / "CurrDir.sz", std::string("\xff\xfe/bad\xc3", 8));
            writeFile(folder / "CurrBank.sz", std::string(5000, 'b'));
            writeFile(folder / "CurrPreset.sz", "");
            auto effect = loadPlugin(plugin);
            ASSERT_TRUE(effect);
            ++cases;
            for (VstInt32 i = 0; i < effect->numParams(); ++i) {
                const float v = effect->getParameter(i);
                EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << plugin << ", " << image.what << ", " << i;
            }
            EXPECT_LT(effect->programName().size(), 25u);
            effect->resume();
            const Output out = run(*effect, 8192, 512, [](int i) { return sine(i); });
            EXPECT_EQ(firstNonFinite(out.left()), -1);
        }
    RecordProperty("cases", cases);
}

// A value written whole: a length and a fill byte, so any mixture of two writes shows.
std::vector<unsigned char> blob(std::size_t size, unsigned char fill) {
    std::vector<unsigned char> b(size, fill);
    std::memcpy(b.data(), &size, sizeof size);
    return b;
}

bool isWhole(const std::vector<unsigned char>& data, std::size_t size) {
    if (size < sizeof(std::size_t)) return false;
    std::size_t stated = 0;
    std::memcpy(&stated, data.data(), sizeof stated);
    if (stated != size) return false;
    for (std::size_t i = sizeof stated + 1; i < size; ++i)
        if (data[i] != data[sizeof stated]) return false;
    return true;
}

// Two writers with values of different sizes and contents, one reader: every read is one whole
// value and every write succeeds. The writers are threads of this process, or two child
// processes forked after this process has already written (so they start from one copy of
// its state, as processes forked by a host do).
void raceWriters(bool processes) {
    testsupport::TemporaryConfigHome home;
    const std::string key = "SOFTWARE\\QRX-soundwerk\\HostileRace";
    auto created = platform::UserStoreKey::create(key, platform::StoreAccess::Write);
    ASSERT_TRUE(created);
    int zero = 0;
    ASSERT_TRUE(created->setBinary("small", &zero, sizeof zero));
    constexpr int kRounds = 400;
    const auto writer = [&](unsigned char fill, std::size_t size) {
        auto k = platform::UserStoreKey::open(key, platform::StoreAccess::Write);
        int ok = 0;
        for (int r = 0; r < kRounds && k; ++r) {
            const auto b = blob(size + static_cast<std::size_t>(r % 5), fill);
            ok += k->setBinary("value", b.data(), b.size());
            ok += k->setBinary("small", &r, sizeof r);
        }
        return ok;
    };
    std::vector<pid_t> children;
    std::vector<std::thread> threads;
    std::atomic<int> written{0};
    const std::pair<unsigned char, std::size_t> writers[] = {{'A', 3000}, {'B', 40}};
    for (auto [fill, size] : writers) {
        if (processes) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) _exit(writer(fill, size) == 2 * kRounds ? 0 : 1);
            children.push_back(child);
        } else {
            threads.emplace_back([&, fill, size] { written += writer(fill, size); });
        }
    }
    auto reader = platform::UserStoreKey::open(key, platform::StoreAccess::Query);
    ASSERT_TRUE(reader);
    int reads = 0, whole = 0;
    const auto checkOnce = [&] {
        std::vector<unsigned char> data(8192, 0);
        std::size_t size = 0;
        if (reader->queryBinary("value", data.data(), data.size(),
                                &size)) {  // else not yet written
            ++reads;
            whole += isWhole(data, size);
            EXPECT_TRUE(isWhole(data, size)) << "torn value of " << size << " bytes";
        }
        int small = -1;
        std::size_t smallSize = 0;
        EXPECT_TRUE(reader->queryBinary("small", &small, sizeof small, &smallSize));
        EXPECT_EQ(smallSize, sizeof small);
        EXPECT_TRUE(small >= 0 && small < kRounds) << small;
    };
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done.load()) checkOnce();
    });
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writes failed in a child";
    }
    for (auto& t : threads) t.join();
    if (!processes) {
        EXPECT_EQ(written.load(), 4 * kRounds) << "writes failed";
    }
    done = true;
    watcher.join();
    checkOnce();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(whole, reads);
    ::testing::Test::RecordProperty("reads", reads);
    // No temp file left behind.
    for (const auto& entry : fs::directory_iterator(storeFolder("HostileRace")))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos)
            << entry.path();
}

TEST(HostileStore, ConcurrentWriterThreadsNeverTearAValue) {
    raceWriters(false);
}

TEST(HostileStore, ConcurrentWriterProcessesNeverTearAValue) {
    raceWriters(true);
}

// Two instances of the meter settings writers (as two effects being destroyed at once) and a
// reader: each read is one of the written values or the default.
TEST(HostileStore, ConcurrentMeterSettingWritersGiveOldOrNew) {
    testsupport::TemporaryConfigHome home;
    std::atomic<bool> done{false};
    const auto writer = [&](float base) {
        for (int r = 0; r < 300; ++r)
            for (int i = 36; i <= 40; ++i) meter_settings::write(i, base + 0.001f * float(r % 10));
    };
    std::thread a(writer, 0.1f), b(writer, 0.6f);
    int reads = 0;
    std::thread reader([&] {
        while (!done.load()) {
            for (int i = 36; i <= 40; ++i) {
                const float v = meter_settings::read(i);
                const bool fromA = v >= 0.1f && v <= 0.1095f;
                const bool fromB = v >= 0.6f && v <= 0.6095f;
                const bool isDefault = v == kMeterDefaults[i - 36];
                EXPECT_TRUE(fromA || fromB || isDefault) << v;
                ++reads;
            }
        }
    });
    a.join();
    b.join();
    done = true;
    reader.join();
    EXPECT_GT(reads, 0);
}

}  // namespace
}  // namespace hostile
