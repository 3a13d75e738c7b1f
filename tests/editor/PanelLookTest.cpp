// What the user sees of both panels, read from the pixels: the meter faces' red zone and scale
// line at the needle's angles, legends clear of their buttons' borders, the latency windows'
// text clear of their edges, and the back page meeting the preset bar without a seam. The
// panels are drawn through the editor offscreen, the legends measured in the skin images.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "EditorRig.h"
#include "editor/COldVuMeter.h"
#include "editor/NeedleLaw.h"
#include "editor/PanelLayout.h"
#include "gui/CParamDisplay.h"

namespace editortest {
namespace {

using guitest::Pixel;
using guitest::pixelAt;

// Luminance 0..1 of a pixel as it shows over the light panel.
double luminance(const Pixel& p) {
    const double l = (0.30 * p.r + 0.59 * p.g + 0.11 * p.b) / 255.0;
    const double a = p.a / 255.0;
    return l * a + 0.8 * (1 - a);
}

bool red(const Pixel& p) {
    return p.r > 150 && p.g < 110 && p.b < 110 && p.r - p.g > 80;
}

class PanelLook : public ::testing::TestWithParam<Plugin> {
  protected:
    // The editor open on the front or back page, drawn as the window shows it.
    NativeSurface* draw(bool back) {
        if (!rig.frame()) {
            EXPECT_TRUE(rig.open());
        }
        if (back != onBack) rig.editor->switchPage();
        onBack = back;
        rig.idle();
        rig.idle();
        rig.frame()->redrawAll();
        return rig.frame()->getOffscreen();
    }
    const panel::Layout& layout() const { return *rig.editor->layout(); }

    EditorRig rig{GetParam()};
    bool onBack = false;
};

// The face pixels along a short arc around `radians` at radii rFrom..rTo from the pivot.
std::vector<Pixel> arcPixels(NativeSurface* s, const CPoint& pivot, double radians, double rFrom,
                             double rTo, double halfWidthDeg = 0.4) {
    std::vector<Pixel> out;
    const double halfWidth = halfWidthDeg * needle::kPi / 180.0;
    for (double r = rFrom; r <= rTo; r += 0.5)
        for (double a = radians - halfWidth; a <= radians + halfWidth; a += halfWidth / 2) {
            const int x = static_cast<int>(std::floor(pivot.x + r * std::cos(a)));
            const int y = static_cast<int>(std::floor(pivot.y - r * std::sin(a)));
            out.push_back(pixelAt(s, x, y));
        }
    return out;
}

double angleOfVu(double vu) {
    return COldVuMeter::needleAngle(needle::levelOfVu(vu));
}

TEST_P(PanelLook, MeterFacesAreRedFromZeroToPlusThreeVuOnlyWithTheScaleLineAcrossTheTop) {
    NativeSurface* s = draw(false);
    int meters = 0;
    for (const panel::ControlSpec& spec : layout().front) {
        if (spec.kind != panel::Kind::Meter) continue;
        ++meters;
        const CPoint pivot = spec.meter->pivot;
        SCOPED_TRACE(spec.name);
        // The red band lies just outside the scale line; look across it, inside its ends.
        auto anyRed = [&](double vu) {
            const auto px = arcPixels(s, pivot, angleOfVu(vu), 58, 66);
            return std::any_of(px.begin(), px.end(), red);
        };
        EXPECT_TRUE(anyRed(0.25)) << "0 VU";
        EXPECT_TRUE(anyRed(1.5)) << "+1.5 VU";
        EXPECT_TRUE(anyRed(2.75)) << "+3 VU";
        for (double vu : {-20.0, -15.0, -10.0, -7.0, -5.0, -3.0, -2.0, -1.0, -0.3})
            EXPECT_FALSE(anyRed(vu)) << vu << " VU";
        // The thin scale line runs from the -20 mark over the top to +3.
        auto inked = [&](double radians) {
            const auto px = arcPixels(s, pivot, radians, 59, 61, 0.2);
            return std::any_of(px.begin(), px.end(),
                               [](const Pixel& p) { return luminance(p) < 0.6 && !red(p); });
        };
        for (double vu : {-19.5, -12.0, -6.0, -0.5})
            EXPECT_TRUE(inked(angleOfVu(vu))) << "scale line at " << vu << " VU";
        EXPECT_TRUE(inked(needle::kPi / 2)) << "scale line at the top";
        EXPECT_FALSE(inked(angleOfVu(3) - 4 * needle::kPi / 180)) << "line beyond +3 VU";
    }
    EXPECT_EQ(meters, 2);
}

// A pixel of a legend's margin that carries ink; x < 0 when there is none.
struct Offender {
    int x = -1, y = -1;
    double contrast = 0;
};

// The outline of a button or legend switch is its body's outer pixel with a pixel of shadow
// right and below; the pixels just inside the outline are the legend's margin (two on buttons,
// one on the small faces) and show the face alone. Ink is what stands out
// from the margin's own median tone. Corners (rounded) are left out. The body is the opaque part
// of the frame (a button whose rect reaches into a neighbour's keeps its body out of it); all in
// image pixels at density d.
Offender inkInMargin(NativeSurface* s, int top, int w, int fh, int margin, int d) {
    int l = w, t = fh, r = -1, b = -1;
    for (int y = 0; y < fh; ++y)
        for (int x = 0; x < w; ++x)
            if (pixelAt(s, x, top + y).a > 20) {
                l = std::min(l, x), t = std::min(t, y);
                r = std::max(r, x), b = std::max(b, y);
            }
    if (r < 0) return {0, 0, 1};  // no body at all
    const int bw = r - l + 1, bh = b - t + 1;
    std::vector<std::pair<int, int>> band;
    const int corner = 3 * d;
    for (int y = corner; y < bh - d - corner; ++y)
        for (int i = d; i < d * (1 + margin); ++i) {
            band.emplace_back(l + i, t + y);
            band.emplace_back(l + bw - d - 1 - i, t + y);
        }
    for (int x = corner; x < bw - d - corner; ++x)
        for (int i = d; i < d * (1 + margin); ++i) {
            band.emplace_back(l + x, t + i);
            band.emplace_back(l + x, t + bh - d - 1 - i);
        }
    std::vector<double> tones;
    for (auto [x, y] : band) tones.push_back(luminance(pixelAt(s, x, top + y)));
    std::vector<double> sorted = tones;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double face = sorted[sorted.size() / 2];
    Offender worst;
    for (size_t i = 0; i < band.size(); ++i) {
        const double c = std::fabs(tones[i] - face);
        if (c > 0.3 && c > worst.contrast) worst = {band[i].first, band[i].second, c};
    }
    return worst;
}

TEST_P(PanelLook, NoLegendInkReachesItsButtonsBorderAtAnyDensity) {
    draw(false);
    int checked = 0;
    for (const panel::ControlSpec& spec : layout().front) {
        const bool button = spec.kind == panel::Kind::OnOffButton;
        const bool legendSwitch =
            spec.kind == panel::Kind::VerticalSwitch && spec.tag != layout().metersParameter;
        if (!button && !legendSwitch) continue;
        auto* image = new CBitmap(spec.bitmap);
        ASSERT_TRUE(image->isLoaded()) << spec.name;
        for (int d = 1; d <= 3; ++d) {
            NativeSurface* s = image->getSurface(d);
            ASSERT_NE(s, nullptr) << spec.name << " at " << d << "x";
            const int w = static_cast<int>(image->getWidth()) * d;
            const int frames = button ? 2 : spec.positions;
            const int fh = static_cast<int>(image->getHeight()) * d / frames;
            for (int f = 0; f < frames; ++f) {
                // Small faces (under 20 pixels high) keep one clear pixel, the others two.
                const bool small = !button || spec.rect.getHeight() < 20;
                const Offender o = inkInMargin(s, f * fh, w, fh, small ? 1 : 2, d);
                EXPECT_LT(o.x, 0) << spec.name << " (image " << spec.bitmap << " at " << d
                                  << "x, frame " << f << "): ink at " << o.x << "," << o.y
                                  << " of its " << w << " x " << fh << " frame, contrast "
                                  << o.contrast;
                ++checked;
            }
        }
        image->forget();
    }
    EXPECT_GT(checked, 60);
}

TEST_P(PanelLook, LatencyWindowsKeepTheirTextClearOfTheEdges) {
    draw(false);
    int windows = 0;
    for (const panel::ControlSpec& spec : layout().front) {
        if (spec.kind != panel::Kind::BackDisplay || spec.shows == panel::Shows::Setting) continue;
        auto* display =
            dynamic_cast<CParamDisplay*>(rig.frame()->getViewAt(spec.rect.getCenter(), true));
        ASSERT_NE(display, nullptr) << spec.name;
        // The widest texts the windows show: grandpress's latency, and a long one in ms.
        display->setValue(spec.shows == panel::Shows::LatencySamples ? 1660.0f : 88.8f);
        ++windows;
    }
    EXPECT_EQ(windows, 2);
    rig.frame()->redrawAll();
    NativeSurface* s = rig.frame()->getOffscreen();
    for (const panel::ControlSpec& spec : layout().front) {
        if (spec.kind != panel::Kind::BackDisplay || spec.shows == panel::Shows::Setting) continue;
        // Inside the window's one-pixel outline.
        const int l = static_cast<int>(spec.rect.left) + 1;
        const int r = static_cast<int>(spec.rect.right) - 1;
        const int t = static_cast<int>(spec.rect.top) + 1;
        const int b = static_cast<int>(spec.rect.bottom) - 1;
        int inkLeft = r, inkRight = l - 1;
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                if (luminance(pixelAt(s, x, y)) < 0.6) {
                    inkLeft = std::min(inkLeft, x);
                    inkRight = std::max(inkRight, x);
                }
        EXPECT_LE(inkLeft, inkRight) << spec.name << ": no text";
        EXPECT_GE(inkLeft - l, 2) << spec.name;
        EXPECT_GE(r - 1 - inkRight, 2) << spec.name;
    }
}

TEST_P(PanelLook, BackPageMeetsThePresetBarWithoutALightSeam) {
    NativeSurface* s = draw(true);
    const int bar = layout().barTop;
    for (int y = bar - 4; y < bar; ++y)
        for (int x = 0; x < panel::kPanelWidth; ++x)
            ASSERT_LT(luminance(pixelAt(s, x, y)), 0.4) << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, PanelLook,
                         ::testing::Values(Plugin::GrandPress, Plugin::TinyPress), pluginName);

// tinypress only: grandpress's side-chain switches have two states.
TEST(TinypressPanelLook, ThreePositionSideChainSwitchesLightTheLegendOfTheirPosition) {
    EditorRig rig(Plugin::TinyPress);
    ASSERT_TRUE(rig.open());
    const panel::Layout& layout = *rig.editor->layout();
    int switches = 0;
    for (const panel::ControlSpec& spec : layout.front) {
        if (spec.kind != panel::Kind::VerticalSwitch || spec.tag == layout.metersParameter)
            continue;
        ++switches;
        auto* image = new CBitmap(spec.bitmap);
        ASSERT_TRUE(image->isLoaded());
        NativeSurface* s = image->getSurface();
        const int w = static_cast<int>(image->getWidth()), fh = spec.positionHeight;
        // A click in the upper, middle or lower third selects position 0, 1 or 2: the lit
        // (amber) legend of each frame sits in its position's third.
        for (int f = 0; f < spec.positions; ++f) {
            std::vector<int> amber(spec.positions, 0);
            for (int y = 0; y < fh; ++y)
                for (int x = 0; x < w; ++x) {
                    const Pixel p = pixelAt(s, x, f * fh + y);
                    if (p.r > 100 && p.r > p.b + 60 && p.g > p.b + 20)  // warm, not grey
                        ++amber[std::min(spec.positions - 1, y * spec.positions / fh)];
                }
            EXPECT_GT(amber[f], 8) << spec.name << " frame " << f;
            for (int row = 0; row < spec.positions; ++row) {
                if (row != f) {
                    EXPECT_LT(amber[row] * 4, amber[f]) << spec.name << " frame " << f;
                }
            }
        }
        image->forget();
    }
    EXPECT_EQ(switches, 2);
}

}  // namespace
}  // namespace editortest
