// A text field edited in place with the keyboard. A left click gives it the keyboard focus; the
// whole text is then selected, so typing replaces it. Return (or Enter) commits, and so does
// losing the focus (a click elsewhere, removal from the frame); Escape cancels and restores the
// text. A commit stores the text and reports it to the listener. Keys come from the frame's
// window or from the host (effEditKeyDown). User-interface thread.
#pragma once

#include <string>

#include "gui/CParamDisplay.h"

namespace qgui {

class CTextEdit : public CParamDisplay {
  public:
    CTextEdit(const CRect& size, CControlListener* listener, int32_t tag,
              const char* text = nullptr, CBitmap* background = nullptr, int32_t style = 0);

    virtual void setText(const char* text);
    const char* getText() const { return text.c_str(); }
    // Copies the text into `out` (at most 255 bytes and the terminator).
    void getText(char* out) const;

    bool isEditing() const { return editingText; }
    // The text being typed (equal to getText() when not editing).
    const char* getEditText() const { return editingText ? edit.c_str() : text.c_str(); }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    void takeFocus() override;
    void looseFocus() override;

    QGUI_CLASS_METHODS(CTextEdit, CParamDisplay)

  protected:
    static constexpr size_t kMaxBytes = 255;

    std::string text;
    std::string edit;  // text while typing
    size_t caret = 0;  // byte position in `edit`
    bool allSelected = false;
    bool editingText = false;
    bool cancelled = false;
};

}  // namespace qgui
