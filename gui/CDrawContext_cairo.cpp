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

CDrawContext::CDrawContext(NativeSurface* surface, double scale)
    : context(cairo_create(surface)), scale(scale > 0 ? scale : 1.0) {}

CDrawContext::~CDrawContext() {
    cairo_destroy(context);
}

void CDrawContext::begin() {
    cairo_t* const cr = context;
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
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
    cairo_move_to(cr, snap(x), snap(y));
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
    if (!bitmap || !bitmap->isLoaded() || dest.isEmpty()) return;
    cairo_t* const cr = context;
    // The image's design pixel (0, 0) lands at `corner`.
    const CPoint corner(dest.left - offset.x, dest.top - offset.y);
    const int density = bitmap->densityFor(scale);
    bitmap->forEachPart(density, dest, offset, [&](const CBitmap::Piece& piece, const CRect& part) {
        // Only the part's own image pixels are sampled: a scaled image does not take colour
        // from the neighbouring frame or from beyond its edge.
        const double px = (part.left - piece.rect.left) * density;
        const double py = (part.top - piece.rect.top) * density;
        cairo_surface_t* window = cairo_surface_create_for_rectangle(
            piece.surface, std::floor(px), std::floor(py),
            std::ceil(part.right * density - piece.rect.left * density) - std::floor(px),
            std::ceil(part.bottom * density - piece.rect.top * density) - std::floor(py));
        begin();
        cairo_rectangle(cr, corner.x + part.left, corner.y + part.top, part.getWidth(),
                        part.getHeight());
        cairo_clip(cr);
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(window);
        cairo_matrix_t m;
        cairo_matrix_init_scale(&m, density, density);
        cairo_matrix_translate(&m, -(corner.x + piece.rect.left + std::floor(px) / density),
                               -(corner.y + piece.rect.top + std::floor(py) / density));
        cairo_pattern_set_matrix(pattern, &m);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
        cairo_set_source(cr, pattern);
        cairo_paint_with_alpha(cr, alpha * globalAlpha);
        cairo_pattern_destroy(pattern);
        end();
        cairo_surface_destroy(window);
    });
}

void CDrawContext::clearRect(const CRect& rect) {
    cairo_t* const cr = context;
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
    cairo_translate(cr, origin.x, origin.y);
    cairo_rectangle(cr, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace qgui
