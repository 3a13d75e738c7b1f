// qrx-render end to end: the tool is run as a process on files made here, through the built
// plug-ins, and its outputs, exit status and messages are checked.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/CallbackRecorder.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class RenderTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::path(config.folder()) / "files";
        fs::create_directories(dir);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    ToolRun run(const std::string& args) {
        const std::string tool = std::string(QRX_BUILD_DIR) + "/bin/qrx-render";
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const std::string command = tool + " " + args + " >" + out + " 2>" + err + " </dev/null";
        const int raw = std::system(command.c_str());
        ToolRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
        fs::remove(out);
        fs::remove(err);
        return r;
    }

    static std::string slurp(const std::string& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Writes `frames` frames of `channels` channels; sample(i, c) gives each value.
    template <typename F>
    void write(const std::string& name, int channels, long long frames, int rate, int format,
               F sample) {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        std::vector<float> data(static_cast<size_t>(frames) * channels);
        for (long long i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c) data[i * channels + c] = sample(i, c);
        sf_writef_float(f, data.data(), frames);
        sf_close(f);
    }

    struct Audio {
        SF_INFO info{};
        std::vector<float> data;
    };
    Audio read(const std::string& name) {
        Audio a;
        SNDFILE* f = sf_open(path(name).c_str(), SFM_READ, &a.info);
        EXPECT_NE(f, nullptr) << name;
        if (!f) return a;
        a.data.resize(static_cast<size_t>(a.info.frames) * a.info.channels);
        sf_readf_float(f, a.data.data(), a.info.frames);
        sf_close(f);
        return a;
    }

    // Everything in the folder but the given names: nothing else may be left behind.
    std::vector<std::string> strayFiles(std::initializer_list<std::string> expected) {
        std::vector<std::string> stray;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                stray.push_back(name);
        }
        return stray;
    }

    static constexpr int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    testsupport::TemporaryConfigHome config;
    fs::path dir;
};

TEST_F(RenderTool, PowerOffOutputIsTheInputAlignedAndOfTheSameLength) {
    // An impulse and a ramp in a file whose length is no multiple of the block.
    const long long frames = 4999;
    write("in.wav", 2, frames, 44100, kFloatWav, [](long long i, int c) {
        return i == 1000 ? 0.9f : (c ? -0.0001f * (i % 97) : 0.0001f * (i % 89));
    });
    for (const char* plugin : {"grandpress", "tinypress"}) {
        SCOPED_TRACE(plugin);
        const ToolRun r = run(std::string("--plugin ") + plugin + " --set Power=0 --block 64 " +
                              path("in.wav") + " " + path("out.wav"));
        ASSERT_EQ(r.status, 0) << r.err;
        const Audio in = read("in.wav"), out = read("out.wav");
        ASSERT_EQ(out.info.frames, frames);
        ASSERT_EQ(out.info.channels, 2);
        for (size_t i = 0; i < in.data.size(); ++i)
            ASSERT_NEAR(out.data[i], in.data[i], 1e-6) << "sample " << i / 2;
    }
}

TEST_F(RenderTool, CompressingProgramKeepsAlignmentAndLength) {
    write("in.wav", 2, 30000, 48000, kFloatWav, [](long long i, int) {
        return static_cast<float>(0.8 * std::sin(i * 0.03)) * (i > 15000 ? 1.0f : 0.1f);
    });
    const ToolRun r = run("--program 13 " + path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("HeavyDrumKit"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("realtime"), std::string::npos);
    const Audio out = read("out.wav");
    EXPECT_EQ(out.info.frames, 30000);
    for (float x : out.data) ASSERT_TRUE(std::isfinite(x));
}

TEST_F(RenderTool, SampleFormatsFollowTheInputUnlessAsked) {
    write("in16.wav", 1, 2000, 22050, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
          [](long long i, int) { return 0.25f * std::sin(i * 0.1f); });
    ASSERT_EQ(run(path("in16.wav") + " " + path("same.wav")).status, 0);
    Audio same = read("same.wav");
    EXPECT_EQ(same.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(same.info.channels, 1);
    EXPECT_EQ(same.info.samplerate, 22050);

    ASSERT_EQ(run("--format float " + path("in16.wav") + " " + path("f.wav")).status, 0);
    EXPECT_EQ(read("f.wav").info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);

    ASSERT_EQ(run("--plugin tinypress " + path("in16.wav") + " " + path("x.flac")).status, 0);
    Audio flac = read("x.flac");
    EXPECT_EQ(flac.info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(flac.info.frames, 2000);
}

TEST_F(RenderTool, SideChainMustMatchTheInput) {
    write("in.wav", 2, 3000, 44100, kFloatWav, [](long long i, int) { return 0.1f; });
    write("sc.wav", 1, 3000, 44100, kFloatWav, [](long long i, int) { return 0.9f; });
    write("short.wav", 2, 2999, 44100, kFloatWav, [](long long, int) { return 0.9f; });
    write("rate.wav", 2, 3000, 48000, kFloatWav, [](long long, int) { return 0.9f; });
    EXPECT_EQ(
        run("--sidechain " + path("sc.wav") + " " + path("in.wav") + " " + path("o.wav")).status,
        0);
    for (const char* bad : {"short.wav", "rate.wav"}) {
        const ToolRun r =
            run("--sidechain " + path(bad) + " " + path("in.wav") + " " + path("b.wav"));
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("side chain"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path("b.wav")));
    }
}

TEST_F(RenderTool, BadInputIsRefusedWithOneLineAndNoOutput) {
    write("in.wav", 2, 1000, 44100, kFloatWav, [](long long, int) { return 0.0f; });
    write("three.wav", 3, 1000, 44100, kFloatWav, [](long long, int) { return 0.0f; });
    write("slow.wav", 2, 1000, 8000, kFloatWav, [](long long, int) { return 0.0f; });
    std::ofstream(path("text.wav")) << "this is not audio";
    std::ofstream(path("keep.wav")) << "an earlier render";
    const std::string in = path("in.wav");
    const std::string out = path("keep.wav");
    const std::pair<std::string, std::string> cases[] = {
        {path("missing.wav") + " " + out, "missing.wav"},
        {path("text.wav") + " " + out, "text.wav"},
        {path("three.wav") + " " + out, "3 channels"},
        {path("slow.wav") + " " + out, "8000 Hz"},
        {"--program Nonexistent " + in + " " + out, "unknown program"},
        {"--program 16 " + in + " " + out, "unknown program"},
        {"--set Loudness=0.5 " + in + " " + out, "unknown parameter"},
        {"--set Ratio=1.5 " + in + " " + out, "0..1"},
        {"--set Ratio=nan " + in + " " + out, "0..1"},
        {"--plugin nosuch " + in + " " + out, "unknown plug-in"},
        {"--plugin /nowhere/x.so " + in + " " + out, "unknown plug-in"},
        {in + " " + path("out.xyz"), "output format"},
        {"--format pcm12 " + in + " " + out, "sample format"},
        {"--block 0 " + in + " " + out, "--block"},
    };
    for (const auto& [args, says] : cases) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(says), std::string::npos) << args << " said: " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(slurp(out), "an earlier render") << args;
    }
    EXPECT_TRUE(strayFiles({"in.wav", "three.wav", "slow.wav", "text.wav", "keep.wav"}).empty());
}

TEST_F(RenderTool, ParametersByNameOrIndex) {
    write("in.wav", 2, 1000, 44100, kFloatWav, [](long long, int) { return 0.0f; });
    const ToolRun byName = run("--set ratio=0.7 --set ' Threshold '=0.5 --list-params");
    ASSERT_EQ(byName.status, 0) << byName.err;
    EXPECT_NE(byName.out.find("2.80 : 1"), std::string::npos) << byName.out;
    const ToolRun byIndex = run("--set 6=0.9 --list-params");
    EXPECT_NE(byIndex.out.find("8.00 : 1"), std::string::npos);
    EXPECT_EQ(std::count(byIndex.out.begin(), byIndex.out.end(), '\n'), 35);  // program + 34

    const ToolRun programs = run("--plugin tinypress --list-programs");
    ASSERT_EQ(programs.status, 0);
    EXPECT_EQ(std::count(programs.out.begin(), programs.out.end(), '\n'), 16);
    EXPECT_NE(programs.out.find("15  KickPump"), std::string::npos) << programs.out;
    const ToolRun chosen = run("--program 'una corda' --list-params");
    EXPECT_NE(chosen.out.find("program: Una Corda"), std::string::npos) << chosen.out;
}

TEST_F(RenderTool, PlotIsAPngOfTheExpectedSize) {
    write("in.wav", 2, 44100, 44100, kFloatWav,
          [](long long i, int) { return static_cast<float>(0.7 * std::sin(i * 0.05)); });
    const ToolRun r = run("--program 3 --plot " + path("plot.png") + " " + path("in.wav") + " " +
                          path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream png(path("plot.png"), std::ios::binary);
    unsigned char header[24] = {};
    png.read(reinterpret_cast<char*>(header), sizeof header);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(header, signature, 8), 0);
    EXPECT_EQ(std::memcmp(header + 12, "IHDR", 4), 0);
    const auto be32 = [&](int at) {
        return (header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3];
    };
    EXPECT_EQ(be32(16), 1200);
    EXPECT_EQ(be32(20), 720);
}

}  // namespace
