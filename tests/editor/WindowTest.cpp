// Both plug-in libraries as a host sees them, in a real X11 window (run under Xvfb): the editor
// opened through the VST dispatcher as a child of a host window, idled, clicked with XTest
// (a button, then the page switch), closed; and on a server whose resources say Xft.dpi 192 (as
// xrdb sets them) the editor opens at 200 % and a click at a scaled position reaches its
// control. Screenshots of what the window showed are kept in <build>/test-artifacts/ for people
// to look at.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "WindowPanels.h"
#include "host/VstHost.h"

// X11 last: its macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xatom.h>

#include "support/XWindows.h"

namespace {

const auto* const kKeepServer = ::testing::AddGlobalTestEnvironment(new testsupport::KeepXServer);

struct EditorWindow : ::testing::TestWithParam<Panel> {
    void SetUp() override {
        const std::string missing =
            testsupport::openHostWindow(450, GetParam().height, display, parent);
        if (!missing.empty()) GTEST_SKIP() << missing;
        char pattern[] = "/tmp/qrx-editor-window-XXXXXX";
        configHome = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
    }
    void TearDown() override {
        plugin.reset();
        testsupport::closeHostWindow(display, parent);
        std::error_code ignored;
        if (!configHome.empty()) std::filesystem::remove_all(configHome, ignored);
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
    int childCount() { return testsupport::childCount(display, parent); }
    void clickAt(int x, int y) { testsupport::clickAt(display, parent, x, y); }
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
    // What the host window shows (its top-left `scale` x the panel's size), written to a PNG in
    // the test artifacts.
    void screenshot(const std::string& file, int scale = 1) {
        const auto pixels =
            testsupport::windowPixels(display, parent, scale * 450, scale * GetParam().height,
                                      std::string(QRX_BUILD_DIR) + "/test-artifacts/" + file);
        EXPECT_FALSE(pixels.empty()) << "the window could not be read";
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
    EXPECT_TRUE(idleUntil([&] { return patch(30, 400).g > 150; }))
        << "front page shown at the scaled position";
    screenshot(std::string("editor-") + p.name + "-front-200.png", 2);

    const float power = plugin->getParameter(0);
    clickAt(2 * p.powerX, 2 * p.powerY);
    ASSERT_TRUE(idleUntil([&] { return requests(audioMasterAutomate, 0) == 1; }));
    EXPECT_EQ(plugin->getParameter(0), power >= 0.5f ? 0.0f : 1.0f);
    plugin->dispatch(effEditClose);
}

}  // namespace
