// wrapper.so or wrapper.dll (tinypress inside the NRTX adaptor) under a hostile NRTX host: control
// values at the ends of their 32-bit range and at indices that do not exist, name and text queries
// with useless capacities, chunks that lie about their size, and render calls with extreme buffer
// lengths, absent buffers and NaN/Inf audio. The output stays finite and recovers.
#include <climits>
#include <cstring>

#include "hostile/HostileRig.h"
#include "nrtx-standins/NrtxHost.h"

namespace hostile {
namespace {

using namespace nrtx_host;

class AdaptorTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef _WIN32
        _putenv_s("QRX_WRAPPER_PLUGIN", "");
#else
        unsetenv("QRX_WRAPPER_PLUGIN");
#endif
        engine = Engine::load(libraryPath("Motor"));
        ASSERT_NE(engine, nullptr);
        std::string error;
        library = PlugInLibrary::load(libraryPath("wrapper"), &error);
        ASSERT_NE(library, nullptr) << error;
    }
    void TearDown() override {
        library.reset();
        engine.reset();
    }
    std::unique_ptr<Instance> make(const char* type) {
        return Instance::create(*library, nrtx::fourCC(*reinterpret_cast<const char(*)[5]>(type)));
    }
    void renderExtremes(const char* type);
    std::unique_ptr<Engine> engine;
    std::unique_ptr<PlugInLibrary> library;
};

Audio sineAudio(int frames, float amplitude = 0.5f) {
    Audio a(2, std::vector<float>(static_cast<std::size_t>(frames)));
    for (int i = 0; i < frames; ++i) a[0][i] = a[1][i] = sine(i, 997.0, amplitude);
    return a;
}

bool allFinite(const Audio& a) {
    for (const auto& c : a)
        if (firstNonFinite(c) != -1) return false;
    return true;
}

const std::int32_t kValues[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX};

TEST_F(AdaptorTest, ExtremeControlValuesAndIndices) {
    for (const char* type : {"QRus", "QRux", "QRum", "QRua"}) {
        auto instance = make(type);
        ASSERT_NE(instance, nullptr) << type;
        nrtx::Instance& raw = instance->raw();
        const int count = raw.controlCount();
        ASSERT_GT(count, 1);
        int cases = 0;
        for (int index : {INT_MIN, -1, 0, count + 1, count + 1000, INT_MAX})
            for (std::int32_t v : kValues) {
                raw.setControlValue(index, v);
                raw.controlValue(index);
                raw.controlDefault(index);
                raw.controlKind(index);
                char text[64];
                raw.controlText(index, v, text, sizeof text);
                raw.controlName(index, text, sizeof text);
                ++cases;
            }
        for (int index = 1; index <= count; ++index)
            for (std::int32_t v : kValues) {
                raw.setControlValue(index, v);
                const std::string shown = instance->text(index);
                EXPECT_LT(shown.size(), 32u) << type << " control " << index;
                // Capacities that leave no room: nothing written beyond them.
                for (int capacity : {INT_MIN, -1, 0, 1, 2}) {
                    char text[16];
                    std::memset(text, 0x7E, sizeof text);
                    raw.controlName(index, text, capacity);
                    for (int k = std::max(capacity, 0); k < 16; ++k)
                        ASSERT_EQ(text[k], 0x7E)
                            << type << " name " << index << " capacity " << capacity;
                    // controlText's length excludes the terminator it adds.
                    raw.controlText(index, v, text, capacity);
                    for (int k = std::max(capacity, -1) + 1; k < 16; ++k)
                        ASSERT_EQ(text[k], 0x7E)
                            << type << " text " << index << " length " << capacity;
                }
                ++cases;
            }
        // Back to the defaults, then render: finite and audible.
        for (int index = 1; index <= count; ++index)
            raw.setControlValue(index, raw.controlDefault(index));
        const Audio in = sineAudio(44100);
        const Audio out = std::string(type) == "QRua" ? renderOffline(*instance, in, 4096)
                                                      : renderRealTime(*instance, in, {512});
        EXPECT_TRUE(allFinite(out)) << type;
        EXPECT_GT(rms(out[0], 22050, 44100), 0.01) << type;
        RecordProperty(std::string("cases_") + type, cases);
    }
}

TEST_F(AdaptorTest, RenderWithExtremeLengthsAndAbsentBuffers) {
    for (const char* type : {"QRux", "QRua"}) renderExtremes(type);
}

void AdaptorTest::renderExtremes(const char* type) {
    SCOPED_TRACE(type);
    auto instance = make(type);
    ASSERT_NE(instance, nullptr);
    nrtx::Instance& raw = instance->raw();
    const int big = 1 << 20;
    std::vector<float> inL(big, 0.25f), inR(big, -0.25f), key(big, 0.1f), outL(big), outR(big);
    int cases = 0;
    for (int frames : {0, 1, -1, INT_MIN, 4096, 65536, big}) {
        nrtx::RenderBlock block{};
        block.inputs[0] = inL.data();
        block.inputs[1] = inR.data();
        block.outputs[0] = outL.data();
        block.outputs[1] = outR.data();
        block.keyInput = key.data();
        block.frames = frames;
        raw.render(&block);
        EXPECT_GE(block.consumed, 0) << frames;
        EXPECT_LE(block.consumed, std::max(frames, 0)) << frames;
        EXPECT_GE(block.written, 0) << frames;
        EXPECT_LE(block.written, std::max(frames, 0)) << frames;
        ++cases;
        // Absent buffers: nothing dereferenced.
        for (int missing = 0; missing < 5; ++missing) {
            nrtx::RenderBlock partial = block;
            partial.frames = std::min(std::max(frames, 0), 4096);
            if (missing < 2)
                partial.inputs[missing] = nullptr;
            else if (missing < 4)
                partial.outputs[missing - 2] = nullptr;
            else
                partial.keyInput = nullptr;
            raw.render(&partial);
            ++cases;
        }
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(big); ++i) {
        ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i])) << i;
    }
    RecordProperty("cases", cases);
}

TEST_F(AdaptorTest, NaNAndInfinityAudioRecover) {
    for (const char* type : {"QRus", "QRua"}) {
        auto reference = make(type);
        ASSERT_NE(reference, nullptr);
        const int total = 44100 * 2;
        Audio clean = sineAudio(total);
        const bool offline = std::string(type) == "QRua";
        const Audio expected = offline ? renderOffline(*reference, clean, 4096)
                                       : renderRealTime(*reference, clean, {512});
        const double expectedLevel = rms(expected[0], total - 11025, total);
        for (float bad : {kNaN, kInf, -kInf, 1e30f}) {
            auto instance = make(type);
            Audio in = clean;
            for (int i = 22050; i < 33075; ++i) in[0][i] = in[1][i] = (i % 2 ? bad : -bad);
            const Audio out =
                offline ? renderOffline(*instance, in, 4096) : renderRealTime(*instance, in, {512});
            EXPECT_TRUE(allFinite(out)) << type << " " << bad;
            const double level = rms(out[0], total - 11025, total);
            EXPECT_NEAR(20.0 * std::log10(level / expectedLevel), 0.0, 1.0) << type << " " << bad;
        }
    }
}

// Chunks that lie: a header whose size disagrees with the record, truncated records, garbage.
TEST_F(AdaptorTest, LyingChunksAreRefused) {
    auto instance = make("QRus");
    ASSERT_NE(instance, nullptr);
    nrtx::Instance& raw = instance->raw();
    const auto good = instance->saveChunk(nrtx::fourCC("All "));
    ASSERT_GT(good.size(), 56u);
    int cases = 0;
    EXPECT_FALSE(raw.setChunk(nullptr, 100));
    EXPECT_FALSE(raw.setChunk(good.data(), -1));
    EXPECT_FALSE(raw.setChunk(good.data(), INT_MIN));
    cases += 3;
    for (std::size_t cut = 0; cut < good.size(); cut += 7) {
        raw.setChunk(good.data(), static_cast<std::int32_t>(cut));
        ++cases;
    }
    std::vector<unsigned char> lying = good;
    nrtx::ChunkHeader header;
    std::memcpy(&header, lying.data(), sizeof header);
    for (std::int32_t size : {INT32_MIN, -1, 0, 1, 55, INT32_MAX}) {
        header.size = size;
        std::memcpy(lying.data(), &header, sizeof header);
        raw.setChunk(lying.data(), static_cast<std::int32_t>(lying.size()));
        ++cases;
    }
    EXPECT_EQ(raw.getChunk(nrtx::fourCC("All "), nullptr, 0), 0);
    const Audio out = renderRealTime(*instance, sineAudio(8192), {512});
    EXPECT_TRUE(allFinite(out));
    RecordProperty("cases", cases);
}

}  // namespace
}  // namespace hostile
