// Envelope follower and gain curve of the compressor, per channel and sample.
//
// The detector level is normalised to the threshold (1 = at the threshold), follows an
// attack/release envelope (optionally with the programme-dependent auto release), and the gain
// curve maps the envelope v to an output level y: y = v up to the threshold, v^(1/R) above it
// (hard knee) or through a Catmull-Rom spline between 0.5 and 1.5 (soft knee). The gain is
// y / (v + 1e-6).
//
// Threads: audio thread only. Pure functions plus a small state record; nothing allocates.
#pragma once

#include <cmath>

#include "dsp/BiquadDesign.h"
#include "dsp/Followers.h"
#include "dsp/PlainBiquad.h"
#include "tinypress/EngineSettings.h"

namespace tinypress {

inline constexpr double kEnvelopeFloor = 0.0001;
inline constexpr double kSmootherFloor = 1e-6;
inline constexpr double kDetectorFloor = 0.005;  // added to every normalised level

// Normalised level P = level * g_T * 2 + 0.005, squared with RMS detection.
inline double normalisedLevel(double level, double thresholdGain, bool rms) noexcept {
    const double p = level * thresholdGain * 2.0 + kDetectorFloor;
    return rms ? p * p : p;
}

// Gain curve output y for envelope v and exponent p = 1/R (soft knee ordinates 1.5^p, 2.5^p).
inline double curveLevel(double v, double inverseRatio, bool soft, double kneeLowY,
                         double kneeHighY) noexcept {
    if (!soft) return v > 1.0 ? std::pow(v, inverseRatio) : v;
    if (v <= 0.5) return v;
    if (v >= 1.5) return std::pow(v, inverseRatio);
    // Catmull-Rom through (-0.5, 0.5, 1.5^p, 2.5^p) at t = v - 0.5.
    constexpr double p0 = -0.5, p1 = 0.5;
    const double p2 = kneeLowY, p3 = kneeHighY;
    const double t = v - 0.5;
    return p1 + t * (0.5 * p2 - 0.5 * p0) + t * t * (p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3) +
           t * t * t * (0.5 * p3 + 1.5 * p1 - 0.5 * p0 - 1.5 * p2);
}

inline double gainOfEnvelope(double v, double inverseRatio, bool soft, double kneeLowY,
                             double kneeHighY) noexcept {
    return curveLevel(v, inverseRatio, soft, kneeLowY, kneeHighY) / (v + 1e-6);
}

// Per-channel envelope state: the envelope and the two auto-release smoothers.
struct EnvelopeState {
    double envelope = kEnvelopeFloor;
    qrx::dsp::BiquadMemories fast, slow;
    double fastOffset = qrx::dsp::kBiquadNoiseScale, slowOffset = qrx::dsp::kBiquadNoiseScale;

    void clearSmoothers() noexcept {
        fast = {};
        slow = {};
    }

    // One sample of normalised level P; returns the level for the gain curve (sqrt(e) with RMS).
    double step(double p, const EngineSettings& s) noexcept {
        double f = qrx::dsp::plainBiquadStep(p, s.releaseFast, fast, fastOffset);
        double sl = qrx::dsp::plainBiquadStep(p, s.releaseSlow, slow, slowOffset);
        f = f > kSmootherFloor ? f : kSmootherFloor;
        sl = sl > kSmootherFloor ? sl : kSmootherFloor;
        double e = envelope;
        if (p > e) {
            e += (p - e) * s.attackCoefficient;
        } else if (s.autoRelease) {
            // Faster release while the short-term level sits above the long-term one.
            const double ratio = 0.5 * f / sl;
            e += (p - e) * s.releaseCoefficient * qrx::dsp::autoSpeedFactor(ratio);
        } else {
            e += (p - e) * s.releaseCoefficient;
        }
        envelope = e > kEnvelopeFloor ? e : kEnvelopeFloor;
        return s.rms ? std::sqrt(envelope) : envelope;
    }
};

}  // namespace tinypress
