// The panel's own controls under synthetic mouse events on an offscreen frame: the on/off
// button, the page-switch area, the film-strip knob (linear and circular drags, Shift fine mode
// pressed mid-drag, wheel, Control-click default), the label and the value display.
#include <gtest/gtest.h>

#include "editor/CAnimKnob2.h"
#include "editor/PanelControls.h"
#include "gui/GuiTestSupport.h"

namespace {

using namespace qgui;
using guitest::pixelAt;
using guitest::RecordingListener;

// An editor that only supplies the frame's knob mode.
struct ModeEditor : AEffGUIEditor {
    explicit ModeEditor(int32_t mode) : AEffGUIEditor(nullptr) { setKnobMode(mode); }
};

// A strip of `frames` images of w x h, image i filled with grey level 20 * i + 10.
CBitmap* greyStrip(int w, int h, int frames) {
    auto* bmp = new CBitmap(w, h * frames);
    CDrawContext dc(bmp->getSurface());
    for (int i = 0; i < frames; ++i) {
        const auto g = static_cast<uint8_t>(20 * i + 10);
        dc.setFillColor(MakeCColor(g, g, g));
        dc.drawRect(CRect(0, i * h, w, (i + 1) * h), kDrawFilled);
    }
    return bmp;
}

struct PanelControls : ::testing::Test {
    void makeFrame(int32_t knobMode) {
        if (frame) frame->forget();
        editor = std::make_unique<ModeEditor>(knobMode);
        frame = new CFrame(CRect(0, 0, 400, 400), editor.get());
        frame->setBackgroundColor(kWhiteCColor);
    }
    void SetUp() override { makeFrame(kLinearMode); }
    void TearDown() override { frame->forget(); }

    CAnimKnob2* addKnob(float value) {
        CBitmap* strip = greyStrip(40, 40, 11);
        auto* knob = new CAnimKnob2(CRect(100, 100, 140, 140), &listener, 7, 11, 40, strip);
        strip->forget();
        knob->setValue(value);
        knob->setDefaultValue(0.3f);
        frame->addView(knob);
        return knob;
    }
    void down(CCoord x, CCoord y, int32_t buttons = kLButton) {
        CPoint p(x, y);
        frame->onMouseDown(p, CButtonState(buttons));
    }
    void move(CCoord x, CCoord y, int32_t buttons = kLButton) {
        CPoint p(x, y);
        frame->onMouseMoved(p, CButtonState(buttons));
    }
    void up(CCoord x, CCoord y, int32_t buttons = 0) {
        CPoint p(x, y);
        frame->onMouseUp(p, CButtonState(buttons));
    }

    std::unique_ptr<ModeEditor> editor;
    CFrame* frame = nullptr;
    RecordingListener listener;
};

TEST_F(PanelControls, OnOffButtonTogglesOnLeftClicksOnlyAsOneGesture) {
    CBitmap* strip = greyStrip(20, 10, 2);
    auto* button = new CQRXOnOffButton(CRect(10, 10, 30, 20), &listener, 3, strip);
    strip->forget();
    frame->addView(button);

    guitest::click(frame, 15, 15, kRButton);
    EXPECT_TRUE(listener.values.empty());
    guitest::click(frame, 15, 15);
    ASSERT_EQ(listener.values.size(), 1u);
    EXPECT_EQ(listener.values[0], 1.0f);
    EXPECT_EQ(listener.beginEdits, 1);
    EXPECT_EQ(listener.endEdits, 1);
    guitest::click(frame, 15, 15);
    EXPECT_EQ(listener.values.back(), 0.0f);

    // 0.4 rounds to off and toggles on; 0.5 already shows the on frame (grey 30).
    button->setValue(0.4f);
    frame->idle();
    EXPECT_EQ(pixelAt(frame->getOffscreen(), 15, 15).r, 10);
    button->setValue(0.5f);
    frame->idle();
    EXPECT_EQ(pixelAt(frame->getOffscreen(), 15, 15).r, 30);
    EXPECT_TRUE(button->isTypeOf("CQRXOnOffButton"));
    EXPECT_TRUE(button->isTypeOf("CControl"));
}

TEST_F(PanelControls, PageSwitchFlipsWithoutEditGestureAndDrawsNothing) {
    auto* area = new CViewContainerSwitch(CRect(50, 50, 150, 70), &listener, 56);
    frame->addView(area);
    frame->idle();
    EXPECT_EQ(pixelAt(frame->getOffscreen(), 60, 60).r, 255);  // the background shows through
    guitest::click(frame, 60, 60);
    guitest::click(frame, 60, 60);
    guitest::click(frame, 60, 60, kRButton);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(listener.beginEdits, 0);
    EXPECT_EQ(pixelAt(frame->getOffscreen(), 60, 60).r, 255);
}

TEST_F(PanelControls, LinearDragCovers300PixelsUpAndCountsHorizontalMovesHalf) {
    CAnimKnob2* knob = addKnob(0.0f);
    down(120, 120);
    EXPECT_TRUE(knob->isLinearDrag());
    move(120, -30);  // 150 up
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5);
    move(120, -180);
    EXPECT_NEAR(knob->getValue(), 1.0f, 1e-5);
    move(120, -230);  // beyond: stays at the maximum
    EXPECT_EQ(knob->getValue(), 1.0f);
    up(120, -230);
    EXPECT_EQ(listener.beginEdits, 1);
    EXPECT_EQ(listener.endEdits, 1);

    knob->setValue(0.0f);
    down(120, 120);
    move(220, 120);  // 100 to the right = 50 up
    EXPECT_NEAR(knob->getValue(), 50.0f / 300.0f, 1e-5);
    move(220, 170);  // and 50 down again
    EXPECT_NEAR(knob->getValue(), 0.0f, 1e-5);
    up(220, 170);
}

TEST_F(PanelControls, ShiftMakesTheDragFiveTimesFinerAlsoWhenPressedMidDrag) {
    CAnimKnob2* knob = addKnob(0.0f);
    down(120, 120, kLButton | kShift);
    move(120, -180, kLButton | kShift);  // 300 of 1500 pixels
    EXPECT_NEAR(knob->getValue(), 0.2f, 1e-5);
    up(120, -180);

    knob->setValue(0.0f);
    down(120, 120);
    move(120, -30);  // 150 of 300 pixels: 0.5
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5);
    move(120, -30, kLButton | kShift);  // Shift pressed: no jump
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5);
    move(120, -180, kLButton | kShift);  // 150 more, now of 1500
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5);
    move(120, -180);  // released again: no jump either
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-5);
    move(120, -210);  // 30 of 300
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-5);
    up(120, -210);
}

TEST_F(PanelControls, ControlClickSetsTheDefaultAndReportsOnlyAChange) {
    CAnimKnob2* knob = addKnob(0.8f);
    down(120, 120, kLButton | kControl);
    up(120, 120);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.3f);
    EXPECT_EQ(listener.values, (std::vector<float>{0.3f}));
    down(120, 120, kLButton | kControl);
    up(120, 120);
    EXPECT_EQ(listener.values.size(), 1u);  // already at the default: nothing reported
    EXPECT_EQ(listener.beginEdits, 2);
    EXPECT_EQ(listener.endEdits, 2);
    move(120, 60, kLButton);  // no drag follows a Control-click
    EXPECT_FLOAT_EQ(knob->getValue(), 0.3f);
}

TEST_F(PanelControls, WheelStepsAreOneHundredthOrOneThousandthWithShift) {
    CAnimKnob2* knob = addKnob(0.5f);
    const CPoint at(120, 120);
    frame->onWheel(at, kMouseWheelAxisY, 1.0f, CButtonState());
    EXPECT_NEAR(knob->getValue(), 0.51f, 1e-6);
    frame->onWheel(at, kMouseWheelAxisY, -1.0f, CButtonState(kShift));
    EXPECT_NEAR(knob->getValue(), 0.509f, 1e-6);
    EXPECT_EQ(listener.values.size(), 2u);
    EXPECT_EQ(listener.beginEdits, 2);
    knob->setValue(1.0f);
    frame->onWheel(at, kMouseWheelAxisY, 3.0f, CButtonState());
    EXPECT_EQ(knob->getValue(), 1.0f);
    EXPECT_EQ(listener.values.size(), 2u);  // no change at the top, no report
}

TEST_F(PanelControls, CircularDragFollowsTheAngleAndStopsAtTheEnds) {
    makeFrame(kCircularMode);
    CAnimKnob2* knob = addKnob(0.5f);
    // Straight up from the centre (120, 120) is the middle of the 270-degree arc.
    down(120, 100);
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-4);
    EXPECT_FALSE(knob->isLinearDrag());
    move(160, 120);  // 3 o'clock: 135 + 90 = 225 of 270 degrees
    EXPECT_NEAR(knob->getValue(), 225.0f / 270.0f, 1e-3);
    move(135, 140);  // bottom right, near the end of the arc
    const float nearEnd = knob->getValue();
    EXPECT_GT(nearEnd, 0.9f);
    move(105, 140);  // across the gap to the bottom left: a wrap, so it stays at the top
    EXPECT_EQ(knob->getValue(), 1.0f);
    up(105, 140);

    // Alt turns the circular mode linear.
    knob->setValue(0.0f);
    down(120, 120, kLButton | kAlt);
    EXPECT_TRUE(knob->isLinearDrag());
    move(120, -30, kLButton | kAlt);
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5);
    up(120, -30);
}

TEST_F(PanelControls, KnobShowsFloorOfValueTimesFramesMinusOne) {
    CAnimKnob2* knob = addKnob(0.0f);
    for (const auto& [v, image] :
         {std::pair{0.0f, 0}, {0.099f, 0}, {0.1f, 1}, {0.55f, 5}, {1.0f, 10}}) {
        knob->setValue(v);
        frame->idle();
        EXPECT_EQ(pixelAt(frame->getOffscreen(), 120, 120).r, 20 * image + 10) << v;
    }
}

TEST_F(PanelControls, LabelDrawsBlackTextLeftAlignedWhateverItsFont) {
    auto* label = new CLabel2(CRect(10, 300, 110, 312), "v.1.7.0");
    label->setFont(kNormalFontVeryBig);
    label->setFontColor(kRedCColor);
    frame->addView(label);
    frame->idle();
    EXPECT_STREQ(label->getLabelText(), "v.1.7.0");
    // Dark pixels only in the left part of the rectangle, none red.
    int darkLeft = 0, darkRight = 0, red = 0;
    for (int y = 300; y < 312; ++y)
        for (int x = 10; x < 110; ++x) {
            const auto p = pixelAt(frame->getOffscreen(), x, y);
            if (p.r < 128 && p.g < 128) (x < 50 ? darkLeft : darkRight)++;
            if (p.r > 200 && p.g < 100) ++red;
        }
    EXPECT_GT(darkLeft, 10);
    EXPECT_EQ(darkRight, 0);
    EXPECT_EQ(red, 0);
    EXPECT_TRUE(label->isTypeOf("CLabel2"));
}

TEST_F(PanelControls, BackDisplayIsAParamDisplayShowingItsConvertedValue) {
    CBitmap* back = greyStrip(100, 20, 1);
    auto* display = new CBackDisplay(CRect(10, 200, 60, 212), back);
    back->forget();
    display->setStringConvert([](float v, char* out) { std::snprintf(out, 256, "<%d>", int(v)); });
    display->setValue(42);
    char text[256];
    display->valueToString(display->getValue(), text);
    EXPECT_STREQ(text, "<42>");
    EXPECT_STREQ(display->getClassName(), "CParamDisplay");
    frame->addView(display);
    guitest::click(frame, 20, 205);
    EXPECT_TRUE(listener.values.empty());
}

}  // namespace
