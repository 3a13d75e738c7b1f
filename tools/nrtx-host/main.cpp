// nrtx-host: runs wrapper.so the way the NRTX host does, driven by a script of commands, one per
// line (or per argument with -e). Commands:
//   quantum N | rate HZ            engine settings (before "type")
//   type QRus|QRux|QRum|QRua       instantiate (replaces the current instance)
//   list                           controls with names, kinds and texts
//   set INDEX UNIT                 host control INDEX (1-based) to UNIT in 0..1
//   bypass on|off
//   render IN.wav OUT.wav [KEY.wav] [LEN...]   real time, host buffers cycling through LEN
//   offline IN.wav OUT.wav BLOCK   offline passes (first pass drops the latency)
//   save FILE | restore FILE       the "Complete State" chunk record
//   editor SECONDS                 opens the view in an X11 window, idles, closes
// Usage: nrtx-host [--build DIR] [--plugin PATH] SCRIPT | -e COMMAND...
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iostream>
#include <sstream>

#include "Wave.h"
#include "nrtx-standins/NrtxHost.h"

// Last: Xlib's macros collide with ordinary names.
#include <X11/Xlib.h>

namespace {

using namespace nrtx_host;

struct Session {
    std::string build;
    std::unique_ptr<Engine> engine;
    std::unique_ptr<PlugInLibrary> library;
    std::unique_ptr<Instance> instance;
    MotorSettings settings{1024, 1, 44100};
};

bool need(Session& s) {
    if (s.instance) return true;
    std::cerr << "no instance: use 'type' first\n";
    return false;
}

void openEditor(Instance& instance, double seconds) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::cerr << "no X display\n";
        return;
    }
    std::int32_t w = 0, h = 0;
    instance.raw().viewSize(&w, &h);
    const Window win = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, w + 40, h + 40, 0, 0, 0);
    XStoreName(d, win, "nrtx-host view");
    XMapWindow(d, win);
    XSync(d, False);
    instance.raw().viewOpen(win);
    std::cout << "view " << w << " x " << h << "\n";
    for (double t = 0; t < seconds; t += 0.05) {
        instance.raw().viewIdle();
        usleep(50000);
    }
    instance.raw().viewClose();
    XDestroyWindow(d, win);
    XCloseDisplay(d);
}

// type ID: loads the engine and the library once, then makes a new instance of ID.
bool instantiate(Session& s, std::istream& in) {
    std::string id;
    in >> id;
    if (id.size() != 4) return false;
    s.instance.reset();
    if (!s.engine) s.engine = Engine::load(s.build + "/Motor.so");
    if (!s.engine) return false;
    s.engine->configure(s.settings);
    std::string error;
    if (!s.library) s.library = PlugInLibrary::load(s.build + "/wrapper.so", &error);
    if (!s.library) return std::cerr << error << "\n", false;
    char code[5] = {id[0], id[1], id[2], id[3], 0};
    s.instance = Instance::create(*s.library, nrtx::fourCC(code));
    return s.instance != nullptr;
}

bool listControls(Instance& i, std::istream&) {
    for (int c = 1; c <= i.controlCount(); ++c)
        std::cout << c << "\t" << (i.isOnOff(c) ? "on/off" : "cont") << "\t"
                  << i.controlFirstLine(c) << "\t= " << i.text(c) << "\n";
    return true;
}

bool setControl(Instance& i, std::istream& in) {
    int index;
    double unit;
    if (!(in >> index >> unit)) return false;
    i.setUnit(index, unit);
    std::cout << i.controlFirstLine(index) << " = " << i.text(index) << "\n";
    return true;
}

bool switchBypass(Instance& i, std::istream& in) {
    std::string v;
    in >> v;
    i.setBypass(v == "on");
    return true;
}

// render/offline IN.wav OUT.wav [KEY.wav] [LEN...]: the words after the input name a side-chain
// key (a .wav) or buffer lengths.
bool renderFile(Instance& i, std::istream& in, bool realTime) {
    std::string inPath, outPath, next;
    in >> inPath >> outPath;
    Audio audio, key;
    int rate = 44100;
    if (!readWave(inPath, &audio, &rate))
        return std::cerr << "cannot read " << inPath << "\n", false;
    std::vector<int> lengths;
    while (in >> next) {
        if (next.find(".wav") != std::string::npos) {
            int keyRate;
            if (!readWave(next, &key, &keyRate)) return false;
            key[0].resize(audio[0].size());
        } else {
            int length = 0;
            const auto [end, error] =
                std::from_chars(next.data(), next.data() + next.size(), length);
            if (error != std::errc() || end != next.data() + next.size() || length <= 0)
                return std::cerr << "not a buffer length: " << next << "\n", false;
            lengths.push_back(length);
        }
    }
    const std::vector<float>* k = key.empty() ? nullptr : &key[0];
    const Audio out = realTime ? renderRealTime(i, audio, lengths, {}, k)
                               : renderOffline(i, audio, lengths.empty() ? 4096 : lengths[0], k);
    return writeWave(outPath, out, rate);
}

bool renderInRealTime(Instance& i, std::istream& in) {
    return renderFile(i, in, true);
}

bool renderOfflinePasses(Instance& i, std::istream& in) {
    return renderFile(i, in, false);
}

bool saveState(Instance& i, std::istream& in) {
    std::string path;
    in >> path;
    const auto record = i.saveChunk(nrtx::fourCC("All "));
    if (record.empty()) return false;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(record.data()), record.size());
    f.close();
    if (!f) return std::cerr << "cannot write " << path << "\n", false;
    return true;
}

bool restoreState(Instance& i, std::istream& in) {
    std::string path;
    in >> path;
    std::ifstream f(path, std::ios::binary);
    const std::vector<unsigned char> record((std::istreambuf_iterator<char>(f)), {});
    return i.restoreChunk(record);
}

bool showEditor(Instance& i, std::istream& in) {
    double seconds = 1.0;
    in >> seconds;
    openEditor(i, seconds);
    return true;
}

// The commands that need an instance, by name.
struct InstanceCommand {
    const char* name;
    bool (*run)(Instance&, std::istream&);
};
constexpr InstanceCommand kInstanceCommands[] = {
    {"list", listControls},           {"set", setControl},
    {"bypass", switchBypass},         {"render", renderInRealTime},
    {"offline", renderOfflinePasses}, {"save", saveState},
    {"restore", restoreState},        {"editor", showEditor},
};

bool run(Session& s, const std::string& line) {
    std::istringstream in(line);
    std::string cmd;
    if (!(in >> cmd) || cmd[0] == '#') return true;
    if (cmd == "quantum") return static_cast<bool>(in >> s.settings.maximumQuantum);
    if (cmd == "rate") return static_cast<bool>(in >> s.settings.sampleRate);
    if (cmd == "type") return instantiate(s, in);
    if (!need(s)) return false;
    for (const InstanceCommand& c : kInstanceCommands)
        if (cmd == c.name) return c.run(*s.instance, in);
    std::cerr << "unknown command " << cmd << "\n";
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    Session s;
    s.build = ".";
    std::vector<std::string> lines;
    std::string script;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--build" && a + 1 < argc) {
            s.build = argv[++a];
        } else if (arg == "--plugin" && a + 1 < argc) {
            setenv("QRX_WRAPPER_PLUGIN", argv[++a], 1);
        } else if (arg == "-e") {
            for (++a; a < argc; ++a) lines.push_back(argv[a]);
        } else {
            std::ifstream f(arg);
            for (std::string line; std::getline(f, line);) lines.push_back(line);
        }
    }
    for (const std::string& line : lines) {
        if (!run(s, line)) {
            std::cerr << "failed: " << line << "\n";
            return 1;
        }
    }
    return 0;
}
