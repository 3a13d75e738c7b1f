// The top of a view tree: a container that owns an offscreen image in which the whole tree is
// drawn, and optionally a window embedded in the host's window (X11 or Win32) that shows it.
// The views live in design pixels; the frame draws them at its scale factor (device pixels per
// design pixel) into an offscreen image and a window of the device size, and maps the window's
// pointer positions back to design pixels.
// The frame collects dirty views and invalid rectangles and redraws only those parts on idle().
// It routes mouse, wheel and key events (from the window or from tests) to the views, keeps
// track of the view under the mouse (enter/leave), the focus view and a modal view (an open
// pop-up list), and runs window timers. User-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "gui/CViewContainer.h"
#include "gui/Surface.h"

class AEffGUIEditor;

namespace qgui {

class FrameWindow;

class CFrame : public CViewContainer {
  public:
    // An offscreen frame of `size` design pixels drawn at `scale`; open() embeds it in a window
    // later.
    CFrame(const CRect& size, AEffGUIEditor* editor, double scale = 1.0);
    // Opens at once inside `systemWindow` (an X11 window id; an HWND on Windows) when it is not
    // null; check isOpen() for the outcome.
    CFrame(const CRect& size, void* systemWindow, AEffGUIEditor* editor, double scale = 1.0);

    // Device pixels per design pixel. Setting another factor makes the offscreen image and the
    // window the new device size and draws everything again; false (nothing changed) when the
    // image cannot be made.
    bool setScaleFactor(double scale);
    double getScaleFactor() const { return scale; }
    // The frame's size in device pixels (the design size times the factor, rounded up).
    int getDeviceWidth() const;
    int getDeviceHeight() const;
    // A design rectangle grown to whole device pixels (in design pixels).
    CRect alignToDevice(const CRect& rect) const;
    // The window now shows on a screen of another scale (Windows: its DPI changed): the editor
    // chooses its factor again.
    void displayScaleChanged();

    // Creates the child window of `systemWindow` and shows it. False when there is no display
    // or the window cannot be made; the frame then stays offscreen.
    bool open(void* systemWindow);
    bool isOpen() const { return window != nullptr; }
    // The frame's own window (X11 id or HWND), 0 when offscreen.
    uintptr_t getNativeWindow() const;

    // One pass of the user-interface loop: handles pending window events and timers without
    // blocking, then redraws what is dirty. Called from the editor's idle.
    void idle();
    // Redraws every dirty view and invalid rectangle into the offscreen image; returns the
    // rectangles drawn (frame coordinates).
    std::vector<CRect> redrawDirty();
    // Draws the whole tree into the offscreen image.
    void redrawAll();
    // The offscreen image (ARGB32, device size).
    NativeSurface* getOffscreen() const { return offscreen; }
    bool writePNG(const char* path) const;

    void invalidRect(const CRect& rect) override;
    void invalid() override { invalidRect(size); }

    // Mouse state, in frame coordinates: queried from the window system when there is a window,
    // otherwise the last event given to the frame.
    bool getCurrentMouseLocation(CPoint& where) const;
    CButtonState getCurrentMouseButtons() const;

    // Event entry points (frame coordinates).
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseExited(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                 const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    int32_t onKeyUp(VstKeyCode& keyCode) override;

    // Keyboard focus: the previous focus view gets looseFocus(), the new one takeFocus().
    void setFocusView(CView* view);
    CView* getFocusView() const { return focusView; }
    // A modal view gets every mouse event and key until it is cleared (pop-up lists).
    void setModalView(CView* view);
    CView* getModalView() const { return modalView; }
    // Called by containers before they take `view` out of the tree.
    void viewWillBeRemoved(CView* view);

    AEffGUIEditor* getEditor() const { return editor; }
    int32_t getKnobMode() const;
    void beginEdit(int32_t index);
    void endEdit(int32_t index);

    // Timers: `callback` runs every `intervalMs` by platform::tickCountMs(), from idle() and,
    // with a window, from the window's timer events between idle passes (a host that does not
    // idle its editor). Periods missed during a pause are skipped, not run in a burst.
    uint32_t startTimer(uint32_t intervalMs, std::function<void()> callback);
    void stopTimer(uint32_t id);
    // The window's timer event for `id`: runs the timer when it is due by the tick count, or
    // less than half a period early (the window's clock may be finer than the tick count's).
    void fireTimer(uint32_t id);

    QGUI_CLASS_METHODS(CFrame, CViewContainer)

  protected:
    ~CFrame() override;

  private:
    struct Timer {
        uint32_t id;
        uint32_t intervalMs;
        uint32_t nextDueMs;  // tick count
        bool inWindow;       // the window's timer events also run it
        std::function<void()> callback;
    };

    void setupOffscreen();
    void updateHover(const CPoint& where, const CButtonState& buttons);
    void runDueTimers();
    void runTimer(uint32_t id, uint32_t nowMs);
    void collectDirty(CView* view, const CPoint& origin, std::vector<CRect>& out);

    AEffGUIEditor* editor;
    double scale = 1.0;
    NativeSurface* offscreen = nullptr;
    std::unique_ptr<FrameWindow> window;
    std::vector<CRect> invalidRects;
    std::vector<CView*> hoverChain;  // views under the mouse, outermost first (referenced)
    CView* focusView = nullptr;
    CView* modalView = nullptr;
    CPoint lastMouse{-1, -1};
    int32_t lastButtons = 0;
    std::vector<Timer> timers;
    uint32_t nextTimerId = 1;
    bool inIdle = false;
};

}  // namespace qgui
