// Rotary knobs. CKnob follows the mouse in the frame's knob mode: circular (the value follows
// the angle of the pointer around the centre), relative circular, or linear (up and right
// increase, 200 pixels for the whole range, five times finer with Shift). Control-click sets the
// default value. The value covers a 270-degree arc from bottom left (min) clockwise to bottom
// right (max). CAnimKnob shows one frame of a vertical film strip per value.
// User-interface thread.
#pragma once

#include "gui/CControl.h"

namespace qgui {

class CKnob : public CControl {
  public:
    CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
          CBitmap* handle, const CPoint& offset = CPoint());

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;

    // The value for a point given relative to the knob's top-left corner (circular tracking).
    virtual float valueFromPoint(CPoint& point) const;
    // The point on the handle's circle for the current value (relative to the top-left corner).
    virtual void valueToPoint(CPoint& point) const;

    void setStartAngle(float radians) { startAngle = radians; }
    float getStartAngle() const { return startAngle; }
    void setRangeAngle(float radians) { rangeAngle = radians; }
    float getRangeAngle() const { return rangeAngle; }
    void setZoomFactor(float f) { zoomFactor = f; }
    float getZoomFactor() const { return zoomFactor; }
    void setInsetValue(CCoord v) { inset = v; }
    void setColorHandle(const CColor& c) { colorHandle = c; }
    void setHandleBitmap(CBitmap* bitmap);

    QGUI_CLASS_METHODS(CKnob, CControl)

  protected:
    ~CKnob() override;
    virtual void drawHandle(CDrawContext* context);

    CPoint offset;
    CBitmap* handle = nullptr;
    float startAngle;
    float rangeAngle;
    float zoomFactor = 5.0f;
    CCoord inset = 3;
    CColor colorHandle = kWhiteCColor;

    // Drag state.
    CPoint firstPoint;
    CPoint lastPoint;
    float startValue = 0;
    float entryValue = 0;
    float range = 200;
    float coef = 0;
    int32_t oldButton = 0;
    bool modeLinear = false;
};

class CAnimKnob : public CKnob, public IMultiBitmapControl {
  public:
    CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
              CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint());
    // The frame count follows from the bitmap's height and the view's height.
    CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
              const CPoint& offset = CPoint());

    void draw(CDrawContext* context) override;
    // The film-strip frame shown for the current value: floor(normalised x (frames - 1)).
    int32_t getFrameIndex() const;
    void setInverseBitmap(bool state) { inverseBitmap = state; }

    QGUI_CLASS_METHODS(CAnimKnob, CKnob)

  protected:
    bool inverseBitmap = false;
};

}  // namespace qgui
