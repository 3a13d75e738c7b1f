// qrx-shot: draws a plug-in's editor offscreen into a PNG file, as the user would see it after
// opening the window: front or back page, any program, parameter values and meter readings.
//
//   qrx-shot grandpress|tinypress OUT.png [--back] [--program N|NAME] [--param PARAM=VALUE]...
//            [--meters MAIN,OVER,SECOND,PEAKA,PEAKB] [--left ...] [--right ...] [--hover X,Y]
//            [--scale F]
//
// --scale draws at F device pixels per design pixel (1 to 3, any factor; 2 is 200 %); --hover
// takes design pixels.
//
// The effect starts from its factory state in a private, temporary per-user store; --user-store
// starts it from a copy of the user's store (stored defaults, meter settings). Either way what
// the effect writes on exit lands in the temporary folder, never in the user's store.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "editor/GrandPressEditor.h"
#include "editor/ParamUnits.h"
#include "grandpress/GrandPress.h"
#include "grandpress/Parameters.h"
#include "gui/EmbeddedImages.h"
#include "gui/Toolkit.h"
#include "platform/PrivateUserStore.h"
#include "presets/CompressorEffect.h"
#include "tinypress/Parameters.h"
#include "tinypress/TinyPress.h"

namespace qgui::skins {
const EmbeddedImageTable* qrx_skin_grandpress();
const EmbeddedImageTable* qrx_skin_tinypress();
}  // namespace qgui::skins

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
        case audioMasterVersion:
            return kVstVersion;
        case audioMasterGetSampleRate:
            return 44100;
        case audioMasterGetBlockSize:
            return 512;
        default:
            return 0;
    }
}

struct MeterValues {
    bool given = false;
    double main = 0, over = 0.01, second = 0, peakA = 0, peakB = 0;
};

struct Options {
    std::string plugin, out;
    bool back = false, userStore = false, help = false;
    int program = -1;
    std::vector<std::pair<std::string, std::string>> params;  // PARAM=VALUE as given
    MeterValues meters[2];
    bool hover = false;
    double hoverX = 0, hoverY = 0;
    double scale = 1;
};

const char* const kUsage =
    "usage: qrx-shot grandpress|tinypress OUT.png [--back] [--program N|NAME]\n"
    "                [--param PARAM=VALUE]... [--meters MAIN,OVER,SECOND,PEAKA,PEAKB]\n"
    "                [--left ...] [--right ...] [--hover X,Y] [--scale F] [--user-store]\n"
    "       qrx-shot --help\n"
    "PARAM is an index (0..40) or a name; VALUE is the normalised 0..1 value or, for the host\n"
    "parameters, a value in their units as qrx-render takes it (Threshold=-12dB, Ratio=4:1).\n"
    "Meter values are linear (1.0 = full scale; on the gain-reduction source 1.0 is\n"
    "no reduction); OVER >= 0.5 lights the over lamp. OUT is a .png file. --scale F draws\n"
    "at F device pixels per design pixel (1 to 3; 2 is 200 %); --hover takes design pixels.\n";

int fail(const std::string& message) {
    std::fprintf(stderr, "qrx-shot: %s\n", message.c_str());
    return 2;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? ""
                                      : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Program `text`: an index 0..15 or a factory program's name (any letter case).
bool parseProgram(const std::string& text, int* program, std::string* error) {
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (!text.empty() && *end == 0) {
        if (n >= 0 && n < kNumPrograms) {
            *program = static_cast<int>(n);
            return true;
        }
        *error =
            "program " + text + " is out of range (0.." + std::to_string(kNumPrograms - 1) + ")";
        return false;
    }
    for (int k = 0; k < kNumPrograms; ++k) {
        if (lower(kFactoryProgramNames[k]) == lower(trimmed(text))) {
            *program = k;
            return true;
        }
    }
    *error = "unknown program '" + text + "' (an index 0.." + std::to_string(kNumPrograms - 1) +
             " or a factory program's name)";
    return false;
}

bool parseMeters(const char* text, MeterValues& m) {
    double v[5] = {0, 0.01, 0, 0, 0};
    int n = std::sscanf(text, "%lf,%lf,%lf,%lf,%lf", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (n < 1) return false;
    m = {true, v[0], v[1], v[2], v[3], v[4]};
    return true;
}

bool parseArguments(int argc, char** argv, Options& o, std::string* error) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool valued = a == "--program" || a == "--param" || a == "--meters" ||
                            a == "--left" || a == "--right" || a == "--hover" || a == "--scale";
        if (valued && !next) {
            *error = a + " needs a value";
            return false;
        }
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--back") {
            o.back = true;
        } else if (a == "--user-store") {
            o.userStore = true;
        } else if (a == "--program") {
            if (!parseProgram(argv[++i], &o.program, error)) return false;
        } else if (a == "--param") {
            const std::string text = argv[++i];
            const size_t eq = text.find('=');
            if (eq == std::string::npos || eq == 0) {
                *error = "--param needs PARAM=VALUE, not '" + text + "'";
                return false;
            }
            o.params.emplace_back(text.substr(0, eq), text.substr(eq + 1));
        } else if (a == "--meters" || a == "--left" || a == "--right") {
            MeterValues m;
            if (!parseMeters(argv[++i], m)) {
                *error = a + " needs MAIN[,OVER,SECOND,PEAKA,PEAKB], not '" + argv[i] + "'";
                return false;
            }
            if (a != "--right") o.meters[0] = m;
            if (a != "--left") o.meters[1] = m;
        } else if (a == "--scale") {
            char* end = nullptr;
            o.scale = std::strtod(argv[++i], &end);
            if (*end != 0 || !(o.scale >= 1 && o.scale <= 3)) {
                *error = "--scale needs a factor from 1 to 3 (2 is 200 %), not '" +
                         std::string(argv[i]) + "'";
                return false;
            }
        } else if (a == "--hover") {
            if (std::sscanf(argv[++i], "%lf,%lf", &o.hoverX, &o.hoverY) != 2) {
                *error = "--hover needs X,Y, not '" + std::string(argv[i]) + "'";
                return false;
            }
            o.hover = true;
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option '" + a + "' (--help lists them)";
            return false;
        } else {
            files.push_back(a);
        }
    }
    if (o.help) return true;
    if (files.size() != 2) {
        *error = "give the plug-in (grandpress or tinypress) and the output .png (--help)";
        return false;
    }
    o.plugin = lower(files[0]);
    o.out = files[1];
    if (o.plugin != "grandpress" && o.plugin != "tinypress") {
        *error = "unknown plug-in '" + files[0] + "' (grandpress or tinypress)";
        return false;
    }
    const size_t dot = o.out.find_last_of("./");
    if (dot == std::string::npos || o.out[dot] != '.' || lower(o.out.substr(dot)) != ".png") {
        *error = "'" + o.out + "' must be a .png file: qrx-shot writes PNG";
        return false;
    }
    return true;
}

// The index of parameter `name` (an index 0..40 or a name, any letter case, without padding
// blanks); -1 when there is none.
int parameterIndex(AudioEffect& fx, const std::string& name) {
    char* end = nullptr;
    const long n = std::strtol(name.c_str(), &end, 10);
    if (*end == 0) return n >= 0 && n <= 40 ? static_cast<int>(n) : -1;
    for (int i = 0; i <= 40; ++i) {
        char text[64] = {};
        fx.getParameterName(i, text);
        if (trimmed(text) != "-" && lower(trimmed(text)) == lower(trimmed(name))) return i;
    }
    return -1;
}

// Sets the --param values; false with `error` for a parameter or value the plug-in has not.
bool setParameters(CompressorEffect& fx, const Options& o, std::string* error) {
    const bool grand = o.plugin == "grandpress";
    for (const auto& [name, text] : o.params) {
        const int index = parameterIndex(fx, name);
        if (index < 0) {
            *error = "unknown parameter '" + name + "' (an index 0..40 or a parameter's name)";
            return false;
        }
        units::Setting s;
        if (index < 34) {
            s = units::readSetting(
                grand ? grandpress::Params::unitParam(index) : tinypress::Params::unitParam(index),
                text.c_str());
        } else {
            units::Quantity q;
            if (units::readQuantity(text.c_str(), &q) && q.unit == units::Unit::None && !q.kilo &&
                q.value >= 0.0 && q.value <= 1.0)
                s = {units::Status::Ok, static_cast<float>(q.value), false};
        }
        if (s.status != units::Status::Ok) {
            *error = "'" + text + "' is no value of parameter '" + name +
                     "' (normalised 0..1, or in its units; qrx-render --list-params shows them)";
            return false;
        }
        fx.setParameter(index, s.normalised);
    }
    return true;
}

void feedMeters(CompressorEffect& fx, const Options& o) {
    for (int c = 0; c < 2; ++c) {
        const MeterValues& m = o.meters[c];
        if (!m.given) continue;
        MeterChannelFeed& ch = fx.meterFeed().channel[c];
        ch.mainLevel.store(m.main);
        ch.overload.store(m.over);
        ch.secondLevel.store(m.second);
        ch.peakA.store(m.peakA);
        ch.peakB.store(m.peakB);
        ch.peakAAge.store(0);
        ch.peakBAge.store(0);
    }
}

int shoot(const Options& o) {
    const bool grand = o.plugin == "grandpress";
    qgui::registerEmbeddedImages(grand ? qgui::skins::qrx_skin_grandpress()
                                       : qgui::skins::qrx_skin_tinypress());
    std::unique_ptr<CompressorEffect> fx;
    if (grand)
        fx = std::make_unique<grandpress::GrandPress>(quietHost, &GrandPressEditor::create);
    else
        fx = std::make_unique<tinypress::TinyPress>(quietHost, &GrandPressEditor::create);
    fx->dispatcher(effOpen, 0, 0, nullptr, 0);
    fx->dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    fx->dispatcher(effMainsChanged, 0, 1, nullptr, 0);
    // The host sees one program; the sixteen are the preset system's own.
    if (o.program >= 0) fx->selectProgram(o.program);
    std::string error;
    if (!setParameters(*fx, o, &error)) {
        fx->dispatcher(effMainsChanged, 0, 0, nullptr, 0);
        return fail(error);
    }

    auto* editor = static_cast<GrandPressEditor*>(fx->getEditor());
    if (!editor || !fx->dispatcher(effEditOpen, 0, 0, nullptr, 0)) {
        std::fprintf(stderr, "qrx-shot: the %s editor did not open\n", o.plugin.c_str());
        return 1;
    }
    qgui::CFrame* frame = editor->getFrame();
    // Exactly this factor, whatever a user, host or system would choose.
    if (!frame->setScaleFactor(o.scale)) {
        std::fprintf(stderr, "qrx-shot: cannot draw at %g\n", o.scale);
        fx->dispatcher(effEditClose, 0, 0, nullptr, 0);
        return 1;
    }
    if (o.back) editor->switchPage();
    feedMeters(*fx, o);
    if (o.hover) {
        qgui::CPoint where(o.hoverX, o.hoverY);
        frame->onMouseMoved(where, qgui::CButtonState());
    }
    // The first pass hands the meters their values and shows a hovered read-out; the second
    // draws them.
    fx->dispatcher(effEditIdle, 0, 0, nullptr, 0);
    fx->dispatcher(effEditIdle, 0, 0, nullptr, 0);
    frame->redrawAll();
    const bool written = frame->writePNG(o.out.c_str());
    fx->dispatcher(effEditClose, 0, 0, nullptr, 0);
    fx->dispatcher(effMainsChanged, 0, 0, nullptr, 0);
    if (!written) {
        std::fprintf(stderr, "qrx-shot: cannot write %s\n", o.out.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!parseArguments(argc, argv, o, &error)) return fail(error);
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto store = platform::PrivateUserStore::create(
        o.userStore ? platform::PrivateUserStore::Start::UserDefaults
                    : platform::PrivateUserStore::Start::Empty,
        &error);
    if (!store) {
        std::fprintf(stderr, "qrx-shot: %s\n", error.c_str());
        return 1;
    }
    return shoot(o);
}
