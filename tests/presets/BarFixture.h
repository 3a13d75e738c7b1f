// An editor with nothing but the preset bar, in an offscreen frame of a plug-in's size with the
// skin's frame background, on the test engine; a file-dialog backend that answers from a list
// and records what it was asked; and mouse gestures for the bar's controls.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gui/Toolkit.h"
#include "presets/CPresetSystemEditor.h"
#include "presets/PresetBarControls.h"
#include "presets/TestEngine.h"
#include "support/CallbackRecorder.h"
#include "support/TestClock.h"

namespace testsupport {

using namespace qgui;

class BarEditor : public CPresetSystemEditor {
  public:
    BarEditor(AudioEffect* effect, int height, int barTop)
        : CPresetSystemEditor(effect), height(height), barTop(barTop) {
        rect = ERect{0, 0, static_cast<VstInt16>(height), 450};
    }

    bool open(void* parent) override {
        CPresetSystemEditor::open(parent);
        frame = new CFrame(CRect(0, 0, 450, height), nullptr, this);
        auto* background = new CBitmap(19000);
        frame->setBackground(background);
        background->forget();
        return addPresetBar(frame, barTop);
    }
    void close() override {
        CPresetSystemEditor::close();
        if (frame) frame->forget();
        frame = nullptr;
    }
    void idle() override {
        ++idles;
        CPresetSystemEditor::idle();
    }

    // Reports every change, as the engine editors pass them on after the bar's handling.
    void valueChanged(CControl* control) override {
        CPresetSystemEditor::valueChanged(control);
        reported.push_back({control->getTag(), control->getValue()});
    }

    using CPresetSystemEditor::idleTimerId;

    struct Report {
        int32_t tag;
        float value;
    };
    std::vector<Report> reported;
    int idles = 0;

  private:
    int height;
    int barTop;
};

// Answers each dialog with the next entry of `answers` (an empty entry cancels) and records the
// request and, while the dialog is up, the image shown by the button that opened it.
struct ScriptedDialogs : FileSelectorBackend {
    bool run(const FileSelectorRequest& r, std::vector<std::string>& selected) override {
        requests.push_back(r);
        if (watched) imagesDuringDialog.push_back(watched->imageIndex());
        const std::string answer = answers.empty() ? std::string() : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        if (answer.empty()) return false;
        selected.push_back(answer);
        return true;
    }
    std::vector<FileSelectorRequest> requests;
    std::vector<std::string> answers;
    CSaveLoadButton* watched = nullptr;
    std::vector<int> imagesDuringDialog;
};

class BarTest : public ::testing::Test {
  protected:
    static constexpr int kHeight = 460;  // grandpress's frame
    static constexpr int kBarTop = 444;

    void SetUp() override {
        CNewFileSelector::setBackend(&dialogs);
        ASSERT_TRUE(editor->open(nullptr));
        host.requests.clear();
    }
    void TearDown() override {
        editor->close();
        CNewFileSelector::setBackend(nullptr);
    }

    CFrame* frame() { return editor->getFrame(); }
    CControl* control(int32_t tag) { return editor->presetBarControl(tag); }
    template <class T>
    T* as(int32_t tag) {
        return dynamic_cast<T*>(control(tag));
    }
    CPoint centreOf(int32_t tag) { return control(tag)->getViewSize().getCenter(); }

    void move(CPoint p, int32_t buttons = 0) { frame()->onMouseMoved(p, CButtonState(buttons)); }
    void down(CPoint p, int32_t buttons = kLButton) {
        frame()->onMouseDown(p, CButtonState(buttons));
    }
    void up(CPoint p, int32_t buttons = kLButton) { frame()->onMouseUp(p, CButtonState(buttons)); }
    void click(CPoint p, int32_t buttons = kLButton) {
        move(p, buttons & (kShift | kControl | kAlt));
        down(p, buttons);
        up(p, buttons);
    }
    // A double-click as the window delivers it: a click, then a press marked as the second one.
    void doubleClick(CPoint p, int32_t modifiers = 0) {
        click(p, kLButton | modifiers);
        down(p, kLButton | kDoubleClick | modifiers);
        up(p, kLButton | modifiers);
    }
    // Clicks the load or save button `tag`; the dialogs it opens answer `answers` in turn.
    void pressFileButton(int32_t tag, std::vector<std::string> answers) {
        dialogs.answers = std::move(answers);
        click(centreOf(tag));
    }
    void type(const std::string& text) {
        for (char c : text) {
            VstKeyCode key{c, 0, 0};
            frame()->onKeyDown(key);
        }
    }
    void pressReturn() {
        VstKeyCode key{0, VKEY_RETURN, 0};
        frame()->onKeyDown(key);
    }

    ProgramStore& store() { return *engine->programStore(); }
    std::string nameOf(int program) {
        char text[25];
        store().getName(program, text);
        return text;
    }
    std::string fieldText() {
        return as<CTextEdit>(CPresetSystemEditor::kTagProgramName)->getText();
    }
    COptionMenu* menu() { return as<COptionMenu>(CPresetSystemEditor::kTagProgramMenu); }
    std::string menuTitle(int i) { return menu()->getEntry(i)->getTitle(); }
    int updateDisplays() const { return host.count(audioMasterUpdateDisplay); }
    // Whether the last 34 values that reached the engine are program `p`'s, in index order
    // (what selectProgram(p) sends).
    bool lastSelected(int p) {
        const auto& a = engine->applied;
        if (a.size() < static_cast<std::size_t>(kNumProgramParams)) return false;
        for (int i = 0; i < kNumProgramParams; ++i) {
            const Engine::Applied& x = a[a.size() - kNumProgramParams + i];
            if (x.index != i || x.value != store().value(p, i)) return false;
        }
        return true;
    }

    // The bar's idle timer runs on it.
    TestClock clock;
    TemporaryConfigHome config;
    ScriptedDialogs dialogs;
    CallbackRecorder host;
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(CallbackRecorder::callback);
    // Owned by the engine.
    BarEditor* editor = new BarEditor(engine.get(), kHeight, kBarTop);
};

}  // namespace testsupport
