// What tests of editors in real X11 windows (run under Xvfb) do alike: keep the server up for the
// whole program, click at a point of a window with XTest, count a window's children, and read a
// window's pixels (also written to a PNG for people to look at). Header-only; include it after
// the headers whose names X11's macros would break.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// One connection held for the whole program: the X server resets when its last client leaves.
class KeepXServer : public ::testing::Environment {
  public:
    void SetUp() override { keeper = XOpenDisplay(nullptr); }
    void TearDown() override {
        if (keeper) XCloseDisplay(keeper);
    }

  private:
    Display* keeper = nullptr;
};

// Connects to the X server and maps a host's top-level window of `width` x `height` on it.
// Empty when done; otherwise why not (no display, no XTest), for the test to skip with.
inline std::string openHostWindow(int width, int height, Display*& display, Window& window) {
    display = XOpenDisplay(nullptr);
    if (!display) return "no X display (run under xvfb-run)";
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) return "no XTest extension";
    const int screen = DefaultScreen(display);
    window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, width, height, 0,
                                 BlackPixel(display, screen), WhitePixel(display, screen));
    XMapRaised(display, window);
    XSync(display, False);
    return "";
}

// Undoes openHostWindow (whatever it got to).
inline void closeHostWindow(Display*& display, Window& window) {
    if (!display) return;
    if (window) XDestroyWindow(display, window);
    XCloseDisplay(display);
    display = nullptr;
    window = 0;
}

inline int childCount(Display* display, Window window) {
    Window root, up, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, window, &root, &up, &children, &count);
    if (children) XFree(children);
    return static_cast<int>(count);
}

// A press and release of X button `button` at (x, y) of `window`: 1 is the left button, 4 and 5
// scroll up and down, 6 and 7 left and right.
inline void clickAt(Display* display, Window window, int x, int y, unsigned button = 1) {
    int rx = 0, ry = 0;
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(display, -1, rx, ry, CurrentTime);
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XTestFakeButtonEvent(display, button, False, CurrentTime);
    XSync(display, False);
}

// The pixels (0xRRGGBB, rows top down) of the window's top-left `width` x `height`, also written
// to `png` when one is named (folders made as needed). Empty when the window cannot be read.
inline std::vector<std::uint32_t> windowPixels(Display* display, Window window, int width,
                                               int height, const std::string& png) {
    std::vector<std::uint32_t> pixels;
    XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!image) return pixels;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            const auto px = static_cast<std::uint32_t>(XGetPixel(image, col, row) & 0xffffff);
            pixels.push_back(px);
            reinterpret_cast<std::uint32_t*>(data + row * stride)[col] = 0xff000000u | px;
        }
    cairo_surface_mark_dirty(s);
    if (!png.empty()) {
        std::filesystem::create_directories(std::filesystem::path(png).parent_path());
        cairo_surface_write_to_png(s, png.c_str());
    }
    cairo_surface_destroy(s);
    XDestroyImage(image);
    return pixels;
}

}  // namespace testsupport
