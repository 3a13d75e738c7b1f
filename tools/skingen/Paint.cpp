#include "Paint.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "editor/NeedleLaw.h"

namespace skingen {

namespace {

constexpr double kPi = 3.14159265358979323846;

Rgb mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
            a.a + (b.a - a.a) * t};
}

Rgb withAlpha(const Rgb& c, double a) {
    return {c.r, c.g, c.b, a};
}

void circle(cairo_t* cr, double x, double y, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * kPi);
}

void linearFill(cairo_t* cr, double x0, double y0, double x1, double y1, const Rgb& a,
                const Rgb& b) {
    cairo_pattern_t* p = cairo_pattern_create_linear(x0, y0, x1, y1);
    cairo_pattern_add_color_stop_rgba(p, 0, a.r, a.g, a.b, a.a);
    cairo_pattern_add_color_stop_rgba(p, 1, b.r, b.g, b.b, b.a);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

// Knob angle of a normalised value in screen terms: 225 degrees (bottom left) at 0 clockwise to
// -45 degrees (bottom right) at 1, as the toolkit's knobs map values to angles.
double knobAngle(double v) {
    return (225.0 - 270.0 * v) * kPi / 180.0;
}

void polar(double cx, double cy, double r, double angle, double& x, double& y) {
    x = cx + r * std::cos(angle);
    y = cy - r * std::sin(angle);
}

// One LED seen from the front: off is a dark lens, on glows.
void led(cairo_t* cr, double x, double y, double w, double h, bool on, const Rgb& lit) {
    if (on) {
        cairo_pattern_t* glow = cairo_pattern_create_radial(x + w / 2, y + h / 2, 0, x + w / 2,
                                                            y + h / 2, std::max(w, h));
        cairo_pattern_add_color_stop_rgba(glow, 0, lit.r, lit.g, lit.b, 0.55);
        cairo_pattern_add_color_stop_rgba(glow, 1, lit.r, lit.g, lit.b, 0);
        cairo_set_source(cr, glow);
        cairo_rectangle(cr, x - w / 2, y - h, w * 2, h * 3);
        cairo_fill(cr);
        cairo_pattern_destroy(glow);
    }
    roundedRect(cr, x, y, w, h, std::min(w, h) / 2);
    if (on)
        linearFill(cr, x, y, x, y + h, mix(lit, {1, 1, 1}, 0.5), lit);
    else
        linearFill(cr, x, y, x, y + h, {0.25, 0.20, 0.16}, {0.36, 0.29, 0.22});
    cairo_fill_preserve(cr);
    setColour(cr, {0, 0, 0, 0.45});
    cairo_set_line_width(cr, 0.6);
    cairo_stroke(cr);
}

// The outline of a button face: one pixel of `shadow` right and below, then the face's path
// (left for the caller to fill and stroke) whose 1 px outline is the frame's outer pixel.
void facePath(cairo_t* cr, double width, double height, double radius, const Rgb& shadow) {
    roundedRect(cr, 1, 1, width - 1, height - 1, radius);
    setColour(cr, shadow);
    cairo_fill(cr);
    roundedRect(cr, 0.5, 0.5, width - 2, height - 2, radius);
}

}  // namespace

namespace {
int currentDensity = 1;
}  // namespace

void setDensity(int density) {
    currentDensity = density;
}

int density() {
    return currentDensity;
}

cairo_surface_t* newImage(int width, int height) {
    return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width * currentDensity,
                                      height * currentDensity);
}

cairo_t* openImage(cairo_surface_t* image) {
    cairo_t* cr = cairo_create(image);
    cairo_scale(cr, currentDensity, currentDensity);
    return cr;
}

double designWidth(cairo_t* cr) {
    return static_cast<double>(cairo_image_surface_get_width(cairo_get_target(cr))) /
           currentDensity;
}

void setColour(cairo_t* cr, const Rgb& c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    r = std::min({r, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 1.5 * kPi);
    cairo_close_path(cr);
}

namespace {

void selectFace(cairo_t* cr, const char* family, bool bold, double size) {
    cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_SLIGHT);
    cairo_set_font_options(cr, o);
    cairo_font_options_destroy(o);
}

void selectFace(cairo_t* cr, const TextStyle& style) {
    selectFace(cr, style.narrow ? "Liberation Sans Narrow" : "Liberation Sans", style.bold,
               style.size);
}

// Text is measured at one pixel per design pixel whatever the density drawn, so a legend is set
// alike (size, breaks, pen positions) in every image set.
cairo_t* measuring(int density = 1) {
    static cairo_surface_t* const surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    static cairo_t* const contexts[3] = {cairo_create(surface), cairo_create(surface),
                                         cairo_create(surface)};
    cairo_t* cr = contexts[density - 1];
    cairo_identity_matrix(cr);
    cairo_scale(cr, density, density);
    return cr;
}

// The box the layout's ink covers when drawn at `density`: glyph outlines are hinted for each
// density's own pixels, so the ink differs a little from the one measured at density 1.
void inkAtDensity(const TextLayout& l, int density, double& left, double& top, double& right,
                  double& bottom) {
    cairo_t* cr = measuring(density);
    cairo_save(cr);
    selectFace(cr, l.style);
    left = top = 1e9;
    right = bottom = -1e9;
    for (size_t i = 0; i < l.lines.size(); ++i) {
        cairo_text_extents_t te;
        cairo_text_extents(cr, l.lines[i].c_str(), &te);
        if (te.width <= 0) continue;
        left = std::min(left, l.x[i] + te.x_bearing);
        right = std::max(right, l.x[i] + te.x_bearing + te.width);
        top = std::min(top, l.baseline[i] + te.y_bearing);
        bottom = std::max(bottom, l.baseline[i] + te.y_bearing + te.height);
    }
    cairo_restore(cr);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line, '|');) lines.push_back(line);
    return lines;
}

}  // namespace

TextLayout layoutText(cairo_t* cr, const std::string& text, double x, double y, double w, double h,
                      const TextStyle& style) {
    TextLayout layout;
    layout.style = style;
    layout.lines = splitLines(text);
    cr = measuring();
    cairo_save(cr);
    selectFace(cr, style);
    // Pen positions with the first baseline at 0, then the block's ink centred in the box.
    const double pitch = style.size * style.lineSpacing;
    std::vector<cairo_text_extents_t> extents;
    double top = 0, bottom = 0;
    bool inked = false;
    for (size_t i = 0; i < layout.lines.size(); ++i) {
        cairo_text_extents_t te;
        cairo_text_extents(cr, layout.lines[i].c_str(), &te);
        extents.push_back(te);
        double tx = x;
        if (style.align == Align::Centre) tx = x + (w - te.x_advance) / 2;
        if (style.align == Align::Right) tx = x + w - te.x_advance;
        layout.x.push_back(std::round(tx));
        layout.baseline.push_back(std::round(static_cast<double>(i) * pitch));
        if (te.width <= 0) continue;
        const double t = layout.baseline[i] + te.y_bearing, b = t + te.height;
        top = inked ? std::min(top, t) : t;
        bottom = inked ? std::max(bottom, b) : b;
        inked = true;
    }
    cairo_restore(cr);
    const double shift = std::round(y + (h - (bottom - top)) / 2 - top);
    layout.inkLeft = x + w;
    layout.inkRight = x;
    for (size_t i = 0; i < layout.lines.size(); ++i) {
        layout.baseline[i] += shift;
        if (extents[i].width <= 0) continue;
        layout.inkLeft = std::min(layout.inkLeft, layout.x[i] + extents[i].x_bearing);
        layout.inkRight =
            std::max(layout.inkRight, layout.x[i] + extents[i].x_bearing + extents[i].width);
    }
    layout.inkTop = top + shift;
    layout.inkBottom = bottom + shift;
    return layout;
}

TextLayout fitLegend(cairo_t* cr, const std::string& text, double x, double y, double w, double h,
                     const TextStyle& style, double margin, double marginY, double minSize) {
    const double m = margin, my = marginY < 0 ? margin : marginY, eps = 1e-6;
    // The margin holds at every density the legend is drawn at.
    auto fits = [&](const TextLayout& l) {
        for (int d = 1; d <= 3; ++d) {
            double left = 0, top = 0, right = 0, bottom = 0;
            inkAtDensity(l, d, left, top, right, bottom);
            if (left < x + m - eps || right > x + w - m + eps || top < y + my - eps ||
                bottom > y + h - my + eps)
                return false;
        }
        return true;
    };
    std::vector<std::string> settings = {text};
    if (text.find(' ') != std::string::npos) {
        std::string broken = text;
        std::replace(broken.begin(), broken.end(), ' ', '|');
        settings.push_back(broken);
    }
    // Smaller first, then the regular weight of a bold style, then broken at blanks.
    for (const std::string& setting : settings) {
        for (const bool bold : {style.bold, false}) {
            for (double size = style.size; size >= minSize - eps; size -= 0.5) {
                TextStyle sized = style;
                sized.size = size;
                sized.bold = bold;
                TextLayout l = layoutText(cr, setting, x, y, w, h, sized);
                if (fits(l)) return l;
                // A centred legend whose pen position rounded to the wrong side of half a pixel.
                for (const double shift : {-1.0, 1.0}) {
                    TextLayout moved = l;
                    for (double& px : moved.x) px += shift;
                    if (style.align == Align::Centre && fits(moved)) return moved;
                }
            }
        }
    }
    std::ostringstream what;
    what << "legend \"" << text << "\" does not fit its " << w << " x " << h << " px face with "
         << m << " px to spare, even at " << minSize << " px";
    throw LegendError(what.str());
}

void checkRuntimeText(cairo_t*, const std::string& text, double size, double l, double t, double r,
                      double b) {
    cairo_t* cr = measuring();
    cairo_save(cr);
    selectFace(cr, "Liberation Sans", false, size);
    cairo_text_extents_t te;
    cairo_text_extents(cr, text.c_str(), &te);
    cairo_restore(cr);
    // The editor centres the text; its pen position is rounded to a whole pixel.
    if (te.width + 1 > r - l - 2 * kLegendMarginPx || te.height > b - t) {
        std::ostringstream what;
        what << "text \"" << text << "\" (" << te.width << " x " << te.height << " px at " << size
             << " px) does not fit its " << r - l << " x " << b - t << " px box with "
             << kLegendMarginPx << " px to spare";
        throw LegendError(what.str());
    }
}

void drawLayout(cairo_t* cr, const TextLayout& layout) {
    cairo_save(cr);
    selectFace(cr, layout.style);
    setColour(cr, layout.style.colour);
    for (size_t i = 0; i < layout.lines.size(); ++i) {
        cairo_move_to(cr, layout.x[i], layout.baseline[i]);
        cairo_show_text(cr, layout.lines[i].c_str());
    }
    cairo_restore(cr);
}

void drawText(cairo_t* cr, const std::string& text, double x, double y, double w, double h,
              const TextStyle& style) {
    if (!text.empty()) drawLayout(cr, layoutText(cr, text, x, y, w, h, style));
}

// ---- controls

namespace {

// Where one frame of a knob strip draws: the centre, the square `area` the knob fills, the
// scale's outer and inner radii and the body's radius (pixels).
struct KnobGeometry {
    double cx, cy, area, scaleOuter, scaleInner, body;
};

KnobGeometry knobGeometry(int width, double frameHeight, double labelHeight) {
    KnobGeometry g;
    g.area = std::min<double>(width, frameHeight - labelHeight);
    g.cx = width / 2.0;
    g.cy = (frameHeight - labelHeight) / 2.0;
    g.scaleOuter = g.area / 2 - 1;
    g.scaleInner = g.scaleOuter - std::max(2.5, g.area * 0.07);
    g.body = g.scaleInner - std::max(2.0, g.area * 0.06);
    return g;
}

// Eleven marks, the ends and the middle longer.
void drawKnobScale(cairo_t* cr, const KnobGeometry& g, const Rgb& tick) {
    const int ticks = 11;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int t = 0; t < ticks; ++t) {
        const double a = knobAngle(static_cast<double>(t) / (ticks - 1));
        const bool major = t == 0 || t == ticks / 2 || t == ticks - 1;
        double x0, y0, x1, y1;
        polar(g.cx, g.cy, major ? g.scaleInner - 0.5 : g.scaleInner + 0.8, a, x0, y0);
        polar(g.cx, g.cy, g.scaleOuter, a, x1, y1);
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
        setColour(cr, withAlpha(tick, major ? 0.95 : 0.7));
        cairo_set_line_width(cr, major ? 1.3 : 0.9);
        cairo_stroke(cr);
    }
}

// The value arc inside the scale, from the start to the value `v` (0..1).
void drawValueArc(cairo_t* cr, const KnobGeometry& g, double v) {
    if (!(v > 0)) return;
    cairo_set_line_width(cr, std::max(1.5, g.area * 0.035));
    cairo_new_path(cr);
    cairo_arc(cr, g.cx, g.cy, (g.scaleInner + g.body) / 2 + 0.3, -knobAngle(0),
              -knobAngle(0) + v * 1.5 * kPi);
    setColour(cr, palette::kAmber);
    cairo_stroke(cr);
}

// The body turned to `v`: drop shadow, knurled skirt, lighter cap.
void drawKnobBody(cairo_t* cr, const KnobGeometry& g, double v) {
    const double cx = g.cx, cy = g.cy, body = g.body;
    circle(cr, cx + 0.8, cy + 1.4, body);
    setColour(cr, {0, 0, 0, 0.30});
    cairo_fill(cr);
    circle(cr, cx, cy, body);
    linearFill(cr, cx, cy - body, cx, cy + body, {0.30, 0.31, 0.34}, {0.10, 0.10, 0.12});
    cairo_fill(cr);
    const int grips = 24;
    cairo_set_line_width(cr, 0.7);
    for (int grip = 0; grip < grips; ++grip) {
        const double a = knobAngle(v) + grip * 2 * kPi / grips;
        double x0, y0, x1, y1;
        polar(cx, cy, body * 0.82, a, x0, y0);
        polar(cx, cy, body - 0.6, a, x1, y1);
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
    }
    setColour(cr, {1, 1, 1, 0.08});
    cairo_stroke(cr);
    const double cap = body * 0.74;
    circle(cr, cx, cy, cap);
    cairo_pattern_t* p =
        cairo_pattern_create_radial(cx - cap * 0.3, cy - cap * 0.4, cap * 0.1, cx, cy, cap);
    cairo_pattern_add_color_stop_rgb(p, 0, 0.42, 0.43, 0.46);
    cairo_pattern_add_color_stop_rgb(p, 1, 0.18, 0.19, 0.21);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

void drawKnobPointer(cairo_t* cr, const KnobGeometry& g, double v) {
    double px0, py0, px1, py1;
    polar(g.cx, g.cy, g.body * 0.25, knobAngle(v), px0, py0);
    polar(g.cx, g.cy, g.body * 0.93, knobAngle(v), px1, py1);
    cairo_move_to(cr, px0, py0);
    cairo_line_to(cr, px1, py1);
    cairo_set_line_width(cr, std::max(1.6, g.area * 0.04));
    setColour(cr, {0.97, 0.96, 0.92});
    cairo_stroke(cr);
}

}  // namespace

cairo_surface_t* knobStrip(int width, int height, int frames, const std::string& label,
                           bool onDark) {
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    const double fh = static_cast<double>(height) / frames;
    const double labelHeight = label.empty() ? 0 : std::max(8.0, std::round(fh * 0.17));
    const KnobGeometry g = knobGeometry(width, fh, labelHeight);
    const Rgb tick = onDark ? palette::kInkLight : palette::kInk;
    for (int f = 0; f < frames; ++f) {
        const double v = frames > 1 ? static_cast<double>(f) / (frames - 1) : 0;
        cairo_save(cr);
        cairo_translate(cr, 0, f * fh);
        drawKnobScale(cr, g, tick);
        drawValueArc(cr, g, v);
        drawKnobBody(cr, g, v);
        drawKnobPointer(cr, g, v);
        if (!label.empty()) {
            TextStyle ts;
            ts.size = labelHeight - 0.5;
            ts.narrow = true;
            ts.colour = tick;
            drawText(cr, label, 0, fh - labelHeight - 1, width, labelHeight, ts);
        }
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

cairo_surface_t* twoStateButton(int imageWidth, int height, const std::string& label,
                                const Body& body) {
    cairo_surface_t* s = newImage(imageWidth, height);
    cairo_t* cr = openImage(s);
    const double frameHeight = height / 2.0;
    // The button's body: the whole frame, or the part of it that no other control covers.
    const bool whole = body.right <= body.left;
    const double bodyL = whole ? 0 : body.left, bodyT = whole ? 0 : body.top;
    const double width = whole ? imageWidth : body.right - body.left;
    const double fh = whole ? frameHeight : body.bottom - body.top;
    const bool tiny = fh < 20;
    // The outline is the frame's outer pixel, with one pixel of shadow right and below; the face
    // inside it runs from 1 to width - 2 and 1 to fh - 2.
    const double faceL = 1, faceT = 1, faceR = width - 2, faceB = fh - 2;
    const double ledW = std::min(12.0, width * 0.45), ledH = 3.5, ledT = 3.5;
    // Small buttons light their whole face; the others also have a lamp above the legend.
    const double legendT = tiny ? faceT : ledT + ledH;
    TextStyle ts;
    ts.narrow = true;
    ts.size = tiny ? 8 : 9;
    ts.lineSpacing = 1.1;
    const TextLayout legend =
        fitLegend(cr, label, faceL, legendT, faceR - faceL, faceB - legendT, ts);
    for (int state = 0; state < 2; ++state) {
        const bool on = state == 1;
        cairo_save(cr);
        cairo_translate(cr, bodyL, state * frameHeight + bodyT);
        facePath(cr, width, fh, 3, {0, 0, 0, 0.30});
        if (on)
            linearFill(cr, 0, 1, 0, fh, {1.00, 0.91, 0.68}, {0.96, 0.73, 0.36});
        else
            linearFill(cr, 0, 1, 0, fh, {0.93, 0.93, 0.90}, {0.75, 0.75, 0.72});
        cairo_fill_preserve(cr);
        setColour(cr, {0.18, 0.18, 0.18, 0.9});
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        if (!tiny) led(cr, (width - 1 - ledW) / 2, ledT, ledW, ledH, on, {1.0, 0.45, 0.05});
        drawLayout(cr, legend);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

cairo_surface_t* selector(int width, int height, int frames,
                          const std::vector<std::string>& labels) {
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    const double fh = static_cast<double>(height) / frames;
    const bool withLabels = !labels.empty();
    const double slotW = withLabels ? 8 : std::min(9.0, width * 0.4);
    const double slotX = withLabels ? 4 : (width - slotW) / 2;
    for (int f = 0; f < frames; ++f) {
        cairo_save(cr);
        cairo_translate(cr, 0, f * fh);
        roundedRect(cr, slotX, 2, slotW, fh - 4, slotW / 2);
        setColour(cr, {0.12, 0.12, 0.14});
        cairo_fill(cr);
        const double travel = fh - 4 - slotW;
        const double leverY = 2 + (frames > 1 ? travel * f / (frames - 1) : 0);
        roundedRect(cr, slotX - 1.5, leverY, slotW + 3, slotW, 2);
        linearFill(cr, 0, leverY, 0, leverY + slotW, {0.95, 0.95, 0.92}, {0.62, 0.62, 0.60});
        cairo_fill_preserve(cr);
        setColour(cr, {0.15, 0.15, 0.15});
        cairo_set_line_width(cr, 0.7);
        cairo_stroke(cr);
        for (size_t i = 0; i < labels.size() && frames > 1; ++i) {
            const double y = 2 + travel * static_cast<double>(i) / (labels.size() - 1);
            TextStyle ts;
            ts.size = 8;
            ts.narrow = true;
            ts.align = Align::Left;
            ts.colour =
                static_cast<int>(i) == f ? palette::kAccent : withAlpha(palette::kInk, 0.75);
            drawText(cr, labels[i], slotX + slotW + 4, y, width - slotX - slotW - 4, slotW, ts);
        }
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

cairo_surface_t* legendSwitch(int width, int height, int frames,
                              const std::vector<std::string>& legends) {
    if (static_cast<int>(legends.size()) != frames)
        throw LegendError("a legend switch needs one legend per position");
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    const double fh = static_cast<double>(height) / frames;
    std::string block;
    for (const std::string& l : legends) block += (block.empty() ? "" : "|") + l;
    TextStyle ts;
    ts.narrow = true;
    ts.bold = false;
    ts.size = kSwitchLegendSizePx;
    // Rows as far apart as the face allows: ascenders of a row clear the row above.
    ts.lineSpacing =
        std::floor((fh - 3 - 2 - kSwitchLegendSizePx * 0.75) / (frames - 1)) / kSwitchLegendSizePx;
    // Same outline as the buttons; the legends share one fitted block, a row per position. Three
    // rows of legible type fill the small face: they keep one clear pixel to its edges.
    const TextLayout all =
        fitLegend(cr, block, 1, 1, width - 3, fh - 3, ts, 1, 1, kSwitchLegendSizePx);
    for (int f = 0; f < frames; ++f) {
        cairo_save(cr);
        cairo_translate(cr, 0, f * fh);
        facePath(cr, width, fh, 2.5, {1, 1, 1, 0.35});
        setColour(cr, {0.10, 0.10, 0.11});
        cairo_fill_preserve(cr);
        setColour(cr, {0.02, 0.02, 0.02});
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        for (int i = 0; i < frames; ++i) {
            TextLayout row = all;
            row.lines = {all.lines[i]};
            row.x = {all.x[i]};
            row.baseline = {all.baseline[i]};
            row.style.colour = i == f ? Rgb{1.0, 0.74, 0.22} : Rgb{0.44, 0.44, 0.44};
            drawLayout(cr, row);
        }
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

cairo_surface_t* meterFace(int width, int height, double px, double py) {
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    linearFill(cr, 0, 0, 0, height, palette::kIvory, mix(palette::kIvory, {0.80, 0.76, 0.66}, 0.5));
    cairo_paint(cr);
    // The marks sit where the meter control's needle points for their level.
    auto angleOf = [](double vu) { return needle::angleRadians(needle::levelOfVu(vu)); };
    const double rScale = 60, rMajor = 66, rNumber = 72;
    // Red zone from 0 VU to +3, then the scale line from -20 to +3. In cairo's angles (y down)
    // the scale runs clockwise, from -angle(-20) up to -angle(+3), across the top.
    cairo_set_line_width(cr, 4);
    cairo_new_path(cr);
    cairo_arc(cr, px, py, rScale + 2.5, -angleOf(0), -angleOf(3));
    setColour(cr, {0.80, 0.18, 0.14, 0.85});
    cairo_stroke(cr);
    cairo_set_line_width(cr, 0.9);
    cairo_new_path(cr);
    cairo_arc(cr, px, py, rScale, -angleOf(-20), -angleOf(3));
    setColour(cr, palette::kInk);
    cairo_stroke(cr);
    const double marks[] = {-20, -10, -7, -5, -3, -2, -1, 0, 1, 2, 3};
    for (double db : marks) {
        const double a = angleOf(db);
        double x0, y0, x1, y1;
        polar(px, py, rScale, a, x0, y0);
        polar(px, py, rMajor, a, x1, y1);
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
        setColour(cr, db > 0 ? Rgb{0.75, 0.12, 0.10} : palette::kInk);
        cairo_set_line_width(cr, 1.1);
        cairo_stroke(cr);
        double tx, ty;
        polar(px, py, rNumber - 0.5, a, tx, ty);
        std::string text = db > 0 ? "+" + std::to_string(static_cast<int>(db))
                                  : std::to_string(static_cast<int>(std::fabs(db)));
        if (db == -1 || db == -2 || db == 1 || db == 2) text = db < 0 ? "" : text;
        TextStyle ts;
        ts.size = 7;
        ts.bold = false;
        ts.colour = db > 0 ? Rgb{0.75, 0.12, 0.10} : palette::kInk;
        drawText(cr, text, tx - 8, ty - 4, 16, 8, ts);
    }
    // Minor marks between the numbered ones.
    for (double db = -20; db <= 3; db += 1) {
        if (db < -10 && std::fmod(-db, 5) != 0) continue;
        const double a = angleOf(db);
        double x0, y0, x1, y1;
        polar(px, py, rScale, a, x0, y0);
        polar(px, py, rScale + 3, a, x1, y1);
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
        setColour(cr, palette::kInk);
        cairo_set_line_width(cr, 0.7);
        cairo_stroke(cr);
    }
    TextStyle ts;
    ts.size = 10;
    ts.colour = withAlpha(palette::kInk, 0.85);
    drawText(cr, "VU", px - 15, py - 48, 30, 10, ts);
    // Inner shadow of the window.
    cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
    setColour(cr, {0, 0, 0, 0.35});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return s;
}

cairo_surface_t* meterStrip(int width, int height, const std::string& label) {
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    linearFill(cr, 0, 0, 0, height, {0.26, 0.27, 0.29}, {0.14, 0.15, 0.16});
    cairo_paint(cr);
    cairo_move_to(cr, 0, 0.5);
    cairo_line_to(cr, width, 0.5);
    setColour(cr, {1, 1, 1, 0.18});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    TextStyle ts;
    ts.size = 9;
    ts.colour = palette::kInkLight;
    drawText(cr, label, 0, 2, width, height - 4, ts);
    cairo_destroy(cr);
    return s;
}

cairo_surface_t* overLamp(int width, int height) {
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    const double fh = height / 3.0;
    const Rgb states[] = {{1.0, 0.16, 0.12}, {0.70, 0.20, 0.10}, {0.32, 0.14, 0.12}};
    for (int f = 0; f < 3; ++f) {
        const double cx = width / 2.0, cy = f * fh + fh / 2,
                     r = std::min<double>(width, fh) / 2 - 1;
        circle(cr, cx, cy, r + 0.6);
        setColour(cr, {0.15, 0.15, 0.15});
        cairo_fill(cr);
        cairo_pattern_t* p = cairo_pattern_create_radial(cx - r * 0.3, cy - r * 0.3, 0, cx, cy, r);
        const Rgb& c = states[f];
        const Rgb hi = f == 2 ? mix(c, {1, 1, 1}, 0.15) : mix(c, {1, 1, 0.8}, 0.6);
        cairo_pattern_add_color_stop_rgb(p, 0, hi.r, hi.g, hi.b);
        cairo_pattern_add_color_stop_rgb(p, 1, c.r, c.g, c.b);
        circle(cr, cx, cy, r - 0.4);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        if (f == 1) {  // held: a ring marks the latched over
            circle(cr, cx, cy, r * 0.45);
            setColour(cr, {1.0, 0.75, 0.35, 0.9});
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
        }
    }
    cairo_destroy(cr);
    return s;
}

cairo_surface_t* barButton(int width, int height, const std::string& glyph) {
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    const double fh = height / 3.0;
    for (int state = 0; state < 3; ++state) {
        cairo_save(cr);
        cairo_translate(cr, 0, state * fh);
        const Rgb face = state == 2   ? palette::kAmber
                         : state == 1 ? Rgb{0.48, 0.50, 0.54}
                                      : Rgb{0.33, 0.34, 0.37};
        const Rgb ink = state == 2 ? Rgb{0.12, 0.10, 0.06} : palette::kInkLight;
        roundedRect(cr, 0.5, 0.5, width - 1, fh - 1, 2);
        setColour(cr, face);
        cairo_fill_preserve(cr);
        setColour(cr, {0, 0, 0, 0.6});
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        setColour(cr, ink);
        const double cx = width / 2.0, cy = fh / 2.0;
        if (glyph == "save" || glyph == "load") {
            // An arrow into (save) or out of (load) a tray.
            const double dir = glyph == "save" ? 1 : -1;
            cairo_move_to(cr, cx, cy - 4 * dir);
            cairo_line_to(cr, cx, cy + 1.5 * dir);
            cairo_set_line_width(cr, 1.3);
            cairo_stroke(cr);
            cairo_move_to(cr, cx - 2.8, cy + (glyph == "save" ? -0.5 : 0.5));
            cairo_line_to(cr, cx + 2.8, cy + (glyph == "save" ? -0.5 : 0.5));
            cairo_line_to(cr, cx, cy + 2.8 * dir);
            cairo_close_path(cr);
            cairo_fill(cr);
            cairo_move_to(cr, cx - 3.5, cy + 4.5);
            cairo_line_to(cr, cx + 3.5, cy + 4.5);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
        } else if (glyph == "store") {
            circle(cr, cx, cy, 2.6);
            setColour(cr, state == 2 ? ink : Rgb{0.95, 0.35, 0.28});
            cairo_fill(cr);
        } else if (glyph == "recall") {
            cairo_move_to(cr, cx - 2, cy - 3.2);
            cairo_line_to(cr, cx + 3, cy);
            cairo_line_to(cr, cx - 2, cy + 3.2);
            cairo_close_path(cr);
            cairo_fill(cr);
        } else {
            TextStyle ts;
            ts.size = std::min(8.5, fh - 1);
            ts.narrow = true;
            ts.colour = ink;
            drawText(cr, glyph, 0, 0, width, fh, ts);
        }
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

cairo_surface_t* barRocker(int width, int height) {
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    const double fh = height / 5.0;
    const double half = width / 2.0;
    for (int state = 0; state < 5; ++state) {
        cairo_save(cr);
        cairo_translate(cr, 0, state * fh);
        for (int side = 0; side < 2; ++side) {
            const bool hovered = (state == 1 && side == 0) || (state == 2 && side == 1);
            const bool pressed = (state == 3 && side == 0) || (state == 4 && side == 1);
            const Rgb face = pressed   ? palette::kAmber
                             : hovered ? Rgb{0.48, 0.50, 0.54}
                                       : Rgb{0.33, 0.34, 0.37};
            const double x = side * half;
            roundedRect(cr, x + 0.5, 0.5, half - 1, fh - 1, 2);
            setColour(cr, face);
            cairo_fill_preserve(cr);
            setColour(cr, {0, 0, 0, 0.6});
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
            const double cx = x + half / 2, cy = fh / 2, dir = side == 0 ? -1 : 1;
            cairo_move_to(cr, cx + 3 * dir, cy);
            cairo_line_to(cr, cx - 2 * dir, cy - 3.5);
            cairo_line_to(cr, cx - 2 * dir, cy + 3.5);
            cairo_close_path(cr);
            setColour(cr, pressed ? Rgb{0.12, 0.10, 0.06} : palette::kInkLight);
            cairo_fill(cr);
        }
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

// ---- panels

cairo_surface_t* panel(int width, int height, bool dark) {
    cairo_surface_t* s = newImage(width, height);
    cairo_t* cr = openImage(s);
    setColour(cr, dark ? palette::kGraphite : palette::kPanel);
    cairo_paint(cr);
    // A fine horizontal brush: deterministic, so every build draws the same image.
    unsigned seed = 12345;
    for (int y = 0; y < height; ++y) {
        seed = seed * 1103515245u + 12345u;
        const double n = ((seed >> 16) & 0xff) / 255.0 - 0.5;
        cairo_rectangle(cr, 0, y, width, 1);
        setColour(cr, n > 0 ? Rgb{1, 1, 1, n * 0.05} : Rgb{0, 0, 0, -n * 0.05});
        cairo_fill(cr);
    }
    // Bevelled edges.
    cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
    setColour(cr, {1, 1, 1, dark ? 0.08 : 0.35});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_destroy(cr);
    return s;
}

void headerBand(cairo_t* cr, double width, double height, const std::string& name,
                const std::string& tagline) {
    linearFill(cr, 0, 0, 0, height, {0.24, 0.25, 0.27}, {0.17, 0.18, 0.20});
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    cairo_move_to(cr, 0, height - 0.5);
    cairo_line_to(cr, width, height - 0.5);
    setColour(cr, {0.45, 0.46, 0.48});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    TextStyle brand;
    brand.size = 12;
    brand.align = Align::Left;
    brand.colour = palette::kAmber;
    drawText(cr, "QRX", 14, 0, 40, height, brand);
    TextStyle title = brand;
    title.colour = palette::kInkLight;
    title.bold = true;
    drawText(cr, name, 46, 0, 200, height, title);
    TextStyle tag;
    tag.size = 8;
    tag.bold = false;
    tag.align = Align::Right;
    tag.colour = {0.65, 0.66, 0.66};
    drawText(cr, tagline, width - 250, 0, 236, height, tag);
}

void readoutWindow(cairo_t* cr, double l, double t, double r, double b, bool dark) {
    roundedRect(cr, l, t, r - l, b - t, 2);
    setColour(cr, dark ? Rgb{0.11, 0.115, 0.125} : palette::kWindow);
    cairo_fill_preserve(cr);
    setColour(cr, dark ? Rgb{0, 0, 0, 0.7} : Rgb{0.45, 0.45, 0.43, 0.9});
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    cairo_move_to(cr, l + 2, b + 0.5);
    cairo_line_to(cr, r - 2, b + 0.5);
    setColour(cr, {1, 1, 1, dark ? 0.08 : 0.5});
    cairo_stroke(cr);
}

void group(cairo_t* cr, double l, double t, double r, double b, const std::string& title,
           bool dark) {
    TextStyle ts;
    ts.size = 8;
    ts.colour = dark ? palette::kInkLight : palette::kAccent;
    ts.align = Align::Left;
    cairo_t* m = measuring();
    cairo_save(m);
    cairo_select_font_face(m, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(m, ts.size);
    cairo_text_extents_t te;
    cairo_text_extents(m, title.c_str(), &te);
    cairo_restore(m);
    const double gapFrom = l + 6, gapTo = title.empty() ? l + 6 : l + 10 + te.x_advance + 4;
    const Rgb line = dark ? Rgb{1, 1, 1, 0.18} : Rgb{0, 0, 0, 0.22};
    const Rgb light = dark ? Rgb{0, 0, 0, 0.35} : Rgb{1, 1, 1, 0.45};
    for (int pass = 0; pass < 2; ++pass) {
        const double o = pass == 0 ? 0.5 : 1.5;
        cairo_move_to(cr, gapFrom, t + o);
        cairo_line_to(cr, l + o, t + o);
        cairo_line_to(cr, l + o, b - o);
        cairo_line_to(cr, r - o, b - o);
        cairo_line_to(cr, r - o, t + o);
        cairo_line_to(cr, gapTo, t + o);
        setColour(cr, pass == 0 ? line : light);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    drawText(cr, title, l + 10, t - 4, r - l - 14, 9, ts);
}

void bezel(cairo_t* cr, double l, double t, double r, double b) {
    roundedRect(cr, l - 4, t - 4, r - l + 8, b - t + 8, 4);
    linearFill(cr, 0, t - 4, 0, b + 4, {0.14, 0.14, 0.16}, {0.30, 0.31, 0.33});
    cairo_fill(cr);
    roundedRect(cr, l - 4.5, t - 4.5, r - l + 9, b - t + 9, 4.5);
    setColour(cr, {1, 1, 1, 0.4});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void plate(cairo_t* cr, double l, double t, double r, double b) {
    roundedRect(cr, l, t, r - l, b - t, 3);
    linearFill(cr, 0, t, 0, b, {0.86, 0.86, 0.83}, {0.74, 0.74, 0.71});
    cairo_fill_preserve(cr);
    setColour(cr, {0, 0, 0, 0.5});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void presetStrip(cairo_t* cr, double width, double y0, double height) {
    linearFill(cr, 0, y0, 0, y0 + height, {0.20, 0.21, 0.23}, {0.13, 0.14, 0.15});
    cairo_rectangle(cr, 0, y0, width, height);
    cairo_fill(cr);
    cairo_move_to(cr, 0, y0 + 0.5);
    cairo_line_to(cr, width, y0 + 0.5);
    setColour(cr, {1, 1, 1, 0.15});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void nameField(cairo_t* cr, double l, double t, double r, double b) {
    cairo_rectangle(cr, l, t, r - l, b - t);
    linearFill(cr, 0, t, 0, b, {0.70, 0.78, 0.83}, {0.82, 0.89, 0.93});
    cairo_fill_preserve(cr);
    setColour(cr, {0, 0, 0, 0.7});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void menuGlyph(cairo_t* cr, double l, double t, double r, double b) {
    roundedRect(cr, l + 0.5, t + 0.5, r - l - 1, b - t - 1, 2);
    setColour(cr, {0.33, 0.34, 0.37});
    cairo_fill_preserve(cr);
    setColour(cr, {0, 0, 0, 0.6});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    const double cx = (l + r) / 2, cy = (t + b) / 2;
    cairo_move_to(cr, cx - 3, cy - 1.5);
    cairo_line_to(cr, cx + 3, cy - 1.5);
    cairo_line_to(cr, cx, cy + 2.5);
    cairo_close_path(cr);
    setColour(cr, palette::kInkLight);
    cairo_fill(cr);
}

void screw(cairo_t* cr, double x, double y) {
    circle(cr, x, y, 3.5);
    linearFill(cr, x, y - 3.5, x, y + 3.5, {0.88, 0.88, 0.86}, {0.50, 0.50, 0.49});
    cairo_fill_preserve(cr);
    setColour(cr, {0, 0, 0, 0.5});
    cairo_set_line_width(cr, 0.6);
    cairo_stroke(cr);
    cairo_move_to(cr, x - 2.2, y + 1);
    cairo_line_to(cr, x + 2.2, y - 1);
    setColour(cr, {0.2, 0.2, 0.2, 0.9});
    cairo_set_line_width(cr, 0.9);
    cairo_stroke(cr);
}

}  // namespace skingen
