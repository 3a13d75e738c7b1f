// Hit testing, adding and removing views, dirty redraw, background offsets, and mouse routing
// (capture, enter/leave, transparency) of the view tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "support/TemporaryFolder.h"
#include "support/TestClock.h"

namespace guitest {
namespace {

// A view that counts its drawings and records the mouse events it gets.
class Probe : public CView {
  public:
    Probe(const CRect& r, CColor colour, CMouseEventResult downResult = kMouseEventHandled)
        : CView(r), colour(colour), downResult(downResult) {}
    void draw(CDrawContext* dc) override {
        ++draws;
        dc->setFillColor(colour);
        dc->drawRect(size, kDrawFilled);
        setDirty(false);
    }
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState&) override {
        ++downs;
        lastWhere = where;
        return downResult;
    }
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& b) override {
        if (b.isLeftButton()) ++drags;
        lastWhere = where;
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseUp(CPoint&, const CButtonState&) override {
        ++ups;
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseEntered(CPoint&, const CButtonState&) override {
        ++enters;
        return kMouseEventHandled;
    }
    CMouseEventResult onMouseExited(CPoint&, const CButtonState&) override {
        ++exits;
        return kMouseEventHandled;
    }
    CColor colour;
    CMouseEventResult downResult;
    int draws = 0, downs = 0, drags = 0, ups = 0, enters = 0, exits = 0;
    CPoint lastWhere;
};

struct Tree : ::testing::Test {
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 200, 100), nullptr);
        page = new CViewContainer(CRect(20, 10, 180, 90));  // children relative to (20, 10)
        page->setBackgroundColor(MakeCColor(200, 200, 200));
        a = new Probe(CRect(10, 10, 50, 40), MakeCColor(255, 0, 0));
        b = new Probe(CRect(60, 10, 100, 40), MakeCColor(0, 0, 255));
        inner = new CViewContainer(CRect(100, 40, 150, 75));
        c = new Probe(CRect(5, 5, 25, 25), MakeCColor(0, 160, 0));
        inner->addView(c);
        page->addView(a);
        page->addView(b);
        page->addView(inner);
        frame->addView(page);
        frame->idle();  // first full drawing
        a->draws = b->draws = c->draws = 0;
    }
    void TearDown() override { frame->forget(); }

    CFrame* frame;
    CViewContainer* page;
    CViewContainer* inner;
    Probe *a, *b, *c;
};

TEST_F(Tree, HitTestingFindsTopmostChildAndDescendsOnlyWhenAsked) {
    // Coordinates of getViewAt are the container's parent's: the frame's here.
    EXPECT_EQ(page->getViewAt(CPoint(35, 25)), a);
    EXPECT_EQ(page->getViewAt(CPoint(85, 25)), b);
    EXPECT_EQ(page->getViewAt(CPoint(130, 60)), inner);        // not descending
    EXPECT_EQ(page->getViewAt(CPoint(130, 60), true), c);      // descending
    EXPECT_EQ(page->getViewAt(CPoint(160, 80), true), inner);  // inside inner, outside c
    EXPECT_EQ(page->getViewAt(CPoint(25, 15)), nullptr);       // page background only
    EXPECT_EQ(frame->getViewAt(CPoint(35, 25)), page);

    // A view added later lies on top; an invisible one is not hit.
    auto* top = new Probe(CRect(0, 0, 60, 40), kBlackCColor);
    page->addView(top);
    EXPECT_EQ(page->getViewAt(CPoint(35, 25)), top);
    top->setVisible(false);
    EXPECT_EQ(page->getViewAt(CPoint(35, 25)), a);
}

TEST_F(Tree, RemovedWithoutForgetLivesOnAndCanBeAddedAgain) {
    const int64_t live = CBaseObject::liveObjectCount();
    EXPECT_TRUE(page->removeView(a, false));
    EXPECT_FALSE(page->isChild(a));
    EXPECT_FALSE(a->isAttached());
    EXPECT_EQ(CBaseObject::liveObjectCount(), live);
    EXPECT_EQ(a->getNbReference(), 1);
    EXPECT_TRUE(page->addView(a));
    EXPECT_TRUE(a->isAttached());
    EXPECT_EQ(a->getFrame(), frame);
    EXPECT_FALSE(page->addView(a)) << "a view has one parent";
    EXPECT_TRUE(page->isChild(c, true));
    EXPECT_FALSE(page->isChild(c, false));

    // Removing with forget destroys it.
    EXPECT_TRUE(page->removeView(b, true));
    EXPECT_EQ(CBaseObject::liveObjectCount(), live - 1);
}

TEST_F(Tree, IdleRedrawsOnlyDirtyViews) {
    frame->idle();
    EXPECT_EQ(a->draws + b->draws + c->draws, 0) << "nothing dirty, nothing drawn";

    a->setDirty();
    frame->idle();
    EXPECT_EQ(a->draws, 1);
    EXPECT_EQ(b->draws, 0);
    EXPECT_EQ(c->draws, 0);
    frame->idle();
    EXPECT_EQ(a->draws, 1) << "the mark is cleared by drawing";

    // A view in a nested container, in frame pixels.
    c->colour = MakeCColor(255, 255, 0);
    c->setDirty();
    const std::vector<CRect> drawn = frame->redrawDirty();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0], CRect(125, 55, 145, 75));
    EXPECT_EQ(c->draws, 1);
    EXPECT_TRUE(near(pixelAt(frame->getOffscreen(), 130, 60), 255, 255, 0));
}

TEST_F(Tree, ControlValueChangeIsDrawnOnNextIdle) {
    RecordingListener listener;
    auto* knob = new CKnob(CRect(10, 45, 50, 75), &listener, 3, nullptr, nullptr);
    page->addView(knob);
    frame->idle();
    EXPECT_FALSE(knob->isDirty());
    knob->setValue(0.7f);  // e.g. host automation
    EXPECT_TRUE(knob->isDirty());
    const std::vector<CRect> drawn = frame->redrawDirty();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0], CRect(30, 55, 70, 85));
    EXPECT_FALSE(knob->isDirty());
    EXPECT_TRUE(listener.values.empty()) << "setValue does not report";
}

TEST_F(Tree, RemovingAViewRedrawsWhatWasUnderIt) {
    EXPECT_TRUE(near(pixelAt(frame->getOffscreen(), 35, 25), 255, 0, 0));
    page->removeView(a, false);
    frame->idle();
    EXPECT_TRUE(near(pixelAt(frame->getOffscreen(), 35, 25), 200, 200, 200));
    a->forget();
}

TEST_F(Tree, ContainerBackgroundIsDrawnFromItsOffset) {
    auto* bmp = new CBitmap(300, 300);
    {
        CDrawContext dc(bmp->getSurface());
        dc.setFillColor(MakeCColor(10, 200, 30));
        dc.drawRect(CRect(0, 0, 300, 300), kDrawFilled);
        dc.setFillColor(MakeCColor(250, 100, 0));
        dc.drawRect(CRect(130, 70, 140, 80), kDrawFilled);  // a marker at (130, 70)
    }
    inner->setBackground(bmp);
    inner->setBackgroundOffset(CPoint(90, 45));
    bmp->forget();
    inner->invalid();
    frame->idle();
    // inner is at frame (120, 50); the marker's source (130, 70) lands at (120 + 40, 50 + 25).
    EXPECT_TRUE(near(pixelAt(frame->getOffscreen(), 161, 76), 250, 100, 0));
    EXPECT_TRUE(near(pixelAt(frame->getOffscreen(), 159, 74), 10, 200, 30));
    EXPECT_TRUE(near(pixelAt(frame->getOffscreen(), 121, 51), 10, 200, 30));
}

TEST_F(Tree, PressedViewGetsMovesAndReleaseEvenOutside) {
    CPoint p(35, 25);
    EXPECT_EQ(frame->onMouseDown(p, CButtonState(kLButton)), kMouseEventHandled);
    EXPECT_EQ(a->downs, 1);
    EXPECT_EQ(a->lastWhere, CPoint(15, 15)) << "events arrive in the parent's coordinates";
    CPoint far(190, 95);
    frame->onMouseMoved(far, CButtonState(kLButton));
    EXPECT_EQ(a->drags, 1);
    EXPECT_EQ(b->drags, 0);
    frame->onMouseUp(far, CButtonState(kLButton));
    EXPECT_EQ(a->ups, 1);
    frame->onMouseMoved(far, CButtonState(kLButton));
    EXPECT_EQ(a->drags, 1) << "no capture after the release";
}

TEST_F(Tree, HandledWithoutTrackingGetsNoMovesAndNotHandledFallsThroughTransparentViews) {
    a->downResult = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    CPoint p(35, 25);
    frame->onMouseDown(p, CButtonState(kLButton));
    frame->onMouseMoved(p, CButtonState(kLButton));
    frame->onMouseUp(p, CButtonState(kLButton));
    EXPECT_EQ(a->drags, 0);
    EXPECT_EQ(a->ups, 0);

    auto* glass = new Probe(CRect(0, 0, 60, 40), kBlackCColor, kMouseEventNotHandled);
    page->addView(glass);
    frame->onMouseDown(p, CButtonState(kLButton));
    EXPECT_EQ(glass->downs, 1);
    EXPECT_EQ(a->downs, 1) << "an opaque view that did not handle the click stops it";
    glass->setTransparency(true);
    frame->onMouseDown(p, CButtonState(kLButton));
    EXPECT_EQ(a->downs, 2) << "a transparent one lets it through";
}

TEST_F(Tree, EnterAndLeaveFollowTheMouse) {
    CPoint p(35, 25);
    frame->onMouseMoved(p, CButtonState());
    EXPECT_EQ(a->enters, 1);
    p = CPoint(36, 26);
    frame->onMouseMoved(p, CButtonState());
    EXPECT_EQ(a->enters, 1) << "no new enter while inside";
    p = CPoint(85, 25);
    frame->onMouseMoved(p, CButtonState());
    EXPECT_EQ(a->exits, 1);
    EXPECT_EQ(b->enters, 1);
    p = CPoint(130, 60);  // into the nested container's child
    frame->onMouseMoved(p, CButtonState());
    EXPECT_EQ(b->exits, 1);
    EXPECT_EQ(c->enters, 1);
    CPoint out(-1, -1);
    frame->onMouseExited(out, CButtonState());
    EXPECT_EQ(c->exits, 1);
    CPoint where;
    frame->getCurrentMouseLocation(where);
    EXPECT_EQ(where, CPoint(-1, -1));
}

TEST_F(Tree, CurrentMouseStateFollowsEventsWithoutWindow) {
    CPoint p(85, 25);
    frame->onMouseDown(p, CButtonState(kLButton | kShift));
    CPoint where;
    frame->getCurrentMouseLocation(where);
    EXPECT_EQ(where, CPoint(85, 25));
    EXPECT_TRUE(frame->getCurrentMouseButtons().isLeftButton());
    frame->onMouseUp(p, CButtonState(kLButton | kShift));
    EXPECT_FALSE(frame->getCurrentMouseButtons().isLeftButton());
}

TEST_F(Tree, TimersRunEachPeriodOfTheTickCountFromIdle) {
    // Started just before the 32-bit tick count wraps: the periods run on across the wrap.
    testsupport::TestClock clock(0xFFFFFFFFu - 70);
    int ticks = 0, others = 0;
    const uint32_t id = frame->startTimer(50, [&] { ++ticks; });
    frame->idle();
    clock.advance(49);
    frame->idle();
    EXPECT_EQ(ticks, 0) << "not before its period";
    clock.advance(1);
    frame->idle();
    frame->idle();
    EXPECT_EQ(ticks, 1) << "once per period";

    clock.advance(250);  // a long pause: five periods missed
    frame->idle();
    EXPECT_EQ(ticks, 2) << "missed periods do not run in a burst";
    clock.advance(49);  // the periods stay on their grid: the next is 350 ms after the start
    frame->idle();
    EXPECT_EQ(ticks, 2);
    clock.advance(1);
    frame->idle();
    EXPECT_EQ(ticks, 3);

    // The window's timer events: at most half a period early, and never twice in one period.
    clock.advance(24);
    frame->fireTimer(id);
    EXPECT_EQ(ticks, 3) << "more than half a period early";
    clock.advance(1);
    frame->fireTimer(id);
    EXPECT_EQ(ticks, 4);
    frame->fireTimer(id);
    clock.advance(25);  // the period it ran early for is now
    frame->idle();
    EXPECT_EQ(ticks, 4) << "its period has run";
    clock.advance(49);
    frame->idle();
    EXPECT_EQ(ticks, 4);
    clock.advance(1);
    frame->idle();
    EXPECT_EQ(ticks, 5) << "the next period";

    // A timer stopped by another one's callback in the same pass does not run.
    uint32_t second = 0;
    const uint32_t stopper = frame->startTimer(50, [&] {
        ++others;
        frame->stopTimer(second);
    });
    second = frame->startTimer(50, [&] { ++others; });
    frame->stopTimer(id);
    clock.advance(50);
    frame->idle();
    EXPECT_EQ(ticks, 5) << "stopped";
    EXPECT_EQ(others, 1);
    frame->stopTimer(stopper);
}

// The frame's image as a PNG file (qrx-shot and the snapshots write it), of the frame's size.
TEST_F(Tree, FrameImageIsWrittenAsPngOfItsSize) {
    const testsupport::TemporaryFolder folder("qrx-frame-png-");
    const std::string path = folder.path("frame.png");
    ASSERT_TRUE(frame->writePNG(path.c_str()));
    std::ifstream in(folder.folder() / "frame.png", std::ios::binary);
    const std::vector<unsigned char> png((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
    ASSERT_GT(png.size(), 33u);
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    EXPECT_TRUE(std::equal(signature, signature + 8, png.begin()));
    auto be32 = [&](size_t at) {
        return (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    };
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    EXPECT_EQ(be32(16), 200);
    EXPECT_EQ(be32(20), 100);
    EXPECT_EQ(png[24], 8) << "8 bits per channel";
    EXPECT_TRUE(png[25] == 2 || png[25] == 6) << "RGB, with alpha where the image has any";
    EXPECT_FALSE(frame->writePNG(folder.path("missing/frame.png").c_str()));
}

}  // namespace
}  // namespace guitest
