#include "editor/CAnimKnob2.h"

using namespace qgui;

// Drag state lives in CKnob's protected members: firstPoint (start point), entryValue,
// oldButton (buttons at the start), modeLinear, range (pixels), coef (value per pixel) and
// startValue (circular tracking).

CAnimKnob2::CAnimKnob2(const CRect& size, CControlListener* listener, int32_t tag,
                       int32_t subPixmaps, int32_t heightOfOneImage, CBitmap* background,
                       const CPoint& offset)
    : CAnimKnob(size, listener, tag, subPixmaps, static_cast<CCoord>(heightOfOneImage), background,
                offset) {}

CMouseEventResult CAnimKnob2::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !listener) return kMouseEventNotHandled;
    beginEdit();
    if (buttons & kControl) {
        const float before = value;
        value = defaultValue;
        if (value != before) listener->valueChanged(this);
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    modeLinear = false;
    startValue = oldValue;
    entryValue = value;
    range = kDragPixels;
    oldButton = buttons;
    halfRange = (vmax - vmin) * 0.5f;
    coef = (vmax - vmin) / range;

    const int32_t mode = frame ? frame->getKnobMode() : kCircularMode;
    const bool alt = (buttons & kAlt) != 0;
    const bool linear = mode == kLinearMode ? !alt : alt;
    if (linear) {
        if (buttons & kShift) range = kFineDragPixels;
        firstPoint = where;
        modeLinear = true;
        coef = (vmax - vmin) / range;
    } else {
        CPoint local(where);
        local.offset(-size.left, -size.top);
        startValue = valueFromPoint(local);
    }
    return onMouseMoved(where, buttons);
}

CMouseEventResult CAnimKnob2::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    // Only inside a drag: a move that merely passes over the knob changes nothing.
    if (!buttons.isLeftButton() || !isEditing()) return kMouseEventNotHandled;
    const float before = value;
    if (modeLinear) {
        const double distance = 0.5 * (where.x - firstPoint.x) + (firstPoint.y - where.y);
        if (static_cast<int32_t>(buttons) != oldButton) {
            // Shift pressed or released: keep the value where it is, change only the speed.
            range = (buttons & kShift) ? kFineDragPixels : kDragPixels;
            const float newCoef = (vmax - vmin) / range;
            entryValue += static_cast<float>(distance * (coef - newCoef));
            coef = newCoef;
            oldButton = buttons;
        }
        value = static_cast<float>(entryValue + distance * coef);
        bounceValue();
    } else {
        CPoint local(where);
        local.offset(-size.left, -size.top);
        const float v = valueFromPoint(local);
        if (startValue - v > halfRange) {
            value = vmax;  // wrapped past the top end: stay there
        } else if (v - startValue > halfRange) {
            value = vmin;
        } else {
            value = v;
            startValue = v;
        }
    }
    if (value != before) {
        invalid();
        if (listener) listener->valueChanged(this);
    }
    return kMouseEventHandled;
}

bool CAnimKnob2::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    const float before = value;
    value += distance * ((buttons & kShift) ? 0.001f : 0.01f);
    bounceValue();
    if (value != before && listener) {
        invalid();
        beginEdit();
        listener->valueChanged(this);
        endEdit();
    }
    return true;
}
