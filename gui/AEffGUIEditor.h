// The editor base of plug-ins whose window is a toolkit frame. Derived editors build the frame
// in open() and release it in close(); this class pumps the frame from the host's effEditIdle,
// forwards the host's keys to it, keeps the knob mode and reports beginEdit/endEdit of the
// user's gestures to the host. Host user-interface thread.
#pragma once

#include "gui/CFrame.h"
#include "shell/AEffEditor.h"

class AEffGUIEditor : public AEffEditor {
  public:
    explicit AEffGUIEditor(AudioEffect* effect);
    // Releases a frame that a derived close() left behind.
    ~AEffGUIEditor() override;

    // Remembers the host's window (derived editors create the frame in it); true.
    bool open(void* parentWindow) override;
    // Forgets the host's window; the derived editor releases its frame.
    void close() override;
    // Handles the frame's pending window events and timers, then redraws what is dirty.
    // Calls that arrive while an idle pass is running (from a timer) return at once.
    void idle() override;
    bool getRect(ERect** r) override;
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    // kCircularMode, kRelativCircularMode or kLinearMode: how knobs follow the mouse.
    bool setKnobMode(VstInt32 mode) override;
    int32_t getKnobMode() const { return knobMode; }

    // The user starts or ends changing parameter `index`; told to the host for host parameters
    // only (indices the host does not know stay inside the plug-in).
    virtual void beginEdit(VstInt32 index);
    virtual void endEdit(VstInt32 index);
    // The effect reports a parameter change to its editor (derived editors override).
    virtual void setParameter(VstInt32 index, float value) {}

    qgui::CFrame* getFrame() const { return frame; }

  protected:
    ERect rect{};
    qgui::CFrame* frame = nullptr;
    int32_t knobMode = qgui::kCircularMode;

  private:
    bool isHostParameter(VstInt32 index) const;
    bool inIdle = false;
};
