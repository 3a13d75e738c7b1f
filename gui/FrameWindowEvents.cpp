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

// Keys without a character of their own and their VST virtual keys.
struct VirtualKey {
    uint32_t key;
    unsigned char virt;
};
constexpr VirtualKey kVirtualKeys[] = {
    {PUGL_KEY_BACKSPACE, VKEY_BACK},
    {PUGL_KEY_ESCAPE, VKEY_ESCAPE},
    {PUGL_KEY_DELETE, VKEY_DELETE},
    {'\r', VKEY_RETURN},
    {'\n', VKEY_RETURN},
    {'\t', VKEY_TAB},
    {PUGL_KEY_LEFT, VKEY_LEFT},
    {PUGL_KEY_RIGHT, VKEY_RIGHT},
    {PUGL_KEY_UP, VKEY_UP},
    {PUGL_KEY_DOWN, VKEY_DOWN},
    {PUGL_KEY_HOME, VKEY_HOME},
    {PUGL_KEY_END, VKEY_END},
    {PUGL_KEY_PAGE_UP, VKEY_PAGEUP},
    {PUGL_KEY_PAGE_DOWN, VKEY_PAGEDOWN},
    {PUGL_KEY_INSERT, VKEY_INSERT},
};

// The VST virtual key of `key`; 0 for keys that have a character.
unsigned char virtualKeyOf(uint32_t key) {
    for (const VirtualKey& k : kVirtualKeys)
        if (k.key == key) return k.virt;
    return 0;
}

// One step of the wheel: the axis and the distance (up and right positive). Smooth scrolling
// gives its vertical distance.
struct WheelStep {
    CMouseWheelAxis axis;
    float distance;
};

WheelStep wheelStepOf(const PuglScrollEvent& scroll) {
    switch (scroll.direction) {
        case PUGL_SCROLL_UP:
            return {kMouseWheelAxisY, 1};
        case PUGL_SCROLL_DOWN:
            return {kMouseWheelAxisY, -1};
        case PUGL_SCROLL_LEFT:
            return {kMouseWheelAxisX, -1};
        case PUGL_SCROLL_RIGHT:
            return {kMouseWheelAxisX, 1};
        default:
            return {kMouseWheelAxisY, static_cast<float>(-scroll.dy)};
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
        case PUGL_BUTTON_PRESS:
            buttonPressed(&e.button);
            break;
        case PUGL_BUTTON_RELEASE:
            buttonReleased(&e.button);
            break;
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
        case PUGL_SCROLL:
            scrolled(&e.scroll);
            break;
        case PUGL_KEY_PRESS:
        case PUGL_KEY_RELEASE:
            keyPressedOrReleased(&e.key);
            break;
        case PUGL_TEXT:
            textTyped(&e.text);
            break;
        case PUGL_TIMER:
            frame.fireTimer(static_cast<uint32_t>(e.timer.id));
            break;
        default:
            break;
    }
}

void FrameWindow::buttonPressed(const void* event) {
    const PuglButtonEvent& e = *static_cast<const PuglButtonEvent*>(event);
    const int32_t flag = buttonFlag(e.button);
    if (!flag) return;
    CPoint where = toFrame(e.x, e.y);
    int32_t buttons = flag | modifiersOf(e.state);
    const bool doubleClick = flag == lastPressButton &&
                             e.time - lastPressTime < kDoubleClickSeconds &&
                             std::fabs(where.x - lastPressPoint.x) <= kDoubleClickDistance &&
                             std::fabs(where.y - lastPressPoint.y) <= kDoubleClickDistance;
    if (doubleClick) {
        buttons |= kDoubleClick;
        lastPressTime = -1;  // a third click starts over
    } else {
        lastPressTime = e.time;
    }
    lastPressPoint = where;
    lastPressButton = flag;
    heldButtons |= flag;
    frame.onMouseDown(where, CButtonState(buttons));
}

void FrameWindow::buttonReleased(const void* event) {
    const PuglButtonEvent& e = *static_cast<const PuglButtonEvent*>(event);
    const int32_t flag = buttonFlag(e.button);
    if (!flag) return;
    heldButtons &= ~flag;
    CPoint where = toFrame(e.x, e.y);
    frame.onMouseUp(where, CButtonState(flag | modifiersOf(e.state)));
}

void FrameWindow::scrolled(const void* event) {
    const PuglScrollEvent& e = *static_cast<const PuglScrollEvent*>(event);
    const CPoint where = toFrame(e.x, e.y);
    const CButtonState buttons(heldButtons | modifiersOf(e.state));
    const WheelStep step = wheelStepOf(e);
    if (step.distance != 0) frame.onWheel(where, step.axis, step.distance, buttons);
}

void FrameWindow::keyPressedOrReleased(const void* event) {
    const PuglKeyEvent& e = *static_cast<const PuglKeyEvent*>(event);
    const unsigned char virt = virtualKeyOf(e.key);
    if (!virt) return;  // characters arrive as text events
    VstKeyCode key{0, virt, vstModifiersOf(e.state)};
    if (e.type == PUGL_KEY_PRESS)
        frame.onKeyDown(key);
    else
        frame.onKeyUp(key);
}

void FrameWindow::textTyped(const void* event) {
    const PuglTextEvent& e = *static_cast<const PuglTextEvent*>(event);
    if (e.character < 0x20 || e.character == 0x7f) return;
    VstKeyCode key{static_cast<VstInt32>(e.character), 0, vstModifiersOf(e.state)};
    frame.onKeyDown(key);
}

}  // namespace qgui
