// Drawing of the skin images. Every function returns a new ARGB32 cairo image of exactly the
// size asked for; film strips and state images stack their frames vertically, frame 0 on top.
#pragma once

#include <cairo.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace skingen {

struct Rgb {
    double r, g, b, a = 1.0;
};

// The palette of the panels.
namespace palette {
constexpr Rgb kPanel{0.80, 0.80, 0.77};       // front page aluminium
constexpr Rgb kPanelShade{0.70, 0.70, 0.67};  // engraved lines
constexpr Rgb kInk{0.17, 0.18, 0.20};         // labels on the light panel
constexpr Rgb kAccent{0.13, 0.33, 0.40};      // section titles
constexpr Rgb kGraphite{0.20, 0.21, 0.23};    // back page, header band
constexpr Rgb kInkLight{0.86, 0.86, 0.83};    // labels on graphite
constexpr Rgb kWindow{0.90, 0.91, 0.88};      // read-out windows
constexpr Rgb kAmber{1.00, 0.68, 0.18};       // lit LEDs, value arcs
constexpr Rgb kIvory{0.95, 0.93, 0.86};       // meter faces
}  // namespace palette

enum class Align { Left, Centre, Right };

struct TextStyle {
    double size = 9;
    bool bold = true;
    bool narrow = false;
    Align align = Align::Centre;
    Rgb colour = palette::kInk;
    double lineSpacing = 1.05;  // baseline to baseline, in type sizes
};

// Legends keep this clear space to the edges of their face, and shrink no further than this.
constexpr double kLegendMarginPx = 2;
constexpr double kMinLegendSizePx = 7;
// The legends of a switch with one legend per position.
constexpr double kSwitchLegendSizePx = 8;

// A part of an image's frame in design pixels (empty: the whole frame).
struct Body {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// Text set in a box: the lines, their pen positions and the box their ink covers.
struct TextLayout {
    TextStyle style;  // with the size chosen
    std::vector<std::string> lines;
    std::vector<double> x, baseline;
    double inkLeft = 0, inkTop = 0, inkRight = 0, inkBottom = 0;
};

// A legend that cannot be set in its face; main adds the manifest line.
struct LegendError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Images are drawn at `density` image pixels per design pixel (1, 2 or 3); every size and
// coordinate below is in design pixels.
void setDensity(int density);
int density();
// A transparent image of width x height design pixels, and a context on it that draws in design
// pixels; designWidth is the width of the context's image in design pixels.
cairo_surface_t* newImage(int width, int height);
cairo_t* openImage(cairo_surface_t* image);
double designWidth(cairo_t* cr);
void setColour(cairo_t* cr, const Rgb& c);
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
// Sets `text` ('|' breaks lines) centred vertically in the box, at style.size.
TextLayout layoutText(cairo_t* cr, const std::string& text, double x, double y, double w, double h,
                      const TextStyle& style);
// Sets a legend so that its ink keeps kLegendMarginPx inside the box: at style.size if it fits,
// else smaller down to kMinLegendSizePx, else broken at blanks. Throws LegendError naming the
// legend when nothing fits.
TextLayout fitLegend(cairo_t* cr, const std::string& text, double x, double y, double w, double h,
                     const TextStyle& style, double margin = kLegendMarginPx, double marginY = -1,
                     double minSize = kMinLegendSizePx);
// Checks that `text` in the toolkit's regular face at `size` keeps the legend margin
// horizontally (and stays inside vertically) in a box the editor writes it into at run time.
void checkRuntimeText(cairo_t* cr, const std::string& text, double size, double l, double t,
                      double r, double b);
void drawLayout(cairo_t* cr, const TextLayout& layout);
// Text centred vertically in the box; '|' breaks lines.
void drawText(cairo_t* cr, const std::string& text, double x, double y, double w, double h,
              const TextStyle& style);

// Controls.
cairo_surface_t* knobStrip(int width, int height, int frames, const std::string& label,
                           bool onDark);
// Off above, on below; the face is drawn in `body` of each frame (the rest stays transparent).
cairo_surface_t* twoStateButton(int width, int height, const std::string& label,
                                const Body& body = Body());
cairo_surface_t* selector(int width, int height, int frames,
                          const std::vector<std::string>& labels);
// A switch whose face is a window of one legend per position, top to bottom; frame f lights
// legend f. Clicking a legend's third of the face selects it.
cairo_surface_t* legendSwitch(int width, int height, int frames,
                              const std::vector<std::string>& legends);
cairo_surface_t* meterFace(int width, int height, double pivotX, double pivotY);
cairo_surface_t* meterStrip(int width, int height, const std::string& label);
cairo_surface_t* overLamp(int width, int height);
// Preset bar: 3 states (normal, hover, pressed); glyph is save, load, store, recall, or text.
cairo_surface_t* barButton(int width, int height, const std::string& glyph);
// 5 states: rest, left hovered, right hovered, left pressed, right pressed.
cairo_surface_t* barRocker(int width, int height);

// Panels and their decorations (coordinates in panel pixels).
cairo_surface_t* panel(int width, int height, bool dark);
void headerBand(cairo_t* cr, double width, double height, const std::string& name,
                const std::string& tagline);
void readoutWindow(cairo_t* cr, double l, double t, double r, double b, bool dark);
void group(cairo_t* cr, double l, double t, double r, double b, const std::string& title,
           bool dark);
void bezel(cairo_t* cr, double l, double t, double r, double b);
void plate(cairo_t* cr, double l, double t, double r, double b);
void presetStrip(cairo_t* cr, double width, double y0, double height);
void nameField(cairo_t* cr, double l, double t, double r, double b);
void menuGlyph(cairo_t* cr, double l, double t, double r, double b);
void screw(cairo_t* cr, double x, double y);

}  // namespace skingen
