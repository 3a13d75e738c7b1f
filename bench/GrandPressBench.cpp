// Realtime factor of grandpress's routines: seconds of 44.1 kHz stereo audio processed per
// second of CPU time, blocks of 512, with program "Default" and a compressing program, on a
// music-like signal, on noise and on silence (silence must not cost more than noise).
//
// Run: build/bin/grandpress_bench  (the "realtime" counter is the factor).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "grandpress/GrandPress.h"
#include "grandpress/Parameters.h"

namespace {

namespace gp = grandpress;

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;
constexpr int kSignalBlocks = 86;  // about one second, then it repeats

enum Signal { kMusic, kNoise, kSilence };

std::vector<float> makeSignal(Signal kind, int channel) {
    std::vector<float> x(static_cast<size_t>(kSignalBlocks) * kBlock, 0.0f);
    if (kind == kSilence) return x;
    std::uint32_t seed = 777u + channel;
    for (size_t i = 0; i < x.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double white = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
        if (kind == kNoise) {
            x[i] = static_cast<float>(0.5 * white);
            continue;
        }
        const double t = static_cast<double>(i) / kRate;
        const double tones =
            0.3 * std::sin(2.0 * M_PI * 110.0 * t) + 0.1 * std::sin(2.0 * M_PI * 1700.0 * t);
        const double burst = 0.45 * std::exp(-std::fmod(t, 0.5) * 30.0);
        x[i] = static_cast<float>((0.55 + 0.45 * std::sin(2.0 * M_PI * 0.25 * t)) * tones +
                                  burst * white);
    }
    return x;
}

// Routine switches: Power, FAT, Smooth.
struct Routine {
    const char* name;
    float power, fat, smooth;
};
constexpr Routine kRoutines[] = {{"PassThrough", 0, 0, 0},
                                 {"Normal", 1, 0, 0},
                                 {"FAT", 1, 1, 0},
                                 {"Smooth", 1, 0, 1},
                                 {"FATSmooth", 1, 1, 1}};

// program: 0 "Default" (1:1), 13 "HeavyDrumKit" (64:1, limiter, threshold -23 dB).
void runRoutine(benchmark::State& state, int program, const Routine& routine, Signal signal) {
    gp::GrandPress effect(nullptr);
    effect.selectProgram(program);
    effect.setParameter(gp::kPower, routine.power);
    effect.setParameter(gp::kFat, routine.fat);
    effect.setParameter(gp::kSmooth, routine.smooth);
    effect.suspend();
    effect.resume();
    const std::vector<float> left = makeSignal(signal, 0), right = makeSignal(signal, 1);
    std::vector<float> outL(kBlock), outR(kBlock);
    size_t pos = 0;
    for (auto _ : state) {
        float* ins[4] = {
            const_cast<float*>(left.data() + pos), const_cast<float*>(right.data() + pos),
            const_cast<float*>(left.data() + pos), const_cast<float*>(right.data() + pos)};
        float* outs[2] = {outL.data(), outR.data()};
        effect.processReplacing(ins, outs, kBlock);
        benchmark::DoNotOptimize(outL.data());
        pos = (pos + kBlock) % left.size();
    }
    state.counters["realtime"] =
        benchmark::Counter(kBlock / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

int main(int argc, char** argv) {
    // The effect keeps its meter settings per user: keep them out of the real config folder.
    char folder[] = "/tmp/qrx-bench-XXXXXX";
    if (mkdtemp(folder)) setenv("XDG_CONFIG_HOME", folder, 1);

    for (const Routine& r : kRoutines) {
        for (int program : {0, 13}) {
            const std::string name = std::string(r.name) + (program ? "/compressing" : "/Default");
            benchmark::RegisterBenchmark(
                (name + "/music").c_str(),
                [r, program](benchmark::State& s) { runRoutine(s, program, r, kMusic); });
        }
    }
    for (Signal s : {kNoise, kSilence}) {
        const std::string name =
            std::string("Normal/compressing/") + (s == kNoise ? "noise" : "silence");
        benchmark::RegisterBenchmark(
            name.c_str(), [s](benchmark::State& st) { runRoutine(st, 13, kRoutines[1], s); });
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
