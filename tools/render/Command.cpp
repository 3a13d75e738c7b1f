#include "render/Command.h"

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "render/Jobs.h"
#include "render/Loudness.h"
#include "shell/FamilyIdentity.h"

namespace render {
namespace {

#ifdef _WIN32
#define QRX_LIBRARY "PATH.dll"
#define QRX_PLOT_OPTION ""
#define QRX_PLOT_NOTE "IN and OUT are WAV files. --plot is not available in the Windows build.\n"
#else
#define QRX_LIBRARY "PATH.so"
#define QRX_PLOT_OPTION " [--plot FILE.png]"
#define QRX_PLOT_NOTE ""
#endif
#ifdef QRX_HAVE_EBUR128
#define QRX_LOUDNESS_NOTE ""
#else
#define QRX_LOUDNESS_NOTE                                                                         \
    " (loudness, loudness range and true peak\nare left out of this build: it has no library to " \
    "measure them)"
#endif

const char* const kUsage =
    "usage: qrx-render [--plugin grandpress|tinypress|" QRX_LIBRARY
    "] [--bank FILE.qrb]\n"
    "                  [--program NAME|INDEX] [--preset FILE.qrx] [--endian-reversed]\n"
    "                  [--set PARAM=VALUE ...] [--sidechain SC.wav] [--block N]\n"
    "                  [--format pcm16|pcm24|pcm32|float|double]" QRX_PLOT_OPTION
    "\n"
    "                  [--json] [--user-store] [--baseline] IN OUT\n"
    "       qrx-render [options] -o FOLDER/ IN ...     (one output per input, same name)\n"
    "       qrx-render [options] IN -                  (WAV to standard output)\n"
    "       qrx-render [--plugin ...] [--program ...] [--set ...] --list-programs|--list-params\n"
    "       qrx-render --help | --version\n"
    "PARAM is a parameter index or its name (case-insensitive). VALUE is either a bare number,\n"
    "the normalised 0..1 host value, or a value in the parameter's units, set to the nearest\n"
    "value the parameter takes: Threshold=-12dB, Ratio=4:1, Attack=10ms, Release=0.5s,\n"
    "High=2.5kHz (or 2k5), Mix=60%, Tilt=25L, switches on/off, or a display text (Meters=Post).\n"
    "--list-params shows each parameter's range and unit.\n"
    "A bank is loaded first, then the program is chosen, then the preset replaces it.\n"
    "A side chain of another length is padded with silence or cut to the input's length.\n"
    "An output file is never one of the inputs; it is written whole or not at all.\n" QRX_PLOT_NOTE
    "The summary gives sample peak, RMS, integrated loudness (LUFS), loudness range (LU) and\n"
    "true peak (dBTP) of input and output" QRX_LOUDNESS_NOTE
    ", and warns when an integer\n"
    "sample format clipped. --json prints it as one JSON object per input.\n"
    "The plug-in starts from its factory programs; --user-store starts it from your stored\n"
    "default bank and preset instead (your store is only read, never written).\n"
    "--baseline runs our plug-ins on their plain x86-64 kernels instead of the fastest ones\n"
    "this processor runs (the sound is the same within 1e-6).\n";

bool isFolderName(const std::string& path) {
    if (path.empty()) return false;
    const char last = path.back();
#ifdef _WIN32
    if (last == '\\') return true;
#endif
    if (last == '/') return true;
    std::error_code e;
    return std::filesystem::is_directory(render::pathOf(path), e);
}

// The options without a value: each sets one switch of the command or of its request.
template <bool Command::*field>
void setCommandSwitch(Command& c) {
    c.*field = true;
}

template <bool RenderRequest::*field>
void setRequestSwitch(Command& c) {
    c.request.*field = true;
}

struct Switch {
    const char* name;
    void (*set)(Command&);
};

constexpr Switch kSwitches[] = {
    {"--help", setCommandSwitch<&Command::help>},
    {"-h", setCommandSwitch<&Command::help>},
    {"--version", setCommandSwitch<&Command::version>},
    {"--endian-reversed", setRequestSwitch<&RenderRequest::endianReversed>},
    {"--json", setCommandSwitch<&Command::json>},
    {"--baseline", setRequestSwitch<&RenderRequest::baseline>},
    {"--user-store", setCommandSwitch<&Command::userStore>},
    {"--list-programs", setCommandSwitch<&Command::listPrograms>},
    {"--list-params", setCommandSwitch<&Command::listParams>},
};

// The options that take the next argument as their value: what they need (for the error when
// it is missing) and how the value is taken (false with `error` set when it is unusable).
template <std::string RenderRequest::*field>
bool takeRequestText(Command& c, const std::string& value, std::string*) {
    c.request.*field = value;
    return true;
}

bool takeSetting(Command& c, const std::string& value, std::string* error) {
    const size_t eq = value.find('=');
    if (eq == std::string::npos || eq == 0) {
        *error = "--set needs PARAM=VALUE, not '" + value + "'";
        return false;
    }
    c.request.settings.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    return true;
}

bool takeBlockSize(Command& c, const std::string& value, std::string* error) {
    char* end = nullptr;
    const long n = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end || n < 1 || n > 65536) {
        *error = "--block must be 1..65536";
        return false;
    }
    c.request.blockSize = static_cast<int>(n);
    return true;
}

bool takeOutput(Command& c, const std::string& value, std::string*) {
    c.output = value;
    c.outputIsFolder = isFolderName(c.output);
    return true;
}

struct ValueOption {
    const char* name;
    const char* need;
    bool (*take)(Command&, const std::string& value, std::string* error);
};

constexpr ValueOption kValueOptions[] = {
    {"--plugin", "a name or path", takeRequestText<&RenderRequest::plugin>},
    {"--program", "a name or index", takeRequestText<&RenderRequest::program>},
    {"--bank", "a .qrb file", takeRequestText<&RenderRequest::bank>},
    {"--preset", "a .qrx file", takeRequestText<&RenderRequest::preset>},
    {"--set", "PARAM=VALUE", takeSetting},
    {"--sidechain", "a file", takeRequestText<&RenderRequest::sidechain>},
    {"--block", "a number", takeBlockSize},
    {"--format", "a sample format", takeRequestText<&RenderRequest::format>},
#ifndef _WIN32
    {"--plot", "a file", takeRequestText<&RenderRequest::plot>},
#endif
    {"-o", "a file or folder", takeOutput},
    {"--output", "a file or folder", takeOutput},
};

const Switch* switchNamed(const std::string& arg) {
    for (const Switch& s : kSwitches)
        if (arg == s.name) return &s;
    return nullptr;
}

const ValueOption* valueOptionNamed(const std::string& arg) {
    for (const ValueOption& o : kValueOptions)
        if (arg == o.name) return &o;
    return nullptr;
}

// The file arguments as the command's inputs and output: IN OUT without -o, else one or more
// inputs (several only into a folder, and without --plot).
bool takeFiles(std::vector<std::string> files, Command* c, std::string* error) {
    if (c->output.empty()) {
        if (files.size() != 2) {
            *error = files.size() < 2 ? "give an input and an output file (--help shows how)"
                                      : "give one input and one output, or -o FOLDER/ for "
                                        "several inputs";
            return false;
        }
        c->output = files[1];
        files.pop_back();
        c->outputIsFolder = false;
    }
    if (files.empty()) {
        *error = "give at least one input file";
        return false;
    }
    if (files.size() > 1 && !c->outputIsFolder) {
        *error = "several inputs need -o with a folder ('" + c->output + "' is no folder)";
        return false;
    }
    if (files.size() > 1 && !c->request.plot.empty()) {
        *error = "--plot takes one input";
        return false;
    }
    c->inputs = std::move(files);
    return true;
}

}  // namespace

const char* usageText() {
    return kUsage;
}

std::string versionText() {
    const int v = family::kVendorVersion;
    return "qrx-render " + std::to_string(v / 1000) + "." + std::to_string(v / 100 % 10) + "." +
           std::to_string(v % 100) +
           (LoudnessMeter::available() ? "" : " (without loudness measurement)");
}

bool parseCommand(const std::vector<std::string>& args, Command* c, std::string* error) {
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (const Switch* s = switchNamed(arg)) {
            s->set(*c);
        } else if (const ValueOption* o = valueOptionNamed(arg)) {
            if (i + 1 >= args.size()) {
                *error = arg + " needs " + o->need;
                return false;
            }
            if (!o->take(*c, args[++i], error)) return false;
#ifdef _WIN32
        } else if (arg == "--plot") {
            *error = "--plot is not available in the Windows build";
            return false;
#endif
        } else if (arg.size() > 1 && arg[0] == '-') {
            *error = "unknown option '" + arg + "' (--help lists them)";
            return false;
        } else {
            files.push_back(arg);
        }
    }
    if (c->help || c->version || c->listPrograms || c->listParams) return true;
    return takeFiles(std::move(files), c, error);
}

}  // namespace render
