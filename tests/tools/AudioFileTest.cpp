// The tools' audio files through their own interface: WAV files of every sample format written
// and read back, completed atomically, and nothing left behind by a writer that never commits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "render/AudioFile.h"
#include "support/TemporaryFolder.h"

namespace fs = std::filesystem;

namespace render {
namespace {

class AudioFileTest : public testing::Test {
  protected:
    std::string path(const char* name) const { return folder_.path(name); }
    std::set<std::string> entries() const { return folder_.entries(); }
    // Writes and commits `samples`; the error text, empty on success.
    std::string writeFile(const std::string& file, const std::string& sampleName,
                          const std::vector<float>& samples) {
        AudioFormat format{44100, 2, 0, majorFormatForPath(file) | subtypeForName(sampleName)};
        AudioWriter writer;
        std::string error;
        if (!writer.open(file, format, &error)) return error;
        if (!writer.write(samples.data(), static_cast<long long>(samples.size() / 2), &error))
            return error;
        if (!writer.commit(&error)) return error;
        return "";
    }

    testsupport::TemporaryFolder folder_{"qrx-audio-"};
};

TEST_F(AudioFileTest, WavFilesOfEverySampleFormatRoundTrip) {
    const std::vector<float> samples = {0.0f, 0.5f, -0.5f, -1.0f, 0.25f, -0.125f};
    for (const char* name : {"pcm16", "pcm24", "pcm32", "float", "double"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(subtypeForName(name), 0);
        ASSERT_EQ(writeFile(path("out.wav"), name, samples), "");
        AudioReader reader;
        std::string error;
        ASSERT_TRUE(reader.open(path("out.wav"), &error)) << error;
        EXPECT_EQ(reader.format().sampleRate, 44100);
        EXPECT_EQ(reader.format().channels, 2);
        EXPECT_EQ(reader.format().frames, 3);
        EXPECT_EQ(reader.format().format, majorFormatForPath("x.wav") | subtypeForName(name));
        std::vector<float> read(8, 9.0f);
        EXPECT_EQ(reader.read(read.data(), 4), 3);
        EXPECT_EQ(std::vector<float>(read.begin(), read.begin() + 6), samples);
        EXPECT_EQ(reader.read(read.data(), 4), 0);
    }
    EXPECT_EQ(subtypeForName("pcm8"), 0);
    EXPECT_NE(majorFormatForPath("C:\\audio\\Take.WAV"), 0);
    EXPECT_EQ(majorFormatForPath("take.wav.d/file"), 0);
    EXPECT_EQ(majorFormatForPath("take"), 0);
}

TEST_F(AudioFileTest, CommitReplacesAnExistingFileAndUncommittedWritesLeaveNothing) {
    std::ofstream(path("take.wav")) << "an older take";
    ASSERT_EQ(writeFile(path("take.wav"), "pcm16", {0.5f, 0.5f}), "");
    {
        AudioWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(
            path("take.wav"),
            {44100, 2, 0, majorFormatForPath("take.wav") | subtypeForName("float")}, &error))
            << error;
        const float frame[2] = {1.0f, 1.0f};
        ASSERT_TRUE(writer.write(frame, 1, &error)) << error;
    }
    EXPECT_EQ(entries(), std::set<std::string>{"take.wav"});
    AudioReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(path("take.wav"), &error)) << error;
    EXPECT_EQ(reader.format().frames, 1) << "the committed file is the one that stays";

    AudioReader missing;
    EXPECT_FALSE(missing.open(path("missing.wav"), &error));
    EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
}

}  // namespace
}  // namespace render
