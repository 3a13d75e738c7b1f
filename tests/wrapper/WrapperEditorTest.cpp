// Editor embedding on X11 (with a display, e.g. under Xvfb): placement of the child window in the
// host's window, again when the editor's zoom changes, and the host's window vanishing under an
// open editor.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/wrapper/TestSupport.h"
#include "wrapper/EditorWindow.h"

// Last: Xlib defines macros (None, Bool) that collide with the test framework.
#include <X11/Xlib.h>

#include "platform/XErrorTrap.h"

namespace {

using namespace wrapper_test;

// A loaded machine's Xvfb now and then turns a connection away (EAGAIN): a few tries.
Display* openDisplay() {
    for (int attempt = 0; attempt < 20; ++attempt)
        if (Display* d = XOpenDisplay(nullptr)) return d;
    return nullptr;
}

class EditorPlacement : public ::testing::Test {
  protected:
    void SetUp() override {
        display = openDisplay();
        if (display == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run)";
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 600, 420, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
    }
    void TearDown() override {
        if (display == nullptr) return;
        if (parent != 0) XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
    // The host destroys its window (on its own connection) while an editor is open in it.
    void destroyParent() {
        XDestroyWindow(display, parent);
        XSync(display, False);
        parent = 0;
    }
    int children() {
        Window root, parentOf, *list = nullptr;
        unsigned n = 0;
        XSync(display, False);
        XQueryTree(display, parent, &root, &parentOf, &list, &n);
        if (list) XFree(list);
        return static_cast<int>(n);
    }
    Display* display = nullptr;
    Window parent = 0;
};

TEST_F(EditorPlacement, TinypressPanelIsCentredAndBottomAligned) {
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(tinypressPath().c_str()));
    w.OpenEditor(parent);
    ASSERT_TRUE(w.IsEditorOpen());
    int x, y, width, height;
    ASSERT_TRUE(wrapper::windowGeometry(w.ChildWindow(), &x, &y, &width, &height));
    EXPECT_EQ(x, 75);       // (600 - 450) / 2
    EXPECT_EQ(y, 42);       // 420 - 378
    EXPECT_EQ(width, 525);  // 450 + 75: reaches the right edge
    EXPECT_EQ(height, 378);
    const std::uintptr_t child = w.ChildWindow();
    w.OpenEditor(parent);  // a second open changes nothing
    EXPECT_EQ(w.ChildWindow(), child);
    EXPECT_EQ(children(), 1);
    EXPECT_EQ(w.RefreshCountdown(), 2);
    w.EditorIdle();
    w.EditorIdle();
    w.EditorIdle();
    EXPECT_EQ(w.RefreshCountdown(), 0);
    w.CloseEditor();
    EXPECT_FALSE(w.IsEditorOpen());
    EXPECT_EQ(children(), 0);
}

TEST_F(EditorPlacement, DefaultAreaAndViewOptionShift) {
    FakeLibrary fake;
    fake.config().numParams = 34;
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(fakeEffectPath().c_str()));
    w.SetViewOption(1);
    w.OpenEditor(parent);
    ASSERT_TRUE(w.IsEditorOpen());
    EXPECT_EQ(fake.config().editIdleCalls, 1);
    int x, y, width, height;
    ASSERT_TRUE(wrapper::windowGeometry(w.ChildWindow(), &x, &y, &width, &height));
    EXPECT_EQ(x, 60);         // (600 - 480) / 2
    EXPECT_EQ(y, 420 - 392);  // bottom 360 + 32
    EXPECT_EQ(width, 540);
    EXPECT_EQ(height, 360);
    w.UnloadLibrary();  // closes the editor first
    EXPECT_FALSE(w.IsEditorOpen());
    EXPECT_EQ(children(), 0);
}

// The host destroys its view window with the editor open and goes on idling the view: the
// adaptor learns that its child window went too and closes the editor; nothing ends the process.
TEST_F(EditorPlacement, HostDestroyingItsWindowClosesTheEditor) {
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(tinypressPath().c_str()));
    w.OpenEditor(parent);
    ASSERT_TRUE(w.IsEditorOpen());
    w.EditorIdle();
    destroyParent();
    w.EditorIdle();
    EXPECT_FALSE(w.IsEditorOpen());
    EXPECT_EQ(w.ChildWindow(), 0u);
    for (int i = 0; i < 5; ++i) w.EditorIdle();
    w.RedrawEditor();
    w.CloseEditor();
    int width = 0, height = 0;
    w.GetEditorSize(&width, &height);
    EXPECT_EQ(width, 450);
    // A new view window gets a new editor.
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 500, 400, 0, 0, 0);
    XSync(display, False);
    w.OpenEditor(parent);
    EXPECT_TRUE(w.IsEditorOpen());
    EXPECT_EQ(children(), 1);
    w.EditorIdle();
}

// The same through the effect's own editor alone: its toolkit keeps idling, redrawing and
// closing on a window that no longer exists.
TEST_F(EditorPlacement, EditorToolkitSurvivesAVanishedWindow) {
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(tinypressPath().c_str()));
    ASSERT_EQ(w.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0), 1);
    w.Dispatch(effEditIdle, 0, 0, nullptr, 0);
    destroyParent();
    for (int i = 0; i < 5; ++i) {
        w.Dispatch(effEditIdle, 0, 0, nullptr, 0);
        w.SetParameter(5, 0.1f * i);  // moves a knob: a redraw of the vanished window
    }
    w.Dispatch(effEditClose, 0, 0, nullptr, 0);
    w.UnloadLibrary();
}

TEST(XErrorTrap, CountsErrorsOfItsOwnConnectionAndPassesOthersOn) {
    Display* own = openDisplay();
    Display* host = openDisplay();
    if (own == nullptr || host == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run)";
    static int hostErrors = 0;
    const XErrorHandler before = XSetErrorHandler([](Display*, XErrorEvent*) {
        ++hostErrors;
        return 0;
    });
    const Window none = 0x7fffff;  // no such window
    {
        platform::XErrorTrap outer(own);
        {
            platform::XErrorTrap inner(own);
            XMapWindow(own, none);
            EXPECT_TRUE(inner.failed());
        }
        EXPECT_FALSE(outer.failed());  // the inner trap's error was the inner trap's
        XMapWindow(host, none);        // the host's connection: its own handler hears of it
        XSync(host, False);
        EXPECT_EQ(hostErrors, 1);
        XUnmapWindow(own, none);
        EXPECT_TRUE(outer.failed());
    }
    XMapWindow(own, none);  // no trap left: the host's handler again
    XSync(own, False);
    EXPECT_EQ(hostErrors, 2);
    XSetErrorHandler(before);
    XCloseDisplay(host);
    XCloseDisplay(own);
}

TEST_F(EditorPlacement, ChildWindowFollowsTheEditorsZoom) {
    XResizeWindow(display, parent, 1000, 800);
    XSync(display, False);
    expectEditorFollowsZoom(parent);
}

TEST_F(EditorPlacement, UnknownParentOpensNothing) {
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(tinypressPath().c_str()));
    w.OpenEditor(0x7fffff);
    EXPECT_FALSE(w.IsEditorOpen());
}

}  // namespace
