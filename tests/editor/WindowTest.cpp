// Both plug-in libraries as a host sees them, in a real X11 window (run under Xvfb): the editor
// opened through the VST dispatcher as a child of a host window, idled, clicked with XTest
// (a button, then the page switch), closed. Screenshots of what the window showed are kept in
// <build>/test-artifacts/ for people to look at.
#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "WindowPanels.h"
#include "host/VstHost.h"

// X11 last: its macros (None, Bool, Status) would clash with the headers above.
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

    // Idles the editor as a host does until `done` holds, at most 2000 times. After each pass
    // the X server has handled every request of this connection, and with them what the
    // editor's connection sent before.
    bool idleUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 2000; ++i) {
            plugin->dispatch(effEditIdle);
            XSync(display, False);
            if (done()) return true;
        }
        return false;
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
    // The mean colour of the 10 x 10 patch at (x, y) of what the host window shows.
    RGB patch(int x, int y) {
        XImage* image = XGetImage(display, parent, x, y, 10, 10, AllPlanes, ZPixmap);
        if (!image) return {-1, -1, -1};
        RGB sum{0, 0, 0};
        for (int row = 0; row < 10; ++row)
            for (int col = 0; col < 10; ++col) {
                const unsigned long px = XGetPixel(image, col, row);
                sum.r += (px >> 16) & 0xff;
                sum.g += (px >> 8) & 0xff;
                sum.b += px & 0xff;
            }
        XDestroyImage(image);
        return {sum.r / 100, sum.g / 100, sum.b / 100};
    }
    // What the host window shows, written to a PNG in the test artifacts.
    void screenshot(const std::string& file) {
        const Panel& p = GetParam();
        XImage* image = XGetImage(display, parent, 0, 0, 450, p.height, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 450, p.height);
        unsigned char* data = cairo_image_surface_get_data(s);
        const int stride = cairo_image_surface_get_stride(s);
        for (int row = 0; row < p.height; ++row)
            for (int col = 0; col < 450; ++col)
                reinterpret_cast<uint32_t*>(data + row * stride)[col] =
                    0xff000000u | (XGetPixel(image, col, row) & 0xffffffu);
        cairo_surface_mark_dirty(s);
        const std::string dir = std::string(QRX_BUILD_DIR) + "/test-artifacts";
        std::filesystem::create_directories(dir);
        cairo_surface_write_to_png(s, (dir + "/" + file).c_str());
        cairo_surface_destroy(s);
        XDestroyImage(image);
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
    std::string error;
    plugin = host::Plugin::load(std::string(QRX_BUILD_DIR) + "/" + p.name + ".so", {}, &error);
    ASSERT_NE(plugin, nullptr) << error;
    plugin->resume();

    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
    ASSERT_TRUE(idleUntil([&] { return childCount() == 1; }));
    // The front page is light grey metal; the back page is dark.
    EXPECT_TRUE(idleUntil([&] { return patch(15, 200).g > 150; })) << "front page shown";
    screenshot(std::string("editor-") + p.name + "-front.png");

    const float power = plugin->getParameter(0);
    clickAt(p.powerX, p.powerY);
    ASSERT_TRUE(idleUntil([&] { return requests(audioMasterAutomate, 0) == 1; }));
    EXPECT_EQ(plugin->getParameter(0), power >= 0.5f ? 0.0f : 1.0f);
    EXPECT_EQ(requests(audioMasterBeginEdit, 0), 1);
    EXPECT_EQ(requests(audioMasterEndEdit, 0), 1);

    clickAt(p.switchX, p.switchY);
    EXPECT_TRUE(idleUntil([&] { return patch(15, 200).g < 100; })) << "back page shown";
    screenshot(std::string("editor-") + p.name + "-back.png");

    plugin->dispatch(effEditClose);
    XSync(display, False);
    EXPECT_EQ(childCount(), 0) << "the editor's window is gone";
    plugin->dispatch(effEditIdle);  // idling a closed editor does nothing
}

}  // namespace
