// The test signals of the process fuzz target: the four input channels of a block (main left and
// right, side chain left and right) as its script describes them, continuous across blocks
// (every generator is a function of the run's frame index), with the block's stray samples.
// Pure functions; any thread.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/fuzz/ProcessScript.h"

namespace fuzz::process {

inline std::uint64_t mix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1), a function of the frame and the seed.
inline double noiseAt(long t, std::uint64_t seed) {
    const std::uint64_t h = mix64(static_cast<std::uint64_t>(t) ^ (seed << 48));
    return static_cast<double>(h >> 11) * (2.0 / 9007199254740992.0) - 1.0;
}

// Frame t of the block's signal, variant `seed` (0..3: one per channel that is not a copy).
inline double signalAt(const script::Block& b, long t, int seed, double rate) {
    using script::Signal;
    const double p = b.parameter;
    double x = 0.0;
    switch (b.signal) {
        case Signal::Silence:
            break;
        case Signal::Sine: {
            const double hz = 20.0 * std::exp2(p / 24.0) * (1.0 + 0.01 * seed);
            x = std::sin(2.0 * M_PI * hz * static_cast<double>(t) / rate + seed);
            break;
        }
        case Signal::Square:
            x = ((t + seed * 7) / (1 + b.parameter * 4)) % 2 ? 1.0 : -1.0;
            break;
        case Signal::Noise:
            x = noiseAt(t, std::uint64_t{256} * static_cast<std::uint64_t>(seed) +
                               static_cast<std::uint64_t>(b.parameter));
            break;
        case Signal::Dc:
            x = p / 127.5 - 1.0;
            break;
        case Signal::Impulses:
            x = (t + seed) % (1 + b.parameter * 8) == 0 ? 1.0 : 0.0;
            break;
        case Signal::Sweep: {
            const double tt = static_cast<double>(t % (1L << 20));
            x = std::sin(tt * tt * (p + 1.0) * 1e-9 + seed);
            break;
        }
        case Signal::Pattern:
            if (!b.pattern.empty())
                x = b.pattern[static_cast<std::size_t>(t + seed) % b.pattern.size()];
            break;
        case Signal::Bursts:
            x = ((t / (64 + 64 * b.parameter)) % 2)
                    ? noiseAt(t, static_cast<std::uint64_t>(seed) + 1)
                    : 0.0;
            break;
    }
    return x * script::kAmplitudes[b.amplitude];
}

// The rate the signals are made for: the host's, where it is a plausible one.
inline double signalRate(double hostRate) {
    return hostRate >= 8000.0 && hostRate <= 1e6 ? hostRate : 44100.0;
}

// The block's four input channels from the run's frame `clock` on, strays included.
template <typename Sample>
std::vector<std::vector<Sample>> blockInputs(const script::Block& b, long clock, double hostRate) {
    using script::SideChain;
    using script::Stereo;
    const auto frames = static_cast<std::size_t>(b.frames);
    std::vector<std::vector<Sample>> x(4, std::vector<Sample>(frames));
    const double rate = signalRate(hostRate);
    for (std::size_t i = 0; i < frames; ++i) {
        const long t = clock + static_cast<long>(i);
        const double left = signalAt(b, t, 0, rate);
        double right = left;
        switch (b.stereo) {
            case Stereo::Same:
                break;
            case Stereo::Inverted:
                right = -left;
                break;
            case Stereo::Half:
                right = 0.5 * left;
                break;
            case Stereo::Independent:
                right = signalAt(b, t, 1, rate);
                break;
        }
        double sideLeft = left, sideRight = right;
        switch (b.sideChain) {
            case SideChain::Main:
                break;
            case SideChain::Silent:
                sideLeft = sideRight = 0.0;
                break;
            case SideChain::Louder:
                sideLeft *= 2.0;
                sideRight *= 2.0;
                break;
            case SideChain::Independent:
                sideLeft = signalAt(b, t, 2, rate);
                sideRight = signalAt(b, t, 3, rate);
                break;
        }
        const double v[4] = {left, right, sideLeft, sideRight};
        for (int c = 0; c < 4; ++c) x[c][i] = static_cast<Sample>(v[c]);
    }
    if (frames > 0)
        for (const script::Stray& s : b.strays)
            x[s.channel][static_cast<std::size_t>(s.position) % frames] =
                static_cast<Sample>(script::kStrays[s.value]);
    return x;
}

}  // namespace fuzz::process
