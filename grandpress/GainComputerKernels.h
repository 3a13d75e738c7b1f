// The gain computer's chunk envelopes as one template on the xsimd architecture (instantiated in
// Kernels.cpp for SSE2 and Kernels_avx2.cpp for AVX2+FMA). Four lanes hold the fast and the slow
// level average of both channels (fast L, fast R, slow L, slow R), so one biquad step serves all
// four; both channels' envelopes share one pair. The auto factors 2a/(a + 1) + 0.1 with a = q f/s
// are taken as 2q f/(q f + s) + 0.1: one division for attack and release together. The per-frame
// reference is GainComputer's levels() (EnvelopeKernel.h says how far they may differ).
// Everything here has internal linkage, so each build keeps its own code.
#pragma once

#include <cmath>
#include <limits>

#include "dsp/Followers.h"
#include "grandpress/EnvelopeKernel.h"
#include "grandpress/KernelQuads.h"

namespace grandpress {
namespace {
namespace envelope {

template <class Arch>
struct Kernel {
    using Quad = lanes::Quad<Arch>;
    using Pair = lanes::Pair<Arch>;

    // The four level averages: coefficients, memories and the alternating offset. Each step's
    // output is kept as it is (`carry`) and a1 times the offset the step adds to its memory goes
    // into the next step's feed-forward sum (`pending`): only a1 * carry is on the recursion.
    struct Averages {
        Quad b0, b1, b2, a1, a2;
        Quad x1, x2, y1, y2;
        Quad offset;
        Quad carry, pending;

        Averages(const EnvelopeLaw& law, const EnvelopeState& s) noexcept
            : b0(Quad::pairs(law.fast.b0, law.slow.b0)),
              b1(Quad::pairs(law.fast.b1, law.slow.b1)),
              b2(Quad::pairs(law.fast.b2, law.slow.b2)),
              a1(Quad::pairs(law.fast.a1, law.slow.a1)),
              a2(Quad::pairs(law.fast.a2, law.slow.a2)),
              x1(Quad::load(s.x1)),
              x2(Quad::load(s.x2)),
              y1(Quad::load(s.y1)),
              y2(Quad::load(s.y2)),
              offset(Quad::splat(s.offset)),
              carry(y1),
              pending(Quad::splat(0.0)) {}

        void store(EnvelopeState& s) const noexcept {
            x1.store(s.x1);
            x2.store(s.x2);
            y1.store(s.y1);
            y2.store(s.y2);
            alignas(32) double o[4];
            offset.store(o);
            s.offset = o[0];
        }

        // One step on x (left, right) with the offset before and after its flip (a1Before: a1
        // times `before`): fast L, R, slow L, R.
        [[gnu::always_inline]] Quad step(const Pair& x, const Quad& before, const Quad& after,
                                         const Quad& a1Before) noexcept {
            const Quad xo = Quad::of(x, x) + after;
            Quad sum = b0 * xo;
            sum = lanes::fma(b1, x1, sum);
            sum = lanes::fma(b2, x2, sum);
            sum = lanes::fnma(a2, y2, sum);
            const Quad y = lanes::fnma(a1, carry, sum - pending);
            x2 = x1;
            x1 = xo;
            y2 = y1;
            y1 = y + before;
            carry = y;
            pending = a1Before;
            return y;
        }
    };

    // Runs frame(i, averagesOf) for i in [0, n), where averagesOf(x) takes frame i's step of the
    // averages, and flips the averages' offset n times. Frames go in pairs, so the offsets are
    // constants and the memories move on without copies.
    template <typename Frame>
    [[gnu::always_inline]] static void inPairs(Averages& av, int n, Frame frame) noexcept {
        const Quad plus = av.offset, minus = Quad::splat(0.0) - plus;
        const Quad a1Plus = av.a1 * plus, a1Minus = av.a1 * minus;
        int i = 0;
        for (; i + 1 < n; i += 2) {
            frame(i, [&](const Pair& x) { return av.step(x, plus, minus, a1Plus); });
            frame(i + 1, [&](const Pair& x) { return av.step(x, minus, plus, a1Minus); });
        }
        if (i < n) {
            frame(i, [&](const Pair& x) { return av.step(x, plus, minus, a1Plus); });
            av.offset = minus;
        }
    }

    // The floored averages v (fast L, R, slow L, R) -> the auto factors 2a/(a + 1) + 0.1 of the
    // attack (a = 0.1 f/s, low pair) and of the release (a = 0.15 f/s, high pair).
    [[gnu::always_inline]] static Quad autoFactors(const Quad& v) noexcept {
        const Quad f = v.lowTwice(), s = v.highTwice();
        const Quad ratio = (Quad::pairs(0.2, 0.3) * f) / lanes::fma(Quad::pairs(0.1, 0.15), f, s);
        return ratio + Quad::splat(0.1);
    }

    // The envelope level of e into level[i] and level[n + i].
    template <bool Rms>
    [[gnu::always_inline]] static void storeLevel(const Pair& e, double* level, int n,
                                                  int i) noexcept {
        alignas(16) double out[2];
        (Rms ? xsimd::sqrt(e) : e).store_aligned(out);
        level[i] = out[0];
        level[n + i] = out[1];
    }

    // Attack and release steps e + (x - e) k, taken as e (1 - k) + x k, the one that applies,
    // then the floor.
    template <bool Rms, bool AutoAttack, bool AutoRelease>
    [[gnu::always_inline]] static void plainFrames(const EnvelopeLaw& law, EnvelopeState& state,
                                                   const double* dL, const double* dR, int n,
                                                   double* level) noexcept {
        Averages av(law, state);
        const Quad averageFloor = Quad::splat(1e-6);
        const Quad base = Quad::pairs(law.attack, law.release);
        const Quad one = Quad::splat(1.0);
        const Pair envelopeFloor(kEnvelopeFloor);
        Pair kUp(law.attack), kDown(law.release);
        Pair upKeep = Pair(1.0) - kUp, downKeep = Pair(1.0) - kDown;
        Pair e = Pair::load_unaligned(state.env);
        inPairs(av, n, [&](int i, auto averagesOf) {
            Pair x = lanes::pairOf<Arch>(dL[i], dR[i]);
            if (Rms) x = x * x;
            const Quad y = averagesOf(x);
            if (AutoAttack || AutoRelease) {
                const Quad k = base * autoFactors(max(y, averageFloor));
                const Quad keep = one - k;
                if (AutoAttack) {
                    kUp = k.low();
                    upKeep = keep.low();
                }
                if (AutoRelease) {
                    kDown = k.high();
                    downKeep = keep.high();
                }
            }
            const Pair up = lanes::fma<Arch>(e, upKeep, x * kUp);
            const Pair down = lanes::fma<Arch>(e, downKeep, x * kDown);
            e = xsimd::select(x > e, up, down);
            e = xsimd::max(e, envelopeFloor);  // the floor also where e is not a number
            storeLevel<Rms>(e, level, n, i);
        });
        e.store_unaligned(state.env);
        av.store(state);
    }

    // One level average of fixedFrames (fast or slow, both channels): its coefficients, the
    // offsets' share of an output on even and on odd frames, and its output memories without
    // their offsets. Frame t's input takes d(t) = -d(t - 1), d(-1) being the stored offset
    // `before`; the stored memory of output t - 1 took d(t - 2) = -d(t - 1), that of t - 2 took
    // d(t - 1).
    struct LeanAverage {
        Pair b0, b1, b2, a1, a2, evenShare, oddShare, y1, y2;

        LeanAverage(const qrx::dsp::BiquadCoefficients& c, double before, const double* y1Stored,
                    const double* y2Stored) noexcept
            : b0(c.b0),
              b1(c.b1),
              b2(c.b2),
              a1(c.a1),
              a2(c.a2),
              evenShare(shareOf(c, -before)),
              oddShare(shareOf(c, before)),
              y1(Pair::load_unaligned(y1Stored) + Pair(before)),
              y2(Pair::load_unaligned(y2Stored) - Pair(before)) {}

        static double shareOf(const qrx::dsp::BiquadCoefficients& c, double d) noexcept {
            return d * ((c.b0 - c.b1) + (c.b2 - c.a1) + c.a2);
        }

        // One frame on the input x and the inputs one and two frames back, all without offsets.
        [[gnu::always_inline]] void step(const Pair& x, const Pair& x1, const Pair& x2,
                                         const Pair& share) noexcept {
            const Pair y = (b0 * x + b1 * x1 + b2 * x2 - a2 * y2 + share) - a1 * y1;
            y2 = y1;
            y1 = y;
        }

        // The memories after a chunk whose last input took `last`.
        void store(double last, double* y1Stored, double* y2Stored) const noexcept {
            (y1 - Pair(last)).store_unaligned(y1Stored);
            (y2 + Pair(last)).store_unaligned(y2Stored);
        }
    };

    // The plain law on two-double vectors, where the coefficients are fixed for the chunk:
    // - The level averages carry their memories without the alternating offsets, whose share of
    //   each output is a constant of the frame's parity, d (b0 - b1 + b2 - a1 + a2) with d the
    //   offset the frame's input takes; the stored memories take the offsets back at the end. So
    //   the averages' state, both envelopes and most coefficients stay in the sixteen registers
    //   (with the offsets in the memories they did not, and the loop waited on reloading them).
    // - The attack's way is the greater of both ways, or the lesser (AttackGreater, from
    //   qrx::dsp::attackWayGreater()): a max or a min instead of a compare and a select.
    // - Without the floor (Floored false) the steps only blend levels and envelopes at or above
    //   it, which holds when the coefficients are blends (0 < k < 1), the envelopes start at or
    //   above the floor and every level of the chunk is at or above it: each step then stays
    //   above the floor but for a few ulps, which the floor would take back, and the recursion
    //   waits on one operation less.
    template <bool Rms, bool Floored, bool AttackGreater>
    static void fixedFrames(const EnvelopeLaw& law, EnvelopeState& state, const double* dL,
                            const double* dR, int n, double* level) noexcept {
        if (n <= 0) return;
        const double before = state.offset;
        // Both averages take the same inputs (lanes 0-1 of the stored input memories are lanes
        // 2-3): x(t - 1) took d(-1), x(t - 2) took -d(-1).
        Pair x1 = Pair::load_unaligned(state.x1) - Pair(before);
        Pair x2 = Pair::load_unaligned(state.x2) + Pair(before);
        LeanAverage fast(law.fast, before, state.y1, state.y2);
        LeanAverage slow(law.slow, before, state.y1 + 2, state.y2 + 2);
        const Pair envelopeFloor(kEnvelopeFloor);
        const Pair kUp(law.attack), kDown(law.release);
        const Pair upKeep = Pair(1.0) - kUp, downKeep = Pair(1.0) - kDown;
        Pair e = Pair::load_unaligned(state.env);
        const auto frame = [&](int i, bool even) {
            Pair x = lanes::pairOf<Arch>(dL[i], dR[i]);
            if (Rms) x = x * x;
            fast.step(x, x1, x2, even ? fast.evenShare : fast.oddShare);
            slow.step(x, x1, x2, even ? slow.evenShare : slow.oddShare);
            x2 = x1;
            x1 = x;
            const Pair up = lanes::fma<Arch>(e, upKeep, x * kUp);
            const Pair down = lanes::fma<Arch>(e, downKeep, x * kDown);
            e = qrx::dsp::attackOrReturn(AttackGreater, up, down);
            if constexpr (Floored) e = xsimd::max(e, envelopeFloor);
            storeLevel<Rms>(e, level, n, i);
        };
        int i = 0;
        for (; i + 1 < n; i += 2) {
            frame(i, true);
            frame(i + 1, false);
        }
        if (i < n) frame(i, true);
        e.store_unaligned(state.env);
        // The last frame's input took `last`, the one before -last.
        const double last = n % 2 == 1 ? -before : before;
        for (int lane = 0; lane < 4; lane += 2) {
            (x1 + Pair(last)).store_unaligned(state.x1 + lane);
            (x2 - Pair(last)).store_unaligned(state.x2 + lane);
        }
        fast.store(last, state.y1, state.y2);
        slow.store(last, state.y1 + 2, state.y2 + 2);
        state.offset = last;
    }

    // Whether every level of d (squared under RMS) is at or above the floor (not a number is
    // not).
    template <bool Rms>
    static bool atOrAboveFloor(const double* d, int n) noexcept {
        const Pair envelopeFloor(kEnvelopeFloor);
        PairMask<Arch> inside(true);
        int i = 0;
        for (; i + 2 <= n; i += 2) {
            Pair x = Pair::load_unaligned(d + i);
            if (Rms) x = x * x;
            inside = inside & (x >= envelopeFloor);
        }
        bool all = xsimd::all(inside);
        for (; i < n; ++i) all = all && (Rms ? d[i] * d[i] : d[i]) >= kEnvelopeFloor;
        return all;
    }

    // Whether the steps blend (0 < k < 1: an infinite level stays infinite, as with the floor)
    // and the envelopes start finite at or above the floor.
    static bool blends(const EnvelopeLaw& law, const EnvelopeState& state) noexcept {
        const auto within = [](double v, double low, double high) { return v >= low && v <= high; };
        const double largest = std::numeric_limits<double>::max();
        return law.attack > 0.0 && law.attack < 1.0 && law.release > 0.0 && law.release < 1.0 &&
               within(state.env[0], kEnvelopeFloor, largest) &&
               within(state.env[1], kEnvelopeFloor, largest);
    }

    template <bool Rms, bool AutoAttack, bool AutoRelease>
    static void plainLaw(const EnvelopeLaw& law, EnvelopeState& state, const double* dL,
                         const double* dR, int n, double* level) noexcept {
        // The plain build only: the AVX2 build's registers hold the four-lane averages, and the
        // floor check would cost it more instructions than the floor it saves.
        if constexpr (!AutoAttack && !AutoRelease && !Quad::kWide) {
            const bool floored =
                !(blends(law, state) && atOrAboveFloor<Rms>(dL, n) && atOrAboveFloor<Rms>(dR, n));
            const bool greater = qrx::dsp::attackWayGreater(true, law.attack, law.release);
            if (floored)
                greater ? fixedFrames<Rms, true, true>(law, state, dL, dR, n, level)
                        : fixedFrames<Rms, true, false>(law, state, dL, dR, n, level);
            else
                greater ? fixedFrames<Rms, false, true>(law, state, dL, dR, n, level)
                        : fixedFrames<Rms, false, false>(law, state, dL, dR, n, level);
            return;
        }
        plainFrames<Rms, AutoAttack, AutoRelease>(law, state, dL, dR, n, level);
    }

    // The release shape's index of the fast average f, (3 + f) / (1.2 f) + 0.5 in single
    // precision, truncated and clamped (as the reference takes it).
    static int shapeIndex(double fast) noexcept {
        const float f = static_cast<float>(fast);
        const int k = static_cast<int>((3.0f + f) / (1.2f * f) + 0.5f);
        return k < 0 ? 0 : (k > kReleaseShapeEntries - 1 ? kReleaseShapeEntries - 1 : k);
    }

    // The "Classic" law: the attack step where the level rises, then always a release step
    // towards floor + (1 - floor) x, its coefficient raised to the release shape's power at the
    // index the fast average gives.
    template <bool Rms, bool AutoAttack, bool AutoRelease>
    static void classicLaw(const EnvelopeLaw& law, EnvelopeState& state, const double* dL,
                           const double* dR, int n, double* level) noexcept {
        Averages av(law, state);
        const Quad averageFloor = Quad::splat(1e-6);
        const Pair envelopeFloor(kEnvelopeFloor), attack(law.attack);
        const Pair floor(law.classicFloor), rise(1.0 - law.classicFloor);
        const ReleasePowers powers = law.powers;
        const double coefficient = law.release;
        const auto power = [&](int k) {
            if (powers.keptIn[k] != powers.generation) {
                powers.kept[k] = std::pow(coefficient, static_cast<double>(powers.shape[k]));
                powers.keptIn[k] = powers.generation;
            }
            return powers.kept[k];
        };
        Pair e = Pair::load_unaligned(state.env);
        inPairs(av, n, [&](int i, auto averagesOf) {
            Pair x = lanes::pairOf<Arch>(dL[i], dR[i]);
            if (Rms) x = x * x;
            const Quad v = max(averagesOf(x), averageFloor);
            Quad factors = Quad::splat(0.0);
            if (AutoAttack || AutoRelease) factors = autoFactors(v);
            Pair up = (x - e) * attack;
            if (AutoAttack) up = up * factors.low();
            e = xsimd::select(x > e, e + up, e);
            alignas(16) double fast[2];
            v.low().store_aligned(fast);
            const Pair exponent =
                lanes::pairOf<Arch>(power(shapeIndex(fast[0])), power(shapeIndex(fast[1])));
            Pair down = (floor + rise * x - e) * exponent;
            if (AutoRelease) down = down * factors.high();
            e = xsimd::max(e + down, envelopeFloor);
            storeLevel<Rms>(e, level, n, i);
        });
        e.store_unaligned(state.env);
        av.store(state);
    }

    using Loop = void (*)(const EnvelopeLaw&, EnvelopeState&, const double*, const double*, int,
                          double*) noexcept;

    // One loop per law, indexed by RMS (1), auto attack (2), auto release (4) and "Classic" (8).
    static constexpr Loop kLoops[16] = {
        plainLaw<false, false, false>,   plainLaw<true, false, false>,
        plainLaw<false, true, false>,    plainLaw<true, true, false>,
        plainLaw<false, false, true>,    plainLaw<true, false, true>,
        plainLaw<false, true, true>,     plainLaw<true, true, true>,
        classicLaw<false, false, false>, classicLaw<true, false, false>,
        classicLaw<false, true, false>,  classicLaw<true, true, false>,
        classicLaw<false, false, true>,  classicLaw<true, false, true>,
        classicLaw<false, true, true>,   classicLaw<true, true, true>};

    static void levels(const EnvelopeLaw& law, EnvelopeState& state, const double* dL,
                       const double* dR, int n, double* level) noexcept {
        // The detector levels of S.C.Monit.
        alignas(32) static constexpr double kSilence[128] = {};
        if (dL == nullptr) dL = kSilence;
        if (dR == nullptr) dR = kSilence;
        const int which = (law.rms ? 1 : 0) | (law.autoAttack ? 2 : 0) | (law.autoRelease ? 4 : 0) |
                          (law.classic ? 8 : 0);
        kLoops[which](law, state, dL, dR, n, level);
    }
};

}  // namespace envelope

template <class Arch>
constexpr GainComputerKernels gainComputerKernelsFor() noexcept {
    return {envelope::Kernel<Arch>::levels};
}

}  // namespace
}  // namespace grandpress
