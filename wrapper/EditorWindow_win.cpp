#include <windows.h>

#include "wrapper/CPluginWrapper.h"
#include "wrapper/EditorWindow.h"

namespace wrapper {
namespace {

bool gRegistered = false;

HWND asWindow(std::uintptr_t w) {
    return reinterpret_cast<HWND>(w);
}

// The instance of the library this code is in (wrapper.dll, or the test program).
HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* owner = reinterpret_cast<CPluginWrapper*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_CLOSE:
            if (owner == nullptr) break;
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            owner->CloseEditor();
            return 0;  // closing the editor destroyed the window already
        case WM_DESTROY:
            // Destroyed with the host's window: the editor closes without touching it again.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            if (owner != nullptr)
                owner->EditorWindowDestroyed(reinterpret_cast<std::uintptr_t>(window));
            break;
        case WM_PAINT:
            if (owner != nullptr) {
                // The effect's editor paints its own window; ours only validates.
                PAINTSTRUCT paint;
                BeginPaint(window, &paint);
                EndPaint(window, &paint);
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void registerWindowClass() {
    if (gRegistered) return;
    WNDCLASSA windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = thisModule();
    windowClass.lpszClassName = kWindowClassName;
    gRegistered = RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void unregisterWindowClass() {
    if (!gRegistered) return;
    UnregisterClassA(kWindowClassName, thisModule());
    gRegistered = false;
}

bool windowClassRegistered() {
    return gRegistered;
}

std::uintptr_t createChildWindow(std::uintptr_t parent, CPluginWrapper* owner) {
    if (!gRegistered) return 0;
    HWND parentWindow = parent != 0 ? asWindow(parent) : GetDesktopWindow();
    if (!IsWindow(parentWindow)) return 0;
    HWND child = CreateWindowExA(WS_EX_LEFT, kWindowClassName, kWindowTitle, WS_CHILD | WS_VISIBLE,
                                 0, 30, 5, 5, parentWindow, nullptr, thisModule(), nullptr);
    if (child == nullptr) return 0;
    SetWindowLongPtrA(child, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    return reinterpret_cast<std::uintptr_t>(child);
}

bool clientSize(std::uintptr_t window, int* width, int* height) {
    RECT rect{};
    if (window == 0 || !IsWindow(asWindow(window)) || !GetClientRect(asWindow(window), &rect))
        return false;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return true;
}

void placeWindow(std::uintptr_t window, int x, int y, int width, int height) {
    if (window == 0) return;
    SetWindowPos(asWindow(window), nullptr, x, y, width < 1 ? 1 : width, height < 1 ? 1 : height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void showWindow(std::uintptr_t window) {
    if (window == 0) return;
    ShowWindow(asWindow(window), SW_SHOWNORMAL);
    UpdateWindow(asWindow(window));
}

void redrawWindow(std::uintptr_t window) {
    if (window == 0) return;
    RedrawWindow(asWindow(window), nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

void destroyWindow(std::uintptr_t window) {
    if (window == 0 || !IsWindow(asWindow(window))) return;
    SetWindowLongPtrA(asWindow(window), GWLP_USERDATA, 0);
    DestroyWindow(asWindow(window));
}

CPluginWrapper* windowOwner(std::uintptr_t window) {
    if (window == 0 || !IsWindow(asWindow(window))) return nullptr;
    return reinterpret_cast<CPluginWrapper*>(GetWindowLongPtrA(asWindow(window), GWLP_USERDATA));
}

void clearWindowOwner(std::uintptr_t window) {
    if (window != 0 && IsWindow(asWindow(window)))
        SetWindowLongPtrA(asWindow(window), GWLP_USERDATA, 0);
}

void dispatchWindowEvents() {
    // The host's message loop runs the window procedure; there is no queue of our own.
}

bool windowGeometry(std::uintptr_t window, int* x, int* y, int* width, int* height) {
    HWND w = asWindow(window);
    RECT rect{};
    if (window == 0 || !IsWindow(w) || !GetWindowRect(w, &rect)) return false;
    // The position in the parent's client area, as the X11 server reports it.
    POINT origin{rect.left, rect.top};
    if (HWND parent = GetParent(w)) ScreenToClient(parent, &origin);
    *x = origin.x;
    *y = origin.y;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return true;
}

}  // namespace wrapper
