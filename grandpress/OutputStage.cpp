#include "grandpress/OutputStage.h"

#include <cmath>

namespace grandpress {

namespace {
constexpr double kPeakScale = 1.005773063;  // inter-sample peak allowance
constexpr double kPeakOffset = 0.011;
constexpr double kWindowOffset = 0.0009766;
// Highest peak the limiter follows (+60 dBFS). Above it the output is held at the ceiling by the
// clamp alone; without the cap an absurd input (1e38) lifts the envelope so far that its
// exponential release needs seconds of clean signal to come back down.
constexpr double kMaxPeak = 1000.0;
}  // namespace

void RealignLines::clear() noexcept {
    for (auto& l : line)
        for (double& v : l) v = 0.0;
    write = kRealignLineLength - 1;
}

void Limiter::reset(const EngineSettings& s) noexcept {
    for (unsigned i = 0; i < kRing; ++i) lineL[i] = lineR[i] = peak[i] = 0.0;
    w = kRing - 1;
    r = (w - static_cast<unsigned>(s.limiterLookAhead) - 1) & kMask;
    E = 0.0001;
    G = 1.0;
    fastLevel.reset();
    slowLevel.reset();
}

void Limiter::process(double& left, double& right, bool limit, const EngineSettings& s,
                      double noise) noexcept {
    lineL[w] = left;
    lineR[w] = right;
    if (limit) {
        const double p = minOf(maxOf(std::fabs(left * kPeakScale) + kPeakOffset,
                                     std::fabs(right * kPeakScale) + kPeakOffset),
                               kMaxPeak);
        // Running maximum over r..w: the new peak overwrites every smaller value behind it.
        peak[w] = p;
        for (unsigned j = (w - 1) & kMask; p > peak[j] && j != r; j = (j - 1) & kMask) peak[j] = p;
        if (p > peak[r]) peak[r] = p;
        const double m = peak[r] + kWindowOffset + noise;
        peak[r] = 0.0;
        const double f =
            qrx::dsp::plainBiquadStep(m, s.limiterFast, fastLevel.memories, fastLevel.offset);
        const double sl =
            qrx::dsp::plainBiquadStep(m, s.limiterSlow, slowLevel.memories, slowLevel.offset);
        if (m > E) {
            E += (m - E) * s.limiterAttack;
        } else {
            const double t = 0.2 * f / maxOf(sl, 1e-6);
            E += (4.0 * t / (t + 1.0) + 0.1) * (m - E) * s.limiterRelease;
        }
        G = E <= 1.0 ? 1.0 : 1.0 / E;
        lineL[r] = minOf(maxOf(lineL[r] * G * kCeiling, -kCeiling), kCeiling);
        lineR[r] = minOf(maxOf(lineR[r] * G * kCeiling, -kCeiling), kCeiling);
    }
    w = (w + 1) & kMask;
    r = (r + 1) & kMask;
    left = lineL[w];
    right = lineR[w];
}

}  // namespace grandpress
