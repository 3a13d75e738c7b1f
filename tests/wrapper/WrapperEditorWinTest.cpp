// Editor embedding on Windows (under wine with Xvfb in the test run): placement of the child
// window in the host's window (again when the editor's zoom changes), its class and procedure,
// and the host's window vanishing under an open editor. The host's view window is a top-level
// window of this program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "tests/wrapper/TestSupport.h"
#include "wrapper/EditorWindow.h"

namespace {

using namespace wrapper_test;

class EditorPlacement : public ::testing::Test {
  protected:
    void SetUp() override {
        // A client area of 600 x 420, as the host's view would have.
        RECT frame{0, 0, 600, 420};
        AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
        parent = CreateWindowExA(0, "STATIC", "host view", WS_OVERLAPPEDWINDOW, 0, 0,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
        ShowWindow(parent, SW_SHOWNORMAL);
    }
    void TearDown() override {
        if (parent != nullptr) DestroyWindow(parent);
    }
    // The host's message loop for whatever is pending.
    static void pumpMessages() {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    int children() const {
        int n = 0;
        for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) ++n;
        return n;
    }
    std::uintptr_t parentId() const { return reinterpret_cast<std::uintptr_t>(parent); }

    FakeLibrary fake;
    HWND parent = nullptr;
};

TEST_F(EditorPlacement, ChildWindowFollowsTheEditorsZoom) {
    SKIP_WITHOUT_TINYPRESS();
    RECT frame{0, 0, 1000, 800};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    SetWindowPos(parent, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    expectEditorFollowsZoom(parentId());
}

TEST_F(EditorPlacement, DefaultAreaAndViewOptionShiftInAChildOfTheClass) {
    fake.config().numParams = 34;
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(fakeEffectPath().c_str()));
    w.SetViewOption(1);
    w.OpenEditor(parentId());
    ASSERT_TRUE(w.IsEditorOpen());
    EXPECT_EQ(fake.config().editIdleCalls, 1);
    int x, y, width, height;
    ASSERT_TRUE(wrapper::windowGeometry(w.ChildWindow(), &x, &y, &width, &height));
    EXPECT_EQ(x, 60);         // (600 - 480) / 2
    EXPECT_EQ(y, 420 - 392);  // bottom 360 + 32
    EXPECT_EQ(width, 540);    // 480 + 60: reaches the right edge
    EXPECT_EQ(height, 360);

    const HWND child = reinterpret_cast<HWND>(w.ChildWindow());
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    EXPECT_STREQ(name, "CPluginWrapperWindowClass2");
    GetWindowTextA(child, name, sizeof name);
    EXPECT_STREQ(name, "PluginWindow");
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_TRUE(GetWindowLongA(child, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_EQ(wrapper::windowOwner(w.ChildWindow()), &w);

    w.OpenEditor(parentId());  // a second open changes nothing
    EXPECT_EQ(reinterpret_cast<HWND>(w.ChildWindow()), child);
    EXPECT_EQ(children(), 1);
    pumpMessages();     // painting goes through the class's procedure
    w.UnloadLibrary();  // closes the editor first
    EXPECT_FALSE(w.IsEditorOpen());
    EXPECT_EQ(children(), 0);
}

// The user closes the child window (WM_CLOSE): the procedure closes the effect's editor.
TEST_F(EditorPlacement, CloseMessageClosesTheEditor) {
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(fakeEffectPath().c_str()));
    w.OpenEditor(parentId());
    ASSERT_TRUE(w.IsEditorOpen());
    SendMessageA(reinterpret_cast<HWND>(w.ChildWindow()), WM_CLOSE, 0, 0);
    EXPECT_FALSE(w.IsEditorOpen());
    EXPECT_EQ(w.ChildWindow(), 0u);
    EXPECT_EQ(children(), 0);
}

// The host destroys its view window with the editor open and goes on idling the view: the
// adaptor learns that its child window went too and closes the editor.
TEST_F(EditorPlacement, HostDestroyingItsWindowClosesTheEditor) {
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(fakeEffectPath().c_str()));
    w.OpenEditor(parentId());
    ASSERT_TRUE(w.IsEditorOpen());
    w.EditorIdle();
    DestroyWindow(parent);
    parent = nullptr;
    w.EditorIdle();
    EXPECT_FALSE(w.IsEditorOpen());
    EXPECT_EQ(w.ChildWindow(), 0u);
    w.RedrawEditor();
    w.CloseEditor();
    SetUp();  // a new view window gets a new editor
    w.OpenEditor(parentId());
    EXPECT_TRUE(w.IsEditorOpen());
    EXPECT_EQ(children(), 1);
}

TEST_F(EditorPlacement, UnknownParentOpensNothing) {
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(fakeEffectPath().c_str()));
    w.OpenEditor(0x7fff0);
    EXPECT_FALSE(w.IsEditorOpen());
}

TEST_F(EditorPlacement, TinypressPanelIsCentredAndBottomAligned) {
    SKIP_WITHOUT_TINYPRESS();
    CPluginWrapper w;
    ASSERT_TRUE(w.LoadLibrary(tinypressPath().c_str()));
    w.OpenEditor(parentId());
    ASSERT_TRUE(w.IsEditorOpen());
    int x, y, width, height;
    ASSERT_TRUE(wrapper::windowGeometry(w.ChildWindow(), &x, &y, &width, &height));
    EXPECT_EQ(x, 75);       // (600 - 450) / 2
    EXPECT_EQ(y, 42);       // 420 - 378
    EXPECT_EQ(width, 525);  // 450 + 75
    EXPECT_EQ(height, 378);
    // The effect's editor is a window inside ours.
    EXPECT_NE(GetWindow(reinterpret_cast<HWND>(w.ChildWindow()), GW_CHILD), nullptr);
    for (int i = 0; i < 3; ++i) {
        w.EditorIdle();
        pumpMessages();
    }
    w.CloseEditor();
    EXPECT_EQ(children(), 0);
}

}  // namespace
