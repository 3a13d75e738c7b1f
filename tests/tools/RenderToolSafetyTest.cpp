// qrx-render keeps the user's files safe and says what it wrote: it never writes over an input,
// leaves nothing behind however it ends (stopped by signals, a file-size limit), reports clipping
// and loudness of the file as written, and renders batches, to standard output and as JSON.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tools/RenderToolFixture.h"

namespace {

TEST_F(RenderTool, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
    write("in.wav", 2, 2000, 44100, kFloatWav, [](long long i, int) { return 0.001f * (i % 100); });
    write("other.wav", 2, 2000, 44100, kFloatWav, [](long long, int) { return 0.5f; });
    const std::string original = slurp(path("in.wav"));
    fs::create_symlink(path("in.wav"), path("link.wav"));
    fs::create_hard_link(path("in.wav"), path("hard.wav"));
    fs::create_symlink(path("in.wav"), path("plot-link.png"));
    fs::create_directories(dir / "sub");
    write("sub/other.wav", 2, 2000, 44100, kFloatWav, [](long long, int) { return 0.25f; });
    const std::string in = path("in.wav");
    const std::pair<std::string, std::string> cases[] = {
        {in + " " + in, "is the input file"},
        {in + " " + path("link.wav"), "is the input file"},
        {path("link.wav") + " " + path("hard.wav"), "is the input file"},
        {"--sidechain " + path("other.wav") + " " + in + " " + path("other.wav"),
         "is the input file"},
        {"--plot " + path("plot-link.png") + " " + in + " " + path("out.wav"), "is the input file"},
        {"-o " + dir.string() + "/ " + in, "is the input file"},
        {"-o " + path("sub") + " " + path("other.wav") + " " + path("sub/other.wav"),
         "is the input file"},
    };
    for (const auto& [args, says] : cases) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(says), std::string::npos) << args << " said: " << r.err;
        EXPECT_EQ(lines(r.err), 1) << r.err;
    }
    EXPECT_EQ(slurp(path("in.wav")), original);
    EXPECT_TRUE(fs::is_symlink(path("link.wav")));
    EXPECT_EQ(fs::hard_link_count(path("in.wav")), 2u);
    EXPECT_FALSE(fs::exists(path("out.wav")));
    // Two inputs of one name from two folders would write one output twice.
    fs::create_directories(dir / "out");
    const ToolRun twice =
        run("-o " + path("out") + "/ " + path("other.wav") + " " + path("sub/other.wav"));
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("two outputs of this run are the same file"), std::string::npos)
        << twice.err;
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    EXPECT_TRUE(fs::is_empty(tmp));
}

// Starts the tool on a long render and stops it with `signal` the moment its partial output
// appears in `dir`; returns the wait status.
int stoppedRender(const std::string& tool, const fs::path& dir, const fs::path& tmp,
                  const std::vector<std::string>& args, int signal) {
    const int watch = inotify_init1(IN_CLOEXEC);
    EXPECT_GE(watch, 0);
    EXPECT_GE(inotify_add_watch(watch, dir.c_str(), IN_CREATE), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        // The signals as a terminal would deliver them, whatever this test inherited.
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(s, SIG_DFL);
        setenv("TMPDIR", tmp.c_str(), 1);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        std::vector<char*> argv{const_cast<char*>(tool.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    // Events until a partial file (".name.partial-XXXXXX") is made or the tool ends without one,
    // however long either takes.
    const int child = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    EXPECT_GE(child, 0);
    bool seen = false;
    alignas(inotify_event) char buffer[4096];
    while (!seen) {
        pollfd waits[] = {{watch, POLLIN, 0}, {child, POLLIN, 0}};
        if (poll(waits, 2, -1) < 1 || !(waits[0].revents & POLLIN)) break;
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->len && std::strstr(e->name, ".partial-")) seen = true;
        }
    }
    EXPECT_TRUE(seen) << "no partial output appeared";
    close(child);
    kill(pid, signal);
    close(watch);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return status;
}

TEST_F(RenderTool, AStoppedRenderLeavesNoPartialFilesAndNoStore) {
    // Long enough that no render ends before the signal reaches it.
    write("long.wav", 2, 30 * 44100, 44100, kFloatWav,
          [](long long i, int) { return 0.3f * static_cast<float>(std::sin(i * 0.01)); });
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(strsignal(signal));
        const int status = stoppedRender(
            tool(), dir, tmp, {"--plot", path("p.png"), path("long.wav"), path("out.wav")}, signal);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "dies of the signal";
        EXPECT_TRUE(strayFiles({"long.wav"}).empty()) << strayFiles({"long.wav"}).front();
        EXPECT_TRUE(fs::is_empty(tmp)) << "the private store was left behind";
    }
}

TEST_F(RenderTool, AFileSizeLimitEndsTheRenderWithAMessageAndNothingLeft) {
    write("in.wav", 2, 44100, 44100, kFloatWav,
          [](long long i, int) { return 0.3f * static_cast<float>(std::sin(i * 0.01)); });
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{100000, 100000};  // bytes: the input is 350 kB
        setrlimit(RLIMIT_FSIZE, &limit);
        setenv("TMPDIR", tmp.c_str(), 1);
        freopen(path("err.txt").c_str(), "w", stderr);
        freopen("/dev/null", "w", stdout);
        execl(tool().c_str(), tool().c_str(), path("in.wav").c_str(), path("out.wav").c_str(),
              nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_NE(slurp(path("err.txt")).find("file-size limit"), std::string::npos)
        << slurp(path("err.txt"));
    EXPECT_TRUE(strayFiles({"in.wav", "err.txt"}).empty());
    EXPECT_TRUE(fs::is_empty(tmp));
}

TEST_F(RenderTool, AFullDiskEndsTheRenderWithAMessageAndNothingLeft) {
    // A disk of 200 kB, mounted in a mount namespace of its own so it goes when the shell ends.
    if (std::system("unshare -m sh -c 'mount -t tmpfs -o size=4k tmpfs /mnt' 2>/dev/null") != 0)
        GTEST_SKIP() << "no mount namespace to make a small disk in";
    write("in.wav", 2, 44100, 44100, kFloatWav,
          [](long long i, int) { return 0.3f * static_cast<float>(std::sin(i * 0.01)); });
    fs::create_directories(dir / "disk");
    const std::string disk = path("disk");
    const std::string script = "mount -t tmpfs -o size=200k tmpfs " + disk +
                               " && TMPDIR=" + tmp.string() + " " + tool() + " " + path("in.wav") +
                               " " + disk + "/out.wav 2>" + path("err.txt") + "; echo $? >" +
                               path("status.txt") + "; ls -A " + disk + " >" + path("left.txt");
    ASSERT_EQ(std::system(("unshare -m sh -c '" + script + "'").c_str()), 0);
    EXPECT_EQ(slurp(path("status.txt")), "2\n");
    EXPECT_NE(slurp(path("err.txt")).find("No space left on device"), std::string::npos)
        << slurp(path("err.txt"));
    EXPECT_EQ(slurp(path("left.txt")), "") << "a partial file was left on the full disk";
    EXPECT_TRUE(fs::is_empty(tmp));
}

// A stereo sine of `peak` at 1 kHz, 44.1 kHz.
float sine(long long i, float peak) {
    return peak * static_cast<float>(std::sin(2 * M_PI * 1000.0 * static_cast<double>(i) / 44100));
}

TEST_F(RenderTool, ClippingInAnIntegerFileIsCountedAndReportedWithTheFix) {
    write("in.wav", 2, 22050, 44100, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
          [](long long i, int) { return sine(i, 0.7f); });
    const ToolRun loud =
        run("--set Power=0 --set Output=1 " + path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(loud.status, 0) << loud.err;
    // Power off still applies nothing: the sine passes at 0.7. Output only counts with power on.
    EXPECT_EQ(loud.out.find("warning"), std::string::npos) << loud.out;

    const ToolRun r = run("--set Output=12dB " + path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    const Audio out = read("out.wav");
    long long atFullScale = 0;
    for (float x : out.data) atFullScale += std::fabs(x) >= 32767.0f / 32768.0f;
    ASSERT_GT(atFullScale, 1000);
    EXPECT_NE(r.out.find("output: peak 0.00 dBFS"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("samples clipped at full scale in the pcm16 file"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("use --format float, or lower Output by at least"), std::string::npos);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 7) << r.out;  // one warning line

    const ToolRun floating =
        run("--set Output=12dB --format float " + path("in.wav") + " " + path("f.wav"));
    EXPECT_EQ(floating.out.find("warning"), std::string::npos) << floating.out;
    float largest = 0;
    for (float x : read("f.wav").data) largest = std::max(largest, std::fabs(x));
    EXPECT_GT(largest, 1.5f) << "a float file keeps the overs";
}

TEST_F(RenderTool, SummaryGivesLoudnessAndTruePeakAndJsonTheSame) {
    // A 1 kHz sine at -20 dBFS reads -23.0 LUFS in one channel, -20.0 LUFS in both.
    write("in.wav", 2, 3 * 44100, 44100, kFloatWav, [](long long i, int) { return sine(i, 0.1f); });
    const ToolRun r = run("--set Power=off " + path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("input : peak -20.00 dBFS, RMS -23.01 dBFS, -20.0 LUFS, range 0.0 LU, "
                         "true peak -20.0"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("set   : Power Off (0)"), std::string::npos) << r.out;
    const ToolRun json =
        run("--json --set Threshold=-12dB " + path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(lines(json.out), 1) << json.out;
    for (const char* key :
         {"\"clipped_samples\":0", "\"latency_samples\":1660", "\"name\":\"Threshold\"",
          "\"display\":\"-12.00dB\"", "\"physical\":true", "\"gain_reduction_meter_db\":"})
        EXPECT_NE(json.out.find(key), std::string::npos) << key << " in " << json.out;
    const auto number = [&](const std::string& key) {
        const size_t at = json.out.find("\"" + key + "\":");
        return at == std::string::npos ? NAN : std::atof(json.out.c_str() + at + key.size() + 3);
    };
    EXPECT_NEAR(number("integrated_lufs"), -20.0, 0.05) << json.out;
    EXPECT_NEAR(number("true_peak_dbtp"), -20.0, 0.05) << json.out;
}

TEST_F(RenderTool, EmptyInputGivesNoSpeedAndNoMeterText) {
    write("in.wav", 2, 0, 44100, kFloatWav, [](long long, int) { return 0.0f; });
    const ToolRun r = run(path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("realtime"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("gain reduction: n/a (empty input)"), std::string::npos) << r.out;
    EXPECT_EQ(read("out.wav").info.frames, 0);
}

TEST_F(RenderTool, BatchesWriteOneOutputPerInputAndStandardOutputTakesWav) {
    write("a.wav", 2, 4000, 44100, kFloatWav, [](long long i, int) { return sine(i, 0.5f); });
    write("b.flac", 1, 3000, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
          [](long long i, int) { return sine(i, 0.5f); });
    const ToolRun r = run("--program 'mezzo leveler' -o " + path("mastered") + "/ " +
                          path("a.wav") + " " + path("b.flac"));
    EXPECT_EQ(r.status, 2) << "the folder must exist";
    EXPECT_NE(r.err.find("does not exist"), std::string::npos) << r.err;
    fs::create_directories(dir / "mastered");
    const ToolRun batch = run("--program 'mezzo leveler' -o " + path("mastered") + "/ " +
                              path("a.wav") + " " + path("b.flac"));
    ASSERT_EQ(batch.status, 0) << batch.err;
    EXPECT_EQ(lines(batch.out), 2) << batch.out;
    EXPECT_EQ(read("mastered/a.wav").info.frames, 4000);
    EXPECT_EQ(read("mastered/b.flac").info.samplerate, 48000);

    const std::string command = "TMPDIR=" + tmp.string() + " " + tool() + " --set Power=0 " +
                                path("a.wav") + " - >" + path("piped.wav") + " 2>" +
                                path("err.txt");
    ASSERT_EQ(std::system(command.c_str()), 0) << slurp(path("err.txt"));
    const Audio piped = read("piped.wav"), a = read("a.wav");
    ASSERT_EQ(piped.data.size(), a.data.size());
    for (size_t i = 0; i < a.data.size(); ++i) ASSERT_NEAR(piped.data[i], a.data[i], 1e-6) << i;
    EXPECT_NE(slurp(path("err.txt")).find("output: peak"), std::string::npos)
        << "the summary goes to standard error";

    const ToolRun version = run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "qrx-render 1.7.0\n");
    const ToolRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("bare number,\nthe normalised 0..1 host value"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(tmp));
}

TEST_F(RenderTool, ValuesInUnitsAreSetToTheNearestValueAndListed) {
    write("in.wav", 2, 2000, 44100, kFloatWav, [](long long i, int) { return sine(i, 0.5f); });
    const ToolRun r =
        run("--plugin GrandPress --set Threshold=-12dB --set Ratio=4:1 "
            "--set Attack=10ms --set Release=0.5s --set High=2k5 --set Mix=60% "
            "--set Tilt=25L --set FAT=on --set Meters=Post " +
            path("in.wav") + " " + path("out.wav"));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* shown :
         {"Threshold -12.00dB", "Ratio 4.00 : 1 (0.81)", "Attack 10.00ms", "Release 0.5s",
          "High 2.50kHz", "Mix 60%", "Tilt 25L", "FAT On (1)", "Meters Post (1)"})
        EXPECT_NE(r.out.find(shown), std::string::npos) << shown << " in " << r.out;

    const ToolRun list = run("--plugin tinypress --list-params");
    ASSERT_EQ(list.status, 0) << list.err;
    for (const char* row : {"-30.10 dB .. 6.02 dB", "0.50:1 .. 64.00:1 in 21 steps",
                            "0.03 s .. 3.33 s", "LoCut, LoFlat or LoBoost", "Smooth or Draft"})
        EXPECT_NE(list.out.find(row), std::string::npos) << row << " in " << list.out;
}

}  // namespace
