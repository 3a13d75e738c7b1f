// qrx-shot: draws a plug-in's editor offscreen into a PNG file, as the user would see it after
// opening the window: front or back page, any program, parameter values and meter readings.
//
//   qrx-shot grandpress|tinypress OUT.png [--back] [--program N] [--param INDEX=VALUE]...
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

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "editor/GrandPressEditor.h"
#include "grandpress/GrandPress.h"
#include "gui/EmbeddedImages.h"
#include "gui/Toolkit.h"
#include "platform/PrivateUserStore.h"
#include "presets/CompressorEffect.h"
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
    bool back = false, userStore = false;
    int program = -1;
    std::vector<std::pair<int, float>> params;
    MeterValues meters[2];
    bool hover = false;
    double hoverX = 0, hoverY = 0;
    double scale = 1;
};

int usage() {
    std::fprintf(
        stderr,
        "usage: qrx-shot grandpress|tinypress OUT.png [--back] [--program N]\n"
        "                [--param INDEX=VALUE]... [--meters MAIN,OVER,SECOND,PEAKA,PEAKB]\n"
        "                [--left ...] [--right ...] [--hover X,Y] [--scale F] [--user-store]\n"
        "Meter values are linear (1.0 = full scale; on the gain-reduction source 1.0 is\n"
        "no reduction); OVER >= 0.5 lights the over lamp.\n");
    return 2;
}

bool parseMeters(const char* text, MeterValues& m) {
    double v[5] = {0, 0.01, 0, 0, 0};
    int n = std::sscanf(text, "%lf,%lf,%lf,%lf,%lf", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (n < 1) return false;
    m = {true, v[0], v[1], v[2], v[3], v[4]};
    return true;
}

bool parseArguments(int argc, char** argv, Options& o) {
    if (argc < 3) return false;
    o.plugin = argv[1];
    o.out = argv[2];
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--back") {
            o.back = true;
        } else if (a == "--user-store") {
            o.userStore = true;
        } else if (a == "--program" && next) {
            o.program = std::atoi(argv[++i]);
        } else if (a == "--param" && next) {
            int index = 0;
            float value = 0;
            if (std::sscanf(argv[++i], "%d=%f", &index, &value) != 2) return false;
            o.params.emplace_back(index, value);
        } else if ((a == "--meters" || a == "--left" || a == "--right") && next) {
            MeterValues m;
            if (!parseMeters(argv[++i], m)) return false;
            if (a != "--right") o.meters[0] = m;
            if (a != "--left") o.meters[1] = m;
        } else if (a == "--scale" && next) {
            char* end = nullptr;
            o.scale = std::strtod(argv[++i], &end);
            if (*end != 0 || !(o.scale >= 1 && o.scale <= 3)) return false;
        } else if (a == "--hover" && next) {
            if (std::sscanf(argv[++i], "%lf,%lf", &o.hoverX, &o.hoverY) != 2) return false;
            o.hover = true;
        } else {
            return false;
        }
    }
    return o.plugin == "grandpress" || o.plugin == "tinypress";
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
    if (o.program >= 0 && o.program < kNumPrograms) fx->selectProgram(o.program);
    for (const auto& [index, value] : o.params) fx->setParameter(index, value);

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
    if (!parseArguments(argc, argv, o)) return usage();
    std::string error;
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
