// The meters of the chunk kernels (ChunkKernels.h) over one chunk of metered values, both
// channels side by side: VU filter, PPM follower, overs and holds. The per-frame reference is
// Meters::signal and Meters::gain (Meters.h). A template on the xsimd architectures
// (KernelLanes.h).
#pragma once

#include <cmath>

#include "dsp/Followers.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/KernelLanes.h"
#include "tinypress/Meters.h"

namespace tinypress {
namespace {

template <class PairArch, class WideArch>
struct MeterKernels {
    using Pair = Lanes<PairArch>;
    using Wide = Lanes<WideArch>;
    using Mask = xsimd::batch_bool<double, PairArch>;
    using Coefficients = PairCoefficients<PairArch>;
    using Memories = PairMemories<PairArch>;
    static constexpr int kWide = static_cast<int>(Wide::size);

    // The state of both channels' meters in registers.
    struct MeterLanes {
        Pair vu, ppm, vuHold, ppmHold, overCount;
        Memories vuMemories;
        Pair vuOffset;
        Mask vuTaken, ppmTaken;  // whether the chunk took a new hold

        explicit MeterLanes(const MeterJob& j) noexcept
            : MeterLanes(*j.channel[0], *j.channel[1]) {}
        MeterLanes(const MeterChannel& l, const MeterChannel& r) noexcept
            : vu(pairOf<PairArch>(l.vu, r.vu)),
              ppm(pairOf<PairArch>(l.ppm, r.ppm)),
              vuHold(pairOf<PairArch>(l.vuHold, r.vuHold)),
              ppmHold(pairOf<PairArch>(l.ppmHold, r.ppmHold)),
              overCount(pairOf<PairArch>(l.overCount, r.overCount)),
              vuMemories(l.vuMemories, r.vuMemories),
              vuOffset(pairOf<PairArch>(l.vuOffset, r.vuOffset)),
              vuTaken(Pair(0.0) != Pair(0.0)),
              ppmTaken(vuTaken) {}

        void storeTo(const MeterJob& j) const noexcept {
            MeterChannel &l = *j.channel[0], &r = *j.channel[1];
            store(vu, l.vu, r.vu);
            store(ppm, l.ppm, r.ppm);
            store(vuHold, l.vuHold, r.vuHold);
            store(ppmHold, l.ppmHold, r.ppmHold);
            store(overCount, l.overCount, r.overCount);
            vuMemories.storeTo(l.vuMemories, r.vuMemories);
            store(vuOffset, l.vuOffset, r.vuOffset);
            double vuNew[2], ppmNew[2];
            store(Pair(vuTaken), vuNew[0], vuNew[1]);
            store(Pair(ppmTaken), ppmNew[0], ppmNew[1]);
            MeterChannel* const channels[2] = {&l, &r};
            for (int c = 0; c < 2; ++c) {
                if (vuNew[c] != 0.0) channels[c]->vuHoldAge = 0;
                if (ppmNew[c] != 0.0) channels[c]->ppmHoldAge = 0;
            }
        }
    };

    // The VU low-pass of x (plain biquad with alternating offsets).
    static Pair vuStep(MeterLanes& m, const Coefficients& c, const Pair& x) noexcept {
        const Pair before = m.vuOffset;
        m.vuOffset = -m.vuOffset;
        return biquadStep(c, m.vuMemories, x + m.vuOffset, before);
    }

    // A signal reading (x = |value|): VU, PPM, overs and holds frame by frame.
    static void signalMeters(const MeterJob& j) noexcept {
        const MeterConstants& k = *j.constants;
        MeterLanes m(j);
        const Coefficients vu(k.vuFilter, k.vuFilter);
        const Pair attack(k.ppmAttack), release(k.ppmReturn), scale(k.signalScale);
        const Pair fullScale(1.0 - 1e-9), one(1.0), zero(0.0), overSamples(k.overSamples);
        for (int i = 0; i < j.n; ++i) {
            const Pair x = xsimd::abs(pairOf<PairArch>(j.value[0][i], j.value[1][i]));
            const Pair noise(j.noise[i]);
            m.vu = vuStep(m, vu, x * scale);
            m.ppm = mulAdd(xsimd::select(x > m.ppm, attack, release), x - m.ppm, m.ppm + noise);
            m.overCount =
                xsimd::select(x >= fullScale, m.overCount + one,
                              xsimd::select(m.overCount < overSamples, zero, m.overCount));
            const auto ppmHigh = m.ppm > m.ppmHold;
            m.ppmHold = xsimd::select(ppmHigh, m.ppm, m.ppmHold);
            m.ppmTaken = m.ppmTaken || ppmHigh;
            const auto vuHigh = m.vu > m.vuHold;
            m.vuHold = xsimd::select(vuHigh, m.vu, m.vuHold);
            m.vuTaken = m.vuTaken || vuHigh;
        }
        m.storeTo(j);
    }

    // A gain reading holds new reduction below the held value (down to 0.01) and new expansion
    // above both the held value and 1.
    static void holdGain(const Pair& value, Pair& held, Mask& taken) noexcept {
        const auto take =
            (value > held && value > Pair(1.0)) || (value < held && value > Pair(0.01));
        held = xsimd::select(take, value, held);
        taken = taken || take;
    }

    // The gain holds of one needle over a chunk of its readings (both lanes side by side),
    // given their least and greatest values. While every reading lies in (0.01, 1], each one
    // only ever lowers the held value, so the chunk takes its least reading if that is below
    // the held value, and a hold was taken exactly then; otherwise the readings are held one by
    // one. (NaN readings, never held, are left out of the least and greatest values.)
    static void holdGainChunk(const double* readings, int n, const Pair& least,
                              const Pair& greatest, Pair& held, Mask& taken) noexcept {
        if (xsimd::all(greatest <= Pair(1.0)) && xsimd::all(least > Pair(0.01))) {
            const auto take = least < held;
            held = xsimd::select(take, least, held);
            taken = taken || take;
            return;
        }
        for (int i = 0; i < n; ++i) holdGain(Pair::load_aligned(readings + 2 * i), held, taken);
    }

    // x = 1 + (|0.98 g| - 1) mix of both channels side by side (frame i at 2i), over whole
    // vectors.
    static void meteredGains(const MeterJob& j, int whole, double* x) noexcept {
        const Wide mix(j.constants->mix), one(1.0), scale(0.98);
        const auto metered = [&](const double* g, int i) {
            return xsimd::fma(xsimd::abs(scale * Wide::load_unaligned(g + i)) - one, mix, one);
        };
        if (j.value[1] == j.value[0]) {  // linked lanes share their gains
            for (int i = 0; i < whole; i += kWide) {
                const Wide both = metered(j.value[0], i);
                interleave(both, both, x + 2 * i);
            }
        } else {
            for (int i = 0; i < whole; i += kWide)
                interleave(metered(j.value[0], i), metered(j.value[1], i), x + 2 * i);
        }
    }

    // The gain meters in three passes: the metered x over the whole chunk at the widest vector,
    // then the recursive parts (VU filter, PPM) frame by frame with the chunk's extremes, then
    // the holds.
    static void gainMeters(const MeterJob& j) noexcept {
        const int n = j.n;
        if (n <= 0) return;
        const MeterConstants& k = *j.constants;
        MeterLanes m(j);
        alignas(64) double x[2 * kChunk];
        meteredGains(j, wholeVectors(n, kWide), x);
        alignas(64) double vu[2 * kChunk], ppm[2 * kChunk];
        GainNeedles needles(k, m);
        if (k.compressing)
            needles.template run<true>(x, j.noise, n, vu, ppm);
        else
            needles.template run<false>(x, j.noise, n, vu, ppm);
        needles.finish(m, x, n);
        holdGainChunk(vu, n, needles.vuLeast, needles.vuMost, m.vuHold, m.vuTaken);
        holdGainChunk(ppm, n, needles.ppmLeast, needles.ppmMost, m.ppmHold, m.ppmTaken);
        m.storeTo(j);
    }

    // The recursive part of the gain meters in registers, two frames per round (the VU filter's
    // alternating offset then takes its two signs in turn): the VU filter and the PPM follower;
    // the readings go to vu and ppm (both lanes side by side) and their extremes are kept (NaN
    // readings, never held, left out).
    struct GainNeedles {
        const Coefficients c;
        const Pair attack, release, keepAttack, keepRelease;
        // The offset the VU filter's input carries on odd frames of the chunk (even frames:
        // -odd; the first frame flips the offset the chunk starts with).
        const Pair odd;
        // The offsets' share of the filter's output on even and odd frames: the filter runs on
        // the inputs and outputs without their offsets and adds these constants instead, so one
        // output leads to the next in a single fused step.
        const Pair offsetsEven, offsetsOdd;
        Pair x1, x2, r1, r2;  // the inputs and outputs of the last two frames, without offsets
        Pair ppm;
        Pair vuLeast, vuMost, ppmLeast, ppmMost;
        // Whether the fast way of the PPM follower is the greater one (unfused build).
        const bool fastGreater;

        GainNeedles(const MeterConstants& k, const MeterLanes& m) noexcept
            : c(k.vuFilter, k.vuFilter),
              attack(k.ppmAttack),
              release(k.ppmReturn),
              keepAttack(1.0 - k.ppmAttack),
              keepRelease(1.0 - k.ppmReturn),
              odd(m.vuOffset),
              // Even frames: b0 and b2 take -odd, b1 takes odd; the stored outputs carry
              // odd (a1) and -odd (a2).
              offsetsEven((c.b1 + c.a1 - c.a2 - c.b0 - c.b2) * odd),
              offsetsOdd(-offsetsEven),
              x1(m.vuMemories.x1 - odd),
              x2(m.vuMemories.x2 + odd),
              r1(m.vuMemories.y1 + odd),
              r2(m.vuMemories.y2 - odd),
              ppm(m.ppm),
              vuLeast(HUGE_VAL),
              vuMost(-HUGE_VAL),
              ppmLeast(HUGE_VAL),
              ppmMost(-HUGE_VAL),
              fastGreater(!kFusedPairs &&
                          qrx::dsp::attackWayGreater(!k.compressing, k.ppmAttack, k.ppmReturn)) {}

        template <bool compressing, bool evenFrame>
        [[gnu::always_inline]] void frame(const double* x, const double* noise, int i, double* vuTo,
                                          double* ppmTo) noexcept {
            const Pair xi = Pair::load_aligned(x + 2 * i);
            const Pair forward = mulAdd(
                c.b2, x2, mulAdd(c.b1, x1, mulAdd(c.b0, xi, evenFrame ? offsetsEven : offsetsOdd)));
            const Pair y = mulSub(c.a1, r1, mulSub(c.a2, r2, forward));
            x2 = x1;
            x1 = xi;
            r2 = r1;
            r1 = y;
            y.store_aligned(vuTo + 2 * i);
            // (min and max keep their second operand where the first is NaN)
            vuLeast = xsimd::min(y, vuLeast);
            vuMost = xsimd::max(y, vuMost);
            // ppm + n + k (x - ppm); the fused build takes it as ppm (1 - k) + (k x + n), both
            // ways at once, one fused step from frame to frame. Compressing, the needle falls
            // fast with more reduction and returns slowly; expanding, it rises fast.
            const Pair h(noise[i]);
            if constexpr (kFusedPairs) {
                const Pair fastWay = mulAdd(ppm, keepAttack, mulAdd(attack, xi, h));
                const Pair slowWay = mulAdd(ppm, keepRelease, mulAdd(release, xi, h));
                const auto fast = compressing ? xi < ppm : xi > ppm;
                ppm = xsimd::select(fast, fastWay, slowWay);
            } else {
                // The same two ways, unfused. They differ by (attack - return) (x - ppm), so the
                // fast way is the lesser of the two (compressing, with the faster attack; the
                // greater with the slower one, and the other way round expanding): a max or min
                // picks it with no compare on the chain from frame to frame.
                const Pair fastWay = qrx::dsp::followStep(ppm, keepAttack, attack * xi + h);
                const Pair slowWay = qrx::dsp::followStep(ppm, keepRelease, release * xi + h);
                ppm = qrx::dsp::attackOrReturn(fastGreater, fastWay, slowWay);
            }
            ppm.store_aligned(ppmTo + 2 * i);
            ppmLeast = xsimd::min(ppm, ppmLeast);
            ppmMost = xsimd::max(ppm, ppmMost);
        }

        // In line, so the needles' state stays in registers.
        template <bool compressing>
        [[gnu::always_inline]] void run(const double* x, const double* noise, int n, double* vuTo,
                                        double* ppmTo) noexcept {
            int i = 0;
            for (; i + 2 <= n; i += 2) {
                frame<compressing, true>(x, noise, i, vuTo, ppmTo);
                frame<compressing, false>(x, noise, i + 1, vuTo, ppmTo);
            }
            if (i < n) frame<compressing, true>(x, noise, i, vuTo, ppmTo);
        }

        void finish(MeterLanes& m, const double* x, int n) const noexcept {
            m.vu = r1;
            m.ppm = ppm;
            // The memories as the plain filter keeps them: inputs and outputs with the offsets
            // of their frames (outputs: of the frame before theirs).
            const Pair even = -odd, last = n % 2 ? even : odd;
            const Pair before = n % 2 ? odd : even;
            if (n >= 2)
                m.vuMemories.x2 = Pair::load_aligned(x + 2 * (n - 2)) + before;
            else
                m.vuMemories.x2 = m.vuMemories.x1;
            m.vuMemories.x1 = Pair::load_aligned(x + 2 * (n - 1)) + last;
            m.vuMemories.y1 = r1 + before;
            m.vuMemories.y2 = r2 + last;
            m.vuOffset = last;
        }
    };
};

}  // namespace
}  // namespace tinypress
