// The editor in a real Win32 window at a scale factor (run under wine with a display): the
// window is the design size times the factor, a click at a scaled window position reaches the
// control under it, and a DPI change of the host's window (the message a per-monitor aware host's
// children get when it moves to another screen) makes the editor choose its factor again.
// Windows are pumped by the editor's idle a bounded number of times; nothing waits on a clock.
#include <gtest/gtest.h>
#include <windows.h>

#include "TestEditor.h"
#include "support/HostWindow_win.h"

namespace guitest {
namespace {

constexpr UINT kDpiChangedAfterParent = 0x02E3;  // WM_DPICHANGED_AFTERPARENT

struct ScaledWindow : ::testing::Test {
    void SetUp() override {
        parent = testsupport::createHostWindow(800, 600);
        ASSERT_NE(parent, nullptr) << "no window: wine needs a display";
        TestEditor::systemFactor() = 0;
    }
    void TearDown() override {
        effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
        TestEditor::systemFactor() = 0;
        if (parent) DestroyWindow(parent);
    }
    bool open() {
        if (effect.dispatcher(effEditOpen, 0, 0, parent, 0) != 1) return false;
        child = GetWindow(parent, GW_CHILD);
        return child != nullptr;
    }
    // Lets the editor handle what was posted to its window: a few idle passes.
    void idle() {
        for (int i = 0; i < 5; ++i) effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    }
    SIZE clientSize() const {
        RECT r{};
        GetClientRect(child, &r);
        return {r.right - r.left, r.bottom - r.top};
    }
    void clickAt(int x, int y) {
        const LPARAM at = MAKELPARAM(x, y);
        PostMessageW(child, WM_MOUSEMOVE, 0, at);
        PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(child, WM_LBUTTONUP, 0, at);
        idle();
    }

    testsupport::CallbackRecorder host;
    TestEffect effect;
    HWND parent = nullptr;
    HWND child = nullptr;
};

TEST_F(ScaledWindow, WindowIsTheScaledSizeAndAClickAtAScaledPositionReachesTheControl) {
    for (const double factor : {1.5, 2.0}) {
        SCOPED_TRACE(factor);
        TestEditor::systemFactor() = factor;
        ASSERT_TRUE(open());
        EXPECT_EQ(clientSize().cx, static_cast<LONG>(200 * factor));
        EXPECT_EQ(clientSize().cy, static_cast<LONG>(120 * factor));
        // The button's design rect is 10..30: its centre, and a point just outside it.
        const float before = effect.getParameter(0);
        clickAt(static_cast<int>(35 * factor), static_cast<int>(20 * factor));
        EXPECT_EQ(effect.getParameter(0), before) << "beside the button";
        clickAt(static_cast<int>(20 * factor), static_cast<int>(20 * factor));
        EXPECT_NE(effect.getParameter(0), before) << "on the button";
        effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
    }
}

TEST_F(ScaledWindow, DpiChangeOfTheHostWindowResizesTheEditorAndAsksTheHost) {
    ASSERT_TRUE(open());
    EXPECT_EQ(clientSize().cx, 200);
    TestEditor::systemFactor() = 2.0;  // the host's window moved to a 192 dpi screen
    host.requests.clear();
    SendMessageW(child, kDpiChangedAfterParent, 0, 0);
    idle();
    EXPECT_EQ(effect.testEditor()->getScaleFactor(), 2.0);
    EXPECT_EQ(clientSize().cx, 400);
    EXPECT_EQ(clientSize().cy, 240);
    EXPECT_EQ(host.count(audioMasterSizeWindow), 1);
    // The editor still works at its new size: a click at the scaled position.
    const float before = effect.getParameter(0);
    clickAt(40, 40);
    EXPECT_NE(effect.getParameter(0), before);
}

}  // namespace
}  // namespace guitest
