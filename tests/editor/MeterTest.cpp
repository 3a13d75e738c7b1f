// The needle meter: the over-lamp latch, clamps, the value that marks changes, and what it
// draws (needle angles, lamp frame, red peak read-out, the strip over the needle roots) on an
// offscreen frame with plain synthetic bitmaps in the panel's own geometry.
#include <gtest/gtest.h>

#include <cmath>

#include "editor/COldVuMeter.h"
#include "gui/GuiTestSupport.h"

namespace {

using namespace qgui;
using guitest::Pixel;
using guitest::pixelAt;

constexpr double kPi = 3.14159265358979323846;

CBitmap* filled(int w, int h, CColor c) {
    auto* b = new CBitmap(w, h);
    CDrawContext dc(b->getSurface());
    dc.setFillColor(c);
    dc.drawRect(CRect(0, 0, w, h), kDrawFilled);
    return b;
}

// Lamp frames: over (green), held (blue), off (black).
CBitmap* lampStrip() {
    auto* b = new CBitmap(14, 42);
    CDrawContext dc(b->getSurface());
    const CColor colors[3] = {MakeCColor(0, 200, 0), MakeCColor(0, 0, 200), kBlackCColor};
    for (int i = 0; i < 3; ++i) {
        dc.setFillColor(colors[i]);
        dc.drawRect(CRect(0, 14 * i, 14, 14 * i + 14), kDrawFilled);
    }
    return b;
}

// The left meter of the panels.
COldVuMeter::Geometry leftGeometry() {
    return {CRect(49, 34, 195, 104),
            CPoint(115, 85),
            CPoint(49, 104),
            CPoint(121, 116),
            3,
            70,
            55,
            70,
            CRect(133, 87, 183, 97),
            CRect(59, 87, 109, 97)};
}

struct Meter : ::testing::Test {
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 250, 150), nullptr);
        frame->setBackgroundColor(kWhiteCColor);
        CBitmap* face = filled(146, 70, kWhiteCColor);
        CBitmap* strip = filled(146, 21, MakeCColor(250, 200, 0));
        CBitmap* lamp = lampStrip();
        meter = new COldVuMeter(leftGeometry(), &listener, 58, face, strip, lamp);
        for (CBitmap* b : {face, strip, lamp}) b->forget();
        frame->addView(meter);
    }
    void TearDown() override { frame->forget(); }

    Pixel at(int x, int y) { return pixelAt(frame->getOffscreen(), x, y); }
    void draw() {
        meter->setDirty(true);
        frame->idle();
    }
    // True when some pixel within one pixel of (x, y) has about this colour.
    bool colourNear(double x, double y, int r, int g, int b) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (guitest::near(at(int(x) + dx, int(y) + dy), r, g, b, 40)) return true;
        return false;
    }
    // A point on a needle at `radius`, for the angle of `level`.
    CPoint needlePoint(double level, double radius) {
        const double a = COldVuMeter::needleAngle(level);
        return CPoint(121.5 + radius * std::cos(a), 116.5 - radius * std::sin(a));
    }

    CFrame* frame = nullptr;
    COldVuMeter* meter = nullptr;
    guitest::RecordingListener listener;
};

TEST_F(Meter, LampLatchesAfterAnOverUntilANewOverOrAClear) {
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampOff);
    meter->setLampState(0.7f);
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampOver);
    meter->setLampState(0.2f);
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampHeld);
    EXPECT_TRUE(meter->isOverHeld());
    meter->setLampState(0.3f);
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampHeld);
    meter->setAll(0.5f, 0.3f, 0.5f, 0.1, 0.1);
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampHeld);
    meter->setLampState(0.6f);
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampOver);
    meter->setAll(0.5f, 0.0f, 0.5f, 0.1, 0.1);
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampHeld);
    meter->clearOverHold();
    EXPECT_FALSE(meter->isOverHeld());
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampOff);
}

TEST_F(Meter, LampFrameIsDrawnForEachState) {
    draw();
    EXPECT_TRUE(guitest::near(at(121, 91), 0, 0, 0));
    meter->setLampState(1.0f);
    draw();
    EXPECT_TRUE(guitest::near(at(121, 91), 0, 200, 0));
    meter->setLampState(0.0f);
    draw();
    EXPECT_TRUE(guitest::near(at(121, 91), 0, 0, 200));
}

TEST_F(Meter, LevelsAreClampedWhenStoredAndAgainWhenDrawn) {
    meter->setLevel1(10.0f);
    EXPECT_EQ(meter->getLevel1(), 4.0f);
    meter->setLevel2(-1.0f);
    EXPECT_FLOAT_EQ(meter->getLevel2(), 1e-9f);
    meter->setLampState(-9.0f);
    EXPECT_EQ(meter->getLampState(), -4.0f);
    draw();
    EXPECT_EQ(meter->getLevel1(), 1.5f);
    EXPECT_FLOAT_EQ(meter->getLevel2(), 1e-6f);
    EXPECT_EQ(meter->getLampState(), -1.5f);
}

TEST_F(Meter, NeedleAnglesFollowThePowerLawScale) {
    const double deg = 180.0 / kPi;
    EXPECT_NEAR(COldVuMeter::needleAngle(0.0) * deg, 150.0, 1e-9);
    EXPECT_NEAR(COldVuMeter::needleAngle(1.44) * deg, 30.0, 1e-9);
    // 90 degrees where (level / 1.44)^1.2 = 1/2.
    EXPECT_NEAR(COldVuMeter::needleAngle(1.44 * std::pow(0.5, 1 / 1.2)) * deg, 90.0, 1e-9);
    EXPECT_NEAR(COldVuMeter::needleAngle(0.808) * deg, 90.0, 0.1);
    EXPECT_NEAR(COldVuMeter::needleAngle(1.5) * deg, 24.0, 0.1);
}

TEST_F(Meter, NeedlesAreDrawnAtTheirAnglesWithTheStripOverTheirRoots) {
    meter->setLevel1(0.0f);
    meter->setLevel2(0.808f);
    draw();
    const CPoint rest = needlePoint(1e-6, 65);  // 150 degrees, above read-out 2
    EXPECT_TRUE(colourNear(rest.x, rest.y, 100, 100, 105));
    const CPoint up = needlePoint(0.808, 62);  // needle 2, straight up
    EXPECT_TRUE(colourNear(up.x, up.y, 240, 40, 40));
    EXPECT_FALSE(colourNear(121.5, 116.5 - 40, 240, 40, 40));  // needle 2 stops at radius 55

    meter->setLevel1(10.0f);  // stored as 4, drawn at the 1.5 clamp
    draw();
    const CPoint top = needlePoint(1.5, 40);
    EXPECT_TRUE(colourNear(top.x, top.y, 100, 100, 105));
    EXPECT_FALSE(colourNear(rest.x, rest.y, 100, 100, 105));
    // The pivot lies under the strip: the strip colour, not the needle.
    EXPECT_TRUE(guitest::near(at(121, 112), 250, 200, 0));
}

TEST_F(Meter, NeedleLawHoldsAtEveryScaleWithNeedlesAsThinAsTheDeviceAllows) {
    meter->setLevel1(0.0f);
    meter->setLevel2(0.808f);  // needle 2 straight up
    for (const double scale : {1.5, 2.0, 3.0}) {
        SCOPED_TRACE(scale);
        ASSERT_TRUE(frame->setScaleFactor(scale));
        draw();
        auto deviceNear = [&](CPoint p, int r, int g, int b) {
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (guitest::near(at(int(p.x * scale) + dx, int(p.y * scale) + dy), r, g, b,
                                      40))
                        return true;
            return false;
        };
        EXPECT_TRUE(deviceNear(needlePoint(1e-6, 65), 100, 100, 105)) << "needle 1 at rest";
        EXPECT_TRUE(deviceNear(needlePoint(0.808, 62), 240, 40, 40)) << "needle 2 upright";
        // The needle is about a design pixel wide: two design pixels aside is the face.
        const CPoint up = needlePoint(0.808, 62);
        EXPECT_FALSE(deviceNear(CPoint(up.x + 2.5, up.y), 240, 40, 40));
        EXPECT_FALSE(deviceNear(CPoint(up.x - 2.5, up.y), 240, 40, 40));
        EXPECT_FALSE(deviceNear(CPoint(121.5, 116.5 - 40), 240, 40, 40)) << "stops at radius 55";
    }
}

TEST_F(Meter, PeakReadoutsTurnRedOnlyForReadoutOneFromFullScale) {
    char text[16];
    COldVuMeter::peakText(1.0, text);
    EXPECT_STREQ(text, "0.00dB");
    COldVuMeter::peakText(0.5, text);
    EXPECT_STREQ(text, "-6.02dB");
    COldVuMeter::peakText(0.0, text);
    EXPECT_STREQ(text, "-oodB");
    COldVuMeter::peakText(9.9e-6, text);
    EXPECT_STREQ(text, "-oodB");

    auto reddish = [&](const CRect& r) {
        int n = 0;
        for (int y = int(r.top); y < int(r.bottom); ++y)
            for (int x = int(r.left); x < int(r.right); ++x) {
                const Pixel p = at(x, y);
                n += p.r - p.g > 120 && p.r - p.b > 120;
            }
        return n;
    };
    auto inked = [&](const CRect& r) {
        int n = 0;
        for (int y = int(r.top); y < int(r.bottom); ++y)
            for (int x = int(r.left); x < int(r.right); ++x) n += at(x, y).g < 200;
        return n;
    };
    const COldVuMeter::Geometry g = leftGeometry();
    meter->setAll(1e-6f, 0.0f, 1e-6f, 1.0, 1.0);
    draw();
    EXPECT_GT(reddish(g.readout1), 5);
    EXPECT_EQ(reddish(g.readout2), 0);
    EXPECT_GT(inked(g.readout2), 5);
    meter->setAll(1e-6f, 0.0f, 1e-6f, 0.99, 0.99);
    draw();
    EXPECT_EQ(reddish(g.readout1), 0);
}

TEST_F(Meter, EveryOperationChangesTheControlValue) {
    meter->reset();
    EXPECT_FLOAT_EQ(meter->getValue(), 2.1e-7f);
    EXPECT_EQ(meter->lampFrame(), COldVuMeter::kLampOff);
    float last = meter->getValue();
    auto changed = [&] {
        const bool c = meter->getValue() != last;
        last = meter->getValue();
        return c;
    };
    meter->setLevel1(0.3f);
    EXPECT_TRUE(changed());
    meter->setLampState(0.2f);
    EXPECT_TRUE(changed());
    meter->setLevel2(0.4f);
    EXPECT_TRUE(changed());
    meter->setPeak1(0.5);
    EXPECT_TRUE(changed());
    meter->setPeak2(0.25);
    EXPECT_TRUE(changed());
    meter->setAll(0.3f, 0.2f, 0.4f, 0.5, 0.26);
    EXPECT_TRUE(changed());
    EXPECT_FLOAT_EQ(meter->getValue(), 0.3f + 0.2f + 0.4f + 0.5f + 0.26f);
}

TEST_F(Meter, LeftClickReportsRightClickDoesNot) {
    guitest::click(frame, 100, 60, kRButton);
    EXPECT_TRUE(listener.tags.empty());
    guitest::click(frame, 100, 60);
    EXPECT_EQ(listener.tags, (std::vector<int32_t>{58}));
    guitest::click(frame, 100, 115);  // on the strip: outside the face, not the meter's
    EXPECT_EQ(listener.tags.size(), 1u);
}

}  // namespace
