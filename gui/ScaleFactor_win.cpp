// The system's scale factor on Windows: the DPI the host's window is shown at (per monitor for
// hosts aware of it; 96, no scaling, for hosts the system scales itself).
#include <windows.h>

#include "gui/ScaleFactor.h"

namespace qgui::scale {

double fromXResources(const char*) {
    return 0;  // no X server here
}

double systemFactor(std::uintptr_t window) {
    const auto hwnd = reinterpret_cast<HWND>(window);
    // GetDpiForWindow exists from Windows 10 (1607) on; older systems have one DPI for all.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (hwnd && IsWindow(hwnd) && dpiForWindow) return fromDpi(dpiForWindow(hwnd));
    HDC screen = GetDC(nullptr);
    if (!screen) return 0;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return fromDpi(dpi);
}

}  // namespace qgui::scale
