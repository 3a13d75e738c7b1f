#include "editor/PanelControls.h"

#include <cstring>

using namespace qgui;

// ---- CQRXOnOffButton

CQRXOnOffButton::CQRXOnOffButton(const CRect& size, CControlListener* listener, int32_t tag,
                                 CBitmap* background)
    : CControl(size, listener, tag, background) {}

void CQRXOnOffButton::draw(CDrawContext* context) {
    if (background) {
        const CPoint source(0, value >= 0.5f ? background->getHeight() * 0.5 : 0.0);
        background->draw(context, size, source);
    }
    setDirty(false);
}

CMouseEventResult CQRXOnOffButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    value = static_cast<int>(value + 0.5f) == 0 ? 1.0f : 0.0f;
    beginEdit();
    if (listener) listener->valueChanged(this);
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// ---- CViewContainerSwitch

CViewContainerSwitch::CViewContainerSwitch(const CRect& size, CControlListener* listener,
                                           int32_t tag)
    : CControl(size, listener, tag) {}

void CViewContainerSwitch::draw(CDrawContext*) {
    setDirty(false);
}

CMouseEventResult CViewContainerSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    value = value == 0.0f ? 1.0f : 0.0f;
    if (listener) listener->valueChanged(this);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// ---- CLabel2

CLabel2::CLabel2(const CRect& size, const char* txt) : CParamDisplay(size) {
    if (txt) std::strncpy(text, txt, sizeof text - 1);
}

void CLabel2::draw(CDrawContext* context) {
    context->setFont(kNormalFontVerySmall);
    context->setFontColor(kBlackCColor);
    context->drawString(text, size, kLeftText, true);
    setDirty(false);
}

// ---- CBackDisplay

CBackDisplay::CBackDisplay(const CRect& size, CBitmap* background, int32_t style)
    : CParamDisplay(size, background, style) {}
