#include "render/Plot.h"

#include <cairo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/RemovedOnSignal.h"

namespace render {
namespace {

struct Rect {
    double x, y, w, h;
};

struct Colour {
    double r, g, b, a;
};

constexpr Colour kBackground{0.97, 0.97, 0.95, 1};
constexpr Colour kGrid{0.82, 0.82, 0.80, 1};
constexpr Colour kText{0.15, 0.15, 0.18, 1};
constexpr Colour kInPeak{0.65, 0.65, 0.68, 1};
constexpr Colour kInRms{0.35, 0.35, 0.40, 1};
constexpr Colour kOutPeak{0.55, 0.72, 0.92, 1};
constexpr Colour kOutRms{0.10, 0.35, 0.75, 1};
constexpr Colour kReduction{0.90, 0.45, 0.10, 1};
constexpr Colour kFullScale{0.80, 0.10, 0.10, 1};

void setColour(cairo_t* cr, const Colour& c) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool centred = false,
          bool right = false) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    if (centred) x -= e.width / 2 + e.x_bearing;
    if (right) x -= e.width + e.x_bearing;
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, s.c_str());
}

// A chart area with a dB axis from `top` down to `bottom` and a time axis of `seconds`.
struct Axes {
    Rect area;
    double top, bottom, seconds;
    double xOf(double t) const { return area.x + area.w * t / seconds; }
    double yOf(double db) const {
        const double clamped = std::clamp(db, bottom, top);
        return area.y + area.h * (top - clamped) / (top - bottom);
    }
};

double niceStep(double span, int wanted) {
    const double raw = span / wanted;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * magnitude) return m * magnitude;
    return 10.0 * magnitude;
}

void drawAxes(cairo_t* cr, const Axes& a, const char* label, double dbStep) {
    setColour(cr, kGrid);
    cairo_set_line_width(cr, 1);
    for (double db = a.top; db >= a.bottom - 1e-9; db -= dbStep) {
        const double y = std::round(a.yOf(db)) + 0.5;
        cairo_move_to(cr, a.area.x, y);
        cairo_line_to(cr, a.area.x + a.area.w, y);
        cairo_stroke(cr);
        setColour(cr, kText);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", db);
        text(cr, a.area.x - 8, y + 4, buf, 12, false, true);
        setColour(cr, kGrid);
    }
    const double tStep = niceStep(a.seconds, 10);
    for (double t = 0; t <= a.seconds + 1e-9; t += tStep) {
        const double x = std::round(a.xOf(t)) + 0.5;
        cairo_move_to(cr, x, a.area.y);
        cairo_line_to(cr, x, a.area.y + a.area.h);
        cairo_stroke(cr);
        setColour(cr, kText);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", t);
        text(cr, x, a.area.y + a.area.h + 16, buf, 12, true);
        setColour(cr, kGrid);
    }
    setColour(cr, kText);
    cairo_rectangle(cr, a.area.x + 0.5, a.area.y + 0.5, a.area.w, a.area.h);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_translate(cr, a.area.x - 50, a.area.y + a.area.h / 2);
    cairo_rotate(cr, -M_PI / 2);
    text(cr, 0, 0, label, 13, true);
    cairo_restore(cr);
}

void drawTrace(cairo_t* cr, const Axes& a, const std::vector<float>& values, double step,
               const Colour& c, double width) {
    if (values.empty()) return;
    setColour(cr, c);
    cairo_set_line_width(cr, width);
    bool drawing = false;
    for (size_t i = 0; i < values.size(); ++i) {
        // NaN leaves a gap (no reading); -inf (silence) sits on the floor of the chart.
        if (std::isnan(values[i])) {
            drawing = false;
            continue;
        }
        const double x = a.xOf((i + 0.5) * step);
        const double y = a.yOf(std::isfinite(values[i]) ? values[i] : a.bottom);
        if (drawing)
            cairo_line_to(cr, x, y);
        else
            cairo_move_to(cr, x, y);
        drawing = true;
    }
    cairo_stroke(cr);
}

// The line of 0 dBFS: an integer file holds nothing above it.
void drawFullScale(cairo_t* cr, const Axes& a) {
    const double y = std::round(a.yOf(0.0)) + 0.5;
    setColour(cr, kFullScale);
    cairo_set_line_width(cr, 1.5);
    const double dashes[] = {8.0, 4.0};
    cairo_set_dash(cr, dashes, 2, 0);
    cairo_move_to(cr, a.area.x, y);
    cairo_line_to(cr, a.area.x + a.area.w, y);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    text(cr, a.area.x + a.area.w - 6, y - 4, "0 dBFS (full scale)", 11, false, true);
}

cairo_status_t writeToFd(void* closure, const unsigned char* data, unsigned int length) {
    const int fd = *static_cast<int*>(closure);
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n <= 0) return CAIRO_STATUS_WRITE_ERROR;
        data += n;
        length -= static_cast<unsigned int>(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

// Writes the surface as PNG to a temporary file beside `path` (removed by a cleanup signal too)
// and renames it over `path` when it is complete.
bool writePng(cairo_surface_t* surface, const std::string& path, std::string* error) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "/." + name + ".partial-XXXXXX";
    int fd = -1;
    platform::RemovedOnSignal removal;
    {
        const platform::CleanupSignalsHeld held;
        fd = mkstemp(temporary.data());
        if (fd >= 0) removal = platform::RemovedOnSignal(temporary);
    }
    if (fd < 0) {
        *error = "cannot write plot '" + path + "': " + std::strerror(errno);
        return false;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, writeToFd, &fd);
    const bool closed = close(fd) == 0;
    if (status != CAIRO_STATUS_SUCCESS || !closed ||
        std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        *error = "cannot write plot '" + path + "'";
        return false;
    }
    return true;
}

void legend(cairo_t* cr, double x, double y, const Colour& c, const char* label) {
    setColour(cr, c);
    cairo_rectangle(cr, x, y - 9, 18, 4);
    cairo_fill(cr);
    setColour(cr, kText);
    text(cr, x + 24, y, label, 12);
}

}  // namespace

bool writePlot(const std::string& path, const std::string& title, const RenderResult& result,
               std::string* error) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight);
    cairo_t* cr = cairo_create(surface);
    setColour(cr, kBackground);
    cairo_paint(cr);
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                           CAIRO_FONT_WEIGHT_NORMAL);
    setColour(cr, kText);
    text(cr, 80, 30, title, 16);

    const LevelTrace& t = result.trace;
    const double seconds = std::max(result.seconds, t.stepSeconds);
    double loudest = -60.0;
    for (const auto* v : {&t.inPeakDb, &t.outPeakDb})
        for (float x : *v)
            if (std::isfinite(x)) loudest = std::max<double>(loudest, x);
    const double top = std::max(0.0, std::ceil(loudest / 6.0) * 6.0);
    const Axes levels{{80, 50, kPlotWidth - 110, 390}, top, -60.0, seconds};
    drawAxes(cr, levels, "Level (dBFS)", 6.0);
    drawTrace(cr, levels, t.inPeakDb, t.stepSeconds, kInPeak, 1.0);
    drawTrace(cr, levels, t.outPeakDb, t.stepSeconds, kOutPeak, 1.0);
    drawTrace(cr, levels, t.inRmsDb, t.stepSeconds, kInRms, 1.8);
    drawTrace(cr, levels, t.outRmsDb, t.stepSeconds, kOutRms, 1.8);
    drawFullScale(cr, levels);
    legend(cr, 90, 70, kInRms, "input RMS");
    legend(cr, 200, 70, kInPeak, "input peak");
    legend(cr, 310, 70, kOutRms, "output RMS");
    legend(cr, 430, 70, kOutPeak, "output peak");

    double deepest = 0.0;
    for (float x : t.gainReductionDb)
        if (std::isfinite(x)) deepest = std::min<double>(deepest, x);
    const double floorDb = std::min(-6.0, std::floor(deepest / 3.0) * 3.0);
    const Axes reduction{{80, 490, kPlotWidth - 110, 190}, 0.0, floorDb, seconds};
    drawAxes(cr, reduction, "Gain reduction (dB)", niceStep(-floorDb, 4));
    if (!result.hasGainReduction) {
        setColour(cr, kText);
        text(cr, 80 + (kPlotWidth - 110) / 2.0, 590, "no gain-reduction meter in this plug-in", 13,
             true);
    } else {
        drawTrace(cr, reduction, t.gainReductionDb, t.stepSeconds, kReduction, 1.5);
    }
    setColour(cr, kText);
    text(cr, 80 + (kPlotWidth - 110) / 2.0, kPlotHeight - 8, "Time (s)", 13, true);
    cairo_destroy(cr);

    const bool written = writePng(surface, path, error);
    cairo_surface_destroy(surface);
    return written;
}

}  // namespace render
