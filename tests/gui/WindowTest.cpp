// The editor in a real X11 window (run under Xvfb): opened through the VST dispatcher as a child
// of a host window, idled, clicked and typed into with XTest; timers run by the tick count, not by
// the window's own timer events; open/close cycles with a window leave no connection or object
// behind.
#include <dirent.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "TestEditor.h"
#include "support/TestClock.h"

// X11 last: its macros (None, Bool, Status) would clash with the headers above.
#include "support/XWindows.h"

namespace guitest {
namespace {

const auto* const kKeepServer = ::testing::AddGlobalTestEnvironment(new testsupport::KeepXServer);

struct HostWindow : ::testing::Test {
    void SetUp() override {
        const std::string missing = testsupport::openHostWindow(300, 200, display, parent);
        if (!missing.empty()) GTEST_SKIP() << missing;
    }
    void TearDown() override { testsupport::closeHostWindow(display, parent); }
    // Idles the editor as a host does until `done` holds, at most `passes` times. After each
    // pass the X server has handled every request of this connection, and with them what the
    // editor's connection sent before.
    bool idleUntil(AudioEffect& effect, const std::function<bool()>& done, int passes = 2000) {
        for (int i = 0; i < passes; ++i) {
            effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
            XSync(display, False);
            if (done()) return true;
        }
        return false;
    }
    bool childMapped(Window w) {
        XWindowAttributes a;
        return XGetWindowAttributes(display, w, &a) && a.map_state == IsViewable;
    }
    void clickAt(int x, int y) { testsupport::clickAt(display, parent, x, y); }
    testsupport::CallbackRecorder host;
    Display* display = nullptr;
    Window parent = 0;
};

TEST_F(HostWindow, EditorOpensAsChildAndAClickReachesTheEffect) {
    TestEffect effect;
    ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0), 1);
    TestEditor* editor = effect.testEditor();
    CFrame* frame = editor->getFrame();
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(frame->isOpen());
    const Window own = static_cast<Window>(frame->getNativeWindow());
    Window root, parentOfOwn, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(display, own, &root, &parentOfOwn, &children, &count));
    if (children) XFree(children);
    EXPECT_EQ(parentOfOwn, parent) << "embedded in the host's window";
    ASSERT_TRUE(idleUntil(effect, [&] { return childMapped(own); }));

    clickAt(20, 20);  // the kick button toggles parameter 0
    ASSERT_TRUE(idleUntil(effect, [&] { return effect.params[0] > 0.5f; }));
    EXPECT_EQ(host.count(audioMasterBeginEdit, 0), 1);
    EXPECT_EQ(host.count(audioMasterEndEdit, 0), 1);
    EXPECT_EQ(host.count(audioMasterAutomate, 0), 1);

    // The frame's own idea of the mouse comes from the window system.
    CPoint where;
    frame->getCurrentMouseLocation(where);
    EXPECT_NEAR(where.x, 20, 1);
    EXPECT_NEAR(where.y, 20, 1);

    // Typing into the text field through the window's keyboard events.
    clickAt(120, 18);
    ASSERT_TRUE(idleUntil(effect, [&] { return editor->text->isEditing(); }));
    XSetInputFocus(display, own, RevertToParent, CurrentTime);
    const KeyCode k = XKeysymToKeycode(display, XStringToKeysym("k"));
    const KeyCode ret = XKeysymToKeycode(display, XStringToKeysym("Return"));
    for (KeyCode code : {k, ret}) {
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
    }
    XSync(display, False);
    EXPECT_TRUE(idleUntil(effect, [&] { return editor->committed == "k"; }));

    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
    EXPECT_EQ(editor->getFrame(), nullptr);
}

TEST_F(HostWindow, WheelStepsOverTheKnobMoveItAlongTheVerticalAxisOnly) {
    TestEffect effect;
    ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0), 1);
    CFrame* frame = effect.testEditor()->getFrame();
    ASSERT_NE(frame, nullptr);
    const Window own = static_cast<Window>(frame->getNativeWindow());
    ASSERT_TRUE(idleUntil(effect, [&] { return childMapped(own); }));
    const double scale = frame->getScaleFactor();
    const int x = static_cast<int>(70 * scale), y = static_cast<int>(30 * scale);  // the knob
    // One wheel step (X buttons 4 and 5 up and down, 6 and 7 left and right) over the knob, then
    // idles until parameter 1 is `expected`. A step moves the knob by its 0.1.
    auto wheel = [&](unsigned button, float expected) {
        testsupport::clickAt(display, parent, x, y, button);
        return idleUntil(effect, [&] { return std::fabs(effect.params[1] - expected) < 1e-4f; });
    };
    EXPECT_TRUE(wheel(4, 0.35f)) << effect.params[1];
    EXPECT_TRUE(wheel(4, 0.45f)) << effect.params[1];
    EXPECT_TRUE(wheel(5, 0.35f)) << effect.params[1];
    // Sideways steps reach the frame on the other axis, which the knob leaves alone (taken as
    // vertical, these two would leave it at 0.55 before the last step down).
    wheel(7, 0.35f);
    wheel(7, 0.35f);
    EXPECT_TRUE(wheel(5, 0.25f)) << effect.params[1];
    EXPECT_EQ(host.count(audioMasterAutomate, 1), 4);
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
}

TEST_F(HostWindow, TimersRunByTheTickCountWhateverTheWindowsTimerEventsSay) {
    testsupport::TestClock clock;
    TestEffect effect;
    ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0), 1);
    TestEditor* editor = effect.testEditor();
    ASSERT_TRUE(editor->getFrame()->isOpen());
    // Idle passes, with whatever timer events the window delivers meanwhile: the tick count
    // stands still, so the 50 ms timer does not run.
    idleUntil(
        effect, [] { return false; }, 200);
    EXPECT_EQ(editor->timerTicks, 0);
    clock.advance(50);
    effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    EXPECT_EQ(editor->timerTicks, 1);
    idleUntil(
        effect, [] { return false; }, 200);
    EXPECT_EQ(editor->timerTicks, 1) << "once per period";
    clock.advance(50);
    effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    EXPECT_EQ(editor->timerTicks, 2);
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
}

TEST_F(HostWindow, ABadParentWindowIsRefusedWithoutEndingTheHost) {
    TestEffect effect;
    // An id that is no window (the default X error handler would end the process here).
    const Window bogus = parent + 0x100000;
    EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(bogus), 0), 0);
    effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
    // The editor still opens in a real window afterwards.
    EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0), 1);
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
}

TEST_F(HostWindow, HostWindowDestroyedBeforeCloseIsSurvived) {
    TestEffect effect;
    ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0), 1);
    idleUntil(
        effect, [] { return false; }, 20);
    XDestroyWindow(display, parent);
    XSync(display, False);
    for (int i = 0; i < 5; ++i) effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
    const int screen = DefaultScreen(display);
    parent = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 300, 200, 0,
                                 BlackPixel(display, screen), WhitePixel(display, screen));
    SUCCEED();
}

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

TEST_F(HostWindow, OpenCloseCyclesWithAWindowLeaveNothingBehind) {
    TestEffect effect;
    const int64_t objects = CBaseObject::liveObjectCount();
    for (int i = 0; i < 5; ++i) {
        effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0);
        effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
        effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
    }
    const int fds = openDescriptors();
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0), 1);
        effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
        effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
    }
    EXPECT_EQ(openDescriptors(), fds) << "every display connection is closed";
    EXPECT_EQ(CBaseObject::liveObjectCount(), objects);
}

}  // namespace
}  // namespace guitest
