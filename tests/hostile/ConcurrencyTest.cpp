// Three threads on one effect, as a host runs them: audio processing on one, host automation
// (random parameters, program changes through the chunk) on a second, the editor (open, idle,
// close, reopen) on a third; for both plug-ins and for the adaptor (tinypress inside the NRTX
// host stand-in). Built for a ThreadSanitizer build by tests/hostile/tsan.sh, where any data
// race ends the program with a report; elsewhere it is a quick smoke test.
//
// Dispatcher calls (chunk loads, editor open/idle/close, read-outs) come from the second and third
// threads but never at the same time: the plug-in interface has one dispatcher thread at a time
// (the user-interface thread), which a host that moves it between threads must still serialise,
// so this program holds one lock around them as such a host does. Parameters, getParameter and
// processing take no lock: those are the calls that really run concurrently.
//
// Usage: hostile_concurrency [seconds per effect]. Each effect runs until every thread has done a
// fixed amount of work (blocks, chunk loads, editor idles), however fast or slow the machine is,
// and at least the seconds given (none by default). With an X display (e.g. under xvfb-run) the
// editors open inside a real host window; without one the plug-in editors open offscreen and the
// adaptor's view (which needs a window) is left out.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/AudioBuffers.h"
#include "host/VstHost.h"
#include "nrtx-standins/NrtxHost.h"

// X11 last: its macros clash with the headers above.
#include <X11/Xlib.h>

namespace {

// The host's serialisation of dispatcher calls (see above).
std::mutex dispatcherLock;
using Lock = std::lock_guard<std::mutex>;

const std::string kBuild = QRX_BUILD_DIR;

struct Counts {
    std::atomic<long> blocks{0}, automation{0}, chunks{0}, idles{0}, opens{0};
    void print(const char* name) const {
        std::printf(
            "%-10s blocks %ld, parameter changes %ld, chunk loads %ld, editor opens %ld, "
            "idles %ld\n",
            name, blocks.load(), automation.load(), chunks.load(), opens.load(), idles.load());
    }
};

// Waits until each thread of an effect has done its share of the work and `seconds` have passed.
// The threads pace themselves as a host does (the editor idles every 5 ms).
void runAtLeast(const Counts& counts, double seconds) {
    const auto start = std::chrono::steady_clock::now();
    const auto minimum = std::chrono::duration<double>(seconds);
    auto done = [&] {
        return counts.blocks >= 400 && counts.chunks >= 10 && counts.idles >= 120 &&
               std::chrono::steady_clock::now() - start >= minimum;
    };
    while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool finite(const float* s, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(s[i])) return false;
    return true;
}

// Runs the three threads (see runAtLeast); false when the output went non-finite or the editor
// never opened.
bool runPlugin(const char* name, void* parent, double seconds) {
    std::string error;
    auto plugin = host::Plugin::load(kBuild + "/" + name + ".so", {}, &error);
    if (!plugin) {
        std::fprintf(stderr, "%s: %s\n", name, error.c_str());
        return false;
    }
    // Two program chunks to switch between: the defaults and a random setting.
    std::vector<std::uint8_t> programA, programB;
    plugin->getChunk(programA, true);
    std::mt19937 setup(1);
    for (int i = 0; i < 34; ++i)
        plugin->setParameter(i, std::uniform_real_distribution<float>()(setup));
    plugin->getChunk(programB, true);
    plugin->resume();

    std::atomic<bool> stop{false}, bad{false};
    Counts counts;
    std::thread audio([&] {
        const int frames = 256;
        host::AudioBuffers<float> in(plugin->numInputs(), frames),
            out(plugin->numOutputs(), frames);
        long t = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            for (int c = 0; c < in.channels(); ++c)
                for (int i = 0; i < frames; ++i)
                    in.channel(c)[i] = 0.5f * std::sin(0.031f * static_cast<float>(t + i));
            t += frames;
            plugin->processReplacing(in.data(), out.data(), frames);
            for (int c = 0; c < out.channels(); ++c)
                if (!finite(out.channel(c), frames)) bad = true;
            ++counts.blocks;
        }
    });
    std::thread automation([&] {
        std::mt19937 rng(2);
        std::uniform_int_distribution<int> index(0, 40);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        while (!stop.load(std::memory_order_relaxed)) {
            plugin->setParameter(index(rng), value(rng));
            plugin->getParameter(index(rng));
            if (++counts.automation % 200 == 0) {
                Lock lock(dispatcherLock);
                plugin->setChunk(counts.chunks % 2 ? programA : programB, true);
                ++counts.chunks;
            }
            if (counts.automation % 16 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread editor([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            {
                Lock lock(dispatcherLock);
                if (plugin->dispatch(effEditOpen, 0, 0, parent)) ++counts.opens;
            }
            for (int i = 0; i < 40 && !stop.load(std::memory_order_relaxed); ++i) {
                {
                    Lock lock(dispatcherLock);
                    plugin->dispatch(effEditIdle);
                    char text[256] = {};
                    plugin->dispatch(effGetParamDisplay, i % 34, 0, text);
                }
                ++counts.idles;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            Lock lock(dispatcherLock);
            plugin->dispatch(effEditClose);
        }
    });
    runAtLeast(counts, seconds);
    stop = true;
    audio.join();
    automation.join();
    editor.join();
    plugin->suspend();
    counts.print(name);
    if (bad) std::fprintf(stderr, "%s: non-finite output\n", name);
    if (counts.opens == 0) std::fprintf(stderr, "%s: the editor never opened\n", name);
    return !bad && counts.opens > 0 && counts.blocks > 0;
}

bool runAdaptor(unsigned long parent, double seconds) {
    unsetenv("QRX_WRAPPER_PLUGIN");
    auto engine = nrtx_host::Engine::load(kBuild + "/Motor.so");
    std::string error;
    auto library =
        engine ? nrtx_host::PlugInLibrary::load(kBuild + "/wrapper.so", &error) : nullptr;
    if (!library) {
        std::fprintf(stderr, "adaptor: %s\n", error.c_str());
        return false;
    }
    auto instance = nrtx_host::Instance::create(*library, nrtx::fourCC("QRux"));
    if (!instance) return false;
    nrtx::Instance& raw = instance->raw();
    const int count = raw.controlCount();
    const auto stateA = instance->saveChunk(nrtx::fourCC("All "));
    raw.setControlValue(25, 12345678);
    const auto stateB = instance->saveChunk(nrtx::fourCC("All "));

    std::atomic<bool> stop{false}, bad{false};
    Counts counts;
    std::thread audio([&] {
        const int frames = 256;
        std::vector<float> inL(frames), inR(frames), key(frames), outL(frames), outR(frames);
        long t = 0;
        while (!stop.load(std::memory_order_relaxed)) {
            for (int i = 0; i < frames; ++i)
                inL[i] = inR[i] = key[i] = 0.5f * std::sin(0.031f * static_cast<float>(t + i));
            t += frames;
            nrtx::RenderBlock block{};
            block.inputs[0] = inL.data();
            block.inputs[1] = inR.data();
            block.outputs[0] = outL.data();
            block.outputs[1] = outR.data();
            block.keyInput = key.data();
            block.frames = frames;
            raw.render(&block);
            if (!finite(outL.data(), block.written) || !finite(outR.data(), block.written))
                bad = true;
            ++counts.blocks;
        }
    });
    std::thread automation([&] {
        std::mt19937 rng(3);
        std::uniform_int_distribution<int> index(1, count);
        std::uniform_int_distribution<std::int32_t> value(INT32_MIN, INT32_MAX);
        while (!stop.load(std::memory_order_relaxed)) {
            raw.setControlValue(index(rng), value(rng));
            raw.controlValue(index(rng));
            if (++counts.automation % 200 == 0) {
                Lock lock(dispatcherLock);
                raw.setChunk((counts.chunks % 2 ? stateA : stateB).data(),
                             static_cast<std::int32_t>(stateA.size()));
                ++counts.chunks;
            }
            if (counts.automation % 16 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread view([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            if (parent) {
                Lock lock(dispatcherLock);
                raw.viewOpen(parent);
                ++counts.opens;
            }
            for (int i = 0; i < 40 && !stop.load(std::memory_order_relaxed); ++i) {
                {
                    Lock lock(dispatcherLock);
                    if (parent) raw.viewIdle();
                    library->group().idle();
                    char text[32];
                    raw.controlText(1 + i % count, raw.controlValue(1 + i % count), text, 31);
                }
                ++counts.idles;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            Lock lock(dispatcherLock);
            if (parent) raw.viewClose();
        }
    });
    runAtLeast(counts, seconds);
    stop = true;
    audio.join();
    automation.join();
    view.join();
    counts.print("adaptor");
    if (bad) std::fprintf(stderr, "adaptor: non-finite output\n");
    instance.reset();
    return !bad && counts.blocks > 0;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 0.0;
    // A host window for the editors, when there is a display; used on this thread only, before
    // and after the effect threads run.
    Display* display = XOpenDisplay(nullptr);
    Window window = 0;
    if (display) {
        window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 900, 700, 0, 0, 0);
        XMapWindow(display, window);
        XSync(display, False);
    }
    std::printf("%s display, at least %.1f s per effect\n", display ? "with" : "without", seconds);
    bool ok = true;
    ok = runPlugin("grandpress", reinterpret_cast<void*>(window), seconds) && ok;
    ok = runPlugin("tinypress", reinterpret_cast<void*>(window), seconds) && ok;
    ok = runAdaptor(window, seconds) && ok;
    if (display) {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    std::printf("%s\n", ok ? "ok" : "FAILED");
    return ok ? 0 : 1;
}
