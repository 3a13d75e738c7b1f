// The pop-up list: entries and titles, the current entry, the list drawn inside the frame,
// choosing with the mouse and the keyboard, closing without a choice.
#include <gtest/gtest.h>

#include "GuiTestSupport.h"

namespace guitest {
namespace {

struct Menu : ::testing::Test {
    void SetUp() override {
        frame = new CFrame(CRect(0, 0, 450, 378), nullptr);
        frame->setBackgroundColor(MakeCColor(40, 40, 40));
        menu = new COptionMenu(CRect(293, 362, 305, 376), &listener, 71, nullptr, nullptr,
                               kNoTextStyle | kNoFrame);
        for (int i = 0; i < 16; ++i) {
            const std::string title = "Program " + std::to_string(i);
            menu->addEntry(title.c_str());
        }
        frame->addView(menu);
        frame->idle();
    }
    void TearDown() override { frame->forget(); }
    CFrame* frame;
    COptionMenu* menu;
    RecordingListener listener;
};

TEST_F(Menu, EntriesTitlesAndCurrent) {
    EXPECT_EQ(menu->getNbEntries(), 16);
    EXPECT_EQ(menu->getCurrentIndex(), 0);
    EXPECT_TRUE(menu->setCurrent(4));
    EXPECT_FLOAT_EQ(menu->getValue(), 4.0f);
    menu->getCurrent()->setTitle("Vocal bus");
    EXPECT_STREQ(menu->getEntry(4)->getTitle(), "Vocal bus");
    EXPECT_FALSE(menu->setCurrent(16));
    EXPECT_EQ(menu->getCurrentIndex(), 4);
    menu->setValue(6.4f);
    EXPECT_EQ(menu->getCurrentIndex(), 6);
    EXPECT_EQ(menu->getEntry(-1), nullptr);
    EXPECT_TRUE(listener.values.empty()) << "setting from code reports nothing";
}

TEST_F(Menu, ClickOpensTheListAboveTheButtonAndAnEntryIsChosen) {
    click(frame, 298, 368);
    ASSERT_TRUE(menu->isPopupOpen());
    CView* list = frame->getModalView();
    ASSERT_NE(list, nullptr);
    const CRect r = list->getViewSize();
    EXPECT_LE(r.bottom, 362) << "no room below: the list opens above the button";
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, 450);
    frame->idle();
    // The list is drawn into the frame: its light background where the frame was dark.
    EXPECT_GT(
        pixelAt(frame->getOffscreen(), static_cast<int>(r.right) - 3, static_cast<int>(r.top) + 3)
            .r,
        200);

    // Row height is the font size plus 4; rows start 2 pixels below the top.
    const CCoord row = 16;
    CPoint hover(r.left + 20, r.top + 2 + 4 * row + row / 2);
    frame->onMouseMoved(hover, CButtonState());
    click(frame, hover.x, hover.y);
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_EQ(frame->getModalView(), nullptr);
    EXPECT_EQ(menu->getCurrentIndex(), 4);
    EXPECT_EQ(menu->getLastResult(), 4);
    EXPECT_EQ(listener.values, (std::vector<float>{4.0f}));
    frame->idle();
    EXPECT_LT(
        pixelAt(frame->getOffscreen(), static_cast<int>(r.right) - 3, static_cast<int>(r.top) + 3)
            .r,
        60)
        << "the list is gone from the image";
}

TEST_F(Menu, ClickOutsideOrEscapeClosesWithoutAChoice) {
    menu->setCurrent(2);
    click(frame, 298, 368);
    ASSERT_TRUE(menu->isPopupOpen());
    click(frame, 10, 10);
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_EQ(menu->getCurrentIndex(), 2);
    EXPECT_EQ(menu->getLastResult(), -1);

    click(frame, 298, 368);
    ASSERT_TRUE(menu->isPopupOpen());
    VstKeyCode down = virtualKey(VKEY_DOWN);
    frame->onKeyDown(down);  // from the current entry to the next
    VstKeyCode enter = virtualKey(VKEY_RETURN);
    frame->onKeyDown(enter);
    EXPECT_EQ(menu->getCurrentIndex(), 3);

    click(frame, 298, 368);
    VstKeyCode escape = virtualKey(VKEY_ESCAPE);
    frame->onKeyDown(escape);
    EXPECT_FALSE(menu->isPopupOpen());
    EXPECT_EQ(listener.values, (std::vector<float>{3.0f}));
    click(frame, 298, 368, kRButton);
    EXPECT_FALSE(menu->isPopupOpen()) << "the right button does not open it";
}

TEST_F(Menu, ClosingTheFrameWithTheListOpenLeavesNothingBehind) {
    const int64_t before = CBaseObject::liveObjectCount();
    auto* f = new CFrame(CRect(0, 0, 200, 200), nullptr);
    auto* m = new COptionMenu(CRect(10, 10, 40, 24), nullptr, 1);
    m->addEntry("a");
    m->addEntry("b");
    f->addView(m);
    EXPECT_TRUE(m->popup());
    f->forget();
    EXPECT_EQ(CBaseObject::liveObjectCount(), before);
}

}  // namespace
}  // namespace guitest
