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

#include "dsp/InstructionSet.h"
#include "dsp/PlainBiquad.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/EnvelopeKernel.h"
#include "grandpress/SideChain.h"

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

    // The kept powers of `releaseCoefficient`, for the vector build (audio thread).
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

// Both channels' gain computers: the level averages run as one pair, the envelopes and curves
// per channel (the channels are independent; linking happened in the side chain).
class GainComputer {
  public:
    // Envelopes to their floor, level averages cleared.
    void reset() noexcept;
    // Level averages cleared only (their rate changed).
    void clearAverages() noexcept;

    // One frame: detector levels -> gain factors.
    void gains(double dL, double dR, const EngineSettings& s, const ReleaseShape& shape, double& gL,
               double& gR) noexcept {
        double level[2];
        levels(dL, dR, s, shape, level);
        gL = gainOf(level[0], s);
        gR = gainOf(level[1], s);
    }

    // One chunk of n frames (S.C.Monit: levels of 0): the envelope levels that go into the static
    // curve, left channel in level[0 .. n), right in level[n .. 2n). The curve is feed-forward,
    // so it runs afterwards over the whole chunk (curveGains).
    void levels(const double* dL, const double* dR, int n, bool monitor, const EngineSettings& s,
                const ReleaseShape& shape, double* level) noexcept {
        if (!s.classic) {
            // One loop per switch setting, the coefficients in locals: no tests and no reloads
            // per frame.
            const int law = (s.rms ? 1 : 0) | (s.autoAttack ? 2 : 0) | (s.autoRelease ? 4 : 0);
            switch (law) {
                case 0:
                    return plainLevels<false, false, false>(dL, dR, n, monitor, s, level);
                case 1:
                    return plainLevels<true, false, false>(dL, dR, n, monitor, s, level);
                case 2:
                    return plainLevels<false, true, false>(dL, dR, n, monitor, s, level);
                case 3:
                    return plainLevels<true, true, false>(dL, dR, n, monitor, s, level);
                case 4:
                    return plainLevels<false, false, true>(dL, dR, n, monitor, s, level);
                case 5:
                    return plainLevels<true, false, true>(dL, dR, n, monitor, s, level);
                case 6:
                    return plainLevels<false, true, true>(dL, dR, n, monitor, s, level);
                default:
                    return plainLevels<true, true, true>(dL, dR, n, monitor, s, level);
            }
        }
        GainComputer g = *this;  // envelopes and averages in registers through the loop
        for (int i = 0; i < n; ++i) {
            double frame[2];
            g.levels(monitor ? 0.0 : dL[i], monitor ? 0.0 : dR[i], s, shape, frame);
            level[i] = frame[0];
            level[n + i] = frame[1];
        }
        *this = g;
    }

    // The same with the kernels of `set` (which this processor must run): the vector build
    // differs from the baseline by rounding only.
    void levels(qrx::dsp::InstructionSet set, const double* dL, const double* dR, int n,
                bool monitor, const EngineSettings& s, const ReleaseShape& shape,
                double* level) noexcept {
        if (set == qrx::dsp::InstructionSet::Avx2Fma) {
            EnvelopeLaw law;
            law.fast = s.levelFast;
            law.slow = s.levelSlow;
            law.attack = s.attackCoefficient;
            law.release = s.releaseCoefficient;
            law.rms = s.rms != 0;
            law.autoAttack = s.autoAttack != 0;
            law.autoRelease = s.autoRelease != 0;
            law.classic = s.classic != 0;
            if (law.classic) {
                law.classicFloor = s.classicFloor;
                law.powers = shape.powersFor(s.releaseCoefficient);
            }
            envelopeLevelsAvx2(law, env, fastAverage, slowAverage, monitor ? nullptr : dL,
                               monitor ? nullptr : dR, n, level);
            return;
        }
        levels(dL, dR, n, monitor, s, shape, level);
    }

    // The gain factor of one envelope level: out(level) / (level + 1e-6).
    static double gainOf(double level, const EngineSettings& s) noexcept {
        return staticCurve(level, s) / (level + 1e-6);
    }

    double envelope(int c) const noexcept { return env[c]; }

  private:
    // 2a/(a+1) + 0.1: from 0.1 (level falling fast) towards 2.1 (level rising fast).
    static double autoFactor(double a) noexcept { return 2.0 * a / (a + 1.0) + 0.1; }
    static StereoPair autoFactor(StereoPair a) noexcept { return 2.0 * a / (a + 1.0) + 0.1; }

    void levels(double dL, double dR, const EngineSettings& s, const ReleaseShape& shape,
                double level[2]) noexcept {
        StereoPair x = {dL, dR};
        if (s.rms) x = x * x;
        const StereoPair fast = fastAverage.step(x, s.levelFast);
        const StereoPair slow = slowAverage.step(x, s.levelSlow);
        if (s.classic) {
            level[0] =
                classicChannel(0, x[0], maxOf(fast[0], 1e-6), maxOf(slow[0], 1e-6), s, shape);
            level[1] =
                classicChannel(1, x[1], maxOf(fast[1], 1e-6), maxOf(slow[1], 1e-6), s, shape);
            return;
        }
        // Both channels at once and without branches (attack or release changes from sample to
        // sample): both steps, then the one that applies. Each step e + (x - e) k is taken as
        // e (1 - k) + x k, which puts one product and one sum on the envelope's recursion.
        const StereoPair floor = {1e-6, 1e-6};
        const StereoPair f = fast > floor ? fast : floor;
        const StereoPair sl = slow > floor ? slow : floor;
        StereoPair kUp = {s.attackCoefficient, s.attackCoefficient};
        if (s.autoAttack) kUp *= autoFactor(0.1 * f / sl);
        StereoPair kDown = {s.releaseCoefficient, s.releaseCoefficient};
        if (s.autoRelease) kDown *= autoFactor(0.15 * f / sl);
        StereoPair e = {env[0], env[1]};
        const StereoPair up = e * (1.0 - kUp) + x * kUp;
        const StereoPair down = e * (1.0 - kDown) + x * kDown;
        e = x > e ? up : down;
        const StereoPair envelopeFloor = {kEnvelopeFloor, kEnvelopeFloor};
        e = e > envelopeFloor ? e : envelopeFloor;
        env[0] = e[0];
        env[1] = e[1];
        level[0] = s.rms ? std::sqrt(e[0]) : e[0];
        level[1] = s.rms ? std::sqrt(e[1]) : e[1];
    }

    // The chunk form of levels() outside the "Classic" law, the same steps in the same order.
    template <bool Rms, bool AutoAttack, bool AutoRelease>
    void plainLevels(const double* dL, const double* dR, int n, bool monitor,
                     const EngineSettings& s, double* level) noexcept {
        const qrx::dsp::BiquadCoefficients fastC = s.levelFast, slowC = s.levelSlow;
        PlainPair fastAv = fastAverage, slowAv = slowAverage;
        const StereoPair floor = {1e-6, 1e-6};
        const StereoPair attack = {s.attackCoefficient, s.attackCoefficient};
        const StereoPair release = {s.releaseCoefficient, s.releaseCoefficient};
        const StereoPair keepUp = 1.0 - attack, keepDown = 1.0 - release;
        const StereoPair envelopeFloor = {kEnvelopeFloor, kEnvelopeFloor};
        StereoPair e = {env[0], env[1]};
        for (int i = 0; i < n; ++i) {
            StereoPair x = {monitor ? 0.0 : dL[i], monitor ? 0.0 : dR[i]};
            if (Rms) x = x * x;
            const StereoPair fast = fastAv.step(x, fastC);
            const StereoPair slow = slowAv.step(x, slowC);
            StereoPair kUp = attack, kDown = release, upKeep = keepUp, downKeep = keepDown;
            if (AutoAttack || AutoRelease) {
                const StereoPair f = fast > floor ? fast : floor;
                const StereoPair sl = slow > floor ? slow : floor;
                if (AutoAttack) {
                    kUp *= autoFactor(0.1 * f / sl);
                    upKeep = 1.0 - kUp;
                }
                if (AutoRelease) {
                    kDown *= autoFactor(0.15 * f / sl);
                    downKeep = 1.0 - kDown;
                }
            }
            const StereoPair up = e * upKeep + x * kUp;
            const StereoPair down = e * downKeep + x * kDown;
            e = x > e ? up : down;
            e = e > envelopeFloor ? e : envelopeFloor;
            level[i] = Rms ? std::sqrt(e[0]) : e[0];
            level[n + i] = Rms ? std::sqrt(e[1]) : e[1];
        }
        env[0] = e[0];
        env[1] = e[1];
        fastAverage = fastAv;
        slowAverage = slowAv;
    }

    // One channel's envelope step under the "Classic" law; returns the level the static curve
    // takes.
    double classicChannel(int c, double x, double fast, double slow, const EngineSettings& s,
                          const ReleaseShape& shape) noexcept {
        double e = env[c];
        if (x > e) {
            double step = (x - e) * s.attackCoefficient;
            if (s.autoAttack) step *= autoFactor(0.1 * fast / slow);
            e += step;
        }
        // Release shape from the fast average, in single precision: slower at low levels.
        const float ff = static_cast<float>(fast);
        int k = static_cast<int>((3.0f + ff) / (1.2f * ff) + 0.5f);
        k = k < 0 ? 0 : (k > ReleaseShape::kEntries - 1 ? ReleaseShape::kEntries - 1 : k);
        const double exponent = shape.exponent(k, s.releaseCoefficient);
        const double target = s.classicFloor + (1.0 - s.classicFloor) * x;
        double step = (target - e) * exponent;
        if (s.autoRelease) step *= autoFactor(0.15 * fast / slow);
        e += step;
        e = maxOf(e, kEnvelopeFloor);
        env[c] = e;
        return s.rms ? std::sqrt(e) : e;
    }

    double env[2] = {kEnvelopeFloor, kEnvelopeFloor};
    PlainPair fastAverage, slowAverage;
};

}  // namespace grandpress
