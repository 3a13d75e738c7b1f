// Our own WAV reader and writer: every sample format round trips, integer formats clip, the files
// are ones other readers accept (checked against libsndfile where it exists), and broken or
// hostile headers are refused or read only as far as they go.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "render/WavFile.h"
#include "support/TemporaryFolder.h"
#ifndef _WIN32
#include <sndfile.h>
#endif

namespace fs = std::filesystem;

namespace render {
namespace {

class WavFileTest : public testing::Test {
  protected:
    std::string path(const char* name) const { return folder_.path(name); }

    // Writes `samples` (interleaved) as a complete file; false when any step fails.
    static bool writeWav(const std::string& file, WavSample sample, int channels,
                         const std::vector<float>& samples) {
        WavWriter writer;
        std::string error;
        const WavFormat format{48000, channels, 0, sample};
        return writer.open(file, format, &error) &&
               writer.write(samples.data(), static_cast<long long>(samples.size()) / channels) &&
               writer.finish();
    }
    static std::vector<float> readAll(const std::string& file, WavFormat* format = nullptr) {
        WavReader reader;
        std::string error;
        EXPECT_TRUE(reader.open(file, &error)) << error;
        if (format) *format = reader.format();
        std::vector<float> samples(
            static_cast<std::size_t>(reader.format().frames * reader.format().channels));
        // In uneven pieces, as the render loop reads.
        long long done = 0;
        while (long long n = reader.read(samples.data() + done * reader.format().channels, 7))
            done += n;
        EXPECT_EQ(done, reader.format().frames);
        return samples;
    }
    static std::string bytesOf(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void plant(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }

    testsupport::TemporaryFolder folder_{"qrx-wav-"};
};

// Little-endian pieces of hand-made headers.
std::string u32(std::uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string u16(std::uint16_t v) {
    return {char(v), char(v >> 8)};
}
std::string fmtChunk(std::uint16_t tag, int channels, int bits, int blockAlign = -1) {
    if (blockAlign < 0) blockAlign = channels * bits / 8;
    return "fmt " + u32(16) + u16(tag) + u16(std::uint16_t(channels)) + u32(44100) +
           u32(44100u * std::uint32_t(blockAlign)) + u16(std::uint16_t(blockAlign)) +
           u16(std::uint16_t(bits));
}
std::string riff(const std::string& chunks) {
    return "RIFF" + u32(std::uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}

TEST_F(WavFileTest, EverySampleFormatRoundTripsAtItsResolution) {
    // Exactly representable at 16 bits, and within range for all formats.
    const std::vector<float> exact = {0.0f, 0.5f, -0.5f, -1.0f, 32767.0f / 32768, -1.0f / 32768};
    const struct {
        WavSample sample;
        int bytes;
    } formats[] = {{WavSample::Pcm16, 2},
                   {WavSample::Pcm24, 3},
                   {WavSample::Pcm32, 4},
                   {WavSample::Float, 4},
                   {WavSample::Double, 8}};
    for (const auto& f : formats) {
        SCOPED_TRACE(bytesPerSample(f.sample));
        EXPECT_EQ(bytesPerSample(f.sample), f.bytes);
        const std::string file = path("exact.wav");
        ASSERT_TRUE(writeWav(file, f.sample, 2, exact));
        WavFormat format;
        EXPECT_EQ(readAll(file, &format), exact);
        EXPECT_EQ(format.sampleRate, 48000);
        EXPECT_EQ(format.channels, 2);
        EXPECT_EQ(format.frames, 3);
        EXPECT_EQ(format.sample, f.sample);
        EXPECT_EQ(fs::file_size(file), 44u + exact.size() * std::size_t(f.bytes));
    }
    // The finer formats keep what 16 bits would round away.
    const std::vector<float> fine = {0.1234567f, -0.7654321f};
    ASSERT_TRUE(writeWav(path("fine.wav"), WavSample::Pcm24, 1, fine));
    const auto read24 = readAll(path("fine.wav"));
    EXPECT_NEAR(read24[0], fine[0], 0.5 / 8388608);
    EXPECT_NEAR(read24[1], fine[1], 0.5 / 8388608);
}

TEST_F(WavFileTest, IntegerFormatsClipWhileFloatFormatsKeepOverloads) {
    const std::vector<float> hot = {1.5f, -3.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f};
    ASSERT_TRUE(writeWav(path("pcm.wav"), WavSample::Pcm16, 1, hot));
    EXPECT_EQ(readAll(path("pcm.wav")),
              (std::vector<float>{32767.0f / 32768, -1.0f, 0.0f, 32767.0f / 32768}));
    ASSERT_TRUE(writeWav(path("pcm32.wav"), WavSample::Pcm32, 1, hot));
    const auto read32 = readAll(path("pcm32.wav"));
    EXPECT_EQ(read32[1], -1.0f);
    EXPECT_LE(read32[0], 1.0f);
    EXPECT_GT(read32[0], 0.9999f);
    ASSERT_TRUE(writeWav(path("float.wav"), WavSample::Float, 1, {1.5f, -3.0f}));
    EXPECT_EQ(readAll(path("float.wav")), (std::vector<float>{1.5f, -3.0f}));
    ASSERT_TRUE(writeWav(path("double.wav"), WavSample::Double, 1, {1.5f, -3.0f}));
    EXPECT_EQ(readAll(path("double.wav")), (std::vector<float>{1.5f, -3.0f}));
}

TEST_F(WavFileTest, HeaderIsTheCanonicalOneWithSizesAndPadding) {
    // One 24-bit mono frame: three data bytes, padded to four.
    ASSERT_TRUE(writeWav(path("odd.wav"), WavSample::Pcm24, 1, {0.25f}));
    const std::string bytes = bytesOf(path("odd.wav"));
    EXPECT_EQ(bytes,
              riff(fmtChunk(1, 1, 24).replace(12, 4, u32(48000)).replace(16, 4, u32(144000)) +
                   "data" + u32(3) + std::string("\x00\x00\x20\x00", 4)));
    EXPECT_EQ(readAll(path("odd.wav")), std::vector<float>{0.25f});
    // A writer that is never finished leaves a file whose header says "no audio".
    {
        WavWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(path("unfinished.wav"), {44100, 2, 0, WavSample::Float}, &error));
    }
    WavFormat format;
    EXPECT_TRUE(readAll(path("unfinished.wav"), &format).empty());
    EXPECT_EQ(format.frames, 0);
}

TEST_F(WavFileTest, OtherWritersFilesReadAndBrokenOnesAreRefused) {
    const std::string pcm16 = u16(0x4000) + u16(0xC000);  // 0.5, -0.5
    // Chunks before the format and between format and data, one of odd size (padded).
    plant(path("chunks.wav"),
          riff("LIST" + u32(3) + "abc" + std::string(1, '\0') + fmtChunk(1, 2, 16) + "fact" +
               u32(4) + u32(1) + "data" + u32(4) + pcm16));
    EXPECT_EQ(readAll(path("chunks.wav")), (std::vector<float>{0.5f, -0.5f}));
    // WAVE_FORMAT_EXTENSIBLE with the float sub-format.
    float one = 1.0f;
    std::string floatBytes(4, '\0');
    std::memcpy(floatBytes.data(), &one, 4);
    const std::string extensible = "fmt " + u32(40) + u16(0xFFFE) + u16(1) + u32(44100) +
                                   u32(44100 * 4) + u16(4) + u16(32) + u16(22) + u16(32) + u32(4) +
                                   u16(3) + std::string(14, '\x11');
    plant(path("extensible.wav"), riff(extensible + "data" + u32(4) + floatBytes));
    EXPECT_EQ(readAll(path("extensible.wav")), std::vector<float>{1.0f});
    // A data chunk claiming more than the file holds: what is there is read.
    plant(path("cut.wav"), riff(fmtChunk(1, 2, 16) + "data" + u32(4000) + pcm16 + "x"));
    WavFormat format;
    EXPECT_EQ(readAll(path("cut.wav"), &format), (std::vector<float>{0.5f, -0.5f}));
    EXPECT_EQ(format.frames, 1);

    const struct {
        const char* name;
        std::string bytes;
    } broken[] = {
        {"empty", ""},
        {"not-riff", "RIFX" + u32(4) + "WAVE"},
        {"not-wave", riff("").replace(8, 4, "AVI ")},
        {"no-format", riff("data" + u32(4) + pcm16)},
        {"no-data", riff(fmtChunk(1, 2, 16))},
        {"8-bit", riff(fmtChunk(1, 1, 8) + "data" + u32(1) + "x")},
        {"a-law", riff(fmtChunk(6, 1, 8) + "data" + u32(1) + "x")},
        {"no-channels", riff(fmtChunk(1, 0, 16, 2) + "data" + u32(2) + "xx")},
        {"many-channels", riff(fmtChunk(1, 60000, 16) + "data" + u32(2) + "xx")},
        {"block-align", riff(fmtChunk(1, 2, 16, 3) + "data" + u32(3) + "xyz")},
        {"short-format", riff("fmt " + u32(8) + std::string(8, '\1') + "data" + u32(0))},
        {"huge-format", riff("fmt " + u32(0xFFFFFFF0) + std::string(16, '\1'))},
    };
    for (const auto& b : broken) {
        SCOPED_TRACE(b.name);
        plant(path("broken.wav"), b.bytes);
        WavReader reader;
        std::string error;
        EXPECT_FALSE(reader.open(path("broken.wav"), &error));
        EXPECT_NE(error.find("broken.wav"), std::string::npos) << error;
    }
    WavReader reader;
    std::string error;
    EXPECT_FALSE(reader.open(path("missing.wav"), &error));
}

#ifndef _WIN32
// libsndfile is the reference for what other programs accept; Windows builds have none.
TEST_F(WavFileTest, LibsndfileReadsOurFilesAndWeReadItsFiles) {
    std::vector<float> signal(2 * 300);
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] = static_cast<float>(0.9 * std::sin(0.05 * double(i)));
    const struct {
        WavSample ours;
        int theirs;
        double lsb;
    } formats[] = {{WavSample::Pcm16, SF_FORMAT_PCM_16, 1.0 / 32768},
                   {WavSample::Pcm24, SF_FORMAT_PCM_24, 1.0 / 8388608},
                   {WavSample::Pcm32, SF_FORMAT_PCM_32, 1e-7},
                   {WavSample::Float, SF_FORMAT_FLOAT, 0.0},
                   {WavSample::Double, SF_FORMAT_DOUBLE, 0.0}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.theirs);
        ASSERT_TRUE(writeWav(path("ours.wav"), f.ours, 2, signal));
        SF_INFO info{};
        SNDFILE* in = sf_open(path("ours.wav").c_str(), SFM_READ, &info);
        ASSERT_NE(in, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | f.theirs);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.samplerate, 48000);
        std::vector<float> theirs(signal.size());
        EXPECT_EQ(sf_readf_float(in, theirs.data(), 300), 300);
        sf_close(in);
        for (std::size_t i = 0; i < signal.size(); ++i)
            ASSERT_NEAR(theirs[i], signal[i], f.lsb) << i;

        info = {};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | f.theirs;
        SNDFILE* out = sf_open(path("theirs.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
        sf_writef_float(out, signal.data(), 300);
        sf_close(out);
        WavFormat format;
        const auto read = readAll(path("theirs.wav"), &format);
        EXPECT_EQ(format.sample, f.ours);
        EXPECT_EQ(format.sampleRate, 44100);
        ASSERT_EQ(read.size(), signal.size());
        // libsndfile scales by 2^(bits-1) - 1 when it writes integers: up to one step more.
        for (std::size_t i = 0; i < signal.size(); ++i)
            ASSERT_NEAR(read[i], signal[i], 2 * f.lsb) << i;
    }
}
#endif

}  // namespace
}  // namespace render
