// Drawing onto an image (gui/Surface.h) in the toolkit's terms: colours, line width and style,
// fonts by name and size, text with horizontal alignment, antialiasing, bitmaps with source
// offsets. Coordinates are design pixels relative to the current offset (the origin of the view
// being drawn) and clipped to the current clip rectangle; the context draws them at its scale
// factor (image pixels per design pixel), so lines, text and shapes are drawn at the image's own
// density and bitmaps come from their nearest density at or above it. The drawing library behind it
// is cairo on Linux (CDrawContext_cairo.cpp) and GDI+ on Windows (CDrawContext_win.cpp).
// User-interface thread.
#pragma once

#include <string>

#include "gui/GuiTypes.h"
#include "gui/Surface.h"

namespace qgui {

class CBitmap;

enum CTxtFace { kNormalFace = 0, kBoldFace = 1 << 1, kItalicFace = 1 << 2 };

// A font by family name, size in pixels and face.
class CFontDesc : public CBaseObject {
  public:
    CFontDesc(const char* name = "Arial", CCoord size = 12, int32_t style = kNormalFace)
        : name(name ? name : "Arial"), size(size), style(style) {}

    const char* getName() const { return name.c_str(); }
    CCoord getSize() const { return size; }
    int32_t getStyle() const { return style; }
    void setName(const char* n) { name = n ? n : "Arial"; }
    void setSize(CCoord s) { size = s; }
    void setStyle(int32_t s) { style = s; }

  private:
    std::string name;
    CCoord size;
    int32_t style;
};

using CFontRef = CFontDesc*;

// The toolkit's standard fonts (Arial; on this platform it resolves to Liberation Sans).
extern const CFontRef kSystemFont;           // 12, bold
extern const CFontRef kNormalFontVeryBig;    // 18
extern const CFontRef kNormalFontBig;        // 14
extern const CFontRef kNormalFont;           // 12
extern const CFontRef kNormalFontSmall;      // 11
extern const CFontRef kNormalFontSmaller;    // 10
extern const CFontRef kNormalFontVerySmall;  // 9
extern const CFontRef kNormalFontTiny;       // 8

enum CLineStyle { kLineSolid = 0, kLineOnOffDash };
enum CDrawMode { kAliasing = 0, kAntiAliasing = 1, kCopyMode = kAliasing };
enum CDrawStyle { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };

class CDrawContext {
  public:
    // Draws onto `surface` (not owned; it must outlive the context) at `scale` image pixels per
    // design pixel.
    explicit CDrawContext(NativeSurface* surface, double scale = 1.0);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    double getScale() const { return scale; }
    // A design coordinate moved to the nearest image pixel edge.
    CCoord snap(CCoord v) const;

    // Origin of the coordinates used by the drawing calls, in design pixels.
    void setOffset(const CPoint& offset) { origin = offset; }
    CPoint getOffset() const { return origin; }
    // Clip rectangle in current coordinates; drawing outside it has no effect.
    void setClipRect(const CRect& clip);
    CRect getClipRect() const;
    void resetClipRect();

    void setLineStyle(CLineStyle style) { lineStyle = style; }
    CLineStyle getLineStyle() const { return lineStyle; }
    void setLineWidth(CCoord width) { lineWidth = width; }
    CCoord getLineWidth() const { return lineWidth; }
    void setDrawMode(CDrawMode mode) { drawMode = mode; }
    CDrawMode getDrawMode() const { return drawMode; }
    void setFrameColor(const CColor& c) { frameColor = c; }
    CColor getFrameColor() const { return frameColor; }
    void setFillColor(const CColor& c) { fillColor = c; }
    CColor getFillColor() const { return fillColor; }
    void setFontColor(const CColor& c) { fontColor = c; }
    CColor getFontColor() const { return fontColor; }
    // size 0 keeps the font's own size; style -1 keeps its face.
    void setFont(const CFontRef font, CCoord size = 0, int32_t style = -1);
    const CFontDesc& getFont() const { return currentFont; }
    void setGlobalAlpha(float alpha) { globalAlpha = alpha; }
    float getGlobalAlpha() const { return globalAlpha; }

    void moveTo(const CPoint& point) { pen = point; }
    // A line from the pen to `point` in the frame colour; the pen moves there.
    void lineTo(const CPoint& point);
    void drawLine(const CPoint& from, const CPoint& to);
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);

    // Text in the font colour, vertically centred in `rect`, aligned horizontally as asked.
    void drawString(const char* text, const CRect& rect, CHoriTxtAlign align = kCenterText,
                    bool antialias = true);
    // Text with its baseline starting at `point`.
    void drawString(const char* text, const CPoint& point, bool antialias = true);
    CCoord getStringWidth(const char* text);

    // The part of `bitmap` starting at source pixel `offset`, drawn into `dest`.
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset = CPoint(),
                    float alpha = 1.0f);

    // Makes `rect` fully transparent, whatever the colours and the global alpha.
    void clearRect(const CRect& rect);

  private:
    void begin();  // saves the drawing state, applies clip, origin and draw mode
    void end();    // restores the state begin() saved

    NativeContext* context;
    double scale;
    uint32_t savedState = 0;
    CPoint origin;
    CRect clipAbsolute;
    bool hasClip = false;
    CLineStyle lineStyle = kLineSolid;
    CCoord lineWidth = 1;
    CDrawMode drawMode = kAliasing;
    CColor frameColor = kBlackCColor;
    CColor fillColor = kWhiteCColor;
    CColor fontColor = kBlackCColor;
    CFontDesc currentFont;
    float globalAlpha = 1.0f;
    CPoint pen;
};

}  // namespace qgui
