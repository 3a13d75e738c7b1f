#include "gui/FrameWindow.h"

#include <X11/Xlib.h>
#include <cairo.h>
// This copy of pugl's headers declares no C linkage of its own.
extern "C" {
#include <pugl/cairo.h>
#include <pugl/pugl.h>
}

#include <cmath>

#include "gui/CFrame.h"
#include "gui/VstKeys.h"
#include "platform/XErrorTrap.h"

namespace qgui {

namespace {

constexpr double kDoubleClickSeconds = 0.4;

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
constexpr double kDoubleClickDistance = 4;

int32_t modifiersOf(PuglMods mods) {
    int32_t b = 0;
    if (mods & PUGL_MOD_SHIFT) b |= kShift;
    if (mods & PUGL_MOD_CTRL) b |= kControl;
    if (mods & PUGL_MOD_ALT) b |= kAlt;
    return b;
}

unsigned char vstModifiersOf(PuglMods mods) {
    unsigned char m = 0;
    if (mods & PUGL_MOD_SHIFT) m |= MODIFIER_SHIFT;
    if (mods & PUGL_MOD_CTRL) m |= MODIFIER_CONTROL;
    if (mods & PUGL_MOD_ALT) m |= MODIFIER_ALTERNATE;
    return m;
}

int32_t buttonFlag(uint32_t button) {
    switch (button) {
        case 0:
            return kLButton;
        case 1:
            return kRButton;
        case 2:
            return kMButton;
        default:
            return 0;
    }
}

// Keys without a character of their own, as VST virtual keys; 0 for the rest.
unsigned char virtualKeyOf(uint32_t key) {
    switch (key) {
        case PUGL_KEY_BACKSPACE:
            return VKEY_BACK;
        case PUGL_KEY_ESCAPE:
            return VKEY_ESCAPE;
        case PUGL_KEY_DELETE:
            return VKEY_DELETE;
        case '\r':
        case '\n':
            return VKEY_RETURN;
        case '\t':
            return VKEY_TAB;
        case PUGL_KEY_LEFT:
            return VKEY_LEFT;
        case PUGL_KEY_RIGHT:
            return VKEY_RIGHT;
        case PUGL_KEY_UP:
            return VKEY_UP;
        case PUGL_KEY_DOWN:
            return VKEY_DOWN;
        case PUGL_KEY_HOME:
            return VKEY_HOME;
        case PUGL_KEY_END:
            return VKEY_END;
        case PUGL_KEY_PAGE_UP:
            return VKEY_PAGEUP;
        case PUGL_KEY_PAGE_DOWN:
            return VKEY_PAGEDOWN;
        case PUGL_KEY_INSERT:
            return VKEY_INSERT;
        default:
            return 0;
    }
}

PuglStatus onEvent(PuglView* view, const PuglEvent* event) {
    auto* self = static_cast<FrameWindow*>(puglGetHandle(view));
    if (self && event) self->handleEvent(event);
    return PUGL_SUCCESS;
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
    puglSetHandle(view, w.get());
    puglSetBackend(view, puglCairoBackend());
    puglSetEventFunc(view, onEvent);
    puglSetViewHint(view, PUGL_RESIZABLE, PUGL_FALSE);
    puglSetSizeHint(view, PUGL_DEFAULT_SIZE, static_cast<PuglSpan>(width),
                    static_cast<PuglSpan>(height));
    puglSetParentWindow(view, parent);
    platform::XErrorTrap trap(displayOf(world));
    if (puglRealize(view) != PUGL_SUCCESS) {
        // pugl cannot free the drawing backend of a view it never realized.
        puglSetBackend(view, nullptr);
        return nullptr;
    }
    if (puglShow(view) != PUGL_SUCCESS || trap.failed()) return nullptr;
    return w;
}

FrameWindow::FrameWindow(CFrame& frame, PuglWorld* world, PuglView* view)
    : frame(frame), world(world), view(view) {}

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
    PuglRect rect{static_cast<PuglCoord>(std::floor(r.left)),
                  static_cast<PuglCoord>(std::floor(r.top)),
                  static_cast<PuglSpan>(std::ceil(r.getWidth())),
                  static_cast<PuglSpan>(std::ceil(r.getHeight()))};
    platform::XErrorTrap trap(displayOf(world));
    puglPostRedisplayRect(view, rect);
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
    where = CPoint(wx, wy);
    buttons = 0;
    if (mask & Button1Mask) buttons |= kLButton;
    if (mask & Button2Mask) buttons |= kMButton;
    if (mask & Button3Mask) buttons |= kRButton;
    if (mask & ShiftMask) buttons |= kShift;
    if (mask & ControlMask) buttons |= kControl;
    if (mask & Mod1Mask) buttons |= kAlt;
    return true;
}

void FrameWindow::handleEvent(const void* event) {
    const PuglEvent& e = *static_cast<const PuglEvent*>(event);
    switch (e.type) {
        case PUGL_UPDATE:
            for (const CRect& r : frame.redrawDirty()) postRedisplay(r);
            break;
        case PUGL_EXPOSE: {
            auto* cr = static_cast<cairo_t*>(puglGetContext(view));
            if (!cr || !frame.getOffscreen()) break;
            cairo_save(cr);
            cairo_rectangle(cr, e.expose.x, e.expose.y, e.expose.width, e.expose.height);
            cairo_clip(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_surface(cr, frame.getOffscreen(), 0, 0);
            cairo_paint(cr);
            cairo_restore(cr);
            break;
        }
        case PUGL_BUTTON_PRESS: {
            const int32_t flag = buttonFlag(e.button.button);
            if (!flag) break;
            CPoint where(e.button.x, e.button.y);
            int32_t buttons = flag | modifiersOf(e.button.state);
            const bool doubleClick =
                flag == lastPressButton && e.button.time - lastPressTime < kDoubleClickSeconds &&
                std::fabs(where.x - lastPressPoint.x) <= kDoubleClickDistance &&
                std::fabs(where.y - lastPressPoint.y) <= kDoubleClickDistance;
            if (doubleClick) {
                buttons |= kDoubleClick;
                lastPressTime = -1;  // a third click starts over
            } else {
                lastPressTime = e.button.time;
            }
            lastPressPoint = where;
            lastPressButton = flag;
            heldButtons |= flag;
            frame.onMouseDown(where, CButtonState(buttons));
            break;
        }
        case PUGL_BUTTON_RELEASE: {
            const int32_t flag = buttonFlag(e.button.button);
            if (!flag) break;
            heldButtons &= ~flag;
            CPoint where(e.button.x, e.button.y);
            frame.onMouseUp(where, CButtonState(flag | modifiersOf(e.button.state)));
            break;
        }
        case PUGL_MOTION: {
            CPoint where(e.motion.x, e.motion.y);
            frame.onMouseMoved(where, CButtonState(heldButtons | modifiersOf(e.motion.state)));
            break;
        }
        case PUGL_POINTER_OUT: {
            CPoint where(e.crossing.x, e.crossing.y);
            frame.onMouseExited(where, CButtonState(heldButtons | modifiersOf(e.crossing.state)));
            break;
        }
        case PUGL_SCROLL: {
            const CPoint where(e.scroll.x, e.scroll.y);
            const CButtonState buttons(heldButtons | modifiersOf(e.scroll.state));
            float distance = 0;
            CMouseWheelAxis axis = kMouseWheelAxisY;
            switch (e.scroll.direction) {
                case PUGL_SCROLL_UP:
                    distance = 1;
                    break;
                case PUGL_SCROLL_DOWN:
                    distance = -1;
                    break;
                case PUGL_SCROLL_LEFT:
                    distance = -1, axis = kMouseWheelAxisX;
                    break;
                case PUGL_SCROLL_RIGHT:
                    distance = 1, axis = kMouseWheelAxisX;
                    break;
                default:
                    distance = static_cast<float>(-e.scroll.dy);
                    break;
            }
            if (distance != 0) frame.onWheel(where, axis, distance, buttons);
            break;
        }
        case PUGL_KEY_PRESS:
        case PUGL_KEY_RELEASE: {
            const unsigned char virt = virtualKeyOf(e.key.key);
            if (!virt) break;  // characters arrive as text events
            VstKeyCode key{0, virt, vstModifiersOf(e.key.state)};
            if (e.type == PUGL_KEY_PRESS)
                frame.onKeyDown(key);
            else
                frame.onKeyUp(key);
            break;
        }
        case PUGL_TEXT: {
            if (e.text.character < 0x20 || e.text.character == 0x7f) break;
            VstKeyCode key{static_cast<VstInt32>(e.text.character), 0,
                           vstModifiersOf(e.text.state)};
            frame.onKeyDown(key);
            break;
        }
        case PUGL_TIMER:
            frame.fireTimer(static_cast<uint32_t>(e.timer.id));
            break;
        default:
            break;
    }
}

}  // namespace qgui
