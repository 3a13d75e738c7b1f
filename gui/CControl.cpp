#include "gui/CControl.h"

#include "gui/CFrame.h"

namespace qgui {

CControl::CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* bitmap)
    : CView(size), listener(listener), tag(tag) {
    if (bitmap) setBackground(bitmap);
}

void CControl::setValueNormalized(float v) {
    if (v > 1.0f) v = 1.0f;
    if (v < 0.0f) v = 0.0f;
    setValue(getRange() * v + vmin);
}

float CControl::getValueNormalized() const {
    const float range = getRange();
    return range == 0.0f ? 0.0f : (value - vmin) / range;
}

void CControl::beginEdit() {
    if (editing++ > 0) return;
    if (listener) listener->controlBeginEdit(this);
    if (frame) frame->beginEdit(tag);
}

void CControl::endEdit() {
    if (editing == 0 || --editing > 0) return;
    if (frame) frame->endEdit(tag);
    if (listener) listener->controlEndEdit(this);
}

void CControl::valueChanged() {
    if (listener) listener->valueChanged(this);
}

void CControl::bounceValue() {
    if (value > vmax)
        value = vmax;
    else if (value < vmin)
        value = vmin;
}

bool CControl::checkDefaultValue(CButtonState buttons) {
    if (buttons.isLeftButton() && buttons.getModifierState() == kControl) {
        if (value != defaultValue) {
            value = defaultValue;
            valueChanged();
            invalid();
        }
        return true;
    }
    return false;
}

bool CControl::isDirty() const {
    return value != oldValue || CView::isDirty();
}

void CControl::setDirty(bool state) {
    CView::setDirty(state);
    if (!state) oldValue = value;
}

}  // namespace qgui
