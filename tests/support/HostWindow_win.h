// A host's top-level window for the Windows window tests: visible, width x height pixels, of a
// window class that does nothing of its own. Null without a display.
#pragma once

#include <windows.h>

namespace testsupport {

inline HWND createHostWindow(int width, int height) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QRXTestHost";
    RegisterClassW(&wc);  // fails harmlessly once registered
    return CreateWindowExW(0, L"QRXTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                           width, height, nullptr, nullptr, wc.hInstance, nullptr);
}

}  // namespace testsupport
