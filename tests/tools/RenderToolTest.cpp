// qrx-render end to end: the tool is run as a process on files made here, through the built
// plug-ins, and its outputs, exit status and messages are checked.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "tools/RenderToolFixture.h"

namespace {

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

TEST_F(RenderTool, SideChainOfAnotherLengthIsPaddedOrCutAndAnotherRateIsRefused) {
    write("in.wav", 2, 3000, 44100, kFloatWav, [](long long i, int) { return 0.1f; });
    write("sc.wav", 1, 3000, 44100, kFloatWav, [](long long i, int) { return 0.9f; });
    write("short.wav", 2, 1500, 44100, kFloatWav, [](long long, int) { return 0.9f; });
    write("long.wav", 2, 6000, 44100, kFloatWav, [](long long, int) { return 0.9f; });
    write("rate.wav", 2, 3000, 48000, kFloatWav, [](long long, int) { return 0.9f; });
    const std::pair<const char*, const char*> fits[] = {
        {"sc.wav", "side chain: "},
        {"short.wav", "padded with silence to the input's length"},
        {"long.wav", "cut to the input's length"},
    };
    for (const auto& [file, says] : fits) {
        const ToolRun r =
            run("--sidechain " + path(file) + " " + path("in.wav") + " " + path("o.wav"));
        EXPECT_EQ(r.status, 0) << file << ": " << r.err;
        EXPECT_NE(r.out.find(says), std::string::npos) << r.out;
        EXPECT_EQ(read("o.wav").info.frames, 3000);
    }
    const ToolRun r =
        run("--sidechain " + path("rate.wav") + " " + path("in.wav") + " " + path("b.wav"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("48000 Hz"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("44100 Hz"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(path("b.wav")));
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
        {"--program 16 " + in + " " + out, "program 16 is out of range (0..15)"},
        {"--program 'Mezo Leveler' " + in + " " + out, "did you mean 'Mezzo Leveler'?"},
        {"--set Treshold=0.5 " + in + " " + out, "did you mean 'Threshold'?"},
        {"--plugin grandpres " + in + " " + out, "did you mean 'grandpress'?"},
        {"--set Threshold=-12 " + in + " " + out, "needs its unit (dB)"},
        {"--set Threshold=-40dB " + in + " " + out, "outside its range -30.10 dB .. 6.02 dB"},
        {"--set Ratio=5ms " + in + " " + out, "wrong unit"},
        {"--set Power=loud " + in + " " + out, "on or off"},
        {in + " " + path("nowhere/out.wav"), "folder '" + path("nowhere") + "' of"},
        {"--plot " + path("nowhere/p.png") + " " + in + " " + out, "does not exist"},
        {"--plot " + path("p.jpg") + " " + in + " " + out, "must be a .png file"},
        {"--set Loudness=0.5 " + in + " " + out, "unknown parameter"},
        {"--set Ratio=1.5 " + in + " " + out, "must be in 0..1"},
        {"--set Ratio=nan " + in + " " + out, "0..1"},
        {"--plugin nosuch " + in + " " + out, "unknown plug-in"},
        {"--plugin /nowhere/x.so " + in + " " + out, "'/nowhere/x.so' does not exist"},
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

// Hand-built files of grandpress with Power on in every program (the images' own values leave it
// off), so each program audibly compresses.
testsupport::Bytes poweredOn(testsupport::Bytes image) {
    const int records = image.size() == 165 ? 1 : 16;
    for (int k = 0; k < records; ++k) testsupport::putFloat(image, 29 + 160 * k, 1.0f);
    return image;
}

TEST_F(RenderTool, PresetAndBankFilesRenderAlikeInBothByteOrders) {
    using namespace testsupport;
    writeMusic(20000);
    const Bytes preset = poweredOn(handPreset(kGrandPressId, "Hand preset"));
    const Bytes bank = poweredOn(handBank(kGrandPressId));
    writeBytes("native.qrx", preset);
    writeBytes("reversed.qrx", otherOrder(preset));
    writeBytes("native.qrb", bank);
    writeBytes("reversed.qrb", otherOrder(bank));
    // Program 3 of the bank as a preset of its own.
    Bytes three = handPreset(kGrandPressId, "Bank program 3");
    std::memcpy(&three[29], &bank[29 + 160 * 3], 136);
    writeBytes("three.qrx", three);

    render("", "factory.wav");
    render("--preset " + path("native.qrx"), "p-native.wav");
    render("--preset " + path("reversed.qrx"), "p-reversed.wav");
    render("--endian-reversed --preset " + path("native.qrx"), "p-native-r.wav");
    render("--endian-reversed --preset " + path("reversed.qrx"), "p-reversed-r.wav");
    EXPECT_TRUE(sameAudio("p-native.wav", "p-reversed.wav"));
    EXPECT_FALSE(sameAudio("p-native.wav", "factory.wav")) << "the preset made no difference";
    // The endian-reversed choice reverses the values once more, whichever order the file has.
    EXPECT_TRUE(sameAudio("p-native-r.wav", "p-reversed-r.wav"));
    EXPECT_FALSE(sameAudio("p-native.wav", "p-native-r.wav"));

    render("--bank " + path("native.qrb") + " --program 3", "b-native.wav");
    render("--bank " + path("reversed.qrb") + " --program 3", "b-reversed.wav");
    render("--bank " + path("native.qrb") + " --program 4", "b-four.wav");
    render("--preset " + path("three.qrx"), "p-three.wav");
    EXPECT_TRUE(sameAudio("b-native.wav", "b-reversed.wav"));
    EXPECT_TRUE(sameAudio("b-native.wav", "p-three.wav")) << "program 3 of the bank";
    EXPECT_FALSE(sameAudio("b-native.wav", "b-four.wav"));
    EXPECT_TRUE(fs::is_empty(tmp)) << "the private store is removed";
}

TEST_F(RenderTool, RefusedPresetOrBankFileGivesExit2AndNoOutput) {
    using namespace testsupport;
    writeMusic(2000);
    writeBytes("tiny.qrx", handPreset(kTinyPressId, "Other plug-in"));
    writeBytes("bank-typed.qrx", handPreset(kGrandPressId, "Wrong type", 0x37));
    Bytes cut = handPreset(kGrandPressId, "Cut");
    cut.resize(100);
    writeBytes("cut.qrx", cut);
    Bytes damaged = handBank(kGrandPressId);
    putFloat(damaged, 29 + 160 * 5 + 4 * 7, std::nanf(""));
    writeBytes("damaged.qrb", otherOrder(damaged));
    writeBytes("preset.qrb", handPreset(kGrandPressId, "A preset"));
    const std::pair<std::string, std::string> cases[] = {
        {"--preset " + path("tiny.qrx"), "not a preset file of this plug-in"},
        {"--endian-reversed --preset " + path("tiny.qrx"), "not a preset file of this plug-in"},
        {"--preset " + path("bank-typed.qrx"), "not a preset file"},
        {"--preset " + path("cut.qrx"), "is not a preset file: it is 100 bytes"},
        {"--preset " + path("missing.qrx"), "No such file"},
        {"--bank " + path("damaged.qrb"), "damaged"},
        {"--bank " + path("preset.qrb"),
         "is not a bank file: it is 165 bytes, a bank file has "
         "exactly 2565 (it has the size of a preset file)"},
    };
    for (const auto& [options, says] : cases) {
        const ToolRun r = run(options + " " + path("in.wav") + " " + path("out.wav"));
        EXPECT_EQ(r.status, 2) << options;
        EXPECT_NE(r.err.find(says), std::string::npos) << options << " said: " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(path("out.wav"))) << options;
    }
    EXPECT_TRUE(fs::is_empty(tmp)) << "the private store is removed on error exits too";
}

// The user's store as it is on disk: every file below the folder with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        std::ifstream in(e.path(), std::ios::binary);
        files[fs::relative(e.path(), folder).string()] =
            e.is_directory() ? "<folder>" : std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

TEST_F(RenderTool, RendersStartFromTheFactoryAndNeverWriteTheUsersStore) {
    writeMusic(20000);
    render("--program 3", "factory.wav");
    EXPECT_FALSE(fs::exists(config.folder() + "/QRX-soundwerk")) << "the run made a store";

    // The user has stored a default bank, and the editor remembered a folder.
    const fs::path key = fs::path(config.folder()) / "QRX-soundwerk" / "QRX_GrandPress";
    fs::create_directories(key);
    const testsupport::Bytes bank = poweredOn(testsupport::handBank(kGrandPressId));
    writeBytes("bank.qrb", bank);
    fs::copy_file(path("bank.qrb"), key / "DefaultBank.bin");
    std::ofstream(key / "CurrDir.sz") << "/home/someone/presets/";
    const auto before = snapshot(config.folder() + "/QRX-soundwerk");

    render("--program 3", "default.wav");
    EXPECT_TRUE(sameAudio("default.wav", "factory.wav")) << "the user's default bank was used";
    render("--program 3 --user-store", "user.wav");
    render("--bank " + path("bank.qrb") + " --program 3", "bank.wav");
    EXPECT_TRUE(sameAudio("user.wav", "bank.wav")) << "--user-store starts from the user's bank";
    EXPECT_FALSE(sameAudio("user.wav", "factory.wav"));
    const ToolRun listing = run("--user-store --list-programs");
    EXPECT_NE(listing.out.find(" 3  Bank program 3"), std::string::npos) << listing.out;

    // The benchmark loads the plug-in the same way.
    const std::string bench = std::string(QRX_BUILD_DIR) + "/bin/qrx-bench";
    const std::string plugin = std::string(QRX_BUILD_DIR) + "/grandpress.so";
    for (const char* option : {"", "--user-store "}) {
        const std::string command = "TMPDIR=" + tmp.string() + " " + bench + " --seconds 0.2 " +
                                    option + plugin + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }

    EXPECT_EQ(snapshot(config.folder() + "/QRX-soundwerk"), before) << "the user's store changed";
    EXPECT_TRUE(fs::is_empty(tmp)) << "a private store was left behind";
}

TEST_F(RenderTool, BenchTableHasOneLabelledRowPerPluginAndNamesOneThatFailsToLoad) {
    const std::string bench = std::string(QRX_BUILD_DIR) + "/bin/qrx-bench";
    const std::string build = QRX_BUILD_DIR;
    const ToolRun r = run("--table --seconds 0.1 --repeat 2 --label 'tiny (reference)' " + build +
                              "/tinypress.so --label 'grand, compressing' " + build +
                              "/grandpress.so,6=0.7,5=0.8 --label missing " + path("none.so") +
                              " " + build + "/tinypress.so",
                          bench);
    EXPECT_EQ(r.status, 1) << "a plug-in that cannot load fails the run";
    EXPECT_NE(r.out.find("best of 2"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("| setting | realtime factor | ratio to tiny (reference) |"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("| tiny (reference) | "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" | 1.00x |"), std::string::npos) << "the first is the reference";
    EXPECT_NE(r.out.find("| grand, compressing | "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("| missing | cannot load"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("| " + build + "/tinypress.so | "), std::string::npos)
        << "without a label the row names the file";
}

TEST_F(RenderTool, BenchPluginsTakeTurnsPassByPass) {
    // Each plug-in's passes alternate with the others', so that the machine changing speed during
    // a run touches every row alike. The host tests' pass-through plug-in logs each resume (one a
    // pass) with its parameter 0, which names the instance here.
    const std::string bench = std::string(QRX_BUILD_DIR) + "/bin/qrx-bench";
    const std::string fixture = QRX_HOST_FIXTURE;
    const std::string log = path("resumes.txt");
    const ToolRun r = run("--seconds 0.05 --repeat 3 " + fixture + ",0=0.25 " + fixture + ",0=0.75",
                          "QRX_FIXTURE_LOG=" + log + " " + bench);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    std::ifstream in(log);
    std::string line, order;
    while (std::getline(in, line)) order += line + ";";
    EXPECT_EQ(order, "resume 0.25;resume 0.75;resume 0.25;resume 0.75;resume 0.25;resume 0.75;");
}

TEST_F(RenderTool, PrivateStoreIsRemovedWhenTheRenderIsStopped) {
    // Reading from a pipe nobody writes keeps the tool waiting after it made its store. The
    // signal goes out the moment the store's folder appears, when the tool may still be setting
    // it up, and again in later runs.
    ASSERT_EQ(mkfifo(path("in.wav").c_str(), 0600), 0);
    const std::string program = tool(), in = path("in.wav"), out = path("out.wav");
    for (int run = 0; run < 20 && !HasFailure(); ++run) {
        const int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, tmp.c_str(), IN_CREATE), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("TMPDIR", tmp.c_str(), 1);
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            execl(program.c_str(), program.c_str(), in.c_str(), out.c_str(), nullptr);
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        // Until the folder appears or the tool ends without one, however long either takes.
        const int child = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        ASSERT_GE(child, 0);
        pollfd waits[] = {{watch, POLLIN, 0}, {child, POLLIN, 0}};
        ASSERT_GE(poll(waits, 2, -1), 1);
        EXPECT_TRUE(waits[0].revents & POLLIN) << "no private store appeared";
        close(child);
        kill(pid, SIGTERM);
        close(watch);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "dies of the signal";
        EXPECT_TRUE(fs::is_empty(tmp)) << "the private store was left behind in run " << run;
        EXPECT_FALSE(fs::exists(out));
    }
}

}  // namespace

namespace {

TEST_F(RenderTool, ShotAndDemoSignalRefuseWhatTheyCannotDo) {
    const std::string shot = std::string(QRX_BUILD_DIR) + "/bin/qrx-shot";
    const std::string demo = std::string(QRX_BUILD_DIR) + "/bin/qrx-demo-signal";
    for (const std::string& program : {shot, demo}) {
        const ToolRun help = run("--help", program);
        EXPECT_EQ(help.status, 0) << program;
        EXPECT_EQ(help.out.rfind("usage: ", 0), 0u) << help.out;
    }
    const std::string png = path("shot.png");
    const std::pair<std::string, std::string> shotCases[] = {
        {"grandpress " + path("shot.jpg"), "must be a .png file"},
        {"bigpress " + png, "unknown plug-in 'bigpress'"},
        {"grandpress " + png + " --program 16", "program 16 is out of range (0..15)"},
        {"grandpress " + png + " --program Nonexistent", "unknown program 'Nonexistent'"},
        {"grandpress " + png + " --param 99=0.5", "unknown parameter '99'"},
        {"grandpress " + png + " --param Loudness=0.5", "unknown parameter 'Loudness'"},
        {"grandpress " + png + " --param Ratio=1.5", "is no value of parameter 'Ratio'"},
        {"tinypress " + png + " --param Threshold=-40dB", "is no value of parameter"},
        {"grandpress " + png + " --zoom", "unknown option '--zoom'"},
    };
    for (const auto& [args, says] : shotCases) {
        const ToolRun r = run(args, shot);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(says), std::string::npos) << args << " said: " << r.err;
    }
    EXPECT_FALSE(fs::exists(png));
    const ToolRun ok = run("TinyPress " + png +
                               " --program 'kickpump' --param Threshold=-12dB "
                               "--param 5=0.5 --param Ratio=4:1",
                           shot);
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(fs::exists(png));

    const std::pair<std::string, std::string> demoCases[] = {
        {path("demo.flac"), "must be a .wav file"},
        {path("demo.wav") + " 8x", "SECONDS must be"},
        {path("demo.wav") + " 700", "SECONDS must be"},
        {path("demo.wav") + " 1 8000", "RATE must be"},
        {path("demo.wav") + " 1 44100 extra", "give OUT.wav"},
    };
    for (const auto& [args, says] : demoCases) {
        const ToolRun r = run(args, demo);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(says), std::string::npos) << args << " said: " << r.err;
    }
    EXPECT_FALSE(fs::exists(path("demo.flac")));
    EXPECT_FALSE(fs::exists(path("demo.wav")));
}

}  // namespace
