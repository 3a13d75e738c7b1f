// Both plug-in DLLs as a Windows host sees them (run under wine with Xvfb): loaded by file name,
// the editor opened through the VST dispatcher as a child of a window the test makes, idled,
// clicked (a button, then the page switch), closed. What the window showed is kept in
// <build>/test-artifacts/ as PNG files for people to look at.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "WindowPanels.h"
#include "gui/Surface.h"
#include "gui/win/Gdiplus.h"
#include "shell/vst2.h"

namespace {

// What the plug-in asked of the host, by opcode and index.
std::vector<std::pair<VstInt32, VstInt32>> requests;

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float) {
    requests.emplace_back(opcode, index);
    switch (opcode) {
        case audioMasterVersion:
            return kVstVersion;
        case audioMasterGetSampleRate:
            return 44100;
        case audioMasterGetBlockSize:
            return 512;
        default:
            return 0;
    }
}

std::wstring buildFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    p.resize(p.find_last_of(L"\\/"));  // <build>\bin
    p.resize(p.find_last_of(L"\\/"));  // <build>
    return p;
}

BOOL CALLBACK countChild(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

struct EditorWindow : ::testing::TestWithParam<Panel> {
    void SetUp() override {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QRXTestHost";
        RegisterClassW(&wc);
        parent = CreateWindowExW(0, L"QRXTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 600, 600, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(parent, nullptr) << "no window: wine needs a display (make windows-test "
                                      "runs the tests under Xvfb)";
        requests.clear();
    }
    void TearDown() override {
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0);
        if (library) FreeLibrary(library);
        if (parent) DestroyWindow(parent);
    }
    VstIntPtr dispatch(VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, 0, value, ptr, 0);
    }
    // The host's message loop and the editor's idle, as a host runs them, until `done` holds;
    // at most 2000 passes.
    bool idleUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 2000; ++i) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            dispatch(effEditIdle);
            if (done()) return true;
        }
        return false;
    }
    int childCount() const {
        int count = 0;
        EnumChildWindows(parent, countChild, reinterpret_cast<LPARAM>(&count));
        return count;
    }
    int count(VstInt32 opcode, VstInt32 index) const {
        int n = 0;
        for (const auto& r : requests) n += r.first == opcode && r.second == index;
        return n;
    }
    void clickAt(int x, int y) {
        const LPARAM at = MAKELPARAM(x, y);
        PostMessageW(editor, WM_MOUSEMOVE, 0, at);
        PostMessageW(editor, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(editor, WM_LBUTTONUP, 0, at);
    }
    // The mean colour of the 10 x 10 patch at (x, y) of what the editor's window shows.
    RGB patch(int x, int y) const {
        HDC screen = GetDC(editor);
        RGB sum{0, 0, 0};
        for (int row = y; row < y + 10; ++row)
            for (int col = x; col < x + 10; ++col) {
                const COLORREF c = GetPixel(screen, col, row);
                sum.r += GetRValue(c);
                sum.g += GetGValue(c);
                sum.b += GetBValue(c);
            }
        ReleaseDC(editor, screen);
        return {sum.r / 100, sum.g / 100, sum.b / 100};
    }
    // What the editor's window shows, written to a PNG in the test artifacts.
    void screenshot(const std::string& file) {
        const Panel& p = GetParam();
        HDC screen = GetDC(editor);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, 450, p.height);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, 450, p.height, screen, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        {
            std::unique_ptr<Gdiplus::Bitmap> shot(Gdiplus::Bitmap::FromHBITMAP(bitmap, nullptr));
            EXPECT_TRUE(qgui::writeSurfacePng(shot.get(), (artifacts() + file).c_str()));
        }
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(editor, screen);
    }
    static std::string artifacts() {
        std::wstring dir = buildFolder() + L"\\test-artifacts";
        CreateDirectoryW(dir.c_str(), nullptr);
        std::string narrow;
        for (wchar_t c : dir) narrow += static_cast<char>(c);  // ASCII build paths in the tests
        return narrow + "\\";
    }

    HWND parent = nullptr;
    HWND editor = nullptr;
    HMODULE library = nullptr;
    AEffect* effect = nullptr;
};

INSTANTIATE_TEST_SUITE_P(BothPlugins, EditorWindow, ::testing::ValuesIn(kPanels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(EditorWindow, OpensAsChildOfTheHostWindowIdlesClicksAndCloses) {
    const Panel& p = GetParam();
    const std::wstring file =
        buildFolder() + L"\\" + std::wstring(p.name, p.name + std::strlen(p.name)) + L".dll";
    library = LoadLibraryW(file.c_str());
    ASSERT_NE(library, nullptr) << "cannot load " << p.name << ".dll";
    auto entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(
        reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")));
    ASSERT_NE(entry, nullptr);
    effect = entry(host);
    ASSERT_NE(effect, nullptr);
    dispatch(effOpen);
    dispatch(effMainsChanged, 1);

    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(effEditGetRect, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->bottom - rect->top, p.height);

    ASSERT_EQ(dispatch(effEditOpen, 0, parent), 1);
    ASSERT_TRUE(idleUntil([&] { return childCount() == 1; }));
    editor = GetWindow(parent, GW_CHILD);
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(IsChild(parent, editor));
    EXPECT_EQ(GetParent(editor), parent);
    EXPECT_TRUE(GetWindowLongPtrW(editor, GWL_STYLE) & WS_CHILD);
    RECT client;
    GetClientRect(editor, &client);
    EXPECT_EQ(client.right - client.left, rect->right - rect->left);
    EXPECT_EQ(client.bottom - client.top, rect->bottom - rect->top);
    // The front page is light grey metal; the back page is dark.
    EXPECT_TRUE(idleUntil([&] { return patch(15, 200).g > 150; })) << "front page shown";
    screenshot(std::string("editor-") + p.name + "-front-win.png");

    const float power = effect->getParameter(effect, 0);
    clickAt(p.powerX, p.powerY);
    ASSERT_TRUE(idleUntil([&] { return count(audioMasterAutomate, 0) == 1; }));
    EXPECT_EQ(effect->getParameter(effect, 0), power >= 0.5f ? 0.0f : 1.0f);
    EXPECT_EQ(count(audioMasterBeginEdit, 0), 1);
    EXPECT_EQ(count(audioMasterEndEdit, 0), 1);

    clickAt(p.switchX, p.switchY);
    EXPECT_TRUE(idleUntil([&] { return patch(15, 200).g < 100; })) << "back page shown";
    screenshot(std::string("editor-") + p.name + "-back-win.png");

    dispatch(effEditClose);
    EXPECT_EQ(childCount(), 0) << "the editor's window is gone";
    EXPECT_FALSE(IsWindow(editor));
    dispatch(effEditIdle);  // idling a closed editor does nothing
}

}  // namespace
