// The frame window on Windows: a pugl view (Win32, PuglGdiBackend.c) as a child of the host's
// HWND; exposes copy the offscreen image to the window with GDI.
#include "gui/win/Gdiplus.h"
// This copy of pugl's headers declares no C linkage of its own.
extern "C" {
#include <pugl/pugl.h>
}

#include <cmath>

#include "gui/CFrame.h"
#include "gui/FrameWindow.h"
#include "gui/win/PuglGdiBackend.h"

namespace qgui {

namespace {

constexpr char kClassName[] = "QRXPanel";

// The library this code is linked into: pugl registers its window class for it.
HMODULE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

// The window's frame and pugl's window procedure, kept as window properties while the window
// follows DPI changes.
constexpr char kFrameProperty[] = "QRXFrame";
constexpr char kPuglProcProperty[] = "QRXPuglProc";
// The window shows on a screen of another DPI: sent to top-level windows (WM_DPICHANGED) and,
// to hosts aware of per-monitor DPI, after the parent to its children.
constexpr UINT kDpiChanged = 0x02E0;
constexpr UINT kDpiChangedAfterParent = 0x02E3;

LRESULT CALLBACK followDpi(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto pugl = reinterpret_cast<WNDPROC>(GetPropA(hwnd, kPuglProcProperty));
    if (message == kDpiChanged || message == kDpiChangedAfterParent) {
        if (auto* frame = static_cast<CFrame*>(GetPropA(hwnd, kFrameProperty)))
            frame->displayScaleChanged();
        if (message == kDpiChanged) return 0;
    }
    return pugl ? CallWindowProcA(pugl, hwnd, message, wParam, lParam)
                : DefWindowProcA(hwnd, message, wParam, lParam);
}

void startFollowingDpi(HWND hwnd, CFrame& frame) {
    SetPropA(hwnd, kFrameProperty, &frame);
    SetPropA(hwnd, kPuglProcProperty,
             reinterpret_cast<HANDLE>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC)));
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(followDpi));
}

void stopFollowingDpi(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd) || !GetPropA(hwnd, kPuglProcProperty)) return;
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(GetPropA(hwnd, kPuglProcProperty)));
    RemovePropA(hwnd, kPuglProcProperty);
    RemovePropA(hwnd, kFrameProperty);
}

}  // namespace

std::unique_ptr<FrameWindow> FrameWindow::create(CFrame& frame, uintptr_t parent, int width,
                                                 int height) {
    if (!parent || !IsWindow(reinterpret_cast<HWND>(parent))) return nullptr;
    PuglWorld* world = puglNewWorld(PUGL_MODULE, 0);
    if (!world) return nullptr;
    puglSetClassName(world, kClassName);
    PuglView* view = puglNewView(world);
    if (!view) {
        puglFreeWorld(world);
        return nullptr;
    }
    std::unique_ptr<FrameWindow> w(new FrameWindow(frame, world, view));
    w->configureView(qrxPuglGdiBackend(), parent, width, height);
    if (puglRealize(view) != PUGL_SUCCESS) {
        puglSetBackend(view, nullptr);
        return nullptr;
    }
    if (puglShow(view) != PUGL_SUCCESS) return nullptr;
    startFollowingDpi(reinterpret_cast<HWND>(puglGetNativeView(view)), frame);
    return w;
}

FrameWindow::~FrameWindow() {
    if (view) {
        stopFollowingDpi(reinterpret_cast<HWND>(puglGetNativeView(view)));
        puglSetHandle(view, nullptr);
        puglFreeView(view);
    }
    if (world) puglFreeWorld(world);
    // pugl registered the class for this library; it goes with the last window of it (this
    // fails harmlessly while another editor still has one).
    UnregisterClassA(kClassName, thisModule());
}

void FrameWindow::pump() {
    puglUpdate(world, 0.0);
}

void FrameWindow::postRedisplay(const CRect& r) {
    int x = 0, y = 0, width = 0, height = 0;
    toDevice(r, x, y, width, height);
    const PuglRect rect{static_cast<PuglCoord>(x), static_cast<PuglCoord>(y),
                        static_cast<PuglSpan>(width), static_cast<PuglSpan>(height)};
    puglPostRedisplayRect(view, rect);
}

void FrameWindow::setSize(int width, int height) {
    puglSetSizeHint(view, PUGL_DEFAULT_SIZE, static_cast<PuglSpan>(width),
                    static_cast<PuglSpan>(height));
    puglSetSize(view, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

bool FrameWindow::startTimer(uint32_t id, double seconds) {
    return puglStartTimer(view, id, seconds) == PUGL_SUCCESS;
}

void FrameWindow::stopTimer(uint32_t id) {
    puglStopTimer(view, id);
}

uintptr_t FrameWindow::nativeWindow() const {
    return puglGetNativeView(view);
}

void FrameWindow::grabKeyboardFocus() {
    puglGrabFocus(view);
}

bool FrameWindow::queryPointer(CPoint& where, int32_t& buttons) const {
    const auto hwnd = reinterpret_cast<HWND>(puglGetNativeView(view));
    POINT p;
    if (!hwnd || !GetCursorPos(&p) || !ScreenToClient(hwnd, &p)) return false;
    where = toFrame(p.x, p.y);
    // The system swaps the physical buttons for left-handed users; the frame wants the logical.
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    auto down = [](int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; };
    buttons = 0;
    if (down(swapped ? VK_RBUTTON : VK_LBUTTON)) buttons |= kLButton;
    if (down(VK_MBUTTON)) buttons |= kMButton;
    if (down(swapped ? VK_LBUTTON : VK_RBUTTON)) buttons |= kRButton;
    if (down(VK_SHIFT)) buttons |= kShift;
    if (down(VK_CONTROL)) buttons |= kControl;
    if (down(VK_MENU)) buttons |= kAlt;
    return true;
}

void FrameWindow::paint(const void* event) {
    const PuglExposeEvent& e = *static_cast<const PuglExposeEvent*>(event);
    const auto hwnd = reinterpret_cast<HWND>(puglGetNativeView(view));
    Gdiplus::Bitmap* image = frame.getOffscreen();
    if (!hwnd || !image) return;
    const Gdiplus::Rect all(0, 0, static_cast<INT>(image->GetWidth()),
                            static_cast<INT>(image->GetHeight()));
    Gdiplus::BitmapData pixels{};
    if (image->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &pixels) !=
        Gdiplus::Ok)
        return;
    // The panel is opaque: its premultiplied pixels are the colours GDI shows, as a top-down DIB.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pixels.Stride / 4;
    info.bmiHeader.biHeight = -static_cast<LONG>(pixels.Height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(hwnd);
    if (dc) {
        // The whole image, clipped to the exposed part: source rectangles of top-down images
        // count their rows from the bottom in StretchDIBits.
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, e.x, e.y, e.x + static_cast<int>(e.width),
                          e.y + static_cast<int>(e.height));
        StretchDIBits(dc, 0, 0, all.Width, all.Height, 0, 0, all.Width, all.Height, pixels.Scan0,
                      &info, DIB_RGB_COLORS, SRCCOPY);
        RestoreDC(dc, saved);
        ReleaseDC(hwnd, dc);
    }
    image->UnlockBits(&pixels);
}

}  // namespace qgui
