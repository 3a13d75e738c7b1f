// Gain computer of one channel: optional square-law detection, attack/release envelope with
// program-dependent attack and release (fast/slow level averages), the "Classic" release law and
// the static curve with hard or soft knee. Turns a detector level (1.0 = threshold) into a linear
// gain factor.
//
// Threads: owned by SignalPath, audio thread only. The release-shape table is built once at
// construction; the powers it keeps for the "Classic" law are taken on the audio thread, into
// storage it owns (no allocation). Coefficients come from the block's EngineSettings copy.
#pragma once

#include <cmath>

#include "dsp/Followers.h"
#include "dsp/PlainBiquad.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/EnvelopeKernel.h"

namespace grandpress {

// level^inverseRatio for level > 0, as 2^(ir * log2(level)) (the two library calls cost less
// than one pow; the result differs by rounding only).
inline double powerOf(double level, double inverseRatio) noexcept {
    return std::exp2(inverseRatio * std::log2(level));
}

// The static curve: out(level) for hard or soft knee.
inline double staticCurve(double level, const EngineSettings& s) noexcept {
    if (!s.soft) return level > 1.0 ? powerOf(level, s.inverseRatio) : level;
    if (level <= 0.5) return level;
    if (level >= 1.5) return powerOf(level, s.inverseRatio);
    // Catmull-Rom segment through p1 (level 0.5) and p2 (level 1.5).
    const double t = level - 0.5;
    const double p0 = s.kneeP0, p1 = s.kneeP1, p2 = s.kneeP2, p3 = s.kneeP3;
    return p1 + 0.5 * (p2 - p0) * t + (p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3) * t * t +
           (1.5 * (p1 - p2) + 0.5 * (p3 - p0)) * t * t * t;
}

// Release-shape table: entry k = k^0.05 (0 at 0, 1.41247 at 999). The "Classic" law raises the
// release coefficient to these powers; exponent() keeps each power it has taken for the current
// coefficient (the same bits as std::pow), so a frame costs a look-up instead of a pow. A new
// coefficient starts a new generation of the kept powers.
class ReleaseShape {
  public:
    static constexpr int kEntries = kReleaseShapeEntries;
    ReleaseShape() noexcept;
    float operator[](int k) const noexcept { return table[k]; }

    // releaseCoefficient^shape[k] (audio thread; the kept powers are this object's own).
    double exponent(int k, double releaseCoefficient) const noexcept {
        if (releaseCoefficient != keptFor) newGeneration(releaseCoefficient);
        if (keptIn[k] != generation) {
            kept[k] = std::pow(releaseCoefficient, static_cast<double>(table[k]));
            keptIn[k] = generation;
        }
        return kept[k];
    }

    // The kept powers of `releaseCoefficient`, for the chunk kernels (audio thread).
    ReleasePowers powersFor(double releaseCoefficient) const noexcept {
        if (releaseCoefficient != keptFor) newGeneration(releaseCoefficient);
        return {table, kept, keptIn, generation};
    }

  private:
    void newGeneration(double releaseCoefficient) const noexcept;

    float table[kEntries];
    mutable double kept[kEntries];
    mutable unsigned keptIn[kEntries];  // the generation each kept power belongs to (0: none)
    mutable unsigned generation = 0;
    mutable double keptFor = -1.0;  // no coefficient is negative
};

// Both channels' gain computers: the level averages run as four lanes, the envelopes and curves
// per channel (the channels are independent; linking happened in the side chain).
class GainComputer {
  public:
    // Envelopes to their floor, level averages cleared.
    void reset() noexcept;
    // Level averages cleared only (their rate changed).
    void clearAverages() noexcept { state.clearAverages(); }

    // One frame: detector levels -> gain factors.
    void gains(double dL, double dR, const EngineSettings& s, const ReleaseShape& shape, double& gL,
               double& gR) noexcept {
        double level[2];
        frameLevels(dL, dR, s, shape, level);
        gL = gainOf(level[0], s);
        gR = gainOf(level[1], s);
    }

    // One chunk of n <= 128 frames (S.C.Monit: levels of 0): the envelope levels that go into
    // the static curve, left channel in level[0 .. n), right in level[n .. 2n), with the kernels
    // of the block's table. The curve is feed-forward, so it runs afterwards over the whole chunk
    // (curveGains).
    void levels(const GainComputerKernels& kernels, const double* dL, const double* dR, int n,
                bool monitor, const EngineSettings& s, const ReleaseShape& shape,
                double* level) noexcept;

    // The reference the kernels are held to: the same chunk frame by frame.
    void referenceLevels(const double* dL, const double* dR, int n, bool monitor,
                         const EngineSettings& s, const ReleaseShape& shape,
                         double* level) noexcept {
        for (int i = 0; i < n; ++i) {
            double frame[2];
            frameLevels(monitor ? 0.0 : dL[i], monitor ? 0.0 : dR[i], s, shape, frame);
            level[i] = frame[0];
            level[n + i] = frame[1];
        }
    }

    // The gain factor of one envelope level: out(level) / (level + 1e-6).
    static double gainOf(double level, const EngineSettings& s) noexcept {
        return staticCurve(level, s) / (level + 1e-6);
    }

    double envelope(int c) const noexcept { return state.env[c]; }
    // Both envelopes and the level averages' memories and offset.
    const EnvelopeState& envelopeState() const noexcept { return state; }

  private:
    // One step of the four level averages on x (left, right): y = (fast L, R, slow L, R). Each
    // is a plain biquad whose input takes the alternating offset and whose output memory the
    // offset it held before.
    void stepAverages(const EngineSettings& s, const double x[2], double y[4]) noexcept {
        const double before = state.offset;
        state.offset = -state.offset;
        for (int k = 0; k < 4; ++k) {
            const qrx::dsp::BiquadCoefficients& c = k < 2 ? s.levelFast : s.levelSlow;
            y[k] = qrx::dsp::biquadStep(x[k % 2], c, state.x1[k], state.x2[k], state.y1[k],
                                        state.y2[k], state.offset, before);
        }
    }

    void frameLevels(double dL, double dR, const EngineSettings& s, const ReleaseShape& shape,
                     double level[2]) noexcept {
        const double x[2] = {s.rms ? dL * dL : dL, s.rms ? dR * dR : dR};
        double y[4];
        stepAverages(s, x, y);
        for (int c = 0; c < 2; ++c) {
            const double fast = y[c] > 1e-6 ? y[c] : 1e-6;
            const double slow = y[2 + c] > 1e-6 ? y[2 + c] : 1e-6;
            const double e = s.classic ? classicStep(state.env[c], x[c], fast, slow, s, shape)
                                       : step(state.env[c], x[c], fast, slow, s);
            state.env[c] = e;
            level[c] = s.rms ? std::sqrt(e) : e;
        }
    }

    // One channel's attack or release step e + (x - e) k, taken as e (1 - k) + x k.
    static double step(double e, double x, double fast, double slow,
                       const EngineSettings& s) noexcept {
        double kUp = s.attackCoefficient;
        if (s.autoAttack) kUp *= qrx::dsp::autoSpeedFactor(0.1 * fast / slow);
        double kDown = s.releaseCoefficient;
        if (s.autoRelease) kDown *= qrx::dsp::autoSpeedFactor(0.15 * fast / slow);
        const double up = qrx::dsp::followStep(e, 1.0 - kUp, x * kUp);
        const double down = qrx::dsp::followStep(e, 1.0 - kDown, x * kDown);
        e = x > e ? up : down;
        return e > kEnvelopeFloor ? e : kEnvelopeFloor;  // the floor also where e is not a number
    }

    // One channel's envelope step under the "Classic" law.
    static double classicStep(double e, double x, double fast, double slow, const EngineSettings& s,
                              const ReleaseShape& shape) noexcept {
        if (x > e) {
            double up = (x - e) * s.attackCoefficient;
            if (s.autoAttack) up *= qrx::dsp::autoSpeedFactor(0.1 * fast / slow);
            e += up;
        }
        // Release shape from the fast average, in single precision: slower at low levels.
        const float ff = static_cast<float>(fast);
        int k = static_cast<int>((3.0f + ff) / (1.2f * ff) + 0.5f);
        k = k < 0 ? 0 : (k > ReleaseShape::kEntries - 1 ? ReleaseShape::kEntries - 1 : k);
        const double exponent = shape.exponent(k, s.releaseCoefficient);
        const double target = s.classicFloor + (1.0 - s.classicFloor) * x;
        double down = (target - e) * exponent;
        if (s.autoRelease) down *= qrx::dsp::autoSpeedFactor(0.15 * fast / slow);
        e += down;
        return e > kEnvelopeFloor ? e : kEnvelopeFloor;
    }

    EnvelopeState state;
};

}  // namespace grandpress
