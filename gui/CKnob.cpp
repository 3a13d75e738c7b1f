#include "gui/CKnob.h"

#include <cmath>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"
#include "gui/VstKeys.h"

namespace qgui {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr float kLinearRangePixels = 200.0f;
}  // namespace

CKnob::CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
             CBitmap* handleBitmap, const CPoint& offset)
    : CControl(size, listener, tag, background),
      offset(offset),
      startAngle(static_cast<float>(5.0 * kPi / 4.0)),
      rangeAngle(static_cast<float>(-3.0 * kPi / 2.0)) {
    setHandleBitmap(handleBitmap);
    setWantsFocus(false);
    wheelInc = 0.1f;
}

CKnob::~CKnob() {
    if (handle) handle->forget();
}

void CKnob::setHandleBitmap(CBitmap* bitmap) {
    if (bitmap) bitmap->remember();
    if (handle) handle->forget();
    handle = bitmap;
}

void CKnob::draw(CDrawContext* context) {
    if (background) background->draw(context, size, offset);
    drawHandle(context);
    setDirty(false);
}

void CKnob::drawHandle(CDrawContext* context) {
    CPoint where;
    valueToPoint(where);
    if (handle) {
        const CCoord w = handle->getWidth(), h = handle->getHeight();
        CRect r(size.left + where.x - w / 2, size.top + where.y - h / 2, 0, 0);
        r.setWidth(w).setHeight(h);
        handle->draw(context, r);
        return;
    }
    CPoint origin(size.getWidth() / 2, size.getHeight() / 2);
    context->setDrawMode(kAntiAliasing);
    context->setLineWidth(1);
    context->setFrameColor(colorHandle);
    context->drawLine(origin.offset(size.left, size.top), where.offset(size.left, size.top));
}

void CKnob::valueToPoint(CPoint& point) const {
    const double alpha = startAngle + getValueNormalized() * rangeAngle;
    const CPoint c(size.getWidth() / 2, size.getHeight() / 2);
    const double radius = std::min(c.x, c.y) - inset;
    point.x = c.x + std::cos(alpha) * radius;
    point.y = c.y - std::sin(alpha) * radius;
}

float CKnob::valueFromPoint(CPoint& point) const {
    const double d = rangeAngle * 0.5;
    const double middle = startAngle + d;  // angle of the middle value
    const CPoint c(size.getWidth() / 2, size.getHeight() / 2);
    const double dx = (point.x - c.x) / c.x;
    const double dy = (c.y - point.y) / c.y;  // y grows downwards on screen
    double alpha = std::atan2(dy, dx) - middle;
    while (alpha >= kPi) alpha -= 2 * kPi;
    while (alpha < -kPi) alpha += 2 * kPi;
    double half = d;
    if (half < 0) {
        alpha = -alpha;
        half = -half;
    }
    double v = alpha / half;  // -1 .. 1 across the arc
    if (v > 1) v = 1;
    if (v < -1) v = -1;
    return static_cast<float>(vmin + (v + 1) / 2 * (vmax - vmin));
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    beginEdit();
    if (checkDefaultValue(buttons)) {
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    firstPoint = where;
    lastPoint = CPoint(-1, -1);
    startValue = oldValue;
    modeLinear = false;
    entryValue = value;
    range = kLinearRangePixels;
    coef = (vmax - vmin) / range;
    oldButton = buttons;
    const int32_t mode = frame ? frame->getKnobMode() : kCircularMode;
    const bool alt = (buttons & kAlt) != 0;
    if ((mode == kLinearMode && !alt) || (mode != kLinearMode && alt)) {
        if (buttons & kShift) range *= zoomFactor;
        lastPoint = where;
        modeLinear = true;
        coef = (vmax - vmin) / range;
    } else {
        CPoint where2(where);
        where2.offset(-size.left, -size.top);
        startValue = valueFromPoint(where2);
        lastPoint = where;
    }
    return onMouseMoved(where, buttons);
}

CMouseEventResult CKnob::onMouseUp(CPoint& where, const CButtonState& buttons) {
    endEdit();
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !isEditing()) return kMouseEventNotHandled;
    const float before = value;
    if (modeLinear) {
        const CCoord diff = (firstPoint.y - where.y) + (where.x - firstPoint.x);
        if (static_cast<int32_t>(buttons) != oldButton) {
            range = kLinearRangePixels;
            if (buttons & kShift) range *= zoomFactor;
            const float coef2 = (vmax - vmin) / range;
            entryValue += static_cast<float>(diff * (coef - coef2));
            coef = coef2;
            oldButton = buttons;
        }
        value = static_cast<float>(entryValue + diff * coef);
        bounceValue();
    } else {
        CPoint where2(where);
        where2.offset(-size.left, -size.top);
        const int32_t mode = frame ? frame->getKnobMode() : kCircularMode;
        if (mode == kRelativCircularMode) {
            const float v = valueFromPoint(where2);
            value = entryValue + (v - startValue);
            bounceValue();
        } else {
            value = valueFromPoint(where2);
        }
    }
    if (value != before) {
        invalid();
        valueChanged();
    }
    return kMouseEventHandled;
}

bool CKnob::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    float v = getValueNormalized();
    v += (buttons & kShift) ? 0.1f * distance * wheelInc : distance * wheelInc;
    const float before = value;
    setValueNormalized(v);
    if (value != before) {
        invalid();
        beginEdit();
        valueChanged();
        endEdit();
    }
    return true;
}

int32_t CKnob::onKeyDown(VstKeyCode& keyCode) {
    float step = 0;
    if (keyCode.virt == VKEY_UP || keyCode.virt == VKEY_RIGHT) step = wheelInc;
    if (keyCode.virt == VKEY_DOWN || keyCode.virt == VKEY_LEFT) step = -wheelInc;
    if (step == 0) return -1;
    if (keyCode.modifier & MODIFIER_SHIFT) step *= 0.1f;
    const float before = value;
    setValueNormalized(getValueNormalized() + step);
    if (value != before) {
        invalid();
        beginEdit();
        valueChanged();
        endEdit();
    }
    return 1;
}

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                     CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset) {
    setNumSubPixmaps(subPixmaps);
    setHeightOfOneImage(heightOfOneImage);
}

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag,
                     CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, nullptr, offset) {
    setHeightOfOneImage(size.getHeight());
    setNumSubPixmaps(background && size.getHeight() > 0
                         ? static_cast<int32_t>(background->getHeight() / size.getHeight())
                         : 0);
}

int32_t CAnimKnob::getFrameIndex() const {
    if (subPixmaps <= 1) return 0;
    float v = getValueNormalized();
    if (v < 0) v = 0;
    if (v > 1) v = 1;
    if (inverseBitmap) v = 1 - v;
    const auto index = static_cast<int32_t>(std::floor(v * static_cast<float>(subPixmaps - 1)));
    return std::min(index, subPixmaps - 1);
}

void CAnimKnob::draw(CDrawContext* context) {
    if (background) {
        const CPoint where(0, heightOfOneImage * getFrameIndex());  // the offset is not used
        background->draw(context, size, where);
    }
    setDirty(false);
}

}  // namespace qgui
