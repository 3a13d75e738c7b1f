// The small control classes of both panels: the two-state panel button, the invisible page-switch
// area, the version label and the read-only value display. Each reports to the editor through
// its listener and is owned by the page it is added to. User-interface thread.
#pragma once

#include "gui/Toolkit.h"

// A button that toggles between off (value 0) and on (value 1) on each left click. The bitmap
// holds two frames of equal height, off above on; the button shows "on" from value 0.5 up.
// A click is one gesture for the host: beginEdit, the change, endEdit.
class CQRXOnOffButton : public qgui::CControl {
  public:
    CQRXOnOffButton(const qgui::CRect& size, qgui::CControlListener* listener, int32_t tag,
                    qgui::CBitmap* background);

    void draw(qgui::CDrawContext* context) override;
    qgui::CMouseEventResult onMouseDown(qgui::CPoint& where,
                                        const qgui::CButtonState& buttons) override;

    QGUI_CLASS_METHODS(CQRXOnOffButton, CControl)
};

// An invisible hot area: a left click flips its value between 0 and 1 and reports it (no
// beginEdit/endEdit; the editor turns it into a page switch).
class CViewContainerSwitch : public qgui::CControl {
  public:
    CViewContainerSwitch(const qgui::CRect& size, qgui::CControlListener* listener, int32_t tag);

    void draw(qgui::CDrawContext* context) override;
    qgui::CMouseEventResult onMouseDown(qgui::CPoint& where,
                                        const qgui::CButtonState& buttons) override;

    QGUI_CLASS_METHODS(CViewContainerSwitch, CControl)
};

// A fixed text, left-aligned, in black Arial 9 whatever font was set from outside.
class CLabel2 : public qgui::CParamDisplay {
  public:
    // `text` is copied (at most 255 characters).
    CLabel2(const qgui::CRect& size, const char* text);

    void draw(qgui::CDrawContext* context) override;
    const char* getLabelText() const { return text; }

    QGUI_CLASS_METHODS(CLabel2, CParamDisplay)

  private:
    char text[256] = {};
};

// A value display drawn over a piece of a panel bitmap: exactly a CParamDisplay that takes no
// input. It answers type queries as a CParamDisplay.
class CBackDisplay : public qgui::CParamDisplay {
  public:
    CBackDisplay(const qgui::CRect& size, qgui::CBitmap* background, int32_t style = 0);
};
