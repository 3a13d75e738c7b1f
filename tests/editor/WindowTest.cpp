// Both plug-in libraries as a host sees them, in a real X11 window (run under Xvfb): the editor
// opened through the VST dispatcher as a child of a host window, idled, clicked with XTest
// (a button, then the page switch), closed; and on a server whose resources say Xft.dpi 192 (as
// xrdb sets them) the editor opens at 200 % and a click at a scaled position reaches its
// control. Screenshots of what the window showed are kept in <build>/test-artifacts/ for people
// to look at.
#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "WindowPanels.h"
#include "host/VstHost.h"

// X11 last: its macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

// One connection held for the whole program: the X server resets when its last client leaves.
class KeepServer : public ::testing::Environment {
  public:
    void SetUp() override { keeper = XOpenDisplay(nullptr); }
    void TearDown() override {
        if (keeper) XCloseDisplay(keeper);
    }

  private:
    Display* keeper = nullptr;
};

const auto* const kKeepServer = ::testing::AddGlobalTestEnvironment(new KeepServer);

struct EditorWindow : ::testing::TestWithParam<Panel> {
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        if (!display) GTEST_SKIP() << "no X display (run under xvfb-run)";
        int event, error, major, minor;
        if (!XTestQueryExtension(display, &event, &error, &major, &minor))
            GTEST_SKIP() << "no XTest extension";
        char pattern[] = "/tmp/qrx-editor-window-XXXXXX";
        configHome = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        const int screen = DefaultScreen(display);
        parent =
            XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 450, GetParam().height,
                                0, BlackPixel(display, screen), WhitePixel(display, screen));
        XMapRaised(display, parent);
        XSync(display, False);
    }
    void TearDown() override {
        if (!display) return;
        plugin.reset();
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
        std::error_code ignored;
        std::filesystem::remove_all(configHome, ignored);
    }

    // Idles the editor as a host does until `done` holds or the time is up.
    bool idleUntil(const std::function<bool()>& done, double seconds = 3) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            plugin->dispatch(effEditIdle);
            XSync(display, False);
            if (done()) return true;
            usleep(5000);
        }
        return false;
    }
    void idleFor(double seconds) {
        idleUntil([] { return false; }, seconds);
    }
    int childCount() {
        Window root, up, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display, parent, &root, &up, &children, &count);
        if (children) XFree(children);
        return static_cast<int>(count);
    }
    void clickAt(int x, int y) {
        int rx = 0, ry = 0;
        Window child;
        XTranslateCoordinates(display, parent, DefaultRootWindow(display), x, y, &rx, &ry, &child);
        XTestFakeMotionEvent(display, -1, rx, ry, CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
    }
    // What the host window shows (its top-left width x height pixels), written to a PNG; the
    // mean colour of a 10 x 10 patch at (x, y) is returned.
    RGB screenshot(const std::string& file, int x, int y, int width = 450, int height = 0) {
        if (!height) height = GetParam().height;
        XImage* image = XGetImage(display, parent, 0, 0, width, height, AllPlanes, ZPixmap);
        if (!image) return {-1, -1, -1};
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        unsigned char* data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        RGB sum{0, 0, 0};
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col) {
                const unsigned long px = XGetPixel(image, col, row);
                const int r = (px >> 16) & 0xff, g = (px >> 8) & 0xff, b = px & 0xff;
                reinterpret_cast<uint32_t*>(data + row * stride)[col] =
                    0xff000000u | (r << 16) | (g << 8) | b;
                if (col >= x && col < x + 10 && row >= y && row < y + 10) {
                    sum.r += r;
                    sum.g += g;
                    sum.b += b;
                }
            }
        cairo_surface_mark_dirty(s);
        const std::string dir = std::string(QRX_BUILD_DIR) + "/test-artifacts";
        std::filesystem::create_directories(dir);
        cairo_surface_write_to_png(s, (dir + "/" + file).c_str());
        cairo_surface_destroy(s);
        XDestroyImage(image);
        return {sum.r / 100, sum.g / 100, sum.b / 100};
    }
    // The server's resources, as xrdb sets them (null removes them); read by every client that
    // connects from then on.
    void setResources(const char* text) {
        const Atom resources = XInternAtom(display, "RESOURCE_MANAGER", False);
        if (text)
            XChangeProperty(display, DefaultRootWindow(display), resources, XA_STRING, 8,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(text),
                            static_cast<int>(std::strlen(text)));
        else
            XDeleteProperty(display, DefaultRootWindow(display), resources);
        XSync(display, False);
    }
    // The size of the host window's only child (the editor's window).
    bool childSize(unsigned& width, unsigned& height) {
        Window root, up, *children = nullptr;
        unsigned count = 0;
        XQueryTree(display, parent, &root, &up, &children, &count);
        const Window child = count == 1 ? children[0] : 0;
        if (children) XFree(children);
        if (!child) return false;
        int x, y;
        unsigned border, depth;
        return XGetGeometry(display, child, &root, &x, &y, &width, &height, &border, &depth);
    }
    void load() {
        std::string error;
        plugin = host::Plugin::load(std::string(QRX_BUILD_DIR) + "/" + GetParam().name + ".so", {},
                                    &error);
        ASSERT_NE(plugin, nullptr) << error;
        plugin->resume();
    }
    int requests(VstInt32 opcode, VstInt32 index) {
        int n = 0;
        for (const host::HostRequest& r : plugin->requests())
            n += r.opcode == opcode && r.index == index;
        return n;
    }

    Display* display = nullptr;
    Window parent = 0;
    std::string configHome;
    std::unique_ptr<host::Plugin> plugin;
};

INSTANTIATE_TEST_SUITE_P(BothPlugins, EditorWindow, ::testing::ValuesIn(kPanels),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(EditorWindow, OpenIdleClickSwitchPageAndClose) {
    const Panel& p = GetParam();
    ASSERT_NO_FATAL_FAILURE(load());

    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
    ASSERT_TRUE(idleUntil([&] { return childCount() == 1; }));
    idleFor(0.3);
    // The front page is light grey metal; the back page is dark.
    const RGB front = screenshot(std::string("editor-") + p.name + "-front.png", 15, 200);
    EXPECT_GT(front.g, 150) << "front page shown";

    const float power = plugin->getParameter(0);
    clickAt(p.powerX, p.powerY);
    ASSERT_TRUE(idleUntil([&] { return requests(audioMasterAutomate, 0) == 1; }));
    EXPECT_EQ(plugin->getParameter(0), power >= 0.5f ? 0.0f : 1.0f);
    EXPECT_EQ(requests(audioMasterBeginEdit, 0), 1);
    EXPECT_EQ(requests(audioMasterEndEdit, 0), 1);

    clickAt(p.switchX, p.switchY);
    idleFor(0.3);
    const RGB back = screenshot(std::string("editor-") + p.name + "-back.png", 15, 200);
    EXPECT_LT(back.g, 100) << "back page shown";

    plugin->dispatch(effEditClose);
    XSync(display, False);
    EXPECT_EQ(childCount(), 0) << "the editor's window is gone";
    plugin->dispatch(effEditIdle);  // idling a closed editor does nothing
}

TEST_P(EditorWindow, OpensAtTwoHundredPercentWhereXftDpiIs192) {
    const Panel& p = GetParam();
    setResources("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n");
    struct Restore {
        EditorWindow* test;
        ~Restore() { test->setResources(nullptr); }
    } restore{this};
    XResizeWindow(display, parent, 900, 2 * p.height);
    ASSERT_NO_FATAL_FAILURE(load());
    ERect* rect = nullptr;
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 900) << "before open";
    EXPECT_EQ(rect->bottom - rect->top, 2 * p.height);

    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
    ASSERT_TRUE(idleUntil([&] { return childCount() == 1; }));
    unsigned width = 0, height = 0;
    ASSERT_TRUE(childSize(width, height));
    EXPECT_EQ(width, 900u);
    EXPECT_EQ(height, static_cast<unsigned>(2 * p.height));
    for (int i = 0; i < 10; ++i) plugin->dispatch(effEditIdle);  // painted
    XSync(display, False);
    const RGB front =
        screenshot(std::string("editor-") + p.name + "-front-200.png", 30, 400, 900, 2 * p.height);
    EXPECT_GT(front.g, 150) << "front page shown at the scaled position";

    const float power = plugin->getParameter(0);
    clickAt(2 * p.powerX, 2 * p.powerY);
    ASSERT_TRUE(idleUntil([&] { return requests(audioMasterAutomate, 0) == 1; }));
    EXPECT_EQ(plugin->getParameter(0), power >= 0.5f ? 0.0f : 1.0f);
    plugin->dispatch(effEditClose);
}

}  // namespace
