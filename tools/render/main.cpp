// qrx-render: renders an audio file through a VST 2.4 plug-in, offline, the way a host would.
#ifdef _WIN32
#include <io.h>
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/PrivateUserStore.h"
#ifdef _WIN32
#include "platform/WinText.h"
#else
#include "render/Plot.h"
#endif
#include "render/PluginSession.h"
#include "render/Render.h"

namespace {

#ifdef _WIN32
const char* kUsage =
    "usage: qrx-render [--plugin grandpress|tinypress|PATH.dll] [--bank FILE.qrb]\n"
    "                  [--program NAME|INDEX] [--preset FILE.qrx] [--endian-reversed]\n"
    "                  [--set PARAM=VALUE ...] [--sidechain SC.wav] [--block N]\n"
    "                  [--format pcm16|pcm24|pcm32|float|double] [--user-store] [--baseline]\n"
    "                  IN OUT\n"
    "       qrx-render [--plugin ...] [--program ...] [--set ...] --list-programs|--list-params\n"
    "PARAM is a parameter index or its name (case-insensitive); VALUE is normalised 0..1.\n"
    "A bank is loaded first, then the program is chosen, then the preset replaces it.\n"
    "IN and OUT are WAV files. --plot is not available in the Windows build.\n"
    "The plug-in starts from its factory programs; --user-store starts it from your stored\n"
    "default bank and preset instead (your store is only read, never written).\n"
    "--baseline runs our plug-ins on their plain x86-64 kernels instead of the fastest ones\n"
    "this processor runs (the sound is the same within 1e-6).\n";
#else
const char* kUsage =
    "usage: qrx-render [--plugin grandpress|tinypress|PATH.so] [--bank FILE.qrb]\n"
    "                  [--program NAME|INDEX] [--preset FILE.qrx] [--endian-reversed]\n"
    "                  [--set PARAM=VALUE ...] [--sidechain SC.wav] [--block N]\n"
    "                  [--format pcm16|pcm24|pcm32|float|double] [--plot FILE.png]\n"
    "                  [--user-store] [--baseline] IN OUT\n"
    "       qrx-render [--plugin ...] [--program ...] [--set ...] --list-programs|--list-params\n"
    "PARAM is a parameter index or its name (case-insensitive); VALUE is normalised 0..1.\n"
    "A bank is loaded first, then the program is chosen, then the preset replaces it.\n"
    "The plug-in starts from its factory programs; --user-store starts it from your stored\n"
    "default bank and preset instead (your store is only read, never written).\n"
    "--baseline runs our plug-ins on their plain x86-64 kernels instead of the fastest ones\n"
    "this processor runs (the sound is the same within 1e-6).\n";
#endif

bool isTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stdout));
#else
    return isatty(STDOUT_FILENO);
#endif
}

// The arguments as UTF-8. Windows hands main() the ANSI code page; its wide command line is whole.
std::vector<std::string> arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 0; i < count; ++i) args.push_back(platform::narrow(wide[i]));
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "qrx-render: %s\n", message.c_str());
    return 2;
}

std::string db(double value) {
    char buf[32];
    if (std::isfinite(value))
        std::snprintf(buf, sizeof buf, "%.2f dBFS", value);
    else
        std::snprintf(buf, sizeof buf, "-inf dBFS");
    return buf;
}

// A bar on the terminal once a render has taken a second; nothing when stdout is not a terminal.
class ProgressBar {
  public:
    ProgressBar() : terminal(isTerminal()), start(std::chrono::steady_clock::now()) {}
    void operator()(double fraction) {
        if (!terminal) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - start < std::chrono::seconds(1) || now - last < std::chrono::milliseconds(100))
            return;
        last = now;
        const int width = 40;
        const int filled = static_cast<int>(fraction * width);
        std::printf("\r[%-*s] %3d%%", width, std::string(filled, '#').c_str(),
                    static_cast<int>(fraction * 100));
        std::fflush(stdout);
        shown = true;
    }
    void done() {
        if (shown) std::printf("\r%*s\r", 50, "");
    }

  private:
    bool terminal;
    bool shown = false;
    std::chrono::steady_clock::time_point start, last;
};

int listing(const render::RenderRequest& request, bool programs) {
    const std::string path = render::findPlugin(request.plugin);
    if (path.empty()) return fail("unknown plug-in '" + request.plugin + "'");
    render::PluginSession session;
    std::string error;
    if (!session.load(path, 44100, request.blockSize, &error)) return fail(error);
    bool metersChosen = false;
    if (!render::applySettings(session, request, &metersChosen, &error)) return fail(error);
    if (programs) {
        const auto names = session.programNames();
        for (size_t i = 0; i < names.size(); ++i) std::printf("%2zu  %s\n", i, names[i].c_str());
        return 0;
    }
    host::Plugin& plugin = session.plugin();
    std::printf("program: %s\n", session.currentProgramName().c_str());
    for (int i = 0; i < plugin.numParams(); ++i)
        std::printf("%2d  %-12s %8.6f  %s\n", i, session.parameterName(i).c_str(),
                    plugin.getParameter(i), plugin.parameterDisplay(i).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> argv8 = arguments(argc, argv);
    argc = static_cast<int>(argv8.size());
    render::RenderRequest request;
    bool listPrograms = false, listParams = false, userStore = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv8[i];
        auto next = [&](std::string* into) {
            if (i + 1 >= argc) return false;
            *into = argv8[++i];
            return true;
        };
        std::string value;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--plugin") {
            if (!next(&request.plugin)) return fail("--plugin needs a name or path");
        } else if (arg == "--program") {
            if (!next(&request.program)) return fail("--program needs a name or index");
        } else if (arg == "--bank") {
            if (!next(&request.bank)) return fail("--bank needs a .qrb file");
        } else if (arg == "--preset") {
            if (!next(&request.preset)) return fail("--preset needs a .qrx file");
        } else if (arg == "--endian-reversed") {
            request.endianReversed = true;
        } else if (arg == "--set") {
            if (!next(&value)) return fail("--set needs PARAM=VALUE");
            const size_t eq = value.find('=');
            if (eq == std::string::npos || eq == 0) return fail("--set needs PARAM=VALUE");
            request.settings.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (arg == "--sidechain") {
            if (!next(&request.sidechain)) return fail("--sidechain needs a file");
        } else if (arg == "--block") {
            if (!next(&value)) return fail("--block needs a number");
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (*end || n < 1 || n > 65536) return fail("--block must be 1..65536");
            request.blockSize = static_cast<int>(n);
        } else if (arg == "--format") {
            if (!next(&request.format)) return fail("--format needs a sample format");
        } else if (arg == "--plot") {
#ifdef _WIN32
            return fail("--plot is not available in the Windows build");
#else
            if (!next(&request.plot)) return fail("--plot needs a file");
#endif
        } else if (arg == "--baseline") {
            request.baseline = true;
        } else if (arg == "--user-store") {
            userStore = true;
        } else if (arg == "--list-programs") {
            listPrograms = true;
        } else if (arg == "--list-params") {
            listParams = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option '" + arg + "'\n" + kUsage);
        } else {
            files.push_back(arg);
        }
    }
    if (!listPrograms && !listParams && files.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The plug-in reads and writes the per-user store: give it a private one for the run, so a
    // render is the same for every user and leaves the user's store alone. Removed on return.
    std::string error;
    const auto store = platform::PrivateUserStore::create(
        userStore ? platform::PrivateUserStore::Start::UserDefaults
                  : platform::PrivateUserStore::Start::Empty,
        &error);
    if (!store) return fail(error);
    if (listPrograms || listParams) return listing(request, listPrograms);
    request.input = files[0];
    request.output = files[1];

    render::RenderResult result;
    ProgressBar bar;
    const int status = render::renderFile(request, &result, &error, [&](double f) { bar(f); });
    bar.done();
    if (status != 0) return fail(error);

    std::printf("%s -> %s  (%s, program \"%s\", %d Hz, %d ch, %.2f s, latency %d samples)\n",
                request.input.c_str(), request.output.c_str(), request.plugin.c_str(),
                result.programName.c_str(), result.sampleRate, result.channels, result.seconds,
                result.latency);
    std::printf("  input : peak %s, RMS %s\n", db(result.in.peakDb).c_str(),
                db(result.in.rmsDb).c_str());
    std::printf("  output: peak %s, RMS %s\n", db(result.out.peakDb).c_str(),
                db(result.out.rmsDb).c_str());
    if (result.hasGainReduction)
        std::printf("  largest gain reduction on the meter: %.2f dB\n",
                    result.largestGainReductionDb);
    else
        std::printf("  largest gain reduction on the meter: n/a (no meter feed)\n");
    if (result.instructionSet.empty())
        std::printf("  render speed: %.1fx realtime\n", result.realtimeFactor);
    else
        std::printf("  render speed: %.1fx realtime (%s kernels)\n", result.realtimeFactor,
                    result.instructionSet.c_str());

#ifndef _WIN32
    if (!request.plot.empty()) {
        const std::string title =
            request.plugin + " - " + result.programName + " - " + request.input;
        if (!render::writePlot(request.plot, title, result, &error)) return fail(error);
        std::printf("  plot: %s\n", request.plot.c_str());
    }
#endif
    return 0;
}
