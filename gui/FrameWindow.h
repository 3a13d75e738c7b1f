// The frame's window: a child of the host's window made with pugl (X11 with the cairo backend in
// FrameWindow_x11.cpp; Win32 with GDI+ in FrameWindow_win.cpp). It turns window-system events
// into the frame's mouse, wheel, key and timer calls (FrameWindowEvents.cpp) and shows the
// frame's offscreen image on expose. Internal to gui/. User-interface thread.
#pragma once

#include <cstdint>
#include <memory>

#include "gui/GuiTypes.h"

typedef struct PuglWorldImpl PuglWorld;
typedef struct PuglViewImpl PuglView;
typedef struct PuglBackendImpl PuglBackend;

namespace qgui {

class CFrame;

class FrameWindow {
  public:
    // Null when there is no display or the window cannot be created.
    static std::unique_ptr<FrameWindow> create(CFrame& frame, uintptr_t parent, int width,
                                               int height);
    ~FrameWindow();
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;

    // Handles every pending event without blocking; redraws on the window's update pass.
    void pump();
    // Shows the frame's rectangle `rect` (design pixels) again.
    void postRedisplay(const CRect& rect);
    // Makes the window width x height device pixels.
    void setSize(int width, int height);
    bool startTimer(uint32_t id, double seconds);
    void stopTimer(uint32_t id);
    // Pointer position in frame coordinates (design pixels) and the held buttons and modifiers.
    bool queryPointer(CPoint& where, int32_t& buttons) const;
    uintptr_t nativeWindow() const;
    void grabKeyboardFocus();
    // One pugl event (a PuglEvent).
    void handleEvent(const void* event);

  private:
    FrameWindow(CFrame& frame, PuglWorld* world, PuglView* view);
    // Gives the view its backend, this window's events, the fixed size and the parent; the
    // same on every window system (FrameWindowEvents.cpp).
    void configureView(const PuglBackend* backend, uintptr_t parent, int width, int height);
    // Shows the offscreen image in the exposed part (a PuglExposeEvent).
    void paint(const void* expose);
    // The frame's calls for a button press or release (a PuglButtonEvent; presses also detect
    // double clicks), a wheel step (a PuglScrollEvent), a key without a character (a
    // PuglKeyEvent) and a typed character (a PuglTextEvent).
    void buttonPressed(const void* event);
    void buttonReleased(const void* event);
    void scrolled(const void* event);
    void keyPressedOrReleased(const void* event);
    void textTyped(const void* event);
    // A window position (device pixels) in frame coordinates, and a frame rectangle as the
    // window's device rectangle (grown to whole pixels).
    CPoint toFrame(double x, double y) const;
    void toDevice(const CRect& r, int& x, int& y, int& width, int& height) const;

    CFrame& frame;
    PuglWorld* world;
    PuglView* view;
    int32_t heldButtons = 0;
    // Double-click detection: the last press.
    double lastPressTime = -1;
    CPoint lastPressPoint;
    int32_t lastPressButton = 0;
};

}  // namespace qgui
