// The side chain of the chunk kernels (ChunkKernels.h): the two gliding shelves (low, then high)
// in place on both lanes, the stereo link, and the scaled levels of the "Draft" detector. The
// shelves' per-frame reference is qrx::dsp::glidingBiquadStep. A template on the xsimd
// architectures (KernelLanes.h).
//
// The shelves run both channels in the lanes of one pair (ShelfLoop). The baseline build runs
// both channels on one pair where they share a design (StackedShelves.h); the AVX2 build runs all
// four shelves in one 256-bit vector (SkewedShelves.h).
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstring>
#include <utility>

#include "tinypress/ChunkKernels.h"
#include "tinypress/KernelLanes.h"
#include "tinypress/SignalPath.h"
#include "tinypress/SkewedShelves.h"
#include "tinypress/StackedShelves.h"

namespace tinypress {
namespace {

// The stereo link feeds both detectors sqrt(l^2 + r^2) times this.
constexpr double kLinkScale = 0.7071;

template <class PairArch, class WideArch>
struct SideChainKernels {
    using Pair = Lanes<PairArch>;
    using Wide = Lanes<WideArch>;
    using Coefficients = PairCoefficients<PairArch>;
    using Memories = PairMemories<PairArch>;
    static constexpr int kWide = static_cast<int>(Wide::size);
    static constexpr bool kFused = kFusedPairs;

    // Every coefficient glides toward its target: c + h + (t - c) rate. The fused build takes it
    // as c (1 - rate) + (t rate + h), one fused operation on the coefficient's own chain.
    struct Glide {
        Coefficients target, targetRate;
        Pair rate, keep;

        Glide(const qrx::dsp::BiquadCoefficients& t, double r) noexcept
            : target(t, t),
              targetRate(scaledCoefficients(t, r), scaledCoefficients(t, r)),
              rate(r),
              keep(1.0 - r) {}

        [[gnu::always_inline]] Pair step(const Pair& c, const Pair& t, const Pair& tr,
                                         const Pair& h) const noexcept {
            if constexpr (kFused) return mulAdd(c, keep, tr + h);
            return mulAdd(t - c, rate, c + h);
        }

        [[gnu::always_inline]] void stepAll(Coefficients& c, const Pair& h) const noexcept {
            c.b0 = step(c.b0, target.b0, targetRate.b0, h);
            c.b1 = step(c.b1, target.b1, targetRate.b1, h);
            c.b2 = step(c.b2, target.b2, targetRate.b2, h);
            c.a1 = step(c.a1, target.a1, targetRate.a1, h);
            c.a2 = step(c.a2, target.a2, targetRate.a2, h);
        }
    };

    // One gliding biquad sample (the shared filter's step, both lanes at once).
    [[gnu::always_inline]] static Pair glidingStep(const Pair& x, const Glide& g, Coefficients& c,
                                                   Memories& m, const Pair& h) noexcept {
        g.stepAll(c, h);
        return biquadStep(c, m, x + h, h);
    }

    // The shelves' state in registers for one chunk.
    struct ShelfLoop {
        ShelfJob& j;
        const Glide lowGlide, highGlide;
        Coefficients low, high;
        Memories lowM, highM;

        explicit ShelfLoop(ShelfJob& job) noexcept
            : j(job),
              lowGlide(*job.lowTarget, job.rate),
              highGlide(*job.highTarget, job.rate),
              low(job.low[0]->current, job.low[1]->current),
              high(job.high[0]->current, job.high[1]->current),
              lowM(job.low[0]->memories, job.low[1]->memories),
              highM(job.high[0]->memories, job.high[1]->memories) {}

        // shared: all four shelves take one noise run (their generators agree).
        template <bool shared>
        [[gnu::always_inline]] void step(int k) noexcept {
            const Pair hLow = shared ? Pair(j.lowNoise[0][k])
                                     : pairOf<PairArch>(j.lowNoise[0][k], j.lowNoise[1][k]);
            const Pair hHigh =
                shared ? hLow : pairOf<PairArch>(j.highNoise[0][k], j.highNoise[1][k]);
            const Pair side = pairOf<PairArch>(j.side[0][k], j.side[1][k]);
            const Pair x = glidingStep(side, lowGlide, low, lowM, hLow);
            store(glidingStep(x, highGlide, high, highM, hHigh), j.side[0][k], j.side[1][k]);
        }

        template <bool shared>
        void run() noexcept {
            for (int k = 0; k < j.n; ++k) step<shared>(k);
            low.storeTo(j.low[0]->current, j.low[1]->current);
            high.storeTo(j.high[0]->current, j.high[1]->current);
            lowM.storeTo(j.low[0]->memories, j.low[1]->memories);
            highM.storeTo(j.high[0]->memories, j.high[1]->memories);
        }
    };

    static void shelves(ShelfJob& j) noexcept {
        if (j.n <= 0) return;
        const double* h = j.lowNoise[0];
        const bool shared = j.lowNoise[1] == h && j.highNoise[0] == h && j.highNoise[1] == h;
        if constexpr (kWide == 4) {
            SkewedShelves<WideArch> skewed(j);
            if (shared)
                skewed.runShared(j);
            else
                skewed.run(j);
            skewed.finish(j);
        } else {
            if (StackedShelves<PairArch>::fits(j, shared)) {
                StackedShelves<PairArch> stacked(j);
                stacked.run(j);
                stacked.finish(j);
                return;
            }
            ShelfLoop loop(j);
            if (shared)
                loop.template run<true>();
            else
                loop.template run<false>();
        }
    }

    // Stereo link: sqrt(l^2 + r^2) * kLinkScale (fused where the build fuses, in the body and the
    // tail alike).
    static void link(const double* left, const double* right, int n, double* linked) noexcept {
        const Wide scale(kLinkScale);
        int k = 0;
        for (; k + kWide <= n; k += kWide) {
            const Wide l = Wide::load_aligned(left + k), r = Wide::load_aligned(right + k);
            (xsimd::sqrt(xsimd::fma(l, l, r * r)) * scale).store_aligned(linked + k);
        }
        for (; k < n; ++k) {
            const Pair l(left[k]), r(right[k]);
            double ignored;
            store(xsimd::sqrt(mulAdd(l, l, r * r)) * Pair(kLinkScale), linked[k], ignored);
        }
    }

    // to[k] = factor * from[k].
    static void scale(const double* from, int n, double factor, double* to) noexcept {
        const Wide f(factor);
        int k = 0;
        for (; k + 4 * kWide <= n; k += 4 * kWide) {
#pragma GCC unroll 4
            for (int v = 0; v < 4 * kWide; v += kWide)
                (f * Wide::load_unaligned(from + k + v)).store_unaligned(to + k + v);
        }
        for (; k + kWide <= n; k += kWide)
            (f * Wide::load_unaligned(from + k)).store_unaligned(to + k);
        for (; k < n; ++k) to[k] = factor * from[k];
    }
};

}  // namespace
}  // namespace tinypress
