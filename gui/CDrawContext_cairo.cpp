// CDrawContext on cairo (Linux).
#include <cairo.h>

#include <cmath>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

namespace qgui {

namespace {

void setSourceColor(cairo_t* cr, const CColor& c, float globalAlpha) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0,
                          c.alpha / 255.0 * globalAlpha);
}

void strokeStyle(cairo_t* cr, CLineStyle lineStyle, CCoord lineWidth) {
    cairo_set_line_width(cr, lineWidth);
    if (lineStyle == kLineOnOffDash) {
        const double dash[] = {lineWidth, lineWidth};
        cairo_set_dash(cr, dash, 2, 0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    } else {
        cairo_set_dash(cr, nullptr, 0, 0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    }
}

void applyFont(cairo_t* cr, const CFontDesc& font) {
    cairo_select_font_face(
        cr, font.getName(),
        (font.getStyle() & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
        (font.getStyle() & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.getSize());
}

void setTextAntialias(cairo_t* cr, bool antialias, bool slightHinting) {
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options,
                                     antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    if (slightHinting) cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
}

}  // namespace

CDrawContext::CDrawContext(NativeSurface* surface) : context(cairo_create(surface)) {}

CDrawContext::~CDrawContext() {
    cairo_destroy(context);
}

void CDrawContext::begin() {
    cairo_t* const cr = context;
    cairo_save(cr);
    if (hasClip) {
        cairo_rectangle(cr, clipAbsolute.left, clipAbsolute.top, clipAbsolute.getWidth(),
                        clipAbsolute.getHeight());
        cairo_clip(cr);
    }
    cairo_translate(cr, origin.x, origin.y);
    cairo_set_antialias(cr,
                        drawMode == kAntiAliasing ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void CDrawContext::end() {
    cairo_restore(context);
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    cairo_t* const cr = context;
    begin();
    // Integer coordinates name pixels: an odd line width is centred on the pixel's middle so a
    // one-pixel line covers exactly one pixel row or column.
    const double half = std::fmod(std::round(lineWidth), 2.0) == 1.0 ? 0.5 : 0.0;
    cairo_move_to(cr, from.x + half, from.y + half);
    cairo_line_to(cr, to.x + half, to.y + half);
    strokeStyle(cr, lineStyle, lineWidth);
    setSourceColor(cr, frameColor, globalAlpha);
    cairo_stroke(cr);
    end();
    pen = to;
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
    cairo_t* const cr = context;
    begin();
    if (style != kDrawStroked) {
        cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
        setSourceColor(cr, fillColor, globalAlpha);
        cairo_fill(cr);
    }
    if (style != kDrawFilled) {
        const double half = lineWidth / 2;
        cairo_rectangle(cr, rect.left + half, rect.top + half, rect.getWidth() - lineWidth,
                        rect.getHeight() - lineWidth);
        strokeStyle(cr, lineStyle, lineWidth);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        setSourceColor(cr, frameColor, globalAlpha);
        cairo_stroke(cr);
    }
    end();
}

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style) {
    cairo_t* const cr = context;
    begin();
    cairo_save(cr);
    cairo_translate(cr, rect.left + rect.getWidth() / 2, rect.top + rect.getHeight() / 2);
    cairo_scale(cr, rect.getWidth() / 2, rect.getHeight() / 2);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    if (style != kDrawStroked) {
        setSourceColor(cr, fillColor, globalAlpha);
        if (style == kDrawFilled)
            cairo_fill(cr);
        else
            cairo_fill_preserve(cr);
    }
    if (style != kDrawFilled) {
        strokeStyle(cr, lineStyle, lineWidth);
        setSourceColor(cr, frameColor, globalAlpha);
        cairo_stroke(cr);
    }
    end();
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align,
                              bool antialias) {
    if (!text || !*text) return;
    cairo_t* const cr = context;
    begin();
    applyFont(cr, currentFont);
    setTextAntialias(cr, antialias, true);
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    cairo_text_extents_t te;
    cairo_text_extents(cr, text, &te);
    double x = rect.left;
    if (align == kCenterText)
        x = rect.left + (rect.getWidth() - te.x_advance) / 2;
    else if (align == kRightText)
        x = rect.right - te.x_advance;
    const double y = rect.top + (rect.getHeight() - (fe.ascent + fe.descent)) / 2 + fe.ascent;
    cairo_move_to(cr, std::round(x), std::round(y));
    setSourceColor(cr, fontColor, globalAlpha);
    cairo_show_text(cr, text);
    end();
}

void CDrawContext::drawString(const char* text, const CPoint& point, bool antialias) {
    if (!text || !*text) return;
    cairo_t* const cr = context;
    begin();
    applyFont(cr, currentFont);
    setTextAntialias(cr, antialias, false);
    cairo_move_to(cr, point.x, point.y);
    setSourceColor(cr, fontColor, globalAlpha);
    cairo_show_text(cr, text);
    end();
}

CCoord CDrawContext::getStringWidth(const char* text) {
    if (!text || !*text) return 0;
    cairo_t* const cr = context;
    cairo_save(cr);
    applyFont(cr, currentFont);
    cairo_text_extents_t te;
    cairo_text_extents(cr, text, &te);
    cairo_restore(cr);
    return te.x_advance;
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset,
                              float alpha) {
    if (!bitmap || !bitmap->getSurface() || dest.isEmpty()) return;
    cairo_t* const cr = context;
    begin();
    cairo_rectangle(cr, dest.left, dest.top, dest.getWidth(), dest.getHeight());
    cairo_clip(cr);
    cairo_set_source_surface(cr, bitmap->getSurface(), dest.left - offset.x, dest.top - offset.y);
    cairo_paint_with_alpha(cr, alpha * globalAlpha);
    end();
}

void CDrawContext::clearRect(const CRect& rect) {
    cairo_t* const cr = context;
    cairo_save(cr);
    cairo_translate(cr, origin.x, origin.y);
    cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace qgui
