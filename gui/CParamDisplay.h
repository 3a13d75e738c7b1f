// A read-only display of a control value as text: the background bitmap drawn from a back
// offset (or a filled, framed box without one), then the value turned into text by the
// string-convert hook (default "%2.2f"), in the display's font, colour and alignment.
// User-interface thread.
#pragma once

#include "gui/CControl.h"
#include "gui/CDrawContext.h"

namespace qgui {

// Style bits of displays, text fields and menus.
enum {
    kShadowText = 1 << 0,
    k3DIn = 1 << 1,
    k3DOut = 1 << 2,
    kPopupStyle = 1 << 3,
    kCheckStyle = 1 << 4,
    kNoTextStyle = 1 << 11,
    kNoDrawStyle = 1 << 12,
    kDoubleClickStyle = 1 << 13,
    kNoFrame = 1 << 14,
};

class CParamDisplay : public CControl {
  public:
    // Writes the text for `value` into `string` (256 bytes).
    using StringConvert = void (*)(float value, char* string);
    using StringConvertWithData = void (*)(float value, char* string, void* userData);

    CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32_t style = 0);

    void setStringConvert(StringConvert convert);
    void setStringConvert(StringConvertWithData convert, void* userData);
    // The text shown for `v`.
    void valueToString(float v, char* string) const;

    void setFont(CFontRef font);
    CFontRef getFont() const { return font; }
    void setFontColor(const CColor& c) {
        fontColor = c;
        setDirty();
    }
    CColor getFontColor() const { return fontColor; }
    void setBackColor(const CColor& c) {
        backColor = c;
        setDirty();
    }
    CColor getBackColor() const { return backColor; }
    void setFrameColor(const CColor& c) {
        frameColor = c;
        setDirty();
    }
    CColor getFrameColor() const { return frameColor; }
    void setShadowColor(const CColor& c) {
        shadowColor = c;
        setDirty();
    }
    void setHoriAlign(CHoriTxtAlign align) {
        horiAlign = align;
        setDirty();
    }
    CHoriTxtAlign getHoriAlign() const { return horiAlign; }
    void setStyle(int32_t s) {
        style = s;
        setDirty();
    }
    int32_t getStyle() const { return style; }
    void setTextTransparency(bool state) {
        textTransparency = state;
        setDirty();
    }
    void setAntialias(bool state) { antialias = state; }
    // Source pixel of the background bitmap drawn at the view's top-left corner.
    void setBackOffset(const CPoint& offset) {
        backOffset = offset;
        setDirty();
    }
    const CPoint& getBackOffset() const { return backOffset; }

    void draw(CDrawContext* context) override;

    QGUI_CLASS_METHODS(CParamDisplay, CControl)

  protected:
    ~CParamDisplay() override;
    void drawBack(CDrawContext* context);
    void drawText(CDrawContext* context, const char* string);

    StringConvert convert = nullptr;
    StringConvertWithData convertWithData = nullptr;
    void* userData = nullptr;
    CFontRef font;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    CColor shadowColor = MakeCColor(100, 100, 100);
    CHoriTxtAlign horiAlign = kCenterText;
    int32_t style;
    bool textTransparency = false;
    bool antialias = true;
    CPoint backOffset;
};

}  // namespace qgui
