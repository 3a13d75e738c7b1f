// The preset bar's three control classes on their own: what a press, a release, a hover and a
// drag report and which strip image they draw, checked both through imageIndex and in the
// pixels of an offscreen frame drawn with the grandpress skin.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "gui/GuiTestSupport.h"
#include "gui/Toolkit.h"
#include "presets/PresetBarControls.h"

namespace {

using namespace qgui;

// Records each report with the image the control showed at that moment.
struct Listener : CControlListener {
    struct Report {
        float value;
        int image;
    };
    std::vector<Report> reports;
    void valueChanged(CControl* c) override {
        int image = -1;
        if (auto* k = dynamic_cast<CPSKickButton*>(c)) image = k->imageIndex();
        if (auto* s = dynamic_cast<CSaveLoadButton*>(c)) image = s->imageIndex();
        if (auto* r = dynamic_cast<CPSRockerSwitch*>(c)) image = r->imageIndex();
        reports.push_back({c->getValue(), image});
    }
};

// Which of the `count` images of `strip` the frame shows in `area`: the one with the smallest
// summed colour difference, or -1 when another image is as close (identical images).
int shownImage(CFrame* frame, const CRect& area, CBitmap* strip, int count) {
    frame->redrawAll();
    const int h = static_cast<int>(area.getHeight());
    double best = std::numeric_limits<double>::max(), second = best;
    int bestIndex = -1;
    for (int i = 0; i < count; ++i) {
        double sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < static_cast<int>(area.getWidth()); ++x) {
                const guitest::Pixel a =
                    guitest::pixelAt(frame->getOffscreen(), static_cast<int>(area.left) + x,
                                     static_cast<int>(area.top) + y);
                const guitest::Pixel b = guitest::pixelAt(strip->getSurface(), x, i * h + y);
                const double alpha = b.a / 255.0;  // the frame shows the strip over black
                sum += std::abs(a.r - b.r * alpha) + std::abs(a.g - b.g * alpha) +
                       std::abs(a.b - b.b * alpha);
            }
        if (sum < best) {
            second = best;
            best = sum;
            bestIndex = i;
        } else if (sum < second) {
            second = sum;
        }
    }
    return best < second ? bestIndex : -1;
}

struct Controls : ::testing::Test {
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 120, 40), nullptr);
        frame->setBackgroundColor(kBlackCColor);
    }
    void TearDown() override { frame->forget(); }

    template <class V>
    V* add(V* view) {
        frame->addView(view);
        return view;
    }
    CMouseEventResult down(CPoint p, int32_t buttons) {
        return frame->onMouseDown(p, CButtonState(buttons));
    }
    void up(CPoint p, int32_t buttons) { frame->onMouseUp(p, CButtonState(buttons)); }
    void move(CPoint p, int32_t buttons = 0) { frame->onMouseMoved(p, CButtonState(buttons)); }

    CFrame* frame = nullptr;
    Listener listener;
};

TEST_F(Controls, MemoButtonActsOnPressOnlyAndShowsRestHoverAndPressed) {
    CBitmap* strip = new CBitmap(19995);
    ASSERT_TRUE(strip->isLoaded()) << "the grandpress skin is linked into this test";
    auto* b = add(new CPSKickButton(CRect(10, 10, 22, 24), &listener, 74, 14, strip, false));
    const CPoint at(16, 17);
    EXPECT_EQ(shownImage(frame, b->getViewSize(), strip, 3), 0);

    move(at);
    EXPECT_EQ(b->imageIndex(), 1);
    EXPECT_EQ(shownImage(frame, b->getViewSize(), strip, 3), 1);

    EXPECT_EQ(down(at, kLButton), kMouseEventHandled) << "the release must reach the button";
    ASSERT_EQ(listener.reports.size(), 1u);
    EXPECT_EQ(listener.reports[0].value, 1.0f);
    EXPECT_EQ(shownImage(frame, b->getViewSize(), strip, 3), 2);

    move(CPoint(60, 30), kLButton);  // dragged off while held: the press has acted already
    up(CPoint(60, 30), kLButton);
    EXPECT_EQ(b->getValue(), 0.0f);
    EXPECT_EQ(listener.reports.size(), 1u) << "release is not reported";

    move(CPoint(60, 30));
    EXPECT_EQ(b->imageIndex(), 0);
    EXPECT_EQ(shownImage(frame, b->getViewSize(), strip, 3), 0);

    // Any press without the left button is swallowed without a report or further events.
    EXPECT_EQ(down(at, kRButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(listener.reports.size(), 1u);
    strip->forget();
}

TEST_F(Controls, DefaultButtonWantsADoubleClickAndReportsHalfWithControl) {
    auto* b = add(new CPSKickButton(CRect(10, 10, 47, 20), &listener, 72, 10, nullptr, true));
    EXPECT_TRUE(b->needsDoubleClick());
    const CPoint at(20, 15);

    EXPECT_EQ(down(at, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    up(at, kLButton);
    EXPECT_TRUE(listener.reports.empty()) << "a single click does nothing";
    EXPECT_EQ(b->imageIndex(), 0) << "and is not drawn as pressed";

    down(at, kLButton | kDoubleClick);
    ASSERT_EQ(listener.reports.size(), 1u);
    EXPECT_EQ(listener.reports[0].value, 1.0f);
    EXPECT_EQ(listener.reports[0].image, 2) << "pressed while the listener runs";
    up(at, kLButton);

    down(at, kLButton | kControl);
    up(at, kLButton | kControl);
    EXPECT_EQ(listener.reports.size(), 1u) << "a single Control-click does nothing either";
    down(at, kLButton | kDoubleClick | kControl);
    up(at, kLButton | kControl);
    ASSERT_EQ(listener.reports.size(), 2u);
    EXPECT_EQ(listener.reports[1].value, 0.5f);
    EXPECT_EQ(b->getValue(), 0.0f);
}

TEST_F(Controls, SaveLoadButtonRunsTheListenerInsideThePressAndFallsBack) {
    CBitmap* strip = new CBitmap(19993);
    auto* b = add(new CSaveLoadButton(CRect(10, 10, 22, 24), &listener, 61, 14, strip));
    const CPoint at(16, 17);
    move(at);
    EXPECT_EQ(shownImage(frame, b->getViewSize(), strip, 3), 1);

    EXPECT_EQ(down(at, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    ASSERT_EQ(listener.reports.size(), 1u);
    EXPECT_EQ(listener.reports[0].value, 1.0f);
    EXPECT_EQ(listener.reports[0].image, 2) << "the 'busy' image while the dialog runs";
    EXPECT_EQ(b->getValue(), 0.0f);
    EXPECT_EQ(shownImage(frame, b->getViewSize(), strip, 3), 1);

    down(at, kRButton);
    ASSERT_EQ(listener.reports.size(), 2u);
    EXPECT_EQ(listener.reports[1].value, 0.5f) << "right button alone: the reversed variant";
    down(at, kRButton | kLButton);
    ASSERT_EQ(listener.reports.size(), 3u);
    EXPECT_EQ(listener.reports[2].value, 1.0f);
    EXPECT_EQ(down(at, kMButton), kMouseEventNotHandled);
    EXPECT_EQ(listener.reports.size(), 3u);

    move(CPoint(80, 30));
    EXPECT_EQ(b->imageIndex(), 0);
    EXPECT_EQ(shownImage(frame, b->getViewSize(), strip, 3), 0);

    // Without a listener there is nothing to run.
    auto* lonely = add(new CSaveLoadButton(CRect(40, 10, 52, 24), nullptr, 62, 14, nullptr));
    EXPECT_EQ(down(CPoint(46, 17), kLButton), kMouseEventNotHandled);
    EXPECT_EQ(lonely->getValue(), 0.0f);
    strip->forget();
}

TEST_F(Controls, RockerReportsTheHalfPressedAndShowsFiveImages) {
    CBitmap* strip = new CBitmap(19997);
    auto* r = add(new CPSRockerSwitch(CRect(10, 10, 41, 24), &listener, 60, 14, strip));
    const CPoint left(15, 17), right(36, 17);
    EXPECT_EQ(shownImage(frame, r->getViewSize(), strip, 5), 0);

    move(left);
    EXPECT_EQ(r->hoveredHalf(), -1);
    EXPECT_EQ(shownImage(frame, r->getViewSize(), strip, 5), 1);
    move(right);
    EXPECT_EQ(r->hoveredHalf(), 1);
    EXPECT_EQ(shownImage(frame, r->getViewSize(), strip, 5), 2);

    EXPECT_EQ(down(right, kLButton), kMouseEventHandled);
    ASSERT_EQ(listener.reports.size(), 1u);
    EXPECT_EQ(listener.reports[0].value, 1.0f);
    EXPECT_EQ(shownImage(frame, r->getViewSize(), strip, 5), 4) << "held on the right half";
    move(left, kLButton);  // moves with the button held change nothing
    EXPECT_EQ(r->getValue(), 1.0f);
    EXPECT_EQ(r->imageIndex(), 4);
    up(left, kLButton);
    EXPECT_EQ(r->getValue(), 0.0f);
    EXPECT_EQ(listener.reports.size(), 1u) << "release is not reported";

    down(left, kLButton);
    ASSERT_EQ(listener.reports.size(), 2u);
    EXPECT_EQ(listener.reports[1].value, -1.0f);
    EXPECT_EQ(shownImage(frame, r->getViewSize(), strip, 5), 3);
    up(left, kLButton);

    EXPECT_EQ(down(left, kRButton), kMouseEventNotHandled);
    EXPECT_EQ(listener.reports.size(), 2u);

    move(CPoint(90, 30));
    EXPECT_EQ(r->hoveredHalf(), 0);
    EXPECT_EQ(shownImage(frame, r->getViewSize(), strip, 5), 0);
    strip->forget();
}

}  // namespace
