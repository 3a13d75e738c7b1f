// The film-strip knob of both panels. It follows the mouse straight (up and right increase,
// horizontal movement counting half; 300 pixels for the whole range, 1500 with Shift, and
// Shift may be pressed or released mid-drag without the value jumping), or around its centre
// (Alt inverts the frame's knob mode); a wheel notch moves it by 1/100 of the range (1/1000
// with Shift); Control-click sets its default value. User-interface thread.
#pragma once

#include "gui/Toolkit.h"

class CAnimKnob2 : public qgui::CAnimKnob {
  public:
    static constexpr float kDragPixels = 300.0f;
    static constexpr float kFineDragPixels = 1500.0f;

    // `offset` is accepted for the toolkit's signature and has no visible effect.
    CAnimKnob2(const qgui::CRect& size, qgui::CControlListener* listener, int32_t tag,
               int32_t subPixmaps, int32_t heightOfOneImage, qgui::CBitmap* background,
               const qgui::CPoint& offset = qgui::CPoint());

    qgui::CMouseEventResult onMouseDown(qgui::CPoint& where,
                                        const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseMoved(qgui::CPoint& where,
                                         const qgui::CButtonState& buttons) override;
    bool onWheel(const qgui::CPoint& where, const float& distance,
                 const qgui::CButtonState& buttons) override;

    bool isLinearDrag() const { return modeLinear; }

    QGUI_CLASS_METHODS(CAnimKnob2, CAnimKnob)

  private:
    float halfRange = 0.5f;  // (max - min) / 2: a larger jump in circular mode is a wrap
};
