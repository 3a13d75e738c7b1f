// qrx-render: renders audio files through a VST 2.4 plug-in, offline, the way a host would.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/PrivateUserStore.h"
#ifdef _WIN32
#include "platform/WinText.h"
#else
#include "render/Plot.h"
#endif
#include "render/Command.h"
#include "render/Jobs.h"
#include "render/PluginSession.h"
#include "render/Render.h"
#include "render/Report.h"
#include "render/Settings.h"

namespace {

using render::Command;
using render::RenderRequest;
using render::RenderResult;

bool errorsGoToTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr));
#else
    return isatty(STDERR_FILENO);
#endif
}

// The arguments after the program name, as UTF-8. Windows hands main() the ANSI code page; its
// wide command line is whole.
std::vector<std::string> arguments(int argc, char** argv) {
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) args.push_back(platform::narrow(wide[i]));
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "qrx-render: %s\n", message.c_str());
    return 2;
}

// A bar on the terminal once a render has taken a second; nothing when standard error is not a
// terminal.
class ProgressBar {
  public:
    explicit ProgressBar(std::string name)
        : terminal(errorsGoToTerminal()),
          name(std::move(name)),
          start(std::chrono::steady_clock::now()) {}
    void operator()(double fraction) {
        if (!terminal) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - start < std::chrono::seconds(1) || now - last < std::chrono::milliseconds(100))
            return;
        last = now;
        const int width = 40;
        const int filled = static_cast<int>(fraction * width);
        std::fprintf(stderr, "\r[%-*s] %3d%% %.30s", width, std::string(filled, '#').c_str(),
                     static_cast<int>(fraction * 100), name.c_str());
        std::fflush(stderr);
        shown = true;
    }
    ~ProgressBar() {
        if (shown) std::fprintf(stderr, "\r%*s\r", 80, "");
    }

  private:
    bool terminal;
    bool shown = false;
    std::string name;
    std::chrono::steady_clock::time_point start, last;
};

int listing(const Command& command) {
    std::string error;
    const std::string path = render::findPlugin(command.request.plugin, &error);
    if (path.empty()) return fail(error);
    render::PluginSession session;
    if (!session.load(path, 44100, command.request.blockSize, &error)) return fail(error);
    bool metersChosen = false;
    if (!render::applySettings(session, command.request, &metersChosen, &error)) return fail(error);
    if (command.listPrograms) {
        const auto names = session.programNames();
        for (size_t i = 0; i < names.size(); ++i) std::printf("%2zu  %s\n", i, names[i].c_str());
        return 0;
    }
    host::Plugin& plugin = session.plugin();
    std::printf("program: %s\n", session.currentProgramName().c_str());
    for (int i = 0; i < plugin.numParams(); ++i) {
        const units::Param* p = session.unitParam(i);
        std::printf("%2d  %-12s %8.6f  %-12s %s\n", i, session.parameterName(i).c_str(),
                    plugin.getParameter(i), render::trimmed(plugin.parameterDisplay(i)).c_str(),
                    p ? render::valuesOf(*p).c_str() : "0..1");
    }
    return 0;
}

// The file a render writes for "-", copied to standard output when it is complete: in the private
// store's folder, which goes whichever way the tool ends (on Windows, where the store is in the
// registry, in the temporary folder).
std::string standInForStandardOutput(const platform::PrivateUserStore& store) {
#ifdef _WIN32
    std::error_code e;
    return render::textOf(std::filesystem::temp_directory_path(e) /
                          ("qrx-render-" + std::to_string(GetCurrentProcessId()) + ".wav"));
#else
    return store.location() + "/standard-output.wav";
#endif
}

bool copyToStandardOutput(const std::string& file, std::string* error) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::ifstream in(render::pathOf(file), std::ios::binary);
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const auto n = static_cast<size_t>(in.gcount());
        if (std::fwrite(buffer, 1, n, stdout) != n) {
            *error = "cannot write to standard output";
            return false;
        }
    }
    if (std::fflush(stdout) != 0) {
        *error = "cannot write to standard output";
        return false;
    }
    return true;
}

// Renders one job and reports it; false with `error` set when it failed.
bool renderJob(const RenderRequest& job, const Command& command,
               const platform::PrivateUserStore& store, std::FILE* report, std::string* error) {
    RenderRequest actual = job;
    const bool toStandardOutput = job.output == "-";
    if (toStandardOutput) actual.output = standInForStandardOutput(store);
    RenderResult result;
    ProgressBar bar(job.input);
    render::Finishing finishing;
#ifndef _WIN32
    if (!job.plot.empty())
        finishing = [&](const RenderResult& r, std::string* why) {
            return render::writePlot(
                job.plot, job.plugin + " - " + r.programName + " - " + job.input, r, why);
        };
#endif
    const int status = render::renderFile(
        actual, &result, error, [&](double f) { bar(f); }, finishing);
    if (status != 0) return false;
    if (toStandardOutput) {
        const bool copied = copyToStandardOutput(actual.output, error);
        std::remove(actual.output.c_str());
        if (!copied) return false;
    }
    if (command.json)
        render::printJson(report, job, result);
    else if (command.inputs.size() > 1)
        render::printBatchLine(report, job, result);
    else
        render::printSummary(report, job, result);
    if (!command.json && !job.plot.empty()) std::fprintf(report, "  plot: %s\n", job.plot.c_str());
    std::fflush(report);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Command command;
    std::string error;
    if (!render::parseCommand(arguments(argc, argv), &command, &error)) return fail(error);
    if (command.help) {
        std::fputs(render::usageText(), stdout);
        return 0;
    }
    if (command.version) {
        std::printf("%s\n", render::versionText().c_str());
        return 0;
    }
#ifndef _WIN32
    // A file-size limit (ulimit -f) then fails the write, which the render reports and cleans up.
    signal(SIGXFSZ, SIG_IGN);
#endif
    // The plug-in reads and writes the per-user store: give it a private one for the run, so a
    // render is the same for every user and leaves the user's store alone. Removed on return.
    const auto store = platform::PrivateUserStore::create(
        command.userStore ? platform::PrivateUserStore::Start::UserDefaults
                          : platform::PrivateUserStore::Start::Empty,
        &error);
    if (!store) return fail(error);
    if (command.listPrograms || command.listParams) return listing(command);

    const std::vector<RenderRequest> jobs = render::planJobs(command);
    if (!render::checkJobs(jobs, &error)) return fail(error);
    // With the audio on standard output, the summary goes to standard error.
    std::FILE* report = command.output == "-" ? stderr : stdout;
    for (const RenderRequest& job : jobs)
        if (!renderJob(job, command, *store, report, &error)) return fail(error);
    return 0;
}
