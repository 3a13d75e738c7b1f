// The side chain of the chunk kernels (ChunkKernels.h): the two gliding shelves (low, then high)
// in place on both lanes, the stereo link, and the scaled levels of the "Draft" detector. The
// shelves' per-frame reference is qrx::dsp::glidingBiquadStep. A template on the xsimd
// architectures (KernelLanes.h).
//
// The shelves run both channels in the lanes of one pair. The AVX2 build runs all four shelves
// in one 256-bit vector instead (SkewedShelves): lanes 0-1 the low shelf on frame i, lanes 2-3
// the high shelf two frames behind, on the low shelf's output of two steps before. Its lane
// moves have no xsimd form, so it is written in intrinsics; it takes 43 % fewer instructions
// than the pair form in the AVX2 build (callgrind, 2 s of the bench signal), and half the
// recursions' latency.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstring>
#include <utility>

#include "tinypress/ChunkKernels.h"
#include "tinypress/KernelLanes.h"
#include "tinypress/SignalPath.h"

namespace tinypress {
namespace {

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
            : target(t, t), targetRate(scaled(t, r), scaled(t, r)), rate(r), keep(1.0 - r) {}

        static qrx::dsp::BiquadCoefficients scaled(const qrx::dsp::BiquadCoefficients& t,
                                                   double r) noexcept {
            qrx::dsp::BiquadCoefficients s;
            s.b0 = t.b0 * r;
            s.b1 = t.b1 * r;
            s.b2 = t.b2 * r;
            s.a1 = t.a1 * r;
            s.a2 = t.a2 * r;
            return s;
        }

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

    // ---- the baseline build's shelves on one running design ----

    // With one noise run for all four shelves, each shelf's running coefficients are the same in
    // both channels whenever they were at the start of the chunk (in mono always, in stereo
    // unless the channels once ran apart): one pair of coefficients, the high shelf in lane 0 and
    // the low shelf in lane 1, then serves both channels. Step i runs the low shelf on frame i
    // and the high shelf on frame i - 2, on the low shelf's output that step i - 2 left in the
    // side chain in place of its input. The glide takes half the work of the pair form, and
    // the state of the steps fits the sixteen registers of the build.
    struct StackedShelves {
        using HighLane = xsimd::batch_bool_constant<Pair, true, false>;
        using LowLane = xsimd::batch_bool_constant<Pair, false, true>;
        Coefficients c;      // running, (high, low)
        Memories m[2];       // per channel, (high, low)
        Coefficients rated;  // target * rate
        Pair keep;           // 1 - rate

        explicit StackedShelves(const ShelfJob& j) noexcept
            : c(j.high[0]->current, j.low[0]->current),
              m{Memories(j.high[0]->memories, j.low[0]->memories),
                Memories(j.high[1]->memories, j.low[1]->memories)},
              rated(Glide::scaled(*j.highTarget, j.rate), Glide::scaled(*j.lowTarget, j.rate)),
              keep(1.0 - j.rate) {}

        // Whether the job's shelves can run this way.
        static bool fits(const ShelfJob& j, bool shared) noexcept {
            constexpr std::size_t kSize = sizeof(qrx::dsp::BiquadCoefficients);
            // NOLINTBEGIN(bugprone-suspicious-memory-comparison): the bits are what must agree
            return shared && std::memcmp(&j.low[0]->current, &j.low[1]->current, kSize) == 0 &&
                   std::memcmp(&j.high[0]->current, &j.high[1]->current, kSize) == 0;
            // NOLINTEND(bugprone-suspicious-memory-comparison)
        }

        // One biquad sample on input x with noise h, as glidingStep after the glide; the newest
        // input and output come last, which keeps the chain from one step to the next short.
        // The newest input and output go to the slots of the oldest, so the memories change
        // places: `swapped` reads them so (x2 and y2 the newest); two steps in turn leave them as
        // they were, with no moves between registers.
        template <bool swapped>
        [[gnu::always_inline]] Pair filter(Memories& mem, const Pair& x,
                                           const Pair& h) const noexcept {
            Pair& x1 = swapped ? mem.x2 : mem.x1;
            Pair& x2 = swapped ? mem.x1 : mem.x2;
            Pair& y1 = swapped ? mem.y2 : mem.y1;
            Pair& y2 = swapped ? mem.y1 : mem.y2;
            const Pair xh = x + h;
            const Pair older = mulSub(c.a2, y2, mulAdd(c.b2, x2, c.b1 * x1));
            const Pair y = mulSub(c.a1, y1, mulAdd(c.b0, xh, older));
            x2 = xh;
            y2 = y + h;
            return y;
        }

        // One step of both channels on inputs x (per channel) with noise h; c (1 - rate) +
        // (t rate + h) is the glide. Leaves the memories swapped unless `swapped`.
        template <bool swapped>
        [[gnu::always_inline]] void step(const Pair& h, const Pair (&x)[2], Pair (&y)[2]) noexcept {
            c.b0 = mulAdd(c.b0, keep, rated.b0 + h);
            c.b1 = mulAdd(c.b1, keep, rated.b1 + h);
            c.b2 = mulAdd(c.b2, keep, rated.b2 + h);
            c.a1 = mulAdd(c.a1, keep, rated.a1 + h);
            c.a2 = mulAdd(c.a2, keep, rated.a2 + h);
            y[0] = filter<swapped>(m[0], x[0], h);
            y[1] = filter<swapped>(m[1], x[1], h);
        }

        // The memories back in place after an odd step.
        void unswap() noexcept {
            for (Memories& mem : m) {
                std::swap(mem.x1, mem.x2);
                std::swap(mem.y1, mem.y2);
            }
        }

        // One step that leaves the memories in place.
        [[gnu::always_inline]] void step(const Pair& h, const Pair (&x)[2], Pair (&y)[2]) noexcept {
            step<false>(h, x, y);
            unswap();
        }

        // Step i: the low shelf on frame i, the high shelf on frame i - 2.
        template <bool swapped>
        [[gnu::always_inline]] void stepBoth(double* const (&s)[2], const double* h,
                                             int i) noexcept {
            Pair y[2];
            step<swapped>(
                pairOf<PairArch>(h[i - 2], h[i]),
                {pairOf<PairArch>(s[0][i - 2], s[0][i]), pairOf<PairArch>(s[1][i - 2], s[1][i])},
                y);
            store(y[0], s[0][i - 2], s[0][i]);
            store(y[1], s[1][i - 2], s[1][i]);
        }

        // The lanes of `mask` back as `from` had them.
        template <class Mask>
        void restore(const StackedShelves& from, Mask mask) noexcept {
            const auto pick = [mask](Pair& now, const Pair& before) {
                now = xsimd::select(mask, before, now);
            };
            pick(c.b0, from.c.b0);
            pick(c.b1, from.c.b1);
            pick(c.b2, from.c.b2);
            pick(c.a1, from.c.a1);
            pick(c.a2, from.c.a2);
            for (int ch = 0; ch < 2; ++ch) {
                pick(m[ch].x1, from.m[ch].x1);
                pick(m[ch].x2, from.m[ch].x2);
                pick(m[ch].y1, from.m[ch].y1);
                pick(m[ch].y2, from.m[ch].y2);
            }
        }

        void run(const ShelfJob& j) noexcept {
            const int n = j.n;
            double* const s[2] = {j.side[0], j.side[1]};
            const double* const h = j.lowNoise[0];
            Pair y[2];
            double unused;
            // The low shelf alone on the first two frames (the high lane keeps its state).
            const StackedShelves start = *this;
            for (int i = 0; i < n && i < 2; ++i) {
                step(pairOf<PairArch>(0.0, h[i]),
                     {pairOf<PairArch>(0.0, s[0][i]), pairOf<PairArch>(0.0, s[1][i])}, y);
                store(y[0], unused, s[0][i]);
                store(y[1], unused, s[1][i]);
            }
            restore(start, HighLane());
            int i = 2;
            for (; i + 2 <= n; i += 2) {
                stepBoth<false>(s, h, i);
                stepBoth<true>(s, h, i + 1);
            }
            if (i < n) {
                stepBoth<false>(s, h, i);
                unswap();
            }
            // The high shelf alone on the last two frames (the low lane keeps its state).
            const StackedShelves lowDone = *this;
            for (int f = n < 2 ? 0 : n - 2; f < n; ++f) {
                step(pairOf<PairArch>(h[f], 0.0),
                     {pairOf<PairArch>(s[0][f], 0.0), pairOf<PairArch>(s[1][f], 0.0)}, y);
                store(y[0], s[0][f], unused);
                store(y[1], s[1][f], unused);
            }
            restore(lowDone, LowLane());
        }

        void finish(const ShelfJob& j) const noexcept {
            c.storeTo(j.high[0]->current, j.low[0]->current);
            j.high[1]->current = j.high[0]->current;
            j.low[1]->current = j.low[0]->current;
            for (int ch = 0; ch < 2; ++ch) m[ch].storeTo(j.high[ch]->memories, j.low[ch]->memories);
        }
    };

    // ---- the AVX2 build's four shelves in one vector ----

    // Lanes 0-1 run the low shelf (left, right) on frame i while lanes 2-3 run the high shelf on
    // frame i - 2, the low shelf's output of two steps before.
    struct Quad {
        __m256d b0, b1, b2, a1, a2;  // running coefficients
        __m256d x1, x2, y1, y2;      // memories
    };
    static __m256d lanes(double lowLeft, double lowRight, double highLeft,
                         double highRight) noexcept {
        return _mm256_setr_pd(lowLeft, lowRight, highLeft, highRight);
    }
    static void split(__m256d v, double& lowLeft, double& lowRight, double& highLeft,
                      double& highRight) noexcept {
        alignas(32) double a[4];
        _mm256_storeu_pd(a, v);
        lowLeft = a[0];
        lowRight = a[1];
        highLeft = a[2];
        highRight = a[3];
    }
    // Lanes of `kept` where the bits of `mask` (one per lane) are set, else of `fresh`.
    template <int mask>
    static Quad keepLanes(const Quad& fresh, const Quad& kept) noexcept {
        const auto pick = [](__m256d f, __m256d k) { return _mm256_blend_pd(f, k, mask); };
        return {pick(fresh.b0, kept.b0), pick(fresh.b1, kept.b1), pick(fresh.b2, kept.b2),
                pick(fresh.a1, kept.a1), pick(fresh.a2, kept.a2), pick(fresh.x1, kept.x1),
                pick(fresh.x2, kept.x2), pick(fresh.y1, kept.y1), pick(fresh.y2, kept.y2)};
    }

    struct SkewedShelves {
        using C = qrx::dsp::BiquadCoefficients;
        using M = qrx::dsp::BiquadMemories;
        Quad s;
        const __m256d keep, tb0, tb1, tb2, ta1, ta2;  // 1 - rate, target * rate

        explicit SkewedShelves(const ShelfJob& j) noexcept
            : s{coefficient(j, &C::b0), coefficient(j, &C::b1), coefficient(j, &C::b2),
                coefficient(j, &C::a1), coefficient(j, &C::a2), memory(j, &M::x1),
                memory(j, &M::x2),      memory(j, &M::y1),      memory(j, &M::y2)},
              keep(_mm256_set1_pd(1.0 - j.rate)),
              tb0(scaled(j, &C::b0)),
              tb1(scaled(j, &C::b1)),
              tb2(scaled(j, &C::b2)),
              ta1(scaled(j, &C::a1)),
              ta2(scaled(j, &C::a2)) {}

        static __m256d coefficient(const ShelfJob& j, double C::*c) noexcept {
            return lanes(j.low[0]->current.*c, j.low[1]->current.*c, j.high[0]->current.*c,
                         j.high[1]->current.*c);
        }
        static __m256d memory(const ShelfJob& j, double M::*m) noexcept {
            return lanes(j.low[0]->memories.*m, j.low[1]->memories.*m, j.high[0]->memories.*m,
                         j.high[1]->memories.*m);
        }
        static __m256d scaled(const ShelfJob& j, double C::*c) noexcept {
            const double low = *j.lowTarget.*c * j.rate, high = *j.highTarget.*c * j.rate;
            return lanes(low, low, high, high);
        }

        // One step of the four lanes on input x with noise h (per lane), as glidingStep. The
        // newest input and output come last, which keeps the chains from one step to the next
        // short.
        [[gnu::always_inline]] __m256d step(__m256d x, __m256d h) noexcept {
            return stepWithNoise(_mm256_add_pd(x, h), h);
        }
        // The same on an input that already carries its noise.
        [[gnu::always_inline]] __m256d stepWithNoise(__m256d xh, __m256d h) noexcept {
            s.b0 = _mm256_fmadd_pd(s.b0, keep, _mm256_add_pd(tb0, h));
            s.b1 = _mm256_fmadd_pd(s.b1, keep, _mm256_add_pd(tb1, h));
            s.b2 = _mm256_fmadd_pd(s.b2, keep, _mm256_add_pd(tb2, h));
            s.a1 = _mm256_fmadd_pd(s.a1, keep, _mm256_add_pd(ta1, h));
            s.a2 = _mm256_fmadd_pd(s.a2, keep, _mm256_add_pd(ta2, h));
            const __m256d older = _mm256_fnmadd_pd(
                s.a2, s.y2, _mm256_fmadd_pd(s.b2, s.x2, _mm256_mul_pd(s.b1, s.x1)));
            const __m256d y = _mm256_fnmadd_pd(s.a1, s.y1, _mm256_fmadd_pd(s.b0, xh, older));
            s.x2 = s.x1;
            s.x1 = xh;
            s.y2 = s.y1;
            s.y1 = _mm256_add_pd(y, h);
            return y;
        }

        // The side chain of a frame in the low lanes, the low shelf's output of an earlier step
        // (its lanes 0-1) in the high lanes.
        static __m256d input(__m128d side, __m256d y) noexcept {
            return _mm256_insertf128_pd(_mm256_castpd128_pd256(side), _mm256_castpd256_pd128(y), 1);
        }
        static __m256d frame(const double* left, const double* right, int i, __m256d y) noexcept {
            return input(_mm_setr_pd(left[i], right[i]), y);
        }
        // The high lanes' output into frame i.
        static void out(double* left, double* right, int i, __m256d y) noexcept {
            const __m128d high = _mm256_extractf128_pd(y, 1);
            _mm_storel_pd(left + i, high);
            _mm_storeh_pd(right + i, high);
        }

        // The low shelf alone on the first two frames (the high lanes keep their state).
        template <class Noise>
        void lowOnly(const ShelfJob& j, __m256d y[2], Noise noise) noexcept {
            const Quad before = s;
            for (int i = 0; i < j.n && i < 2; ++i)
                y[i] = step(lanes(j.side[0][i], j.side[1][i], 0.0, 0.0), noise(i));
            s = keepLanes<0xC>(s, before);
        }

        // Step i runs the low shelf on frame i and the high shelf on frame i - 2 (two steps
        // apart, the high shelf's input is ready long before it is needed). With one noise run
        // for all four shelves, the high shelf's input with its noise is the low shelf's
        // stored output of two steps before, which the lanes still hold as their second output
        // memory.
        void runShared(const ShelfJob& j) noexcept {
            const int n = j.n;
            double *left = j.side[0], *right = j.side[1];
            const double* h = j.lowNoise[0];
            __m256d first[2];
            lowOnly(j, first, [&](int i) { return _mm256_set1_pd(h[i]); });
            for (int i = 2; i < n; ++i) {
                const __m128d now = _mm_loaddup_pd(h + i);
                const __m256d noise =
                    _mm256_insertf128_pd(_mm256_castpd128_pd256(now), _mm_loaddup_pd(h + i - 2), 1);
                const __m128d low = _mm_add_pd(_mm_setr_pd(left[i], right[i]), now);
                out(left, right, i - 2, stepWithNoise(input(low, s.y2), noise));
            }
            // The high shelf alone on the last two frames (the low lanes keep their state), on
            // the low shelf's stored outputs of frames n - 2 and n - 1.
            const __m256d lastTwo[2] = {s.y2, s.y1};
            const Quad lowDone = s;
            for (int f = n < 2 ? 0 : n - 2; f < n; ++f)
                out(left, right, f,
                    stepWithNoise(input(_mm_setzero_pd(), lastTwo[f - (n - 2)]),
                                  _mm256_set1_pd(h[f])));
            s = keepLanes<0x3>(s, lowDone);
        }

        // The same with a noise run per shelf: the high shelf's input takes its own noise.
        void run(const ShelfJob& j) noexcept {
            const int n = j.n;
            double *left = j.side[0], *right = j.side[1];
            const auto noise = [&](int low, int high) {
                return lanes(j.lowNoise[0][low], j.lowNoise[1][low], j.highNoise[0][high],
                             j.highNoise[1][high]);
            };
            __m256d y[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
            lowOnly(j, y, [&](int i) { return noise(i, i); });
            int i = 2;
            for (; i + 2 <= n; i += 2) {
                y[0] = step(frame(left, right, i, y[0]), noise(i, i - 2));
                out(left, right, i - 2, y[0]);
                y[1] = step(frame(left, right, i + 1, y[1]), noise(i + 1, i - 1));
                out(left, right, i - 1, y[1]);
            }
            if (i < n) {
                y[0] = step(frame(left, right, i, y[0]), noise(i, i - 2));
                out(left, right, i - 2, y[0]);
                // The next frame's low output is in y[0], the one after it in y[1].
                std::swap(y[0], y[1]);
                ++i;
            }
            // The high shelf alone on the last two frames (the low lanes keep their state).
            const Quad lowDone = s;
            for (int f = i - 2; f < n; ++f) {
                const __m256d h = lanes(0.0, 0.0, j.highNoise[0][f], j.highNoise[1][f]);
                out(left, right, f, step(input(_mm_setzero_pd(), y[(f - (i - 2)) & 1]), h));
            }
            s = keepLanes<0x3>(s, lowDone);
        }

        void finish(const ShelfJob& j) const noexcept {
            const auto coefficient = [&](__m256d v, double C::*c) {
                split(v, j.low[0]->current.*c, j.low[1]->current.*c, j.high[0]->current.*c,
                      j.high[1]->current.*c);
            };
            const auto memory = [&](__m256d v, double M::*m) {
                split(v, j.low[0]->memories.*m, j.low[1]->memories.*m, j.high[0]->memories.*m,
                      j.high[1]->memories.*m);
            };
            coefficient(s.b0, &C::b0);
            coefficient(s.b1, &C::b1);
            coefficient(s.b2, &C::b2);
            coefficient(s.a1, &C::a1);
            coefficient(s.a2, &C::a2);
            memory(s.x1, &M::x1);
            memory(s.x2, &M::x2);
            memory(s.y1, &M::y1);
            memory(s.y2, &M::y2);
        }
    };

    static void shelves(ShelfJob& j) noexcept {
        if (j.n <= 0) return;
        const double* h = j.lowNoise[0];
        const bool shared = j.lowNoise[1] == h && j.highNoise[0] == h && j.highNoise[1] == h;
        if constexpr (kWide == 4) {
            SkewedShelves skewed(j);
            if (shared)
                skewed.runShared(j);
            else
                skewed.run(j);
            skewed.finish(j);
        } else {
            if (StackedShelves::fits(j, shared)) {
                StackedShelves stacked(j);
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

    // Stereo link: sqrt(l^2 + r^2) * 0.7071 (fused where the build fuses, in the body and the
    // tail alike).
    static void link(const double* left, const double* right, int n, double* linked) noexcept {
        const Wide scale(0.7071);
        int k = 0;
        for (; k + kWide <= n; k += kWide) {
            const Wide l = Wide::load_aligned(left + k), r = Wide::load_aligned(right + k);
            (xsimd::sqrt(xsimd::fma(l, l, r * r)) * scale).store_aligned(linked + k);
        }
        for (; k < n; ++k) {
            const Pair l(left[k]), r(right[k]);
            double ignored;
            store(xsimd::sqrt(mulAdd(l, l, r * r)) * Pair(0.7071), linked[k], ignored);
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
