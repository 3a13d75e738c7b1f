// The qrx-render test fixture: the tool run as a process on files made in a temporary folder,
// its exit status and messages, and the audio files it wrote read back.
#pragma once

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
#include "support/ImageBuilders.h"

namespace fs = std::filesystem;

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

class RenderTool : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::path(config.folder()) / "files";
        tmp = fs::path(config.folder()) / "tmp";
        fs::create_directories(dir);
        fs::create_directories(tmp);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    static std::string tool() { return std::string(QRX_BUILD_DIR) + "/bin/qrx-render"; }

    // Runs the tool with its temporary folder (TMPDIR) in `tmp`, so nothing it leaves there
    // goes unnoticed.
    ToolRun run(const std::string& args, const std::string& program = tool()) {
        const std::string out = path("stdout.txt"), err = path("stderr.txt");
        const std::string command = "TMPDIR=" + tmp.string() + " " + program + " " + args + " >" +
                                    out + " 2>" + err + " </dev/null";
        const int raw = std::system(command.c_str());
        ToolRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
        fs::remove(out);
        fs::remove(err);
        return r;
    }

    // The number of lines of a text.
    static long lines(const std::string& text) {
        return std::count(text.begin(), text.end(), '\n');
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
    void writeBytes(const std::string& name, const testsupport::Bytes& b) {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    // Whether two audio files hold the same samples, bit for bit (both present and not empty).
    bool sameAudio(const std::string& a, const std::string& b) {
        if (!fs::exists(path(a)) || !fs::exists(path(b))) return false;
        const Audio x = read(a), y = read(b);
        return !x.data.empty() && x.info.channels == y.info.channels &&
               std::memcmp(x.data.data(), y.data.data(), x.data.size() * sizeof(float)) == 0 &&
               x.data.size() == y.data.size();
    }
    // Renders in.wav into `out` with `options`; the run must succeed.
    void render(const std::string& options, const std::string& out) {
        const ToolRun r = run(options + " " + path("in.wav") + " " + path(out));
        EXPECT_EQ(r.status, 0) << options << ": " << r.err;
    }
    void writeMusic(long long frames) {
        write("in.wav", 2, frames, 44100, kFloatWav, [](long long i, int c) {
            const double burst = (i / 4410) % 3 == 0 ? 0.9 : 0.15;
            return static_cast<float>(burst * std::sin(i * (c ? 0.031 : 0.027)));
        });
    }
    // Everything below `folder`, relative paths sorted.
    static std::vector<std::string> tree(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            names.push_back(fs::relative(e.path(), folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static constexpr std::uint32_t kGrandPressId = vstFourCC('Q', 'X', 'G', 'P');
    static constexpr std::uint32_t kTinyPressId = vstFourCC('Q', 'R', 't', 'p');
    testsupport::TemporaryConfigHome config;
    fs::path dir, tmp;
};
