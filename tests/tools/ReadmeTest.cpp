// README's command-line examples run as written, with the tools of this build, on files made
// here, and do what its text says.
#include <map>
#include <regex>

#include "tools/RenderToolFixture.h"

namespace {

// The command lines of the sh blocks in README's section `title` (continued lines joined).
std::vector<std::string> readmeCommands(const std::string& title) {
    std::ifstream in(std::string(QRX_SOURCE_DIR) + "/README.md");
    std::vector<std::string> commands;
    bool inSection = false, inBlock = false;
    std::string pending;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) inSection = line == "## " + title;
        if (!inSection) continue;
        if (line.rfind("```", 0) == 0) {
            inBlock = !inBlock && line == "```sh";
            continue;
        }
        if (!inBlock) continue;
        if (!line.empty() && line.back() == '\\') {
            pending += line.substr(0, line.size() - 1);
            continue;
        }
        pending += line;
        if (pending.find_first_not_of(' ') != std::string::npos) commands.push_back(pending);
        pending.clear();
    }
    return commands;
}

double rmsOf(const std::vector<float>& data) {
    double sum = 0;
    for (float x : data) sum += static_cast<double>(x) * x;
    return data.empty() ? 0 : std::sqrt(sum / data.size());
}

TEST_F(RenderTool, ReadmeRenderingExamplesRunAsWrittenAndDoWhatTheySay) {
    const std::vector<std::string> commands =
        readmeCommands("Rendering files from the command line");
    ASSERT_GE(commands.size(), 6u);
    // The files the examples name.
    const std::string demo = std::string(QRX_BUILD_DIR) + "/bin/qrx-demo-signal";
    ASSERT_EQ(std::system((demo + " " + path("mix.wav") + " 2 >/dev/null").c_str()), 0);
    const int rate = 44100;
    write("kick.wav", 2, 2 * rate, rate, kFloatWav, [&](long long i, int) {
        const double t = static_cast<double>(i % (rate / 2)) / rate;
        return static_cast<float>(0.9 * std::exp(-t * 30) *
                                  std::sin(2 * M_PI * (50 + 100 * std::exp(-t * 40)) * t));
    });
    const auto bass = [&](long long i, int) {
        return static_cast<float>(0.5 * std::sin(2 * M_PI * 55.0 * i / rate));
    };
    write("bass.wav", 2, 2 * rate, rate, kFloatWav, bass);
    write("in.flac", 2, rate, rate, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, bass);
    write("a.wav", 2, rate / 2, rate, kFloatWav, bass);
    write("b.flac", 1, rate / 2, rate, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, bass);
    write("c.wav", 2, rate / 2, 48000, kFloatWav, bass);
    const std::uint32_t grand = kGrandPressId;
    writeBytes("my.qrb", testsupport::handBank(grand));
    writeBytes("tweak.qrx", testsupport::handPreset(grand, "Tweak"));

    std::map<std::string, ToolRun> said;
    for (const std::string& command : commands) {
        const std::string line =
            "cd " + dir.string() + " && export PATH=" + QRX_BUILD_DIR + "/bin:$PATH && " + command;
        const ToolRun r =
            run("-c '" + std::regex_replace(line, std::regex("'"), "'\\''") + "'", "/bin/sh");
        EXPECT_EQ(r.status, 0) << command << ": " << r.err;
        said[command] = r;
    }
    // What the text says of each.
    EXPECT_EQ(read("mix-mastered.wav").info.frames, read("mix.wav").info.frames);
    EXPECT_TRUE(fs::exists(path("mix.png")));
    const double ducked = rmsOf(read("bass-ducked.wav").data), dry = rmsOf(read("bass.wav").data);
    EXPECT_LT(20 * std::log10(ducked / dry), -3.0) << "the bass is not ducked";
    EXPECT_EQ(read("out.flac").info.frames, rate);
    for (const char* file : {"mastered/a.wav", "mastered/b.flac", "mastered/c.wav"})
        EXPECT_TRUE(fs::exists(path(file))) << file;
    for (const auto& [command, r] : said) {
        if (command.find("-o mastered/") != std::string::npos) {
            EXPECT_EQ(lines(r.out), 3) << r.out;
        }
        if (command.find("--list-programs") != std::string::npos) {
            EXPECT_EQ(lines(r.out), 16);
        }
        if (command.find("--list-params") != std::string::npos) {
            EXPECT_NE(r.out.find("program: PhatMix"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("-30.10 dB .. 6.02 dB"), std::string::npos) << r.out;
        }
    }
    EXPECT_TRUE(fs::is_empty(tmp));
}

}  // namespace

namespace {

// The LV2 section: jalv needs a JACK server, so its lines are checked for naming a plug-in and a
// preset the bundles have; lv2apply runs as written on a four-channel file.
TEST_F(RenderTool, ReadmeLv2ExamplesNameWhatTheBundlesHaveAndLv2applyRenders) {
    const std::vector<std::string> commands = readmeCommands("LV2");
    ASSERT_GE(commands.size(), 3u);
    std::string bundles;
    for (const char* name : {"grandpress", "tinypress"})
        for (const char* file : {"/manifest.ttl", "/presets.ttl"})
            bundles += slurp(std::string(QRX_BUILD_DIR) + "/lv2/qrx-" + name + ".lv2" + file);
    const std::regex uri("http://www\\.qrx-soundwerk\\.com/lv2/[^ ]+");
    int named = 0;
    for (const std::string& command : commands)
        for (std::sregex_iterator m(command.begin(), command.end(), uri), end; m != end;
             ++m, ++named)
            EXPECT_NE(bundles.find("<" + m->str() + ">"), std::string::npos) << m->str();
    EXPECT_GE(named, 4);

#ifdef QRX_SANITIZED_BUILD
    GTEST_SKIP() << "lv2apply, built without the sanitizers, cannot load the sanitized bundles";
#endif
    // A 1 kHz tone at -6 dBFS on the main pair and on the side chain.
    fs::create_directory_symlink(QRX_BUILD_DIR, dir / "build");
    const int rate = 44100;
    write("in+sidechain.wav", 4, rate, rate, kFloatWav, [&](long long i, int) {
        return static_cast<float>(0.5 * std::sin(2 * M_PI * 1000.0 * i / rate));
    });
    int applied = 0;
    for (const std::string& command : commands) {
        if (command.find("lv2apply") == std::string::npos) continue;
        ++applied;
        const std::string line = "cd " + dir.string() + " && " + command;
        const ToolRun r = run("-c '" + line + "'", "/bin/sh");
        ASSERT_EQ(r.status, 0) << command << ": " << r.err;
    }
    ASSERT_EQ(applied, 1);
    const Audio in = read("in+sidechain.wav"), out = read("out.wav");
    ASSERT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.frames, in.info.frames);
    std::vector<float> mainPair;
    for (std::size_t i = 0; i < in.data.size(); i += 4)
        mainPair.insert(mainPair.end(), {in.data[i], in.data[i + 1]});
    // Settled: the last half second.
    const std::vector<float> tailIn(mainPair.end() - rate, mainPair.end());
    const std::vector<float> tailOut(out.data.end() - rate, out.data.end());
    EXPECT_LT(20 * std::log10(rmsOf(tailOut) / rmsOf(tailIn)), -1.0)
        << "at 4:1 from -12 dB the tone is compressed";
}

TEST_F(RenderTool, InstallCopiesStrippedPluginsAndToolsThatWorkAndUninstallRemovesExactlyThem) {
    const std::string script = std::string(QRX_SOURCE_DIR) + "/tools/install.sh";
    const fs::path prefix = dir / "prefix", vst = dir / "vst", lv2 = dir / "lv2";
    fs::create_directories(prefix / "bin");
    std::ofstream(prefix / "bin" / "mine") << "the user's own";
    const std::string items =
        " plugin:grandpress.so plugin:tinypress.so tool:qrx-render tool:qrx-demo-signal";
    const ToolRun installed = run("install " + std::string(QRX_BUILD_DIR) + " " + prefix.string() +
                                      " " + vst.string() + " " + lv2.string() + items,
                                  script);
    ASSERT_EQ(installed.status, 0) << installed.err;
    // A stripped library names no debug section (.debug_info, .debug_line, ...), whatever the
    // build's debug level.
    const auto namesDebugSections = [](const fs::path& library) {
        return slurp(library.string()).find(".debug_") != std::string::npos;
    };
    for (const char* plugin : {"grandpress.so", "tinypress.so"}) {
        const fs::path built = fs::path(QRX_BUILD_DIR) / plugin;
        EXPECT_LT(fs::file_size(vst / plugin), fs::file_size(built)) << plugin;
        EXPECT_FALSE(namesDebugSections(vst / plugin)) << plugin << " keeps its debug information";
    }
    // The installed tools find the installed plug-ins and work as README says.
    const std::string env = "env -u XDG_CONFIG_HOME VST_PATH=" + vst.string() +
                            " PATH=" + (prefix / "bin").string() + ":/usr/bin:/bin ";
    const std::string render = "cd " + dir.string() + " && " + env +
                               "qrx-demo-signal in.wav 1 && " + env +
                               "qrx-render --plugin tinypress --program KickPump in.wav out.wav";
    const ToolRun r = run("-c '" + render + "'", "/bin/sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("program \"KickPump\""), std::string::npos) << r.out;

    const ToolRun removed = run("uninstall " + prefix.string(), script);
    ASSERT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(tree(prefix), (std::vector<std::string>{"bin", "bin/mine"}));
    EXPECT_FALSE(fs::exists(vst)) << "the install made it";
    EXPECT_FALSE(fs::exists(lv2)) << "no bundle was asked for";
}

}  // namespace
