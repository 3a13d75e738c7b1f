#include "gui/CTextEdit.h"

#include <cmath>
#include <cstring>

#include "gui/CFrame.h"
#include "gui/VstKeys.h"

namespace qgui {

namespace {

// UTF-8 bytes of one code point.
std::string utf8Of(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x110000) {
        s += static_cast<char>(0xF0 | (cp >> 18));
        s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

size_t previousChar(const std::string& s, size_t pos) {
    if (pos == 0) return 0;
    --pos;
    while (pos > 0 && isContinuation(s[pos])) --pos;
    return pos;
}

size_t nextChar(const std::string& s, size_t pos) {
    if (pos >= s.size()) return s.size();
    ++pos;
    while (pos < s.size() && isContinuation(s[pos])) ++pos;
    return pos;
}

}  // namespace

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, int32_t tag, const char* txt,
                     CBitmap* background, int32_t style)
    : CParamDisplay(size, background, style) {
    this->listener = listener;
    this->tag = tag;
    setWantsFocus(true);
    setText(txt);
}

void CTextEdit::setText(const char* txt) {
    std::string s = txt ? txt : "";
    if (s.size() > kMaxBytes) s.resize(previousChar(s, kMaxBytes + 1));
    if (s == text) return;
    text = s;
    setDirty();
}

void CTextEdit::getText(char* out) const {
    std::strncpy(out, text.c_str(), kMaxBytes);
    out[kMaxBytes] = 0;
}

void CTextEdit::draw(CDrawContext* context) {
    if (!editingText) {
        drawBack(context);
        drawText(context, text.c_str());
        setDirty(false);
        return;
    }
    // The entry box: back colour, frame, text, and the selection or the caret.
    context->setFillColor(backColor);
    context->drawRect(size, kDrawFilled);
    context->setLineWidth(1);
    context->setLineStyle(kLineSolid);
    context->setFrameColor(frameColor);
    context->drawRect(size);
    context->setFont(font);
    const CCoord textWidth = context->getStringWidth(edit.c_str());
    CCoord x = size.left + 2;
    if (horiAlign == kCenterText)
        x = size.left + (size.getWidth() - textWidth) / 2;
    else if (horiAlign == kRightText)
        x = size.right - 2 - textWidth;
    const CRect textRect(x, size.top, x + textWidth + 1, size.bottom);
    if (allSelected && !edit.empty()) {
        CRect sel(textRect);
        sel.inset(-1, 2);
        context->setFillColor(MakeCColor(90, 120, 170));
        context->drawRect(sel, kDrawFilled);
        context->setFontColor(kWhiteCColor);
    } else {
        context->setFontColor(fontColor);
    }
    context->drawString(edit.c_str(), textRect, kLeftText, antialias);
    if (!allSelected || edit.empty()) {
        const CCoord cx = x + context->getStringWidth(edit.substr(0, caret).c_str());
        context->setFrameColor(fontColor);
        context->drawLine(CPoint(std::round(cx), size.top + 2),
                          CPoint(std::round(cx), size.bottom - 3));
    }
    setDirty(false);
}

CMouseEventResult CTextEdit::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if ((style & kDoubleClickStyle) && !buttons.isDoubleClick() && !editingText)
        return kMouseEventNotHandled;
    if (!editingText) {
        if (frame) frame->setFocusView(this);
    } else if (frame && frame->getFocusView() == this) {
        // A second click in the field drops the selection and puts the caret at the end.
        allSelected = false;
        caret = edit.size();
        invalid();
    }
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTextEdit::takeFocus() {
    if (editingText) return;
    beginEdit();
    edit = text;
    caret = edit.size();
    allSelected = true;
    editingText = true;
    cancelled = false;
    invalid();
}

void CTextEdit::looseFocus() {
    if (!editingText) return;
    editingText = false;
    if (!cancelled) {
        text = edit;
        // Reported even when unchanged: the user confirmed the text.
        valueChanged();
    }
    cancelled = false;
    setDirty();
    invalid();
    endEdit();
}

int32_t CTextEdit::onKeyDown(VstKeyCode& key) {
    if (!editingText) return -1;
    switch (key.virt) {
        case VKEY_RETURN:
        case VKEY_ENTER:
            if (frame && frame->getFocusView() == this)
                frame->setFocusView(nullptr);
            else
                looseFocus();
            return 1;
        case VKEY_ESCAPE:
            cancelled = true;
            if (frame && frame->getFocusView() == this)
                frame->setFocusView(nullptr);
            else
                looseFocus();
            return 1;
        case VKEY_BACK:
            if (allSelected) {
                edit.clear();
                caret = 0;
            } else if (caret > 0) {
                const size_t from = previousChar(edit, caret);
                edit.erase(from, caret - from);
                caret = from;
            }
            break;
        case VKEY_DELETE:
            if (allSelected) {
                edit.clear();
                caret = 0;
            } else if (caret < edit.size()) {
                edit.erase(caret, nextChar(edit, caret) - caret);
            }
            break;
        case VKEY_LEFT:
            caret = allSelected ? 0 : previousChar(edit, caret);
            break;
        case VKEY_RIGHT:
            caret = allSelected ? edit.size() : nextChar(edit, caret);
            break;
        case VKEY_HOME:
            caret = 0;
            break;
        case VKEY_END:
            caret = edit.size();
            break;
        case 0: {
            if (key.character < 0x20 || key.character == 0x7f) return -1;
            const std::string bytes = utf8Of(static_cast<uint32_t>(key.character));
            if (allSelected) {
                edit.clear();
                caret = 0;
            }
            if (edit.size() + bytes.size() > kMaxBytes) return 1;
            edit.insert(caret, bytes);
            caret += bytes.size();
            break;
        }
        case VKEY_SPACE: {
            if (allSelected) {
                edit.clear();
                caret = 0;
            }
            if (edit.size() < kMaxBytes) edit.insert(caret++, 1, ' ');
            break;
        }
        default:
            return -1;
    }
    allSelected = false;
    invalid();
    return 1;
}

}  // namespace qgui
