// tools/nrtx-host as a user runs it: a script of commands against wrapper.so and tinypress.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/nrtx-host/Wave.h"

namespace {

namespace fs = std::filesystem;
const std::string kBuild = QRX_BUILD_DIR;

class NrtxHostTool : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("nrtx-host-tool-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        input.assign(2, std::vector<float>(6000));
        for (int i = 0; i < 6000; ++i) {
            input[0][i] = 0.5f * static_cast<float>((i * 7919) % 2001 - 1000) / 1000.0f;
            input[1][i] = -input[0][i];
        }
        ASSERT_TRUE(writeWave(path("in.wav"), input, 44100));
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string path(const char* name) const { return (folder / name).string(); }
    // Runs the tool with one command per argument; answers its exit status.
    int run(const std::string& commands) const {
        const std::string line =
            kBuild + "/bin/nrtx-host --build " + kBuild + " -e " + commands + " > /dev/null";
        return std::system(line.c_str());
    }
    fs::path folder;
    nrtx_host::Audio input;
};

TEST_F(NrtxHostTool, BypassSetByTheScriptHoldsThroughARealTimeRender) {
    ASSERT_EQ(run("'type QRus' 'bypass on' 'render " + path("in.wav") + " " + path("out.wav") +
                  " 256 7'"),
              0);
    nrtx_host::Audio output;
    int rate = 0;
    ASSERT_TRUE(readWave(path("out.wav"), &output, &rate));
    ASSERT_EQ(output.size(), 2u);
    ASSERT_EQ(output[0].size(), input[0].size());
    // The input, late by tinypress's latency, and nothing of the compressor.
    const int delay = 977;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 6000; ++i)
            ASSERT_EQ(output[c][i], i >= delay ? input[c][i - delay] : 0.0f) << c << " " << i;
}

// A script the tool cannot carry out ends it with status 1 and no file claimed written, not with
// an uncaught exception.
TEST_F(NrtxHostTool, WordsItCannotUseEndTheScriptWithAFailure) {
    for (const char* length : {"abc", "0", "-5", "12x"}) {
        const int status = run("'type QRus' 'render " + path("in.wav") + " " + path("out.wav") +
                               " " + length + "' 2>/dev/null");
        ASSERT_TRUE(WIFEXITED(status)) << length;
        EXPECT_EQ(WEXITSTATUS(status), 1) << length;
        EXPECT_FALSE(fs::exists(path("out.wav"))) << length;
    }
    const int status = run("'type QRus' 'save " + path("missing/state.bin") + "' 2>/dev/null");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(run("'type QRus' 'save " + path("state.bin") + "'"), 0);
    EXPECT_GT(fs::file_size(path("state.bin")), 0u);
}

}  // namespace
