// The three small control classes of the preset bar. Each draws one image of a vertical strip
// (images of equal height, image 0 at the top) and reports to the editor's valueChanged.
//
// CPSKickButton (store/recall memo, store/clear default): image 0 at rest, 1 under the mouse,
// 2 while pressed. A left press reports 1.0; a button that needs a double-click ignores single
// clicks and reports 0.5 when Control is held during the double-click (the "clear" gesture).
// Release sets the value back to 0 without reporting it.
//
// CSaveLoadButton (load/save preset or bank): a left or right click reports 1.0, or 0.5 for a
// right click alone (the endian-reversed load); the listener runs the modal file dialog inside
// that call, then the value drops back to 0. Image 2 while the value is not 0, 1 under the
// mouse, else 0.
//
// CPSRockerSwitch (previous/next program, horizontal): a left press reports -1 on the left half
// and +1 on the right half; release sets 0 without reporting. Five images: 0 rest, 1 left half
// hovered, 2 right half hovered, 3 left pressed, 4 right pressed.
//
// User-interface thread only.
#pragma once

#include "gui/CButtons.h"

class CPSKickButton : public qgui::CKickButton {
  public:
    // `background` holds three images of `heightOfOneImage` pixels.
    CPSKickButton(const qgui::CRect& size, qgui::CControlListener* listener, int32_t tag,
                  qgui::CCoord heightOfOneImage, qgui::CBitmap* background, bool needsDoubleClick);

    void draw(qgui::CDrawContext* context) override;
    qgui::CMouseEventResult onMouseDown(qgui::CPoint& where,
                                        const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseUp(qgui::CPoint& where,
                                      const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseMoved(qgui::CPoint& where,
                                         const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseEntered(qgui::CPoint& where,
                                           const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseExited(qgui::CPoint& where,
                                          const qgui::CButtonState& buttons) override;

    // The strip image drawn now (0 rest, 1 hovered, 2 pressed).
    int imageIndex() const;
    bool needsDoubleClick() const { return doubleClick; }

    QGUI_CLASS_METHODS(CPSKickButton, CKickButton)

  private:
    void redraw();

    bool hovered = false;
    bool pressed = false;
    const bool doubleClick;
};

class CSaveLoadButton : public qgui::CKickButton {
  public:
    // `background` holds three images of `heightOfOneImage` pixels.
    CSaveLoadButton(const qgui::CRect& size, qgui::CControlListener* listener, int32_t tag,
                    qgui::CCoord heightOfOneImage, qgui::CBitmap* background);

    void draw(qgui::CDrawContext* context) override;
    qgui::CMouseEventResult onMouseDown(qgui::CPoint& where,
                                        const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseUp(qgui::CPoint& where,
                                      const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseMoved(qgui::CPoint& where,
                                         const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseEntered(qgui::CPoint& where,
                                           const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseExited(qgui::CPoint& where,
                                          const qgui::CButtonState& buttons) override;

    // The strip image drawn now (0 rest, 1 hovered, 2 while the dialog runs).
    int imageIndex() const;

    QGUI_CLASS_METHODS(CSaveLoadButton, CKickButton)

  private:
    void redraw();

    bool hovered = false;
};

class CPSRockerSwitch : public qgui::CRockerSwitch {
  public:
    // `background` holds five images of `heightOfOneImage` pixels.
    CPSRockerSwitch(const qgui::CRect& size, qgui::CControlListener* listener, int32_t tag,
                    qgui::CCoord heightOfOneImage, qgui::CBitmap* background);

    void draw(qgui::CDrawContext* context) override;
    qgui::CMouseEventResult onMouseDown(qgui::CPoint& where,
                                        const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseUp(qgui::CPoint& where,
                                      const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseMoved(qgui::CPoint& where,
                                         const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseEntered(qgui::CPoint& where,
                                           const qgui::CButtonState& buttons) override;
    qgui::CMouseEventResult onMouseExited(qgui::CPoint& where,
                                          const qgui::CButtonState& buttons) override;

    // The strip image drawn now (see the top of this file).
    int imageIndex() const;
    // -1 left half under the mouse, +1 right half, 0 neither.
    int hoveredHalf() const { return hovered; }

    QGUI_CLASS_METHODS(CPSRockerSwitch, CRockerSwitch)

  private:
    // -1 for a point (parent coordinates) left of the horizontal middle, else +1.
    int halfAt(const qgui::CPoint& where) const;
    void redraw();

    int hovered = 0;
};
