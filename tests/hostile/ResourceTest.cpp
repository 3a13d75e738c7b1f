// 250 (windowed under the sanitizers 100) create / open editor / idle / close editor / destroy
// cycles of each plug-in leave no file descriptor behind (the sanitizer build's leak checker covers
// memory). Built twice: offscreen editors (no display needed), and with HOSTILE_WITH_WINDOW each
// editor inside a real X11 host window, so display connections are counted too (run under Xvfb).
#include <dirent.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/VstHost.h"

#ifdef HOSTILE_WITH_WINDOW
// X11 last: its macros (None, Bool, Status) clash with the headers above.
#include <X11/Xlib.h>
#endif

namespace {

int openDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int n = 0;
    while (dirent* e = readdir(dir))
        if (e->d_name[0] != '.') ++n;
    closedir(dir);
    return n - 1;  // the descriptor of the listing itself
}

// A leak per cycle shows as well in 250 cycles as in 1000 (1000 took 45 s for grandpress in the
// normal build). Under the sanitizers, whose memory checks see every path in the first cycles, a
// windowed cycle (real X11 windows mapped and unmapped under Xvfb) takes about 0.15 s: 100 there.
#if defined(HOSTILE_WITH_WINDOW) && defined(QRX_SANITIZED_BUILD)
constexpr int kCycles = 100;
#else
constexpr int kCycles = 250;
#endif

class ResourceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ResourceTest, CreateEditorDestroyCyclesLeaveNoDescriptors) {
    const std::string path = std::string(QRX_BUILD_DIR) + "/" + GetParam() + ".so";
    void* parent = nullptr;
#ifdef HOSTILE_WITH_WINDOW
    Display* display = XOpenDisplay(nullptr);
    if (!display) GTEST_SKIP() << "no X display (run under xvfb-run)";
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 600, 0, 0, 0);
    XMapWindow(display, window);
    XSync(display, False);
    parent = reinterpret_cast<void*>(window);
#endif
    // One instance stays for the whole test, so the library is loaded once and its first-use
    // allocations (static tables, fonts) are not counted as growth.
    std::string error;
    auto keeper = host::Plugin::load(path, {}, &error);
    ASSERT_NE(keeper, nullptr) << error;
    {
        auto warm = host::Plugin::load(path);
        ASSERT_TRUE(warm);
        warm->dispatch(effEditOpen, 0, 0, parent);
        warm->dispatch(effEditIdle);
        warm->dispatch(effEditClose);
    }
    const int before = openDescriptors();
    ASSERT_GT(before, 0);
    int opened = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        auto plugin = host::Plugin::load(path);
        ASSERT_NE(plugin, nullptr) << cycle;
        plugin->resume();
        opened += plugin->dispatch(effEditOpen, 0, 0, parent) != 0;
        plugin->dispatch(effEditIdle);
        plugin->dispatch(effEditClose);
        plugin->suspend();
    }
    EXPECT_EQ(opened, kCycles) << "the editor did not open every time";
    EXPECT_EQ(openDescriptors(), before)
        << "descriptors left behind after " << kCycles << " cycles";
    keeper.reset();
#ifdef HOSTILE_WITH_WINDOW
    XDestroyWindow(display, window);
    XCloseDisplay(display);
#endif
    RecordProperty("cycles", kCycles);
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, ResourceTest, ::testing::Values("grandpress", "tinypress"));

}  // namespace
