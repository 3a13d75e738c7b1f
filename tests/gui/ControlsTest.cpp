// Knobs (film-strip frames, value from point, linear drag, default, wheel), kick button, rocker
// and vertical switch under synthetic mouse events, parameter displays, and the editor's
// beginEdit/endEdit path to the host.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "TestEditor.h"

namespace guitest {
namespace {

// A strip of `frames` images of w x h, image i filled with grey level 10 * i.
CBitmap* greyStrip(int w, int h, int frames) {
    auto* bmp = new CBitmap(w, h * frames);
    CDrawContext dc(bmp->getSurface());
    for (int i = 0; i < frames; ++i) {
        const auto g = static_cast<uint8_t>(10 * i);
        dc.setFillColor(MakeCColor(g, g, g));
        dc.drawRect(CRect(0, i * h, w, (i + 1) * h), kDrawFilled);
    }
    return bmp;
}

struct Controls : ::testing::Test {
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 300, 200), nullptr);
        frame->setBackgroundColor(MakeCColor(255, 255, 255));
    }
    void TearDown() override { frame->forget(); }
    int greyAt(int x, int y) {
        frame->idle();
        return pixelAt(frame->getOffscreen(), x, y).r;
    }
    CFrame* frame;
    RecordingListener listener;
};

TEST_F(Controls, AnimKnobShowsFloorOfValueTimesFramesMinusOne) {
    CBitmap* strip = greyStrip(20, 20, 11);
    auto* knob = new CAnimKnob(CRect(10, 10, 30, 30), &listener, 1, 11, 20, strip);
    strip->forget();
    frame->addView(knob);
    const struct {
        float value;
        int frame;
    } cases[] = {{0.0f, 0},   {0.05f, 0}, {0.0999f, 0}, {0.1f, 1}, {0.5f, 5},
                 {0.999f, 9}, {1.0f, 10}, {1.7f, 10},   {-0.3f, 0}};
    for (const auto& c : cases) {
        knob->setValue(c.value);
        EXPECT_EQ(knob->getFrameIndex(), c.frame) << "value " << c.value;
        EXPECT_EQ(greyAt(20, 20), 10 * c.frame) << "value " << c.value;
    }
    // With a range other than 0..1 the normalised value counts.
    knob->setMin(-12);
    knob->setMax(12);
    knob->setValue(0);
    EXPECT_EQ(knob->getFrameIndex(), 5);
    // Frame count taken from the bitmap when not given.
    CBitmap* strip2 = greyStrip(20, 20, 5);
    auto* knob2 = new CAnimKnob(CRect(40, 10, 60, 30), nullptr, 2, strip2);
    strip2->forget();
    EXPECT_EQ(knob2->getNumSubPixmaps(), 5);
    knob2->setValue(0.74f);
    EXPECT_EQ(knob2->getFrameIndex(), 2);
    knob2->forget();
}

TEST_F(Controls, KnobValueFromPointCoversTheArc) {
    auto* knob = new CKnob(CRect(0, 0, 40, 40), nullptr, 0, nullptr, nullptr);
    auto at = [&](CCoord x, CCoord y) {
        CPoint p(x, y);
        return knob->valueFromPoint(p);
    };
    EXPECT_NEAR(at(20, 0), 0.5f, 1e-5);       // straight up: the middle
    EXPECT_NEAR(at(0, 20), 1.0f / 6, 1e-5);   // left: 45 degrees of 270 past the start
    EXPECT_NEAR(at(40, 20), 5.0f / 6, 1e-5);  // right
    EXPECT_NEAR(at(0, 40), 0.0f, 1e-5);       // bottom left: the start
    EXPECT_NEAR(at(40, 40), 1.0f, 1e-5);      // bottom right: the end
    EXPECT_NEAR(at(19, 40), 0.0f, 1e-5) << "the dead zone at the bottom clamps to the ends";
    EXPECT_NEAR(at(21, 40), 1.0f, 1e-5);
    knob->setMin(-1);
    knob->setMax(3);
    EXPECT_NEAR(at(20, 0), 1.0f, 1e-5);
    knob->forget();
}

TEST_F(Controls, LinearKnobDragUsesTwoHundredPixelsAndFinerWithShift) {
    auto* knob = new CKnob(CRect(100, 100, 140, 140), &listener, 4, nullptr, nullptr);
    frame->addView(knob);
    TestEffect effect;  // its editor provides the knob mode
    auto* editor = effect.testEditor();
    editor->setKnobMode(kLinearMode);
    CFrame* withEditor = new CFrame(CRect(0, 0, 300, 200), editor);
    frame->removeView(knob, false);
    withEditor->addView(knob);

    knob->setValue(0.25f);
    drag(withEditor, CPoint(120, 120), CPoint(120, 70));  // 50 pixels up
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5);
    drag(withEditor, CPoint(120, 120), CPoint(170, 120));  // 50 pixels right counts the same
    EXPECT_NEAR(knob->getValue(), 0.75f, 1e-5);
    drag(withEditor, CPoint(120, 120), CPoint(120, -300));  // far beyond: bounced to max
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    drag(withEditor, CPoint(120, 120), CPoint(120, 220), kLButton | kShift);  // 100 px of 1000
    EXPECT_NEAR(knob->getValue(), 0.9f, 1e-5);
    EXPECT_EQ(listener.beginEdits, listener.endEdits);
    EXPECT_EQ(listener.beginEdits, 4);
    EXPECT_FLOAT_EQ(listener.values.back(), knob->getValue());
    withEditor->forget();
}

TEST_F(Controls, ControlClickSetsDefaultAndReportsOnlyAChange) {
    auto* knob = new CKnob(CRect(100, 100, 140, 140), &listener, 4, nullptr, nullptr);
    frame->addView(knob);
    knob->setDefaultValue(1.0f / 3);
    knob->setValue(0.9f);
    click(frame, 120, 120, kLButton | kControl);
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f / 3);
    ASSERT_EQ(listener.values.size(), 1u);
    click(frame, 120, 120, kLButton | kControl);
    EXPECT_EQ(listener.values.size(), 1u) << "already at the default: nothing reported";
    click(frame, 120, 120, kRButton);
    EXPECT_EQ(listener.values.size(), 1u) << "the right button does nothing";
}

TEST_F(Controls, WheelStepsTheKnob) {
    auto* knob = new CKnob(CRect(100, 100, 140, 140), &listener, 4, nullptr, nullptr);
    frame->addView(knob);
    knob->setValue(0.5f);
    EXPECT_TRUE(frame->onWheel(CPoint(120, 120), kMouseWheelAxisY, 1.0f, CButtonState()));
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5);
    frame->onWheel(CPoint(120, 120), kMouseWheelAxisY, -1.0f, CButtonState(kShift));
    EXPECT_NEAR(knob->getValue(), 0.59f, 1e-5);
    EXPECT_EQ(listener.values.size(), 2u);
    EXPECT_FALSE(frame->onWheel(CPoint(5, 5), kMouseWheelAxisY, 1.0f, CButtonState()));
}

TEST_F(Controls, KickButtonIsMaxWhileHeldAndReportsMaxThenMin) {
    CBitmap* strip = greyStrip(20, 20, 2);
    auto* kick = new CKickButton(CRect(10, 10, 30, 30), &listener, 7, strip);
    strip->forget();
    frame->addView(kick);
    CPoint p(20, 20);
    frame->onMouseDown(p, CButtonState(kLButton));
    EXPECT_FLOAT_EQ(kick->getValue(), 1.0f);
    EXPECT_EQ(greyAt(20, 20), 10) << "pressed image";
    EXPECT_TRUE(listener.values.empty()) << "nothing reported until the release";
    frame->onMouseUp(p, CButtonState(kLButton));
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(greyAt(20, 20), 0);

    // Pressed, dragged off and released outside: only the release value.
    listener.values.clear();
    p = CPoint(20, 20);
    frame->onMouseDown(p, CButtonState(kLButton));
    CPoint off(100, 100);
    frame->onMouseMoved(off, CButtonState(kLButton));
    EXPECT_FLOAT_EQ(kick->getValue(), 0.0f);
    frame->onMouseUp(off, CButtonState(kLButton));
    EXPECT_EQ(listener.values, (std::vector<float>{0.0f}));
    EXPECT_EQ(listener.beginEdits, 2);
    EXPECT_EQ(listener.endEdits, 2);
}

TEST_F(Controls, RockerGoesToTheHalfPressedAndBackToRest) {
    CBitmap* strip = greyStrip(30, 10, 3);
    auto* rocker = new CRockerSwitch(CRect(10, 10, 40, 20), &listener, 60, strip);
    strip->forget();
    frame->addView(rocker);
    EXPECT_FLOAT_EQ(rocker->getValue(), 0.0f);
    EXPECT_EQ(greyAt(25, 15), 10) << "rest image in the middle";
    CPoint right(35, 15);
    frame->onMouseDown(right, CButtonState(kLButton));
    EXPECT_FLOAT_EQ(rocker->getValue(), 1.0f);
    EXPECT_EQ(greyAt(25, 15), 20);
    frame->onMouseUp(right, CButtonState(kLButton));
    EXPECT_FLOAT_EQ(rocker->getValue(), 0.0f);
    click(frame, 12, 15);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f, -1.0f, 0.0f}));
    click(frame, 35, 15, kRButton);
    EXPECT_EQ(listener.values.size(), 4u);
}

TEST_F(Controls, VerticalSwitchTakesThePositionClickedOrDraggedTo) {
    CBitmap* strip = greyStrip(38, 48, 3);
    auto* sw = new CVerticalSwitch(CRect(200, 50, 238, 98), &listener, 23, strip);
    strip->forget();
    frame->addView(sw);
    EXPECT_EQ(sw->getNumSubPixmaps(), 3);
    click(frame, 210, 60);  // top third
    EXPECT_FLOAT_EQ(sw->getValue(), 0.0f);
    click(frame, 210, 75);  // middle
    EXPECT_FLOAT_EQ(sw->getValue(), 0.5f);
    EXPECT_EQ(greyAt(210, 55), 10);
    click(frame, 210, 97);
    EXPECT_FLOAT_EQ(sw->getValue(), 1.0f);
    EXPECT_EQ(greyAt(210, 55), 20);
    drag(frame, CPoint(210, 97), CPoint(210, 0));
    EXPECT_FLOAT_EQ(sw->getValue(), 0.0f) << "dragging above clamps to the first position";
    // Reports only changes: 0 was the start value, so the first click reported nothing; the
    // drag passes the middle position on its way up.
    EXPECT_EQ(listener.values, (std::vector<float>{0.5f, 1.0f, 0.5f, 0.0f}));
}

void tenths(float v, char* s) {
    std::snprintf(s, 256, "%.1f dB", v * 10);
}

TEST_F(Controls, ParamDisplayDrawsConvertedValueOverItsBackOffset) {
    auto* bmp = new CBitmap(100, 100);
    {
        CDrawContext dc(bmp->getSurface());
        dc.setFillColor(MakeCColor(0, 0, 120));
        dc.drawRect(CRect(0, 0, 100, 100), kDrawFilled);
        dc.setFillColor(MakeCColor(0, 200, 0));
        dc.drawRect(CRect(40, 40, 100, 100), kDrawFilled);
    }
    auto* display = new CParamDisplay(CRect(10, 10, 70, 26), bmp);
    bmp->forget();
    display->setBackOffset(CPoint(40, 40));
    display->setStringConvert(tenths);
    display->setFont(kNormalFontVerySmall);
    display->setFontColor(MakeCColor(250, 250, 250));
    display->setValue(0.5f);
    char text[256];
    display->valueToString(0.5f, text);
    EXPECT_STREQ(text, "5.0 dB");
    frame->addView(display);
    frame->idle();
    NativeSurface* s = frame->getOffscreen();
    EXPECT_TRUE(near(pixelAt(s, 11, 11), 0, 200, 0)) << "background from the back offset";
    int light = 0;
    for (int y = 10; y < 26; ++y)
        for (int x = 10; x < 70; ++x) light += pixelAt(s, x, y).r > 128;
    EXPECT_GT(light, 10) << "the text is drawn";
    EXPECT_STREQ(display->getClassName(), "CParamDisplay");
    EXPECT_TRUE(display->isTypeOf("CControl"));
    EXPECT_FALSE(display->isTypeOf("CTextEdit"));
}

TEST_F(Controls, BeginAndEndEditReachTheHostForItsParametersOnly) {
    testsupport::CallbackRecorder host;
    TestEffect effect;
    ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, nullptr, 0), 1);  // offscreen
    TestEditor* editor = effect.testEditor();
    CFrame* f = editor->getFrame();
    ASSERT_NE(f, nullptr);
    f->idle();
    drag(f, CPoint(70, 30), CPoint(70, 10));  // the knob, parameter 1, 20 pixels up
    EXPECT_NEAR(effect.params[1], 0.35f, 1e-5);
    EXPECT_EQ(host.count(audioMasterBeginEdit, 1), 1);
    EXPECT_EQ(host.count(audioMasterEndEdit, 1), 1);
    EXPECT_GE(host.count(audioMasterAutomate, 1), 1);
    click(f, 20, 20);  // kick button, parameter 0
    EXPECT_FLOAT_EQ(effect.params[0], 1.0f);
    EXPECT_EQ(host.count(audioMasterBeginEdit, 0), 1);
    click(f, 120, 18);  // the text field has tag 59: not a host parameter
    f->setFocusView(nullptr);
    EXPECT_EQ(host.count(audioMasterBeginEdit, 59), 0);
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(editor->getFrame(), nullptr);
}

}  // namespace
}  // namespace guitest
