// Offscreen drawing checked pixel by pixel: lines, widths, dashes, antialiasing, rectangles,
// clipping, bitmaps with source offsets, and text placement by alignment and size.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "support/Wine.h"

namespace guitest {
namespace {

struct Drawing : ::testing::Test {
    void SetUp() override {
        surface = createSurface(100, 60);
        dc = new CDrawContext(surface);
        dc->setFillColor(kWhiteCColor);
        dc->drawRect(CRect(0, 0, 100, 60), kDrawFilled);
    }
    void TearDown() override {
        delete dc;
        releaseSurface(surface);
    }
    Pixel at(int x, int y) { return pixelAt(surface, x, y); }
    // Bounding box of pixels darker than half grey.
    CRect inkBox() {
        CRect box(1e9, 1e9, -1e9, -1e9);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 100; ++x)
                if (at(x, y).r < 128) {
                    box.left = std::min<CCoord>(box.left, x);
                    box.top = std::min<CCoord>(box.top, y);
                    box.right = std::max<CCoord>(box.right, x + 1);
                    box.bottom = std::max<CCoord>(box.bottom, y + 1);
                }
        return box;
    }
    NativeSurface* surface;
    CDrawContext* dc;
};

TEST_F(Drawing, OnePixelLineCoversExactlyItsRow) {
    dc->setFrameColor(MakeCColor(255, 0, 0));
    dc->drawLine(CPoint(10, 20), CPoint(50, 20));
    for (int x = 10; x <= 50; ++x) EXPECT_TRUE(near(at(x, 20), 255, 0, 0, 0)) << x;
    EXPECT_TRUE(near(at(30, 19), 255, 255, 255, 0));
    EXPECT_TRUE(near(at(30, 21), 255, 255, 255, 0));
    EXPECT_TRUE(near(at(52, 20), 255, 255, 255, 0));
}

TEST_F(Drawing, LineWidthAndDashes) {
    dc->setFrameColor(kBlackCColor);
    dc->setLineWidth(3);
    dc->moveTo(CPoint(10, 30));
    dc->lineTo(CPoint(90, 30));
    for (int y = 29; y <= 31; ++y) EXPECT_EQ(at(50, y).r, 0) << y;
    EXPECT_EQ(at(50, 28).r, 255);
    EXPECT_EQ(at(50, 32).r, 255);

    dc->setLineWidth(1);
    dc->setLineStyle(kLineOnOffDash);
    dc->drawLine(CPoint(10, 10), CPoint(89, 10));
    int on = 0, off = 0;
    for (int x = 12; x < 88; ++x) (at(x, 10).r < 128 ? on : off)++;
    EXPECT_GT(on, 20);
    EXPECT_GT(off, 20);
}

TEST_F(Drawing, AliasedDiagonalHasOnlyFullPixelsAntialiasedHasGreys) {
    dc->setFrameColor(kBlackCColor);
    dc->setDrawMode(kAliasing);
    dc->drawLine(CPoint(0, 0), CPoint(40, 25));
    int greys = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 45; ++x) greys += at(x, y).r > 20 && at(x, y).r < 235;
    EXPECT_EQ(greys, 0);
    if (testsupport::runningUnderWine())
        GTEST_SKIP() << "wine draws vectors without antialiasing (Windows does antialias them)";
    dc->setDrawMode(kAntiAliasing);
    dc->drawLine(CPoint(50, 0), CPoint(90, 25));
    for (int y = 0; y < 30; ++y)
        for (int x = 50; x < 95; ++x) greys += at(x, y).r > 20 && at(x, y).r < 235;
    EXPECT_GT(greys, 10);
}

TEST_F(Drawing, FilledAndFramedRectanglesAndClip) {
    dc->setFillColor(MakeCColor(0, 0, 255));
    dc->setFrameColor(MakeCColor(255, 0, 0));
    dc->drawRect(CRect(10, 10, 30, 20), kDrawFilledAndStroked);
    EXPECT_TRUE(near(at(10, 10), 255, 0, 0, 0));
    EXPECT_TRUE(near(at(29, 19), 255, 0, 0, 0));
    EXPECT_TRUE(near(at(20, 15), 0, 0, 255, 0));
    EXPECT_TRUE(near(at(30, 15), 255, 255, 255, 0)) << "right edge is exclusive";

    dc->setOffset(CPoint(50, 0));
    dc->setClipRect(CRect(0, 0, 10, 10));
    dc->setFillColor(kBlackCColor);
    dc->drawRect(CRect(0, 0, 40, 40), kDrawFilled);
    EXPECT_EQ(at(55, 5).r, 0) << "inside the clip, moved by the offset";
    EXPECT_EQ(at(65, 5).r, 255) << "outside the clip";
    EXPECT_EQ(at(5, 5).r, 255);
}

TEST_F(Drawing, BitmapIsDrawnFromItsSourceOffsetIntoTheDestination) {
    auto* bmp = new CBitmap(20, 20);
    {
        CDrawContext b(bmp->getSurface());
        b.setFillColor(MakeCColor(0, 255, 0));
        b.drawRect(CRect(0, 0, 20, 10), kDrawFilled);
        b.setFillColor(MakeCColor(255, 0, 255));
        b.drawRect(CRect(0, 10, 20, 20), kDrawFilled);
    }
    dc->drawBitmap(bmp, CRect(5, 5, 25, 15), CPoint(0, 10));  // the lower half only
    EXPECT_TRUE(near(at(6, 6), 255, 0, 255, 0));
    EXPECT_TRUE(near(at(24, 14), 255, 0, 255, 0));
    EXPECT_TRUE(near(at(6, 15), 255, 255, 255, 0)) << "nothing outside the destination";
    bmp->draw(dc, CRect(40, 5, 60, 15), CPoint(0, 0), 0.5f);
    EXPECT_TRUE(near(at(45, 10), 128, 255, 128, 2)) << "half transparent over white";
    bmp->forget();
}

TEST_F(Drawing, TextFollowsAlignmentAndFontSize) {
    dc->setFontColor(kBlackCColor);
    dc->setFont(kNormalFont);
    const CCoord width = dc->getStringWidth("MMM");
    EXPECT_GT(width, 20);
    EXPECT_LT(width, 40);

    dc->drawString("MMM", CRect(0, 0, 100, 20), kLeftText);
    CRect left = inkBox();
    EXPECT_LE(left.left, 2);
    EXPECT_NEAR((left.top + left.bottom) / 2, 10, 2) << "vertically centred";
    TearDown();
    SetUp();
    dc->setFontColor(kBlackCColor);
    dc->setFont(kNormalFont);
    dc->drawString("MMM", CRect(0, 0, 100, 20), kRightText);
    CRect right = inkBox();
    EXPECT_GE(right.right, 97);
    TearDown();
    SetUp();
    dc->setFontColor(kBlackCColor);
    dc->setFont(kNormalFont);
    dc->drawString("MMM", CRect(0, 0, 100, 20), kCenterText);
    CRect centre = inkBox();
    EXPECT_NEAR((centre.left + centre.right) / 2, 50, 2);
    const CCoord height12 = centre.getHeight();
    TearDown();
    SetUp();
    dc->setFontColor(kBlackCColor);
    dc->setFont(kNormalFont, 24);
    dc->drawString("MMM", CRect(0, 0, 100, 60), kCenterText);
    EXPECT_NEAR(inkBox().getHeight(), 2 * height12, 3) << "cap height scales with the size";
    EXPECT_EQ(dc->getFont().getSize(), 24);
    EXPECT_STREQ(dc->getFont().getName(), "Arial");
}

}  // namespace
}  // namespace guitest
