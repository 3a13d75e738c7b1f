// Either engine with its editor opened offscreen, a recording host, a private per-user store
// and a clock the test moves by hand; helpers that act on the frame as the window would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/GrandPressEditor.h"
#include "grandpress/GrandPress.h"
#include "gui/EmbeddedImages.h"
#include "gui/GuiTestSupport.h"
#include "gui/ScaleFactor.h"
#include "presets/CompressorEffect.h"
#include "support/CallbackRecorder.h"
#include "support/TestClock.h"
#include "tinypress/TinyPress.h"

namespace qgui::skins {
const EmbeddedImageTable* qrx_skin_grandpress();
const EmbeddedImageTable* qrx_skin_tinypress();
}  // namespace qgui::skins

namespace editortest {

using namespace qgui;

enum class Plugin { GrandPress, TinyPress };

inline std::string pluginName(const ::testing::TestParamInfo<Plugin>& info) {
    return info.param == Plugin::GrandPress ? "grandpress" : "tinypress";
}

// The factor a system with a screen of `dpi` reports (0: none), read as each platform reads it:
// on X11 from the server's resource text (as xrdb sets it), on Windows from the window's DPI.
inline double fakeSystemFactorOf(int dpi) {
    if (!dpi) return 0;
#ifdef _WIN32
    return qgui::scale::fromDpi(dpi);
#else
    const std::string resources =
        "Xft.antialias:\t1\nXft.dpi:\t" + std::to_string(dpi) + "\nXft.hinting:\t1\n";
    return qgui::scale::fromXResources(resources.c_str());
#endif
}

class EditorRig {
  public:
    explicit EditorRig(Plugin which) : plugin(which) {
        qgui::registerEmbeddedImages(which == Plugin::GrandPress
                                         ? qgui::skins::qrx_skin_grandpress()
                                         : qgui::skins::qrx_skin_tinypress());
        if (which == Plugin::GrandPress)
            fx = std::make_unique<grandpress::GrandPress>(testsupport::CallbackRecorder::callback,
                                                          &GrandPressEditor::create);
        else
            fx = std::make_unique<tinypress::TinyPress>(testsupport::CallbackRecorder::callback,
                                                        &GrandPressEditor::create);
        fx->dispatcher(effOpen, 0, 0, nullptr, 0);
        fx->dispatcher(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        fx->dispatcher(effMainsChanged, 0, 1, nullptr, 0);
        editor = static_cast<GrandPressEditor*>(fx->getEditor());
        // The system's scale factor as a test sets it (none unless a test says so).
        systemDpi() = 0;
        editor->setSystemScaleSource(fakeSystemFactor);
    }
    // The dots per inch of the fake system's screen (0: it says nothing).
    static int& systemDpi() {
        static int dpi = 0;
        return dpi;
    }
    // The factor the fake system reports (see fakeSystemFactorOf).
    static double fakeSystemFactor(std::uintptr_t) { return fakeSystemFactorOf(systemDpi()); }
    ~EditorRig() {
        if (editor->getFrame()) fx->dispatcher(effEditClose, 0, 0, nullptr, 0);
    }

    bool open() {
        host.requests.clear();
        return fx->dispatcher(effEditOpen, 0, 0, nullptr, 0) == 1;
    }
    void close() { fx->dispatcher(effEditClose, 0, 0, nullptr, 0); }
    void idle() { fx->dispatcher(effEditIdle, 0, 0, nullptr, 0); }
    CFrame* frame() const { return editor->getFrame(); }
    bool grand() const { return plugin == Plugin::GrandPress; }
    // Parameter indices that differ between the engines.
    int32_t meters() const { return grand() ? 23 : 24; }
    int32_t scExt() const { return grand() ? 25 : 26; }
    int32_t attack() const { return grand() ? 7 : 8; }
    int32_t release() const { return grand() ? 9 : 10; }
    int32_t output() const { return grand() ? 22 : 23; }

    // The centre of the control bound to `tag`, in frame coordinates.
    CPoint centreOf(int32_t tag) const {
        CControl* c = editor->control(tag);
        EXPECT_NE(c, nullptr) << "no control for " << tag;
        return c ? c->getViewSize().getCenter() : CPoint();
    }
    void moveTo(CPoint p, int32_t buttons = 0) { frame()->onMouseMoved(p, CButtonState(buttons)); }
    void click(CPoint p, int32_t buttons = kLButton) { guitest::click(frame(), p.x, p.y, buttons); }
    void clickTag(int32_t tag, int32_t buttons = kLButton) { click(centreOf(tag), buttons); }
    void typeInto(CPoint field, const char* text) {
        click(field);
        for (const char* c = text; *c; ++c) {
            VstKeyCode key = guitest::character(*c);
            frame()->onKeyDown(key);
        }
        VstKeyCode enter = guitest::virtualKey(VKEY_RETURN);
        frame()->onKeyDown(enter);
    }

    // Host requests with this opcode and index; `values` gets the automated values.
    int count(VstInt32 opcode, VstInt32 index) const {
        int n = 0;
        for (const auto& r : host.requests) n += r.opcode == opcode && r.index == index;
        return n;
    }
    std::vector<float> automated(VstInt32 index) const {
        std::vector<float> v;
        for (const auto& r : host.requests)
            if (r.opcode == audioMasterAutomate && r.index == index) v.push_back(r.opt);
        return v;
    }
    int automateCount() const { return host.count(audioMasterAutomate); }

    Plugin plugin;
    // The read-out time-out and the preset bar's idle timer run on it.
    testsupport::TestClock clock;
    testsupport::TemporaryConfigHome config;
    testsupport::CallbackRecorder host;
    std::unique_ptr<CompressorEffect> fx;
    GrandPressEditor* editor = nullptr;
};

}  // namespace editortest
