// Both plug-in DLLs as a Windows host sees them (run under wine with Xvfb): loaded by file name,
// the editor opened through the VST dispatcher as a child of a window the test makes, idled,
// clicked (a button, then the page switch), closed. On screens of 144 and 192 dpi (the prefix's
// LogPixels, read by a process as it starts: the test runs itself again for each) a host aware
// of the screen's DPI gets the editor at 150 % and 200 %, sharp, and a click at a scaled position
// reaches its control. What the window showed is kept in <build>/test-artifacts/ as PNG files
// for people to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "WindowPanels.h"
#include "gui/Surface.h"
#include "gui/win/Gdiplus.h"
#include "shell/vst2.h"
#include "support/HostWindow_win.h"

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
        parent = testsupport::createHostWindow(1000, 1000);
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
    // One pass of the host's message loop and the editor's idle, as a host runs them: at most
    // the messages waiting now (a timer that is due again before its drawing is done would
    // otherwise keep the loop going).
    void idlePass() {
        MSG msg;
        for (int i = 0; i < 64 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        dispatch(effEditIdle);
    }
    // Idles as a host does until `done` holds; at most 2000 passes.
    bool idleUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 2000; ++i) {
            idlePass();
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
    // The mean colour of the 10 x 10 patch at (x, y) of what the editor's window shows: one copy
    // from the window, then read in memory (a read of each pixel from the window is a round
    // trip to the display under wine).
    RGB patch(int x, int y) const {
        HDC screen = GetDC(editor);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 10;
        info.bmiHeader.biHeight = -10;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        RGB sum{-1, -1, -1};
        if (bitmap && bits) {
            HGDIOBJ old = SelectObject(memory, bitmap);
            BitBlt(memory, 0, 0, 10, 10, screen, x, y, SRCCOPY);
            GdiFlush();
            sum = {0, 0, 0};
            for (int i = 0; i < 100; ++i) {
                const auto px = static_cast<const std::uint32_t*>(bits)[i];  // 0x00RRGGBB
                sum.r += (px >> 16) & 0xff;
                sum.g += (px >> 8) & 0xff;
                sum.b += px & 0xff;
            }
            sum = {sum.r / 100, sum.g / 100, sum.b / 100};
            SelectObject(memory, old);
        }
        if (bitmap) DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(editor, screen);
        return sum;
    }
    // What the editor's window shows, written to a PNG in the test artifacts.
    void screenshot(const std::string& file) {
        const SIZE size = clientSize();
        HDC screen = GetDC(editor);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, size.cx, size.cy, screen, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        {
            std::unique_ptr<Gdiplus::Bitmap> shot(Gdiplus::Bitmap::FromHBITMAP(bitmap, nullptr));
            EXPECT_TRUE(qgui::writeSurfacePng(shot.get(), (artifacts() + file).c_str()));
        }
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(editor, screen);
    }
    SIZE clientSize() const {
        RECT client{};
        GetClientRect(editor, &client);
        return {client.right - client.left, client.bottom - client.top};
    }
    // Loads the plug-in's DLL and starts its effect as a host does.
    void load() {
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
    }
    // The editor's size as effEditGetRect reports it.
    SIZE reportedSize() {
        ERect* rect = nullptr;
        EXPECT_EQ(dispatch(effEditGetRect, 0, &rect), 1);
        if (!rect) return {0, 0};
        return {rect->right - rect->left, rect->bottom - rect->top};
    }
    // Opens the editor in the host window and waits (a bounded number of idle passes) until it
    // shows.
    void openEditor() {
        ASSERT_EQ(dispatch(effEditOpen, 0, parent), 1);
        ASSERT_TRUE(idleUntil([&] { return childCount() == 1; }));
        editor = GetWindow(parent, GW_CHILD);
        ASSERT_NE(editor, nullptr);
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
    ASSERT_NO_FATAL_FAILURE(load());
    EXPECT_EQ(reportedSize().cx, 450) << "a host unaware of DPI gets 100 %";
    EXPECT_EQ(reportedSize().cy, p.height);

    ASSERT_NO_FATAL_FAILURE(openEditor());
    EXPECT_TRUE(IsChild(parent, editor));
    EXPECT_EQ(GetParent(editor), parent);
    EXPECT_TRUE(GetWindowLongPtrW(editor, GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(clientSize().cx, 450);
    EXPECT_EQ(clientSize().cy, p.height);
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

// Run by ScreenDpi below in a process of its own, started on a screen of the DPI it set: a host
// aware of per-monitor DPI gets the editor at the screen's factor (QRX_SCREEN_SCALE), before and
// after open, and a click at the Power button's scaled position reaches it.
TEST_P(EditorWindow, OpensAtTheScaleOfTheScreen) {
    const char* expected = std::getenv("QRX_SCREEN_SCALE");
    if (!expected) GTEST_SKIP() << "run by ScreenDpi with the screen's DPI set";
    const double scale = std::strtod(expected, nullptr);
    // The host declares itself aware of each monitor's DPI (else the system scales its windows
    // and tells it 96).
    using AwarenessContext = BOOL(WINAPI*)(HANDLE);
    const auto setAwareness = reinterpret_cast<AwarenessContext>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (!setAwareness || !setAwareness(reinterpret_cast<HANDLE>(-4)))  // per monitor, v2
        SetProcessDPIAware();

    const Panel& p = GetParam();
    ASSERT_NO_FATAL_FAILURE(load());
    const SIZE scaled{static_cast<LONG>(std::ceil(450 * scale)),
                      static_cast<LONG>(std::ceil(p.height * scale))};
    EXPECT_EQ(reportedSize().cx, scaled.cx) << "before open";
    EXPECT_EQ(reportedSize().cy, scaled.cy);
    ASSERT_NO_FATAL_FAILURE(openEditor());
    EXPECT_EQ(clientSize().cx, scaled.cx);
    EXPECT_EQ(clientSize().cy, scaled.cy);
    EXPECT_EQ(reportedSize().cx, scaled.cx) << "after open";
    EXPECT_TRUE(idleUntil([&] {
        return patch(static_cast<int>(15 * scale), static_cast<int>(200 * scale)).g > 150;
    })) << "front page shown at the scaled position";
    screenshot(std::string("editor-") + p.name + "-front-" +
               std::to_string(static_cast<int>(scale * 100)) + "-win.png");

    const float power = effect->getParameter(effect, 0);
    clickAt(static_cast<int>(p.powerX * scale), static_cast<int>(p.powerY * scale));
    ASSERT_TRUE(idleUntil([&] { return count(audioMasterAutomate, 0) == 1; }));
    EXPECT_EQ(effect->getParameter(effect, 0), power >= 0.5f ? 0.0f : 1.0f);
}

// Runs `command` (a program of the prefix) and returns its exit code; -1 when it cannot start.
int run(std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    WaitForSingleObject(process.hThread, INFINITE);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// The screen's DPI of every process started from now on (the prefix's setting).
bool setScreenDpi(int dpi) {
    return run(L"reg.exe add \"HKCU\\Control Panel\\Desktop\" /v LogPixels /t REG_DWORD /d " +
               std::to_wstring(dpi) + L" /f") == 0;
}

TEST(ScreenDpi, EditorsOpenAt150And200PercentOnScreensOf144And192Dpi) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_GT(n, 0u);
    struct Restore {
        ~Restore() { setScreenDpi(96); }
    } restore;
    for (const auto& [dpi, scale] : {std::pair{144, L"1.5"}, std::pair{192, L"2"}}) {
        SCOPED_TRACE(dpi);
        ASSERT_TRUE(setScreenDpi(dpi));
        SetEnvironmentVariableW(L"QRX_SCREEN_SCALE", scale);
        const int code =
            run(L"\"" + std::wstring(self, n) +
                L"\" --gtest_filter=BothPlugins/EditorWindow.OpensAtTheScaleOfTheScreen/*");
        SetEnvironmentVariableW(L"QRX_SCREEN_SCALE", nullptr);
        EXPECT_EQ(code, 0) << "the editors at " << dpi << " dpi: see the output above";
    }
}

}  // namespace
