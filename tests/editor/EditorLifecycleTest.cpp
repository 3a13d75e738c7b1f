// The editor of either engine opened offscreen: frame and page sizes, every control of both
// pages in table order with its class, tag, rectangle and bitmap, values and texts at open,
// page switching, closing (side-chain monitoring off, nothing left behind), and an inert
// effect that opens nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "EditorRig.h"
#include "editor/CAnimKnob2.h"
#include "editor/COldVuMeter.h"
#include "editor/PanelControls.h"

namespace editortest {
namespace {

struct EditorLifecycle : ::testing::TestWithParam<Plugin> {
    EditorRig rig{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(BothPlugins, EditorLifecycle,
                         ::testing::Values(Plugin::GrandPress, Plugin::TinyPress), pluginName);

std::vector<int32_t> tagsOf(CViewContainer* page) {
    std::vector<int32_t> tags;
    for (int32_t i = 0; i < page->getNbViews(); ++i) {
        auto* c = dynamic_cast<CControl*>(page->getView(i));
        tags.push_back(c && !c->isTypeOf("CParamDisplay") ? c->getTag() : -1);
    }
    return tags;
}

TEST_P(EditorLifecycle, FrameAndPagesHaveTheSkinSizes) {
    ASSERT_TRUE(rig.open());
    const CCoord height = rig.grand() ? 460 : 378;
    EXPECT_EQ(rig.frame()->getViewSize(), CRect(0, 0, 450, height));
    EXPECT_EQ(rig.editor->frontPage()->getViewSize(), CRect(0, 0, 450, rig.grand() ? 444 : 360));
    EXPECT_EQ(rig.editor->backPage()->getViewSize(), CRect(0, 0, 450, rig.grand() ? 444 : 359));
    EXPECT_EQ(rig.frame()->getBackground()->getResourceId(), 19000);
    EXPECT_EQ(rig.editor->frontPage()->getBackground()->getResourceId(), 19001);
    EXPECT_EQ(rig.editor->backPage()->getBackground()->getResourceId(), 19035);
    EXPECT_EQ(rig.editor->shownPage(), rig.editor->frontPage());
    EXPECT_TRUE(rig.frame()->isChild(rig.editor->frontPage()));
    EXPECT_FALSE(rig.frame()->isChild(rig.editor->backPage()));
    ERect* r = nullptr;
    rig.fx->dispatcher(effEditGetRect, 0, 0, &r, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->bottom - r->top, height);
    EXPECT_EQ(r->right - r->left, 450);
}

TEST_P(EditorLifecycle, RefusesAnInvalidParentWindow) {
    EXPECT_EQ(rig.fx->dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(0x1234), 0), 0);
    EXPECT_EQ(rig.frame(), nullptr);
    EXPECT_EQ(rig.fx->dispatcher(effSetEditKnobMode, 0, 2, nullptr, 0), 1);
}

TEST_P(EditorLifecycle, ControlsAreCreatedInTableOrder) {
    ASSERT_TRUE(rig.open());
    const std::vector<int32_t> front =
        rig.grand()
            ? std::vector<int32_t>{-1, -1, 58, 58, 0, 23, 1, 2,  3,  4,  8,  26, 10, 24, 12, 17, 18,
                                   35, 25, 15, 13, 6, 7,  5, 16, 14, 19, 20, 22, 21, 11, 9,  56}
            : std::vector<int32_t>{-1, -1, 58, 58, 0,  24, 2, 3, 28, 27, 20, 11,
                                   17, 35, 26, 12, 14, 6,  8, 5, 23, 16, 10, 56};
    EXPECT_EQ(tagsOf(rig.editor->frontPage()), front);
    const std::vector<int32_t> back = {36, -1, 37, -1, 38, -1, 39, -1, 40, -1, -1, 57};
    EXPECT_EQ(tagsOf(rig.editor->backPage()), back);
    EXPECT_TRUE(rig.editor->backPage()->getView(10)->isTypeOf("CLabel2"));
    EXPECT_STREQ(static_cast<CLabel2*>(rig.editor->backPage()->getView(10))->getLabelText(),
                 "v.1.7.0");
}

// Each control's place and bitmap agree with the table, and its size with its bitmap: knobs
// are the strip's width by one frame, buttons half their bitmap's height, switches one
// position per frame.
TEST_P(EditorLifecycle, EveryControlTakesItsSizeFromItsBitmap) {
    ASSERT_TRUE(rig.open());
    const panel::Layout& layout = *rig.editor->layout();
    auto check = [&](CViewContainer* page, std::span<const panel::ControlSpec> specs) {
        ASSERT_EQ(page->getNbViews(), static_cast<int32_t>(specs.size()));
        for (size_t i = 0; i < specs.size(); ++i) {
            const panel::ControlSpec& s = specs[i];
            CView* v = page->getView(static_cast<int32_t>(i));
            SCOPED_TRACE(s.name);
            CBitmap* b = v->getBackground();
            switch (s.kind) {
                case panel::Kind::Knob: {
                    auto* k = dynamic_cast<CAnimKnob2*>(v);
                    ASSERT_NE(k, nullptr);
                    EXPECT_EQ(v->getViewSize(), s.rect);
                    EXPECT_EQ(b->getResourceId(), s.bitmap);
                    EXPECT_EQ(b->getWidth(), s.rect.getWidth());
                    EXPECT_EQ(k->getHeightOfOneImage(), s.rect.getHeight());
                    EXPECT_EQ(k->getNumSubPixmaps() * k->getHeightOfOneImage(), b->getHeight());
                    EXPECT_FLOAT_EQ(k->getDefaultValue(), s.defaultValue);
                    break;
                }
                case panel::Kind::OnOffButton:
                    ASSERT_TRUE(v->isTypeOf("CQRXOnOffButton"));
                    EXPECT_EQ(v->getViewSize(), s.rect);
                    EXPECT_EQ(b->getResourceId(), s.bitmap);
                    EXPECT_EQ(b->getWidth(), s.rect.getWidth());
                    EXPECT_EQ(b->getHeight() / 2, s.rect.getHeight());
                    break;
                case panel::Kind::VerticalSwitch: {
                    auto* sw = dynamic_cast<CVerticalSwitch*>(v);
                    ASSERT_NE(sw, nullptr);
                    EXPECT_EQ(v->getViewSize(), s.rect);
                    EXPECT_EQ(sw->getMaxPositions(), 3);
                    EXPECT_EQ(b->getHeight() / 3, s.rect.getHeight());
                    EXPECT_EQ(b->getWidth(), s.rect.getWidth());
                    break;
                }
                case panel::Kind::Meter:
                    ASSERT_TRUE(v->isTypeOf("COldVuMeter"));
                    EXPECT_EQ(v->getMouseableArea(), s.rect);
                    EXPECT_EQ(v->getMouseableArea().getWidth(), 146);
                    EXPECT_EQ(v->getMouseableArea().getHeight(), 70);
                    break;
                case panel::Kind::BackDisplay:
                    ASSERT_TRUE(v->isTypeOf("CParamDisplay"));
                    EXPECT_EQ(v->getViewSize(), s.rect);
                    EXPECT_EQ(b->getResourceId(), s.bitmap);
                    break;
                case panel::Kind::PageSwitch:
                    ASSERT_TRUE(v->isTypeOf("CViewContainerSwitch"));
                    EXPECT_EQ(v->getViewSize(), s.rect);
                    EXPECT_EQ(b, nullptr);
                    break;
                case panel::Kind::Label:
                    EXPECT_EQ(v->getViewSize(), s.rect);
                    break;
            }
        }
    };
    check(rig.editor->frontPage(), layout.front);
    check(rig.editor->backPage(), layout.back);
    // Read-outs exist for the knobs but are not shown yet.
    const std::vector<int32_t> readoutTags =
        rig.grand() ? std::vector<int32_t>{41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51}
                    : std::vector<int32_t>{41, 42, 43, 44, 50, 51};
    for (int32_t tag = 41; tag <= 51; ++tag) {
        const bool exists =
            std::find(readoutTags.begin(), readoutTags.end(), tag) != readoutTags.end();
        EXPECT_EQ(rig.editor->readout(tag) != nullptr, exists) << tag;
        EXPECT_FALSE(rig.editor->isReadoutShown(tag)) << tag;
    }
    CTextEdit* threshold = rig.editor->readout(44);
    EXPECT_EQ(threshold->getFont()->getSize(), 12);
    EXPECT_EQ(rig.editor->readout(41)->getFont()->getSize(), 11);
    EXPECT_EQ(threshold->getViewSize(),
              rig.grand() ? CRect(147, 158, 213, 172) : CRect(145, 159, 211, 173));
    EXPECT_EQ(threshold->getMin(), -30.0f);
    EXPECT_EQ(threshold->getMax(), 6.0f);
    EXPECT_EQ(threshold->getBackColor(),
              rig.grand() ? MakeCColor(255, 255, 255) : MakeCColor(230, 230, 230));
}

TEST_P(EditorLifecycle, ControlsReadoutsAndDisplaysStartFromTheEffect) {
    rig.fx->setParameter(5, 0.5f);  // threshold 6 - 36 x 0.5 = -12 dB
    rig.fx->setParameter(6, 0.7f);  // ratio step 14: 2.8 : 1
    rig.fx->setParameter(0, 1.0f);
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.editor->control(5)->getValue(), 0.5f);
    EXPECT_EQ(rig.editor->control(6)->getValue(), 0.7f);
    EXPECT_EQ(rig.editor->control(0)->getValue(), 1.0f);
    EXPECT_STREQ(rig.editor->readout(44)->getText(), "-12.00dB");
    EXPECT_STREQ(rig.editor->readout(41)->getText(), "2.8 : 1");

    // The latency at 48 kHz and the over length of a fresh store (2/9: 3 samples).
    char text[256];
    CBackDisplay* ms = rig.editor->latencyDisplay(0);
    CBackDisplay* samples = rig.editor->latencyDisplay(1);
    const VstInt32 delay = rig.fx->getLatencySamples();
    EXPECT_EQ(samples->getValue(), static_cast<float>(delay));
    samples->valueToString(samples->getValue(), text);
    EXPECT_EQ(std::string(text), std::to_string(delay) + "smps");
    EXPECT_NEAR(ms->getValue(), delay / 48.0, 1e-3);
    if (rig.grand()) {
        ms->valueToString(ms->getValue(), text);
        EXPECT_STREQ(text, "34.5ms");  // 1660 / 48
    }
    CBackDisplay* over = rig.editor->settingDisplay(40);
    over->valueToString(over->getValue(), text);
    EXPECT_STREQ(text, "3");
    for (int32_t i = 36; i <= 40; ++i)
        EXPECT_EQ(rig.editor->settingDisplay(i)->getValue(), rig.fx->getDisplayValue(i)) << i;
    // Both meters at rest.
    for (int c = 0; c < 2; ++c) {
        EXPECT_FLOAT_EQ(rig.editor->meter(c)->getValue(), 2.1e-7f);
        EXPECT_EQ(rig.editor->meter(c)->lampFrame(), COldVuMeter::kLampOff);
    }
}

TEST_P(EditorLifecycle, PageSwitchAreasSwapThePages) {
    ASSERT_TRUE(rig.open());
    const CRect frontArea = rig.grand() ? CRect(80, 404, 238, 422) : CRect(100, 320, 260, 340);
    rig.click(CPoint(frontArea.left + 1, frontArea.bottom - 1));
    EXPECT_EQ(rig.editor->shownPage(), rig.editor->backPage());
    EXPECT_TRUE(rig.frame()->isChild(rig.editor->backPage()));
    EXPECT_FALSE(rig.frame()->isChild(rig.editor->frontPage()));
    rig.click(CPoint(337, 36));
    EXPECT_EQ(rig.editor->shownPage(), rig.editor->frontPage());
    rig.click(CPoint(frontArea.right - 1, frontArea.top));
    EXPECT_EQ(rig.editor->shownPage(), rig.editor->backPage());
    // Page switches are the editor's own business: nothing reaches the host.
    EXPECT_EQ(rig.automateCount(), 0);
    rig.idle();
    rig.close();
}

TEST_P(EditorLifecycle, ClosingSwitchesSideChainMonitoringOff) {
    ASSERT_TRUE(rig.open());
    rig.clickTag(35);
    EXPECT_EQ(rig.fx->getParameter(35), 1.0f);
    rig.close();
    EXPECT_EQ(rig.fx->getParameter(35), 0.0f);
    EXPECT_EQ(rig.count(audioMasterAutomate, 35), 0);  // not a host parameter
    ASSERT_TRUE(rig.open());
    EXPECT_EQ(rig.editor->control(35)->getValue(), 0.0f);
}

TEST_P(EditorLifecycle, OpenCloseCyclesLeaveNoViewBehind) {
    const int64_t before = CBaseObject::liveObjectCount();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(rig.open());
        EXPECT_FALSE(rig.open());  // already open
        rig.moveTo(rig.centreOf(5));
        rig.idle();
        rig.idle();  // the threshold read-out is shown
        EXPECT_TRUE(rig.editor->isReadoutShown(44));
        if (i == 1) rig.editor->switchPage();
        rig.close();
        EXPECT_EQ(rig.frame(), nullptr);
        EXPECT_EQ(rig.editor->control(5), nullptr);
        EXPECT_EQ(CBaseObject::liveObjectCount(), before) << "cycle " << i;
    }
    rig.idle();  // closed: nothing happens
    rig.fx->setParameter(5, 0.25f);
}

// An effect whose construction failed, with an editor all the same.
class InertCompressor : public CompressorEffect {
  public:
    InertCompressor() : CompressorEffect(testsupport::CallbackRecorder::callback, nullptr) {
        failed = true;
        new GrandPressEditor(this, 460);
    }
    ~InertCompressor() override { destroyEditor(); }
    float getDisplayValue(VstInt32) override { return 0; }
    float normalisedOfDisplayValue(VstInt32, double) override { return 0; }
    bool sideChainAvailable() override { return false; }
    double getLatencyMs() override { return 0; }
    VstInt32 getLatencySamples() override { return 0; }
};

TEST(EditorOfInertEffect, OpensNothingThroughTheDispatcher) {
    testsupport::TemporaryConfigHome config;
    testsupport::CallbackRecorder host;
    qgui::registerEmbeddedImages(qgui::skins::qrx_skin_grandpress());
    const int64_t before = CBaseObject::liveObjectCount();
    InertCompressor fx;
    EXPECT_EQ(fx.dispatcher(effEditOpen, 0, 0, nullptr, 0), 0);
    auto* editor = static_cast<GrandPressEditor*>(fx.getEditor());
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_EQ(editor->frontPage(), nullptr);
    fx.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    editor->resetMeters();
    editor->updateLatencyDisplays();
    EXPECT_EQ(CBaseObject::liveObjectCount(), before);
}

TEST(PanelLayouts, AreFoundByFrameHeightOnly) {
    EXPECT_EQ(panel::layoutForHeight(460), &panel::grandpressLayout());
    EXPECT_EQ(panel::layoutForHeight(378), &panel::tinypressLayout());
    EXPECT_EQ(panel::layoutForHeight(300), nullptr);
}

}  // namespace
}  // namespace editortest
