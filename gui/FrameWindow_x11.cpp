// The frame window on X11: a pugl view with the cairo backend inside the host's X11 window.
#include <X11/Xlib.h>
#include <cairo.h>
// This copy of pugl's headers declares no C linkage of its own.
extern "C" {
#include <pugl/cairo.h>
#include <pugl/pugl.h>
}

#include <cmath>

#include "gui/CFrame.h"
#include "gui/FrameWindow.h"
#include "platform/XErrorTrap.h"

namespace qgui {

namespace {

Display* displayOf(PuglWorld* world) {
    return static_cast<Display*>(puglGetNativeWorld(world));
}

// Whether `window` is a window on the display (the host's parent must be one).
bool windowExists(Display* display, uintptr_t window) {
    if (!display || !window) return false;
    platform::XErrorTrap trap(display);
    XWindowAttributes attributes;
    const Status found = XGetWindowAttributes(display, static_cast<Window>(window), &attributes);
    return found != 0 && !trap.failed();
}
}  // namespace

std::unique_ptr<FrameWindow> FrameWindow::create(CFrame& frame, uintptr_t parent, int width,
                                                 int height) {
    PuglWorld* world = puglNewWorld(PUGL_MODULE, 0);
    if (!world) return nullptr;
    if (!windowExists(displayOf(world), parent)) {
        puglFreeWorld(world);
        return nullptr;
    }
    puglSetClassName(world, "QRXPanel");
    PuglView* view = puglNewView(world);
    if (!view) {
        puglFreeWorld(world);
        return nullptr;
    }
    std::unique_ptr<FrameWindow> w(new FrameWindow(frame, world, view));
    w->configureView(puglCairoBackend(), parent, width, height);
    platform::XErrorTrap trap(displayOf(world));
    if (puglRealize(view) != PUGL_SUCCESS) {
        // pugl cannot free the drawing backend of a view it never realized.
        puglSetBackend(view, nullptr);
        return nullptr;
    }
    if (puglShow(view) != PUGL_SUCCESS || trap.failed()) return nullptr;
    return w;
}

FrameWindow::~FrameWindow() {
    if (view) {
        platform::XErrorTrap trap(displayOf(world));
        puglSetHandle(view, nullptr);
        puglFreeView(view);
    }
    if (world) puglFreeWorld(world);
}

void FrameWindow::pump() {
    // The host may destroy its window before it closes the editor: errors that follow from it
    // must not end the host.
    platform::XErrorTrap trap(displayOf(world));
    puglUpdate(world, 0.0);
}

// Every request below may meet a window the host has destroyed meanwhile: each runs inside a
// trap, and a failed one changes nothing.
void FrameWindow::postRedisplay(const CRect& r) {
    int x = 0, y = 0, width = 0, height = 0;
    toDevice(r, x, y, width, height);
    const PuglRect rect{static_cast<PuglCoord>(x), static_cast<PuglCoord>(y),
                        static_cast<PuglSpan>(width), static_cast<PuglSpan>(height)};
    platform::XErrorTrap trap(displayOf(world));
    puglPostRedisplayRect(view, rect);
}

void FrameWindow::setSize(int width, int height) {
    platform::XErrorTrap trap(displayOf(world));
    puglSetSizeHint(view, PUGL_DEFAULT_SIZE, static_cast<PuglSpan>(width),
                    static_cast<PuglSpan>(height));
    puglSetSize(view, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

bool FrameWindow::startTimer(uint32_t id, double seconds) {
    platform::XErrorTrap trap(displayOf(world));
    return puglStartTimer(view, id, seconds) == PUGL_SUCCESS && !trap.failed();
}

void FrameWindow::stopTimer(uint32_t id) {
    platform::XErrorTrap trap(displayOf(world));
    puglStopTimer(view, id);
}

uintptr_t FrameWindow::nativeWindow() const {
    return puglGetNativeView(view);
}

void FrameWindow::grabKeyboardFocus() {
    platform::XErrorTrap trap(displayOf(world));
    puglGrabFocus(view);
}

bool FrameWindow::queryPointer(CPoint& where, int32_t& buttons) const {
    Display* const d = displayOf(world);
    const auto win = static_cast<Window>(puglGetNativeView(view));
    if (!d || !win) return false;
    Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    platform::XErrorTrap trap(d);
    if (!XQueryPointer(d, win, &root, &child, &rx, &ry, &wx, &wy, &mask) || trap.failed())
        return false;
    where = toFrame(wx, wy);
    buttons = 0;
    if (mask & Button1Mask) buttons |= kLButton;
    if (mask & Button2Mask) buttons |= kMButton;
    if (mask & Button3Mask) buttons |= kRButton;
    if (mask & ShiftMask) buttons |= kShift;
    if (mask & ControlMask) buttons |= kControl;
    if (mask & Mod1Mask) buttons |= kAlt;
    return true;
}

void FrameWindow::paint(const void* event) {
    const PuglExposeEvent& e = *static_cast<const PuglExposeEvent*>(event);
    auto* cr = static_cast<cairo_t*>(puglGetContext(view));
    if (!cr || !frame.getOffscreen()) return;
    cairo_save(cr);
    cairo_rectangle(cr, e.x, e.y, e.width, e.height);
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, frame.getOffscreen(), 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace qgui
