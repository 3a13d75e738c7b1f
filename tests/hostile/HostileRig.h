// Shared pieces of the hostile-host tests: loading the real plug-in libraries from the build
// folder through the test host, test signals, and checks on what comes out.
//
// Threads: everything on the test's own thread unless a test says otherwise.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host/AudioBuffers.h"
#include "host/VstHost.h"
#include "platform/DynamicLibrary.h"

namespace hostile {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kDenormal = std::numeric_limits<float>::denorm_min();

// grandpress's " Limiter " switch and the most its output may reach with it on.
constexpr int kGrandLimiterIndex = 4;
constexpr float kLimiterBound = 0.999f;

inline std::string libraryPath(const std::string& name) {
    return std::string(QRX_BUILD_DIR) + "/" + name + platform::kLibrarySuffix;
}

inline std::unique_ptr<host::Plugin> loadPlugin(const std::string& name,
                                                const host::HostConfig& config = {}) {
    std::string error;
    auto plugin = host::Plugin::load(libraryPath(name), config, &error);
    EXPECT_NE(plugin, nullptr) << name << ": " << error;
    return plugin;
}

// The outputs of one run, per channel (one or two channels).
struct Output {
    std::vector<std::vector<float>> channels;
    const std::vector<float>& left() const { return channels.front(); }
};

// Feeds `frames` samples of `signal` (a function of the frame index) to every input and
// processes them in blocks of `block` frames.
template <typename Generator>
Output run(host::Plugin& plugin, int frames, int block, Generator signal) {
    const int ins = plugin.numInputs(), outs = plugin.numOutputs();
    host::AudioBuffers<float> in(ins, block), out(outs, block);
    Output result;
    result.channels.resize(static_cast<std::size_t>(outs));
    for (int done = 0; done < frames; done += block) {
        const int n = std::min(block, frames - done);
        for (int c = 0; c < ins; ++c)
            for (int i = 0; i < n; ++i) in.channel(c)[i] = signal(done + i);
        plugin.processReplacing(in.data(), out.data(), n);
        for (int c = 0; c < outs; ++c)
            result.channels[static_cast<std::size_t>(c)].insert(
                result.channels[static_cast<std::size_t>(c)].end(), out.channel(c),
                out.channel(c) + n);
    }
    return result;
}

inline float sine(int i, double hz = 997.0, double amplitude = 0.5, double rate = 44100.0) {
    return static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * i / rate));
}

// Index of the first non-finite sample, -1 when all are finite.
inline long firstNonFinite(const std::vector<float>& s, std::size_t from = 0) {
    for (std::size_t i = from; i < s.size(); ++i)
        if (!std::isfinite(s[i])) return static_cast<long>(i);
    return -1;
}

inline double rms(const std::vector<float>& s, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

inline float peak(const std::vector<float>& s, std::size_t from, std::size_t to) {
    float p = 0.0f;
    for (std::size_t i = from; i < to; ++i) p = std::max(p, std::fabs(s[i]));
    return p;
}

}  // namespace hostile
