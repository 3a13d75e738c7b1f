#include "gui/CParamDisplay.h"

#include <cstdio>

#include "gui/CBitmap.h"

namespace qgui {

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, int32_t style)
    : CControl(size, nullptr, -1, background), font(kNormalFont), style(style) {
    font->remember();
}

CParamDisplay::~CParamDisplay() {
    font->forget();
}

void CParamDisplay::setStringConvert(StringConvert c) {
    convert = c;
    convertWithData = nullptr;
    setDirty();
}

void CParamDisplay::setStringConvert(StringConvertWithData c, void* data) {
    convertWithData = c;
    userData = data;
    convert = nullptr;
    setDirty();
}

void CParamDisplay::valueToString(float v, char* string) const {
    string[0] = 0;
    if (convertWithData)
        convertWithData(v, string, userData);
    else if (convert)
        convert(v, string);
    else
        std::snprintf(string, 256, "%2.2f", v);
}

void CParamDisplay::setFont(CFontRef f) {
    if (!f) return;
    f->remember();
    font->forget();
    font = f;
    setDirty();
}

void CParamDisplay::draw(CDrawContext* context) {
    if (!(style & kNoDrawStyle)) {
        char string[256];
        valueToString(value, string);
        drawBack(context);
        drawText(context, string);
    }
    setDirty(false);
}

void CParamDisplay::drawBack(CDrawContext* context) {
    if (background) {
        background->draw(context, size, backOffset);
        return;
    }
    if (textTransparency) return;
    context->setFillColor(backColor);
    context->drawRect(size, kDrawFilled);
    if (!(style & (k3DIn | k3DOut | kNoFrame))) {
        context->setLineWidth(1);
        context->setLineStyle(kLineSolid);
        context->setFrameColor(frameColor);
        context->drawRect(size);
    }
}

void CParamDisplay::drawText(CDrawContext* context, const char* string) {
    if ((style & kNoTextStyle) || !string || !*string) return;
    context->setFont(font);
    CRect textRect(size);
    if (style & kShadowText) {
        CRect shadow(textRect);
        shadow.offset(1, 1);
        context->setFontColor(shadowColor);
        context->drawString(string, shadow, horiAlign, antialias);
    }
    context->setFontColor(fontColor);
    context->drawString(string, textRect, horiAlign, antialias);
}

}  // namespace qgui
