// Push-button style controls. CKickButton is max while the left button is held over it and
// reports max then min when released. CRockerSwitch (min -1, max 1, rest 0) goes to min or max
// by the half that is pressed and back to rest on release. CVerticalSwitch divides its height
// into positions and takes the value of the position clicked or dragged to. Each draws one image
// of a vertical strip. User-interface thread.
#pragma once

#include "gui/CControl.h"

namespace qgui {

class CKickButton : public CControl, public IMultiBitmapControl {
  public:
    // Two images of the view's height: released, pressed.
    CKickButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                const CPoint& offset = CPoint());
    CKickButton(const CRect& size, CControlListener* listener, int32_t tag, CCoord heightOfOneImage,
                CBitmap* background, const CPoint& offset = CPoint());

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;

    QGUI_CLASS_METHODS(CKickButton, CControl)

  protected:
    CPoint offset;
    float entryState = 0;
};

enum { kHorizontal = 1 << 0, kVertical = 1 << 1 };

class CRockerSwitch : public CControl, public IMultiBitmapControl {
  public:
    // Three images of the view's height: min, rest, max.
    CRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                  const CPoint& offset = CPoint(), int32_t style = kHorizontal);
    CRockerSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                  CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(),
                  int32_t style = kHorizontal);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    int32_t getStyle() const { return style; }

    QGUI_CLASS_METHODS(CRockerSwitch, CControl)

  protected:
    CPoint offset;
    int32_t style;
    float entryState = 0;
};

class CVerticalSwitch : public CControl, public IMultiBitmapControl {
  public:
    // As many positions as the bitmap holds images of the view's height.
    CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                    const CPoint& offset = CPoint());
    CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                    CCoord heightOfOneImage, int32_t maxPositions, CBitmap* background,
                    const CPoint& offset = CPoint());

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    int32_t getMaxPositions() const { return maxPositions; }

    QGUI_CLASS_METHODS(CVerticalSwitch, CControl)

  protected:
    CPoint offset;
    int32_t maxPositions;
    double coef = 0;
};

}  // namespace qgui
