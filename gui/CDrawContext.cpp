#include "gui/CDrawContext.h"

#include <cmath>

namespace qgui {

namespace {
// The shared fonts live in static storage, so loading and unloading a plug-in library leaves
// nothing behind; the reference each starts with is never given up.
class StaticFont : public CFontDesc {
  public:
    using CFontDesc::CFontDesc;
    ~StaticFont() override = default;
};

StaticFont systemFont("Arial", 12, kBoldFace);
StaticFont normalFontVeryBig("Arial", 18, kNormalFace);
StaticFont normalFontBig("Arial", 14, kNormalFace);
StaticFont normalFont("Arial", 12, kNormalFace);
StaticFont normalFontSmall("Arial", 11, kNormalFace);
StaticFont normalFontSmaller("Arial", 10, kNormalFace);
StaticFont normalFontVerySmall("Arial", 9, kNormalFace);
StaticFont normalFontTiny("Arial", 8, kNormalFace);
}  // namespace

const CFontRef kSystemFont = &systemFont;
const CFontRef kNormalFontVeryBig = &normalFontVeryBig;
const CFontRef kNormalFontBig = &normalFontBig;
const CFontRef kNormalFont = &normalFont;
const CFontRef kNormalFontSmall = &normalFontSmall;
const CFontRef kNormalFontSmaller = &normalFontSmaller;
const CFontRef kNormalFontVerySmall = &normalFontVerySmall;
const CFontRef kNormalFontTiny = &normalFontTiny;

CCoord CDrawContext::snap(CCoord v) const {
    return std::round(v * scale) / scale;
}

void CDrawContext::setClipRect(const CRect& clip) {
    clipAbsolute = clip;
    clipAbsolute.offset(origin.x, origin.y);
    hasClip = true;
}

CRect CDrawContext::getClipRect() const {
    if (!hasClip) return CRect(-origin.x, -origin.y, 1e6, 1e6);
    CRect r = clipAbsolute;
    return r.offset(-origin.x, -origin.y);
}

void CDrawContext::resetClipRect() {
    hasClip = false;
}

void CDrawContext::setFont(const CFontRef font, CCoord size, int32_t style) {
    if (!font) return;
    currentFont.setName(font->getName());
    currentFont.setSize(size > 0 ? size : font->getSize());
    currentFont.setStyle(style >= 0 ? style : font->getStyle());
}

void CDrawContext::lineTo(const CPoint& point) {
    drawLine(pen, point);
    pen = point;
}

}  // namespace qgui
