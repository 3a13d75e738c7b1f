#include "presets/PresetBarControls.h"

#include "gui/CBitmap.h"

using namespace qgui;

namespace {

// Draws image `index` of a vertical strip into `size`.
void drawImage(CBitmap* strip, CDrawContext* context, const CRect& size, CCoord imageHeight,
               int index) {
    if (strip) strip->draw(context, size, CPoint(0, index * imageHeight));
}

}  // namespace

// ---- CPSKickButton

CPSKickButton::CPSKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                             CCoord heightOfOneImage, CBitmap* background, bool needsDoubleClick)
    : CKickButton(size, listener, tag, heightOfOneImage, background),
      doubleClick(needsDoubleClick) {
    setNumSubPixmaps(3);
}

int CPSKickButton::imageIndex() const {
    if (pressed) return 2;
    return hovered ? 1 : 0;
}

void CPSKickButton::draw(CDrawContext* context) {
    drawImage(background, context, size, heightOfOneImage, imageIndex());
    setDirty(false);
}

void CPSKickButton::redraw() {
    setDirty();
    invalid();
}

CMouseEventResult CPSKickButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    // The default buttons act on a double-click only, so a stray click never overwrites or
    // deletes a stored default.
    if (doubleClick && !buttons.isDoubleClick())
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    pressed = true;
    value = (doubleClick && (buttons & kControl)) ? 0.5f : 1.0f;
    valueChanged();
    redraw();
    return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseUp(CPoint& where, const CButtonState& buttons) {
    value = 0;
    pressed = false;
    redraw();
    return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    // The press has already acted; moving off the button does not take it back.
    return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseEntered(CPoint& where, const CButtonState& buttons) {
    hovered = true;
    redraw();
    return kMouseEventHandled;
}

CMouseEventResult CPSKickButton::onMouseExited(CPoint& where, const CButtonState& buttons) {
    hovered = false;
    redraw();
    return kMouseEventHandled;
}

// ---- CSaveLoadButton

CSaveLoadButton::CSaveLoadButton(const CRect& size, CControlListener* listener, int32_t tag,
                                 CCoord heightOfOneImage, CBitmap* background)
    : CKickButton(size, listener, tag, heightOfOneImage, background) {
    setNumSubPixmaps(3);
}

int CSaveLoadButton::imageIndex() const {
    if (value != 0) return 2;
    return hovered ? 1 : 0;
}

void CSaveLoadButton::draw(CDrawContext* context) {
    drawImage(background, context, size, heightOfOneImage, imageIndex());
    setDirty(false);
}

void CSaveLoadButton::redraw() {
    setDirty();
    invalid();
}

CMouseEventResult CSaveLoadButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() && !buttons.isRightButton()) return kMouseEventNotHandled;
    if (!listener) return kMouseEventNotHandled;
    // A right click alone asks for the endian-reversed variant (meaningful for loading only).
    value = buttons.getButtonState() == kRButton ? 0.5f : 1.0f;
    redraw();
    valueChanged();  // runs the modal file dialog
    value = 0;
    redraw();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMouseEventResult CSaveLoadButton::onMouseUp(CPoint& where, const CButtonState& buttons) {
    return kMouseEventHandled;
}

CMouseEventResult CSaveLoadButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    return kMouseEventHandled;
}

CMouseEventResult CSaveLoadButton::onMouseEntered(CPoint& where, const CButtonState& buttons) {
    hovered = true;
    redraw();
    return kMouseEventHandled;
}

CMouseEventResult CSaveLoadButton::onMouseExited(CPoint& where, const CButtonState& buttons) {
    hovered = false;
    redraw();
    return kMouseEventHandled;
}

// ---- CPSRockerSwitch

CPSRockerSwitch::CPSRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                                 CCoord heightOfOneImage, CBitmap* background)
    : CRockerSwitch(size, listener, tag, heightOfOneImage, background, CPoint(), kHorizontal) {
    setNumSubPixmaps(5);
}

int CPSRockerSwitch::halfAt(const CPoint& where) const {
    return where.x < size.left + size.getWidth() / 2 ? -1 : 1;
}

int CPSRockerSwitch::imageIndex() const {
    if (value == -1) return 3;
    if (value == 1) return 4;
    if (hovered < 0) return 1;
    return hovered > 0 ? 2 : 0;
}

void CPSRockerSwitch::draw(CDrawContext* context) {
    drawImage(background, context, size, heightOfOneImage, imageIndex());
    setDirty(false);
}

void CPSRockerSwitch::redraw() {
    setDirty();
    invalid();
}

CMouseEventResult CPSRockerSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    value = static_cast<float>(halfAt(where));
    redraw();
    valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseUp(CPoint& where, const CButtonState& buttons) {
    value = 0;
    redraw();
    return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    // While the button is held the pressed half stays shown; the step has already happened.
    if (buttons.isLeftButton()) return kMouseEventHandled;
    const int half = halfAt(where);
    if (half != hovered) {
        hovered = half;
        redraw();
    }
    return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseEntered(CPoint& where, const CButtonState& buttons) {
    hovered = halfAt(where);
    redraw();
    return kMouseEventHandled;
}

CMouseEventResult CPSRockerSwitch::onMouseExited(CPoint& where, const CButtonState& buttons) {
    hovered = 0;
    redraw();
    return kMouseEventHandled;
}
