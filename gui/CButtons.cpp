#include "gui/CButtons.h"

#include <algorithm>
#include <cmath>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

namespace qgui {

// ---- CKickButton

CKickButton::CKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                         CBitmap* background, const CPoint& offset)
    : CKickButton(size, listener, tag, size.getHeight(), background, offset) {}

CKickButton::CKickButton(const CRect& size, CControlListener* listener, int32_t tag,
                         CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), offset(offset) {
    setHeightOfOneImage(heightOfOneImage);
    setNumSubPixmaps(2);
}

void CKickButton::draw(CDrawContext* context) {
    CPoint where(offset);
    bounceValue();
    if (value == vmax) where.y += heightOfOneImage;
    if (background) background->draw(context, size, where);
    setDirty(false);
}

CMouseEventResult CKickButton::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    entryState = value;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CKickButton::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (buttons.isLeftButton() && isEditing()) {
        value = size.pointInside(where) ? vmax : vmin;
        if (isDirty()) invalid();
        return kMouseEventHandled;
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (!isEditing()) return kMouseEventNotHandled;
    // Released over the button: the listener sees max, then min.
    if (value != vmin) valueChanged();
    value = vmin;
    valueChanged();
    if (isDirty()) invalid();
    endEdit();
    return kMouseEventHandled;
}

// ---- CRockerSwitch

CRockerSwitch::CRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                             CBitmap* background, const CPoint& offset, int32_t style)
    : CRockerSwitch(size, listener, tag, size.getHeight(), background, offset, style) {}

CRockerSwitch::CRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                             CCoord heightOfOneImage, CBitmap* background, const CPoint& offset,
                             int32_t style)
    : CControl(size, listener, tag, background), offset(offset), style(style) {
    setHeightOfOneImage(heightOfOneImage);
    setNumSubPixmaps(3);
    vmin = -1;
    vmax = 1;
    value = 0;
    defaultValue = 0;
}

void CRockerSwitch::draw(CDrawContext* context) {
    CPoint where(offset);
    bounceValue();
    if (value == vmax)
        where.y += 2 * heightOfOneImage;
    else if (value != vmin)
        where.y += heightOfOneImage;
    if (background) background->draw(context, size, where);
    setDirty(false);
}

CMouseEventResult CRockerSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    entryState = value;
    beginEdit();
    return onMouseMoved(where, buttons);
}

CMouseEventResult CRockerSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !isEditing()) return kMouseEventNotHandled;
    const float before = value;
    if (style & kHorizontal)
        value = where.x >= size.left + size.getWidth() / 2 ? vmax : vmin;
    else
        value = where.y >= size.top + size.getHeight() / 2 ? vmin : vmax;
    if (!size.pointInside(where)) value = entryState;
    if (value != before) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CRockerSwitch::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (!isEditing()) return kMouseEventNotHandled;
    const float before = value;
    value = (vmax - vmin) / 2 + vmin;
    if (value != before) {
        valueChanged();
        invalid();
    }
    endEdit();
    return kMouseEventHandled;
}

bool CRockerSwitch::onWheel(const CPoint& where, const float& distance,
                            const CButtonState& buttons) {
    if (distance == 0) return false;
    beginEdit();
    value = distance > 0 ? vmax : vmin;
    valueChanged();
    value = (vmax - vmin) / 2 + vmin;
    valueChanged();
    invalid();
    endEdit();
    return true;
}

// ---- CVerticalSwitch

CVerticalSwitch::CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                                 CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), offset(offset) {
    setHeightOfOneImage(size.getHeight());
    setNumSubPixmaps(background && size.getHeight() > 0
                         ? static_cast<int32_t>(background->getHeight() / size.getHeight())
                         : 0);
    maxPositions = subPixmaps;
    defaultValue = 0;
}

CVerticalSwitch::CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                                 int32_t subPixmaps, CCoord heightOfOneImage, int32_t maxPositions,
                                 CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), offset(offset), maxPositions(maxPositions) {
    setNumSubPixmaps(subPixmaps);
    setHeightOfOneImage(heightOfOneImage);
    defaultValue = 0;
}

void CVerticalSwitch::draw(CDrawContext* context) {
    if (background) {
        CPoint where(offset);
        bounceValue();
        const int32_t images = std::max(1, subPixmaps);
        where.y +=
            heightOfOneImage *
            static_cast<int32_t>(getValueNormalized() * static_cast<float>(images - 1) + 0.5f);
        background->draw(context, size, where);
    }
    setDirty(false);
}

CMouseEventResult CVerticalSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    // The view's height is split evenly between the positions.
    coef = size.getHeight() / std::max(1, maxPositions);
    beginEdit();
    if (checkDefaultValue(buttons)) {
        endEdit();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    return onMouseMoved(where, buttons);
}

CMouseEventResult CVerticalSwitch::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || !isEditing()) return kMouseEventNotHandled;
    const int32_t positions = std::max(2, maxPositions);
    int32_t position = static_cast<int32_t>(std::floor((where.y - size.top) / coef));
    position = std::clamp(position, 0, positions - 1);
    const float normalized = static_cast<float>(position) / static_cast<float>(positions - 1);
    const float before = value;
    value = vmin + normalized * (vmax - vmin);
    bounceValue();
    if (value != before) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSwitch::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (!isEditing()) return kMouseEventNotHandled;
    endEdit();
    return kMouseEventHandled;
}

}  // namespace qgui
