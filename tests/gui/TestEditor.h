// A two-parameter effect with a small toolkit editor (an on/off kick button for parameter 0, a
// knob for parameter 1, a text field, all on one page with a background bitmap), 200 x 120 design
// pixels drawn at the factor its base chooses (the system's is the test's own). Its host is
// testsupport::CallbackRecorder: a test that checks host requests keeps a recorder alive.
#pragma once

#include <cstdint>
#include <string>

#include "gui/Toolkit.h"
#include "shell/AudioEffectX.h"
#include "support/CallbackRecorder.h"

namespace guitest {

using namespace qgui;

class TestEditor : public AEffGUIEditor, public CControlListener {
  public:
    explicit TestEditor(AudioEffect* effect) : AEffGUIEditor(effect) {
        setDesignSize(200, 120);
        // The system's factor is the test's (none unless a test sets one).
        setSystemScaleSource([](std::uintptr_t) { return systemFactor(); });
    }
    // The factor the fake system reports (0: none).
    static double& systemFactor() {
        static double factor = 0;
        return factor;
    }

    bool open(void* parent) override {
        AEffGUIEditor::open(parent);
        setKnobMode(kLinearMode);
        refreshSystemScale(reinterpret_cast<std::uintptr_t>(parent));
        frame = new CFrame(CRect(0, 0, 200, 120), parent, this, getScaleFactor());
        if (parent && !frame->isOpen()) {
            frame->forget();
            frame = nullptr;
            return false;
        }
        page = new CViewContainer(CRect(0, 0, 200, 120));
        page->setBackgroundColor(MakeCColor(200, 200, 200));
        auto* strip = new CBitmap(20, 40);  // two images: released grey, pressed white
        {
            CDrawContext dc(strip->getSurface());
            dc.setFillColor(MakeCColor(60, 60, 60));
            dc.drawRect(CRect(0, 0, 20, 20), kDrawFilled);
            dc.setFillColor(kWhiteCColor);
            dc.drawRect(CRect(0, 20, 20, 40), kDrawFilled);
        }
        button = new CKickButton(CRect(10, 10, 30, 30), this, 0, strip);
        strip->forget();
        page->addView(button);
        knob = new CKnob(CRect(50, 10, 90, 50), this, 1, nullptr, nullptr);
        knob->setValue(effect->getParameter(1));
        page->addView(knob);
        text = new CTextEdit(CRect(100, 10, 190, 26), this, 59, "name");
        page->addView(text);
        frame->addView(page);
        timer = frame->startTimer(50, [this] { ++timerTicks; });
        return true;
    }

    void close() override {
        if (frame) frame->stopTimer(timer);
        button = nullptr;
        knob = nullptr;
        text = nullptr;
        page = nullptr;
        if (frame) frame->forget();
        frame = nullptr;
        AEffGUIEditor::close();
    }

    void valueChanged(CControl* control) override {
        ++changes;
        if (control->getTag() == 0 && control->getValue() > 0.5f)
            effect->setParameterAutomated(0, effect->getParameter(0) > 0.5f ? 0.0f : 1.0f);
        if (control->getTag() == 1) effect->setParameterAutomated(1, control->getValue());
        if (control->getTag() == 59) committed = text->getText();
    }

    CViewContainer* page = nullptr;
    CKickButton* button = nullptr;
    CKnob* knob = nullptr;
    CTextEdit* text = nullptr;
    uint32_t timer = 0;
    int timerTicks = 0;
    int changes = 0;
    std::string committed;
};

class TestEffect : public AudioEffectX {
  public:
    TestEffect() : AudioEffectX(testsupport::CallbackRecorder::callback, 1, 2) {
        new TestEditor(this);
    }
    ~TestEffect() override { destroyEditor(); }
    void setParameter(VstInt32 index, float value) override {
        if (index >= 0 && index < 2) params[index] = value;
    }
    float getParameter(VstInt32 index) override {
        return index >= 0 && index < 2 ? params[index] : 0;
    }
    TestEditor* testEditor() const { return static_cast<TestEditor*>(editor); }

    float params[2] = {0.0f, 0.25f};
};

}  // namespace guitest
