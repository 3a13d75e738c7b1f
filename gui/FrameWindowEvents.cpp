// What the frame window does the same on every window system pugl drives: the view's set-up,
// and pugl events turned into the frame's mouse, wheel, key and timer calls. The window itself is
// made in FrameWindow_x11.cpp (Linux) or FrameWindow_win.cpp (Windows).
#include <cmath>

// This copy of pugl's headers declares no C linkage of its own.
extern "C" {
#include <pugl/pugl.h>
}

#include "gui/CFrame.h"
#include "gui/FrameWindow.h"
#include "gui/VstKeys.h"

namespace qgui {

namespace {

constexpr double kDoubleClickSeconds = 0.4;
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

FrameWindow::FrameWindow(CFrame& frame, PuglWorld* world, PuglView* view)
    : frame(frame), world(world), view(view) {}

void FrameWindow::configureView(const PuglBackend* backend, uintptr_t parent, int width,
                                int height) {
    puglSetHandle(view, this);
    puglSetBackend(view, backend);
    puglSetEventFunc(view, onEvent);
    puglSetViewHint(view, PUGL_RESIZABLE, PUGL_FALSE);
    puglSetSizeHint(view, PUGL_DEFAULT_SIZE, static_cast<PuglSpan>(width),
                    static_cast<PuglSpan>(height));
    puglSetParentWindow(view, parent);
}

CPoint FrameWindow::toFrame(double x, double y) const {
    const double scale = frame.getScaleFactor();
    return CPoint(x / scale, y / scale);
}

void FrameWindow::toDevice(const CRect& r, int& x, int& y, int& width, int& height) const {
    const double scale = frame.getScaleFactor();
    x = static_cast<int>(std::floor(r.left * scale));
    y = static_cast<int>(std::floor(r.top * scale));
    width = static_cast<int>(std::ceil(r.right * scale)) - x;
    height = static_cast<int>(std::ceil(r.bottom * scale)) - y;
}

void FrameWindow::handleEvent(const void* event) {
    const PuglEvent& e = *static_cast<const PuglEvent*>(event);
    switch (e.type) {
        case PUGL_UPDATE:
            for (const CRect& r : frame.redrawDirty()) postRedisplay(r);
            break;
        case PUGL_EXPOSE:
            paint(&e.expose);
            break;
        case PUGL_BUTTON_PRESS: {
            const int32_t flag = buttonFlag(e.button.button);
            if (!flag) break;
            CPoint where = toFrame(e.button.x, e.button.y);
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
            CPoint where = toFrame(e.button.x, e.button.y);
            frame.onMouseUp(where, CButtonState(flag | modifiersOf(e.button.state)));
            break;
        }
        case PUGL_MOTION: {
            CPoint where = toFrame(e.motion.x, e.motion.y);
            frame.onMouseMoved(where, CButtonState(heldButtons | modifiersOf(e.motion.state)));
            break;
        }
        case PUGL_POINTER_OUT: {
            CPoint where = toFrame(e.crossing.x, e.crossing.y);
            frame.onMouseExited(where, CButtonState(heldButtons | modifiersOf(e.crossing.state)));
            break;
        }
        case PUGL_SCROLL: {
            const CPoint where = toFrame(e.scroll.x, e.scroll.y);
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
