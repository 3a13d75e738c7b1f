// Helpers of the toolkit tests: a recording listener, pixel reads from a frame's offscreen
// image, and mouse gestures given to a frame as the window would.
#pragma once

#include <cstdlib>
#include <vector>

#include "gui/Toolkit.h"

namespace guitest {

using namespace qgui;

struct RecordingListener : CControlListener {
    std::vector<float> values;  // control value at each valueChanged
    std::vector<int32_t> tags;
    int beginEdits = 0;
    int endEdits = 0;
    void valueChanged(CControl* c) override {
        values.push_back(c->getValue());
        tags.push_back(c->getTag());
    }
    void controlBeginEdit(CControl*) override { ++beginEdits; }
    void controlEndEdit(CControl*) override { ++endEdits; }
};

using Pixel = SurfacePixel;

// The un-premultiplied colour of pixel (x, y) of an image.
inline Pixel pixelAt(NativeSurface* s, int x, int y) {
    return surfacePixel(s, x, y);
}

inline bool near(const Pixel& p, int r, int g, int b, int tolerance = 8) {
    return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance &&
           std::abs(p.b - b) <= tolerance;
}

inline void click(CFrame* frame, CCoord x, CCoord y, int32_t buttons = kLButton) {
    CPoint p(x, y);
    frame->onMouseMoved(p, CButtonState(buttons & ~(kLButton | kRButton | kMButton)));
    p = CPoint(x, y);
    frame->onMouseDown(p, CButtonState(buttons));
    p = CPoint(x, y);
    frame->onMouseUp(p, CButtonState(buttons));
}

inline void drag(CFrame* frame, CPoint from, CPoint to, int32_t buttons = kLButton,
                 int steps = 10) {
    CPoint p = from;
    frame->onMouseDown(p, CButtonState(buttons));
    for (int i = 1; i <= steps; ++i) {
        CPoint q(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps);
        frame->onMouseMoved(q, CButtonState(buttons));
    }
    p = to;
    frame->onMouseUp(p, CButtonState(buttons));
}

inline VstKeyCode character(char c) {
    return VstKeyCode{c, 0, 0};
}
inline VstKeyCode virtualKey(unsigned char v) {
    return VstKeyCode{0, v, 0};
}

}  // namespace guitest
