// The editor base of plug-ins whose window is a toolkit frame. Derived editors build the frame
// in open() and release it in close(); this class pumps the frame from the host's effEditIdle,
// forwards the host's keys to it, keeps the knob mode and reports beginEdit/endEdit of the
// user's gestures to the host.
//
// It also decides the scale factor the frame draws at (gui/ScaleFactor.h): the user's choice
// (set by the derived editor), else the host's request, else the system's factor for the host's
// window, else 100 %. getRect reports the design size times that factor, before and after open;
// a change while open resizes the frame and its window and asks the host to resize its own.
// Host user-interface thread.
#pragma once

#include <cstdint>

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
    // A click that no control took, on the frame's or a page's background (frame coordinates);
    // true when the editor handled it (derived editors open their context menu).
    virtual bool backgroundClicked(const qgui::CPoint& where, const qgui::CButtonState& buttons) {
        return false;
    }
    // Whether the editor has a zoom menu, and opening it at `where` (frame coordinates; true
    // when it opened). Derived editors that let the user choose the zoom override both.
    virtual bool hasZoomMenu() const { return false; }
    virtual bool openZoomMenu(const qgui::CPoint& where) { return false; }

    // The scale factor the host (or a UI embedding the editor) asks for: 1.5 draws at 150 %.
    // Taken whether the window is open or not; 0 or anything not a factor withdraws the request.
    // True when taken.
    virtual bool setHostScaleFactor(float factor);
    // The factor the editor draws at now (or will when it opens).
    double getScaleFactor();
    // The system's factor for the host's window may have changed (the window moved to another
    // screen): read again and applied.
    void systemScaleChanged();
    // Where the system's factor comes from (tests give a fake; null restores the system's).
    using SystemScaleSource = double (*)(std::uintptr_t window);
    void setSystemScaleSource(SystemScaleSource source);

    qgui::CFrame* getFrame() const { return frame; }

  protected:
    // The panel's size in design pixels; getRect reports it times the scale factor.
    void setDesignSize(VstInt16 width, VstInt16 height);
    // The user's zoom (0: automatic, the host's or the system's factor).
    void setUserZoom(double zoom);
    double getUserZoom() const { return userZoom; }
    // The factor without the user's choice: the host's, else the system's, else 1.
    double automaticScale();
    // Reads the system's factor for `window` again (open, and when the window changes screen).
    void refreshSystemScale(std::uintptr_t window);
    // Applies the chosen factor: the rectangle, and while open the frame, its window and the
    // host's window.
    void applyScaleFactor();

    ERect rect{};
    qgui::CFrame* frame = nullptr;
    int32_t knobMode = qgui::kCircularMode;

  private:
    bool isHostParameter(VstInt32 index) const;
    double chosenScale();
    bool inIdle = false;
    VstInt16 designWidth = 0, designHeight = 0;
    double userZoom = 0, hostScale = 0, systemScale = 0;
    bool systemScaleKnown = false;
    SystemScaleSource systemSource = nullptr;
};
