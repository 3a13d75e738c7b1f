// The editors' scale factor as a host and a user meet it: where the factor comes from (the
// user's zoom, else the host's request, else the system's X resources, else 100 %), the sizes
// reported before and after open, resizing while open, the zoom menu (on the background and in
// the preset bar's program menu) and its per-user store, what the open editor holds in image
// memory at 200 %, and the panels drawn at 100 %, 150 % and 200 % with no control's ink on
// another's.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "EditorRig.h"
#include "editor/PanelLayout.h"
#include "editor/ReadoutText.h"
#include "editor/ZoomStore.h"
#include "gui/COptionMenu.h"
#include "gui/CTextEdit.h"

namespace editortest {
namespace {

struct Zoom : ::testing::TestWithParam<Plugin> {
    ERect rect() {
        ERect* r = nullptr;
        EXPECT_EQ(rig.fx->dispatcher(effEditGetRect, 0, 0, &r, 0), 1);
        return r ? *r : ERect{};
    }
    VstIntPtr hostScale(float factor) {
        return rig.fx->dispatcher(effVendorSpecific, CompressorEffect::kScaleFactorRequest,
                                  CompressorEffect::kScaleFactorValue, nullptr, factor);
    }
    int height() const { return rig.grand() ? 460 : 378; }
    // Width and height reported for a factor.
    void expectSize(double factor) {
        const ERect r = rect();
        EXPECT_EQ(r.right - r.left, static_cast<int>(std::ceil(450 * factor))) << factor;
        EXPECT_EQ(r.bottom - r.top, static_cast<int>(std::ceil(height() * factor))) << factor;
    }
    // The open list of `menu`: the row titled `title` clicked.
    void pick(COptionMenu* menu, const char* title) {
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(menu->isPopupOpen());
        int32_t entry = -1;
        for (int32_t i = 0; i < menu->getNbEntries(); ++i)
            if (std::string(menu->getEntry(i)->getTitle()) == title) entry = i;
        ASSERT_GE(entry, 0) << title;
        CView* list = rig.frame()->getModalView();
        ASSERT_NE(list, nullptr);
        const CRect r = list->getViewSize();
        EXPECT_GE(r.top, 0) << "the list lies inside the frame";
        EXPECT_LE(r.bottom, rig.frame()->getViewSize().bottom);
        const double row = (r.getHeight() - 4) / menu->getNbEntries();
        rig.click(CPoint(r.left + 20, r.top + 2 + (entry + 0.5) * row));
        EXPECT_FALSE(menu->isPopupOpen());
    }
    // The zoom menu opened by a right click on the page background, entry `title` chosen.
    void chooseFromMenu(const char* title) {
        rig.click(CPoint(20, 120), kRButton);  // left of the compressor's section: background
        ASSERT_TRUE(rig.editor->zoomMenu()->isPopupOpen()) << "the zoom menu opens";
        pick(rig.editor->zoomMenu(), title);
    }

    EditorRig rig{GetParam()};
};

TEST_P(Zoom, FactorComesFromTheUserThenTheHostThenTheSystemElseOneHundredPercent) {
    expectSize(1.0);
    EditorRig::systemDpi() = 144;  // the system: a screen of 144 dpi, read when next asked
    rig.editor->setSystemScaleSource(EditorRig::fakeSystemFactor);
    expectSize(1.5);
    EXPECT_EQ(hostScale(2.0f), 1);  // the host beats the system
    expectSize(2.0);
    EXPECT_EQ(hostScale(1.1f), 1);  // in-between factors snap to the nearest step
    expectSize(1.0);
    EXPECT_EQ(hostScale(2.0f), 1);
    ASSERT_TRUE(rig.open());
    expectSize(2.0);
    EXPECT_EQ(rig.frame()->getScaleFactor(), 2.0);
    EXPECT_EQ(surfaceWidth(rig.frame()->getOffscreen()), 900);

    chooseFromMenu("125 %");  // the user beats the host
    EXPECT_EQ(rig.editor->userZoom(), 1.25);
    expectSize(1.25);
    EXPECT_EQ(rig.frame()->getScaleFactor(), 1.25);
    chooseFromMenu("Auto (200 %)");  // back to the host's factor
    EXPECT_EQ(rig.editor->userZoom(), 0.0);
    expectSize(2.0);
    EXPECT_EQ(hostScale(0.0f), 1);  // the host withdraws: the system's again
    expectSize(1.5);
    // A vendor request of another kind is not a scale factor.
    EXPECT_EQ(rig.fx->dispatcher(effVendorSpecific, CompressorEffect::kScaleFactorRequest, 0,
                                 nullptr, 3.0f),
              0);
    expectSize(1.5);
}

TEST_P(Zoom, ChangeWhileOpenResizesTheWindowAndAsksTheHost) {
    ASSERT_TRUE(rig.open());
    rig.idle();
    EXPECT_EQ(hostScale(2.0f), 1);
    // The host is asked for the new size (the recording host refuses); the frame has it anyway.
    ASSERT_EQ(rig.count(audioMasterSizeWindow, 900), 1);
    for (const auto& r : rig.host.requests) {
        if (r.opcode == audioMasterSizeWindow) {
            EXPECT_EQ(r.value, std::ceil(height() * 2.0));
        }
    }
    EXPECT_EQ(surfaceWidth(rig.frame()->getOffscreen()), 900);
    EXPECT_EQ(surfaceHeight(rig.frame()->getOffscreen()), height() * 2);
    EXPECT_EQ(hostScale(2.0f), 1);
    EXPECT_EQ(rig.count(audioMasterSizeWindow, 900), 1) << "no request without a change";
    // Controls keep their design rects: a click at a design point reaches the same control.
    const float power = rig.fx->getParameter(0);
    rig.clickTag(0);
    EXPECT_NE(rig.fx->getParameter(0), power);
}

TEST_P(Zoom, UserZoomIsKeptPerUserForEachPlugin) {
    ASSERT_TRUE(rig.open());
    chooseFromMenu("175 %");
    rig.close();
    const char* name = rig.grand() ? "grandpress" : "tinypress";
    EXPECT_EQ(zoom_store::read(name), 1.75);
    EXPECT_EQ(zoom_store::read(rig.grand() ? "tinypress" : "grandpress"), 0.0)
        << "the other plug-in keeps its own zoom";
    // Another instance in the same store starts at the stored zoom.
    auto again = [&]() -> std::unique_ptr<CompressorEffect> {
        if (rig.grand())
            return std::make_unique<grandpress::GrandPress>(testsupport::CallbackRecorder::callback,
                                                            &GrandPressEditor::create);
        return std::make_unique<tinypress::TinyPress>(testsupport::CallbackRecorder::callback,
                                                      &GrandPressEditor::create);
    }();
    ERect* r = nullptr;
    again->dispatcher(effEditGetRect, 0, 0, &r, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right, static_cast<VstInt16>(std::ceil(450 * 1.75)));
    again.reset();
    // A right click on a control is the control's, not the background's.
    ASSERT_TRUE(rig.open());
    rig.click(rig.centreOf(rig.output()), kRButton);
    EXPECT_FALSE(rig.editor->zoomMenu()->isPopupOpen());
}

TEST_P(Zoom, PresetBarsProgramMenuOpensTheZoomMenuAndKeepsTheProgram) {
    ASSERT_TRUE(rig.open());
    auto* programs = dynamic_cast<COptionMenu*>(
        rig.editor->presetBarControl(CPresetSystemEditor::kTagProgramMenu));
    ASSERT_NE(programs, nullptr);
    ASSERT_EQ(programs->getNbEntries(), 17) << "sixteen programs, then the zoom";
    rig.click(programs->getViewSize().getCenter());
    const std::string fourth = programs->getEntry(3)->getTitle();
    pick(programs, fourth.c_str());
    ASSERT_EQ(rig.fx->getCurrentProgramIndex(), 3);
    rig.host.requests.clear();
    rig.click(programs->getViewSize().getCenter());
    pick(programs, CPresetSystemEditor::kZoomEntryTitle);
    ASSERT_TRUE(rig.editor->zoomMenu()->isPopupOpen()) << "the zoom menu opens beside the bar";
    pick(rig.editor->zoomMenu(), "150 %");
    EXPECT_EQ(rig.editor->userZoom(), 1.5);
    EXPECT_EQ(rig.frame()->getScaleFactor(), 1.5);
    EXPECT_EQ(rig.fx->getCurrentProgramIndex(), 3) << "no program was chosen";
    EXPECT_EQ(programs->getCurrentIndex(), 3);
    EXPECT_EQ(rig.count(audioMasterUpdateDisplay, 0), 0);
}

TEST_P(Zoom, OpenEditorAtTwoHundredPercentHoldsUnderThreeTimesTheImageMemoryOfOneHundred) {
    auto footprint = [&](float factor) {
        EditorRig fresh(GetParam());
        const int64_t before = liveSurfaceBytes();
        fresh.fx->dispatcher(effVendorSpecific, CompressorEffect::kScaleFactorRequest,
                             CompressorEffect::kScaleFactorValue, nullptr, factor);
        EXPECT_TRUE(fresh.open());
        fresh.idle();
        fresh.idle();
        fresh.frame()->redrawAll();
        const int64_t bytes = liveSurfaceBytes() - before;
        fresh.close();
        EXPECT_EQ(liveSurfaceBytes(), before) << "closing gives everything back";
        return bytes;
    };
    const int64_t one = footprint(1.0f), two = footprint(2.0f);
    RecordProperty("bytes100", std::to_string(one));
    RecordProperty("bytes200", std::to_string(two));
    std::printf("image memory of the open editor: %lld bytes at 100 %%, %lld at 200 %%\n",
                static_cast<long long>(one), static_cast<long long>(two));
    EXPECT_GT(one, 0);
    EXPECT_LT(two, 3 * one);
}

// Every text a knob read-out shows (at open, on hover, after a change, for parameter values
// across the whole range), drawn in its box at every step: its ink keeps clear of the box's
// left and right edge, so no text is cut.
TEST_P(Zoom, ReadoutTextsFitTheirBoxesAtEveryScale) {
    ASSERT_TRUE(rig.open());
    for (const panel::ReadoutSpec& spec : rig.editor->layout()->readouts) {
        CTextEdit* field = rig.editor->readout(spec.tag);
        ASSERT_NE(field, nullptr);
        // The widest texts, as the font measures them at 100 %.
        std::map<std::string, CCoord> widths;
        NativeSurface* measureOn = createSurface(1, 1);
        CDrawContext measure(measureOn);
        measure.setFont(field->getFont());
        constexpr int kSteps = 400;
        for (int n = 0; n <= kSteps; ++n) {
            rig.fx->setParameter(spec.parameter, static_cast<float>(n) / kSteps);
            for (auto occasion : {readout::Occasion::Open, readout::Occasion::Hover,
                                  readout::Occasion::HostUpdate}) {
                char text[readout::kTextSize];
                readout::format(spec.kind, occasion, rig.fx->getDisplayValue(spec.parameter), text);
                widths.emplace(text, measure.getStringWidth(text));
            }
        }
        releaseSurface(measureOn);
        std::vector<std::pair<CCoord, std::string>> widest;
        for (const auto& [text, width] : widths) widest.emplace_back(width, text);
        std::sort(widest.rbegin(), widest.rend());
        widest.resize(std::min<size_t>(widest.size(), 2));

        const CRect box = field->getViewSize();
        for (const double scale : qgui::scale::kSteps)
            for (const auto& [width, text] : widest) {
                // The field alone on an image reaching 10 pixels beyond it, unclipped.
                const CCoord margin = 10;
                const int w = static_cast<int>(std::ceil((box.getWidth() + 2 * margin) * scale));
                const int h = static_cast<int>(std::ceil((box.getHeight() + 2 * margin) * scale));
                auto draw = [&](const char* shown) {
                    NativeSurface* s = createSurface(w, h);
                    CDrawContext context(s, scale);
                    context.setOffset(CPoint(margin - box.left, margin - box.top));
                    field->setText(shown);
                    field->draw(&context);
                    return s;
                };
                NativeSurface* blank = draw("");
                NativeSurface* drawn = draw(text.c_str());
                int left = w, right = -1;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const guitest::Pixel a = guitest::pixelAt(blank, x, y);
                        if (guitest::near(guitest::pixelAt(drawn, x, y), a.r, a.g, a.b, 40))
                            continue;
                        left = std::min(left, x);
                        right = std::max(right, x);
                    }
                releaseSurface(blank);
                releaseSurface(drawn);
                SCOPED_TRACE("read-out " + std::to_string(spec.tag) + " \"" + text + "\" at " +
                             std::to_string(scale));
                ASSERT_GE(right, left) << "the text shows";
                // At least one design pixel of the box clear on either side.
                EXPECT_GE(left, std::floor((margin + 1) * scale));
                EXPECT_LT(right, std::ceil((margin + box.getWidth() - 1) * scale));
            }
    }
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, Zoom,
                         ::testing::Values(Plugin::GrandPress, Plugin::TinyPress), pluginName);

// ---- the panels drawn at scale

struct ScaledPanel : ::testing::TestWithParam<std::tuple<Plugin, double>> {
    void SetUp() override {
        ASSERT_TRUE(rig.open());
        ASSERT_TRUE(rig.frame()->setScaleFactor(scale()));
    }
    double scale() const { return std::get<1>(GetParam()); }
    // The offscreen image with only `keep` drawn over the page background.
    std::vector<uint32_t> drawnAlone(CView* keep) {
        std::vector<CView*> views;
        for (int32_t i = 0; i < rig.editor->frontPage()->getNbViews(); ++i)
            views.push_back(rig.editor->frontPage()->getView(i));
        for (CView* v : views) v->setVisible(v == keep);
        rig.frame()->redrawAll();
        for (CView* v : views) v->setVisible(true);
        NativeSurface* s = rig.frame()->getOffscreen();
        std::vector<uint32_t> pixels;
        for (int y = 0; y < surfaceHeight(s); ++y)
            for (int x = 0; x < surfaceWidth(s); ++x) {
                const guitest::Pixel p = guitest::pixelAt(s, x, y);
                pixels.push_back(uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | uint32_t(p.b));
            }
        return pixels;
    }

    EditorRig rig{std::get<0>(GetParam())};
};

TEST_P(ScaledPanel, IsTheDesignSizeTimesTheFactorAndNoControlInksAnotherControlsPart) {
    const int height = rig.grand() ? 460 : 378;
    EXPECT_EQ(surfaceWidth(rig.frame()->getOffscreen()),
              static_cast<int>(std::ceil(450 * scale())));
    EXPECT_EQ(surfaceHeight(rig.frame()->getOffscreen()),
              static_cast<int>(std::ceil(height * scale())));
    CViewContainer* page = rig.editor->frontPage();
    // The read-outs are shown while the mouse is over their knob: all of them, as views.
    for (const panel::ReadoutSpec& r : rig.editor->layout()->readouts)
        if (CTextEdit* field = rig.editor->readout(r.tag); field && !page->isChild(field)) {
            page->addView(field);
            field->remember();
        }
    std::vector<CView*> views;
    for (int32_t i = 0; i < page->getNbViews(); ++i)
        if (!dynamic_cast<CViewContainer*>(page->getView(i))) views.push_back(page->getView(i));
    const std::vector<uint32_t> background = drawnAlone(nullptr);
    const int w = surfaceWidth(rig.frame()->getOffscreen());
    std::map<CView*, std::vector<uint32_t>> alone;
    int pairs = 0;
    for (size_t a = 0; a < views.size(); ++a)
        for (size_t b = a + 1; b < views.size(); ++b) {
            CRect overlap = views[a]->getViewSize();
            overlap.bound(views[b]->getViewSize());
            if (overlap.isEmpty()) continue;
            ++pairs;
            for (CView* v : {views[a], views[b]})
                if (!alone.count(v)) alone[v] = drawnAlone(v);
            // Device pixels wholly inside both rects: at most one of the two puts ink there.
            const int l = static_cast<int>(std::ceil(overlap.left * scale()));
            const int r = static_cast<int>(std::floor(overlap.right * scale()));
            const int t = static_cast<int>(std::ceil(overlap.top * scale()));
            const int bt = static_cast<int>(std::floor(overlap.bottom * scale()));
            int both = 0;
            for (int y = t; y < bt; ++y)
                for (int x = l; x < r; ++x) {
                    const size_t i = static_cast<size_t>(y) * w + x;
                    both +=
                        alone[views[a]][i] != background[i] && alone[views[b]][i] != background[i];
                }
            EXPECT_EQ(both, 0) << views[a]->getClassName() << " and " << views[b]->getClassName()
                               << " both draw in " << overlap.left << "," << overlap.top << " - "
                               << overlap.right << "," << overlap.bottom;
        }
    // grandpress's side-chain shelf buttons reach into S.C.Ext and the SC High value box.
    if (rig.grand()) {
        EXPECT_GE(pairs, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scales, ScaledPanel,
    ::testing::Combine(::testing::Values(Plugin::GrandPress, Plugin::TinyPress),
                       ::testing::Values(1.0, 1.5, 2.0)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == Plugin::GrandPress ? "grandpress"
                                                                         : "tinypress") +
               "_" + std::to_string(static_cast<int>(std::get<1>(info.param) * 100));
    });

}  // namespace
}  // namespace editortest
