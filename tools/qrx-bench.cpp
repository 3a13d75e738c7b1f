// qrx-bench: pushes the same 60 s stereo test signal (44.1 kHz, blocks of 512) through each VST
// 2.4 plug-in named on the command line, all loaded at once and taking turns pass by pass, and
// prints each one's realtime factor (seconds of audio per second of processing-thread CPU time)
// and its ratio to the first.
//
//   qrx-bench [--signal music|noise|silence] [--seconds S] [--repeat N] [--table]
//             [--label TEXT] plugin.so[,i=v...] ...
//
// ",i=v" sets parameter i to the normalised value v after loading (for example a compressing
// setting of the first plug-in). With --repeat the best of N passes counts. --label names the
// plug-in that follows it; --table prints the results as a Markdown table, ratios to the first. Our
// plug-ins start from their factory programs in a private, temporary per-user store; --user-store
// starts them from a copy of the user's store (the user's own is never written).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/AudioBuffers.h"
#include "host/KernelChoice.h"
#include "host/VstHost.h"
#include "platform/PrivateUserStore.h"

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;

struct Job {
    std::string label;
    std::string path;
    std::vector<std::pair<int, float>> settings;
};

Job parseJob(const std::string& arg) {
    Job job;
    size_t comma = arg.find(',');
    job.path = arg.substr(0, comma);
    while (comma != std::string::npos) {
        const size_t next = arg.find(',', comma + 1);
        const std::string item = arg.substr(comma + 1, next - comma - 1);
        const size_t eq = item.find('=');
        if (eq != std::string::npos)
            job.settings.emplace_back(std::atoi(item.substr(0, eq).c_str()),
                                      std::strtof(item.c_str() + eq + 1, nullptr));
        comma = next;
    }
    return job;
}

// Deterministic test signal: tones under a slow tremolo, drum-like noise bursts twice a second
// and a noise floor, peaking near -1 dBFS; left and right differ.
void makeSignal(const std::string& kind, size_t frames, std::vector<float>& left,
                std::vector<float>& right) {
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    if (kind == "silence") return;
    std::uint32_t seed = 12345;
    auto white = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
    };
    const double pi = 3.14159265358979323846;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        if (kind == "noise") {
            left[i] = static_cast<float>(0.5 * white());
            right[i] = static_cast<float>(0.5 * white());
            continue;
        }
        const double tremolo = 0.55 + 0.45 * std::sin(2.0 * pi * 0.25 * t);
        const double tones =
            0.3 * std::sin(2.0 * pi * 110.0 * t) + 0.12 * std::sin(2.0 * pi * 1700.0 * t);
        const double beat = std::fmod(t, 0.5);
        const double burst = 0.45 * std::exp(-beat * 30.0);
        const double n1 = white(), n2 = white();
        left[i] = static_cast<float>(tremolo * tones + burst * n1 + 0.01 * n2);
        right[i] =
            static_cast<float>(tremolo * tones * 0.8 + burst * (0.7 * n1 + 0.3 * n2) + 0.01 * n1);
    }
}

double threadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Options {
    std::string signal = "music";
    double seconds = 60.0;
    int repeat = 1;
    bool userStore = false;
    bool table = false, baseline = false;
    std::vector<Job> jobs;
};

constexpr const char* kUsage =
    "usage: qrx-bench [--signal music|noise|silence] [--seconds S] "
    "[--repeat N] [--user-store] [--baseline] [--table] [--label TEXT] "
    "plugin.so[,index=value...] ...\n";

// Reads the command line into `o`; false when it asked for the usage text instead.
bool parseOptions(int argc, char** argv, Options& o) {
    std::string label;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--signal" && a + 1 < argc) {
            o.signal = argv[++a];
        } else if (arg == "--seconds" && a + 1 < argc) {
            o.seconds = std::atof(argv[++a]);
        } else if (arg == "--repeat" && a + 1 < argc) {
            o.repeat = std::max(1, std::atoi(argv[++a]));
        } else if (arg == "--user-store") {
            o.userStore = true;
        } else if (arg == "--baseline") {
            o.baseline = true;
        } else if (arg == "--table") {
            o.table = true;
        } else if (arg == "--label" && a + 1 < argc) {
            label = argv[++a];
        } else if (arg == "-h" || arg == "--help") {
            return false;
        } else {
            o.jobs.push_back(parseJob(arg));
            o.jobs.back().label = label.empty() ? o.jobs.back().path : label;
            label.clear();
        }
    }
    return true;
}

// One pass of the signal in blocks of kBlock through `plugin`, by way of its buffers `in` and
// `out`: its realtime factor. A fresh plug-in is not yet active: only later passes suspend it
// first.
double passFactor(host::Plugin& plugin, host::AudioBuffers<float>& in,
                  host::AudioBuffers<float>& out, const std::vector<float>& left,
                  const std::vector<float>& right, double seconds, bool fresh) {
    const size_t frames = left.size();
    if (!fresh) plugin.suspend();
    plugin.resume();
    const double start = threadSeconds();
    for (size_t pos = 0; pos < frames; pos += kBlock) {
        const int n = static_cast<int>(std::min<size_t>(kBlock, frames - pos));
        std::memcpy(in.channel(0), left.data() + pos, sizeof(float) * n);
        std::memcpy(in.channel(1), right.data() + pos, sizeof(float) * n);
        plugin.processReplacing(in.data(), out.data(), n);
    }
    const double used = threadSeconds() - start;
    return used > 0.0 ? seconds / used : 0.0;
}

// A job's plug-in (null where it could not be loaded, with the reason), its buffers, the
// kernels it runs and its best factor so far.
struct Bench {
    const Job* job = nullptr;
    std::unique_ptr<host::Plugin> plugin;
    host::AudioBuffers<float> in{2, kBlock}, out{2, kBlock};
    std::string error, kernels;
    double best = 0.0;
};

Bench load(const Job& job, const Options& o) {
    host::HostConfig config;
    config.sampleRateAnswer = static_cast<VstIntPtr>(kRate);
    config.blockSizeAnswer = kBlock;
    Bench b;
    b.job = &job;
    b.plugin = host::Plugin::load(job.path, config, &b.error);
    if (!b.plugin) return b;
    b.in = host::AudioBuffers<float>(std::max(b.plugin->numInputs(), 2), kBlock);
    b.out = host::AudioBuffers<float>(std::max(b.plugin->numOutputs(), 2), kBlock);
    for (const auto& [index, value] : job.settings) b.plugin->setParameter(index, value);
    if (o.baseline) host::useBaselineKernels(*b.plugin);
    b.kernels = host::kernelsInUse(*b.plugin);
    if (b.kernels.empty()) b.kernels = "its own";
    return b;
}

// A job's line; `first` is the first loaded job's factor.
void printRow(const Bench& b, const Options& o, double first) {
    const Job& job = *b.job;
    if (!b.plugin) {
        if (o.table)
            std::printf("| %s | cannot load: %s | | |\n", job.label.c_str(), b.error.c_str());
        else
            std::printf("%-60s  cannot load: %s\n", job.path.c_str(), b.error.c_str());
        return;
    }
    const double ratio = first > 0.0 ? b.best / first : 0.0;
    if (o.table)
        std::printf("| %s | %.1f | %.2fx | %s |\n", job.label.c_str(), b.best, ratio,
                    b.kernels.c_str());
    else
        std::printf("%-60s  realtime factor %8.1f  ratio %.3f  kernels %s\n",
                    (job.label + (job.settings.empty() ? "" : " (set)")).c_str(), b.best, ratio,
                    b.kernels.c_str());
}

// Every job's best factor of `repeat` passes. The plug-ins take turns pass by pass, so that a
// change in the machine's speed during the run (other load, the clock) touches each of them alike
// and the ratios stay fair; one after the other, a few seconds apart, they were seen to move by
// a quarter between runs.
void measure(std::vector<Bench>& benches, const Options& o, const std::vector<float>& left,
             const std::vector<float>& right) {
    for (int pass = 0; pass < o.repeat; ++pass)
        for (Bench& b : benches)
            if (b.plugin)
                b.best = std::max(
                    b.best, passFactor(*b.plugin, b.in, b.out, left, right, o.seconds, pass == 0));
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) {
        std::printf("%s", kUsage);
        return 0;
    }
    if (o.jobs.empty()) {
        std::fprintf(stderr, "qrx-bench: name at least one plug-in (.so)\n");
        return 2;
    }

    std::string storeError;
    const auto store = platform::PrivateUserStore::create(
        o.userStore ? platform::PrivateUserStore::Start::UserDefaults
                    : platform::PrivateUserStore::Start::Empty,
        &storeError);
    if (!store) {
        std::fprintf(stderr, "qrx-bench: %s\n", storeError.c_str());
        return 2;
    }

    const size_t frames = static_cast<size_t>(o.seconds * kRate);
    std::vector<float> left, right;
    makeSignal(o.signal, frames, left, right);
    std::printf("signal %s, %.1f s stereo at %.0f Hz, block %d, best of %d\n", o.signal.c_str(),
                o.seconds, kRate, kBlock, o.repeat);
    if (o.table) {
        std::printf(
            "\n| setting | realtime factor | ratio to %s | kernels |\n|---|---:|---:|---|\n",
            o.jobs.front().label.c_str());
    }

    std::vector<Bench> benches;
    for (const Job& job : o.jobs) benches.push_back(load(job, o));
    measure(benches, o, left, right);
    double first = 0.0;
    int failures = 0;
    for (const Bench& b : benches) {
        if (b.plugin && first == 0.0) first = b.best;
        if (!b.plugin) ++failures;
        printRow(b, o, first);
    }
    return failures ? 1 : 0;
}
