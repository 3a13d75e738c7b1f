// qrx-render.exe end to end on Windows: the tool runs as a process (under wine in the test run) on
// WAV files made here, through a plug-in DLL it loads by path (the host tests' pass-through
// effect, so every output sample is the input sample at the output's resolution) or by name (our
// plug-ins, found beside the tool's build folder), and its outputs, exit status and messages are
// checked.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/WinText.h"
#include "render/WavFile.h"
#include "support/TemporaryFolder.h"
#include "support/UserRegistry.h"

namespace {

namespace fs = std::filesystem;
using render::WavFormat;
using render::WavSample;

struct ToolRun {
    DWORD status = 0;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class RenderToolWin : public testing::Test {
  protected:
    std::string path(const std::string& name) const { return (dir.folder() / name).string(); }

    // Runs qrx-render.exe with `args` (each quoted), its output and errors in files.
    ToolRun run(const std::vector<std::string>& args) {
        std::wstring command = L"\"" + platform::widen(std::string(QRX_RENDER_TOOL)) + L"\"";
        for (const std::string& arg : args) command += L" \"" + platform::widen(arg) + L"\"";
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        // Fresh files per run: a console helper of the child may hold the last ones a while.
        const std::string n = std::to_string(++runs);
        const fs::path outFile = logs.folder() / ("stdout" + n),
                       errFile = logs.folder() / ("stderr" + n);
        constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE out = CreateFileW(outFile.c_str(), GENERIC_WRITE, kShare, &inherit, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE err = CreateFileW(errFile.c_str(), GENERIC_WRITE, kShare, &inherit, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(out, INVALID_HANDLE_VALUE);
        EXPECT_NE(err, INVALID_HANDLE_VALUE);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process{};
        ToolRun r;
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                           nullptr, nullptr, &startup, &process)) {
            WaitForSingleObject(process.hProcess, 60000);
            GetExitCodeProcess(process.hProcess, &r.status);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        } else {
            r.status = 0xDEAD;
        }
        CloseHandle(out);
        CloseHandle(err);
        r.out = slurp(outFile);
        r.err = slurp(errFile);
        return r;
    }

    // A stereo file of `frames` frames whose samples sweep the full scale, different per channel.
    void writeInput(const std::string& name, WavSample sample, int channels, int frames) {
        render::WavWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(path(name), WavFormat{48000, channels, 0, sample}, &error))
            << error;
        std::vector<float> data(static_cast<std::size_t>(frames) * channels);
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                data[i * channels + c] = 0.9f * std::sin(0.01f * i * (c + 1) + c);
        ASSERT_TRUE(writer.write(data.data(), frames));
        ASSERT_TRUE(writer.finish());
    }

    static std::vector<float> readAll(const std::string& file, WavFormat* format) {
        render::WavReader reader;
        std::string error;
        if (!reader.open(file, &error)) {
            ADD_FAILURE() << error;
            return {};
        }
        *format = reader.format();
        std::vector<float> data(static_cast<std::size_t>(format->frames) * format->channels);
        data.resize(static_cast<std::size_t>(reader.read(data.data(), format->frames)) *
                    format->channels);
        return data;
    }

    const std::string plugin = QRX_HOST_FIXTURE;
    testsupport::TemporaryFolder dir{"qrx-render-win-"};
    testsupport::TemporaryFolder logs{"qrx-render-logs-"};
    int runs = 0;
};

TEST_F(RenderToolWin, EverySampleFormatPassesThroughAPlugInDll) {
    writeInput("in.wav", WavSample::Float, 2, 5000);
    WavFormat inFormat;
    const std::vector<float> in = readAll(path("in.wav"), &inFormat);
    const struct {
        const char* word;
        WavSample sample;
        float resolution;
    } kFormats[] = {{"pcm16", WavSample::Pcm16, 1.0f / 32768},
                    {"pcm24", WavSample::Pcm24, 1.0f / 8388608},
                    {"pcm32", WavSample::Pcm32, 1e-7f},
                    {"float", WavSample::Float, 0.0f},
                    {"double", WavSample::Double, 0.0f}};
    for (const auto& f : kFormats) {
        SCOPED_TRACE(f.word);
        const std::string out = path(std::string("out-") + f.word + ".wav");
        const ToolRun r =
            run({"--plugin", plugin, "--block", "300", "--format", f.word, path("in.wav"), out});
        ASSERT_EQ(r.status, 0u) << r.err;
        EXPECT_NE(r.out.find("render speed"), std::string::npos) << r.out;
        WavFormat outFormat;
        const std::vector<float> result = readAll(out, &outFormat);
        EXPECT_EQ(outFormat.sample, f.sample);
        EXPECT_EQ(outFormat.sampleRate, 48000);
        EXPECT_EQ(outFormat.channels, 2);
        ASSERT_EQ(result.size(), in.size());
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_NEAR(result[i], in[i], f.resolution) << "sample " << i;
    }
}

TEST_F(RenderToolWin, OutputKeepsTheInputsFormatAndReplacesAnOldFile) {
    writeInput("mono.wav", WavSample::Pcm24, 1, 700);
    std::ofstream(path("out.wav")) << "an older file";
    const ToolRun r = run({"--plugin", plugin, path("mono.wav"), path("out.wav")});
    ASSERT_EQ(r.status, 0u) << r.err;
    WavFormat inFormat, outFormat;
    const std::vector<float> in = readAll(path("mono.wav"), &inFormat);
    EXPECT_EQ(readAll(path("out.wav"), &outFormat), in);
    EXPECT_EQ(outFormat.sample, WavSample::Pcm24);
    EXPECT_EQ(outFormat.channels, 1);
    // Only the two files: no temporary file left beside the output.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.folder()), fs::directory_iterator()), 2);
}

// Power off, our plug-ins pass the input through: the output is aligned with it (their latency
// taken out) and as long, also when the length is no multiple of the block.
TEST_F(RenderToolWin, OurPluginsByNameKeepAlignmentAndLength) {
    writeInput("in.wav", WavSample::Float, 2, 4999);
    WavFormat inFormat, outFormat;
    const std::vector<float> in = readAll(path("in.wav"), &inFormat);
    for (const char* name : {"grandpress", "tinypress"}) {
        SCOPED_TRACE(name);
        const ToolRun r = run({"--plugin", name, "--set", "Power=0", "--block", "64",
                               path("in.wav"), path("out.wav")});
        ASSERT_EQ(r.status, 0u) << r.err;
        EXPECT_NE(r.out.find("(the plug-in's gain-reduction meter reading)"), std::string::npos)
            << r.out;
        const std::vector<float> out = readAll(path("out.wav"), &outFormat);
        ASSERT_EQ(out.size(), in.size());
        for (std::size_t i = 0; i < in.size(); ++i)
            ASSERT_NEAR(out[i], in[i], 1e-6) << "sample " << i / 2;
    }
    const ToolRun heavy = run({"--program", "HeavyDrumKit", path("in.wav"), path("out.wav")});
    ASSERT_EQ(heavy.status, 0u) << heavy.err;
    EXPECT_NE(heavy.out.find("HeavyDrumKit"), std::string::npos) << heavy.out;
}

// The plug-ins write their meter settings when they close; the tool gives them a private store,
// so nothing reaches the user's registry, and the private store is gone afterwards.
TEST_F(RenderToolWin, RendersNeverWriteTheUsersStore) {
    const std::wstring company = L"SOFTWARE\\QRX-soundwerk";
    if (testsupport::existsInRealCurrentUser(company))
        GTEST_SKIP() << "this user has a store of the plug-ins: nothing to check without it";
    writeInput("in.wav", WavSample::Pcm16, 2, 3000);
    const std::vector<std::string> runs[] = {
        {"--plugin", "tinypress", path("in.wav"), path("out.wav")},
        {"--plugin", "grandpress", "--user-store", path("in.wav"), path("out.wav")}};
    for (const auto& args : runs) {
        const ToolRun r = run(args);
        ASSERT_EQ(r.status, 0u) << r.err;
    }
    EXPECT_FALSE(testsupport::existsInRealCurrentUser(company));
}

TEST_F(RenderToolWin, RefusalsNameTheProblemAndLeaveNoOutput) {
    writeInput("in.wav", WavSample::Pcm16, 2, 100);
    struct Case {
        std::vector<std::string> args;
        const char* said;
    };
    const Case kCases[] = {
        {{"--plugin", plugin, path("in.wav"), path("out.flac")}, "(use .wav or .wave)"},
        {{"--plugin", path("none.dll"), path("in.wav"), path("out.wav")},
         "none.dll' does not exist"},
        {{"--plugin", plugin, path("in.wav"), path("in.wav")}, "is the input file"},
        {{"--plugin", "tinypress", "--set", "Threshold=-40dB", path("in.wav"), path("out.wav")},
         "outside its range -30.10 dB .. 6.02 dB"},
        {{"--plugin", plugin, "--format", "pcm8", path("in.wav"), path("out.wav")},
         "unknown sample format 'pcm8'"},
        {{"--plugin", plugin, path("missing.wav"), path("out.wav")}, "missing.wav"},
        {{"--plugin", plugin, "--plot", path("p.png"), path("in.wav"), path("out.wav")},
         "--plot is not available in the Windows build"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.said);
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.status, 2u);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path("out.wav")));
        EXPECT_FALSE(fs::exists(path("out.flac")));
    }
    const ToolRun help = run({"--help"});
    EXPECT_EQ(help.status, 0u);
    EXPECT_NE(help.out.find("--plot is not available in the Windows build"), std::string::npos);
    EXPECT_EQ(help.out.find("[--plot"), std::string::npos);
    // No loudness library here: the help and the version say so.
    EXPECT_NE(help.out.find("are left out of this build"), std::string::npos) << help.out;
    const ToolRun version = run({"--version"});
    EXPECT_EQ(version.out.rfind("qrx-render 1.7.0 (without loudness measurement)", 0), 0u)
        << version.out;
}

}  // namespace
