// The chunk kernels of ChunkKernels.h as templates on the vector architecture, included by the
// one source file of each instruction set and instantiated there. Everything here has internal
// linkage (an unnamed namespace), so each build keeps its own code; only the tables the
// including file defines are visible outside it.
//
// Lane layout: `Pair` holds left and right; `Wide` is the widest vector of the build and runs the
// stages without recursion over the chunk.
#pragma once

#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <xsimd/xsimd.hpp>

#include "dsp/NoiseKernel.h"
#include "dsp/VectorMath.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/GainComputer.h"
#include "tinypress/Meters.h"
#include "tinypress/SignalPath.h"

namespace tinypress {
namespace {

// kFused: the pair vectors fuse multiply and add (the 128-bit form of the AVX2 build; xsimd
// offers fused operations only on the widest vectors of a build).
template <class PairArch, class WideArch, bool kFused>
struct Kernels {
    using Pair = xsimd::batch<double, PairArch>;
    using Wide = xsimd::batch<double, WideArch>;
    static_assert(Pair::size == 2, "one lane per channel");
    static constexpr int kWide = static_cast<int>(Wide::size);

    static Pair pair(double left, double right) noexcept { return Pair({left, right}); }

    // a b + c and c - a b.
    static Pair mulAdd(const Pair& a, const Pair& b, const Pair& c) noexcept {
        if constexpr (kFused)
            return Pair(_mm_fmadd_pd(a, b, c));
        else
            return a * b + c;
    }
    static Pair mulSub(const Pair& a, const Pair& b, const Pair& c) noexcept {
        if constexpr (kFused)
            return Pair(_mm_fnmadd_pd(a, b, c));
        else
            return c - a * b;
    }

    static void store(const Pair& v, double& left, double& right) noexcept {
        alignas(16) double lanes[2];
        v.store_aligned(lanes);
        left = lanes[0];
        right = lanes[1];
    }

    // Biquad state of both lanes in registers.
    struct Coefficients {
        Pair b0, b1, b2, a1, a2;
    };
    struct Memories {
        Pair x1, x2, y1, y2;
    };

    static Coefficients loadCoefficients(const qrx::dsp::BiquadCoefficients& l,
                                         const qrx::dsp::BiquadCoefficients& r) noexcept {
        return {pair(l.b0, r.b0), pair(l.b1, r.b1), pair(l.b2, r.b2), pair(l.a1, r.a1),
                pair(l.a2, r.a2)};
    }
    static void storeCoefficients(const Coefficients& c, qrx::dsp::BiquadCoefficients& l,
                                  qrx::dsp::BiquadCoefficients& r) noexcept {
        store(c.b0, l.b0, r.b0);
        store(c.b1, l.b1, r.b1);
        store(c.b2, l.b2, r.b2);
        store(c.a1, l.a1, r.a1);
        store(c.a2, l.a2, r.a2);
    }
    static Memories loadMemories(const qrx::dsp::BiquadMemories& l,
                                 const qrx::dsp::BiquadMemories& r) noexcept {
        return {pair(l.x1, r.x1), pair(l.x2, r.x2), pair(l.y1, r.y1), pair(l.y2, r.y2)};
    }
    static void storeMemories(const Memories& m, qrx::dsp::BiquadMemories& l,
                              qrx::dsp::BiquadMemories& r) noexcept {
        store(m.x1, l.x1, r.x1);
        store(m.x2, l.x2, r.x2);
        store(m.y1, l.y1, r.y1);
        store(m.y2, l.y2, r.y2);
    }

    // y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, summed in that order.
    // The fused build takes the newest output last, which shortens the chain from one sample's
    // output to the next to a single fused operation.
    static Pair biquad(const Coefficients& c, const Memories& m, const Pair& x) noexcept {
        const Pair forward = mulAdd(c.b2, m.x2, mulAdd(c.b1, m.x1, c.b0 * x));
        if constexpr (kFused) return mulSub(c.a1, m.y1, mulSub(c.a2, m.y2, forward));
        return mulSub(c.a2, m.y2, mulSub(c.a1, m.y1, forward));
    }

    // ---- output ----

    // Engine samples out, left to the vectoriser.
    static void writeFloats(const double* from, int n, float* to) noexcept {
        for (int k = 0; k < n; ++k) to[k] = static_cast<float>(from[k]);
    }

    // Whole vectors of four frames in the AVX2 build (the buffers hold kChunk samples), the
    // rest one by one.
    static void spreadNoise(const double* values, int n, double* mainLeft, double* mainRight,
                            double* offsets) noexcept {
        int k = 0;
        if constexpr (kWide == 4) {
            for (; k + 4 <= n; k += 4) {
                // (m0 n0 m1 n1) and (m2 n2 m3 n3) into (m0 m1 m2 m3) and (n0 n1 n2 n3).
                const __m256d a = _mm256_loadu_pd(values + 2 * k);
                const __m256d b = _mm256_loadu_pd(values + 2 * k + 4);
                const __m256d m = _mm256_permute4x64_pd(_mm256_unpacklo_pd(a, b), 0xD8);
                const __m256d h = _mm256_permute4x64_pd(_mm256_unpackhi_pd(a, b), 0xD8);
                _mm256_storeu_pd(mainLeft + k, _mm256_add_pd(_mm256_loadu_pd(mainLeft + k), m));
                _mm256_storeu_pd(mainRight + k, _mm256_add_pd(_mm256_loadu_pd(mainRight + k), m));
                _mm256_storeu_pd(offsets + k, h);
            }
        }
        for (; k < n; ++k) {
            mainLeft[k] += values[2 * k];
            mainRight[k] += values[2 * k];
            offsets[k] = values[2 * k + 1];
        }
    }

    // ---- anti-denormal noise ----

    // The shared noise runs (dsp/NoiseKernel.h) of this build's instruction set.
    static constexpr qrx::dsp::InstructionSet kNoiseSet =
        kFused ? qrx::dsp::InstructionSet::Avx2Fma : qrx::dsp::InstructionSet::Baseline;

    static void noise(std::uint32_t words[3], double scale, int count, double* to) noexcept {
        qrx::dsp::DenormalNoise::Words w{words[0], words[1], words[2]};
        qrx::dsp::noiseValues(kNoiseSet, w, scale, count, to);
        words[0] = w.s1;
        words[1] = w.s2;
        words[2] = w.s3;
    }

    // 2n values of generator a and n of generator b, stepped in one pass.
    static void noisePair(std::uint32_t a[3], double scaleA, double* toA, std::uint32_t b[3],
                          double scaleB, double* toB, int n) noexcept {
        qrx::dsp::DenormalNoise::Words wa{a[0], a[1], a[2]}, wb{b[0], b[1], b[2]};
        double* const runA[1] = {toA};
        qrx::dsp::noiseFrames(kNoiseSet, wa, scaleA, 2, 1, runA, wb, scaleB, toB, n);
        a[0] = wa.s1;
        a[1] = wa.s2;
        a[2] = wa.s3;
        b[0] = wb.s1;
        b[1] = wb.s2;
        b[2] = wb.s3;
    }

    // ---- side-chain shelves ----

    // Every coefficient glides toward its target: c + h + (t - c) rate. The fused build takes it
    // as c (1 - rate) + (t rate + h), one fused operation on the coefficient's own chain.
    struct Glide {
        Coefficients target, targetRate;
        Pair rate, keep;
    };
    static Glide glideOf(const qrx::dsp::BiquadCoefficients& t, double rate) noexcept {
        const auto scaled = [&](double v) { return Pair(v * rate); };
        return {loadCoefficients(t, t),
                {scaled(t.b0), scaled(t.b1), scaled(t.b2), scaled(t.a1), scaled(t.a2)},
                Pair(rate),
                Pair(1.0 - rate)};
    }
    static Pair glide(const Pair& c, const Pair& t, const Pair& tr, const Pair& h,
                      const Glide& g) noexcept {
        if constexpr (kFused) return mulAdd(c, g.keep, tr + h);
        return mulAdd(t - c, g.rate, c + h);
    }
    static void glideAll(Coefficients& c, const Glide& g, const Pair& h) noexcept {
        const Coefficients &t = g.target, &tr = g.targetRate;
        c.b0 = glide(c.b0, t.b0, tr.b0, h, g);
        c.b1 = glide(c.b1, t.b1, tr.b1, h, g);
        c.b2 = glide(c.b2, t.b2, tr.b2, h, g);
        c.a1 = glide(c.a1, t.a1, tr.a1, h, g);
        c.a2 = glide(c.a2, t.a2, tr.a2, h, g);
    }
    // One biquad sample on input x (with its offset), storing the output plus `after`.
    static Pair biquadStep(const Coefficients& c, Memories& m, const Pair& x,
                           const Pair& after) noexcept {
        const Pair y = biquad(c, m, x);
        m.x2 = m.x1;
        m.x1 = x;
        m.y2 = m.y1;
        m.y1 = y + after;
        return y;
    }
    // One gliding biquad sample (the shared filter's step, both lanes at once).
    static Pair glidingStep(const Pair& x, const Glide& g, Coefficients& c, Memories& m,
                            const Pair& h) noexcept {
        glideAll(c, g, h);
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
              lowGlide(glideOf(*job.lowTarget, job.rate)),
              highGlide(glideOf(*job.highTarget, job.rate)),
              low(loadCoefficients(job.low[0]->current, job.low[1]->current)),
              high(loadCoefficients(job.high[0]->current, job.high[1]->current)),
              lowM(loadMemories(job.low[0]->memories, job.low[1]->memories)),
              highM(loadMemories(job.high[0]->memories, job.high[1]->memories)) {}

        // shared: all four shelves take one noise run (their generators agree).
        template <bool shared>
        [[gnu::always_inline]] void step(int k) noexcept {
            const Pair hLow =
                shared ? Pair(j.lowNoise[0][k]) : pair(j.lowNoise[0][k], j.lowNoise[1][k]);
            const Pair hHigh = shared ? hLow : pair(j.highNoise[0][k], j.highNoise[1][k]);
            const Pair x = glidingStep(pair(j.side[0][k], j.side[1][k]), lowGlide, low, lowM, hLow);
            store(glidingStep(x, highGlide, high, highM, hHigh), j.side[0][k], j.side[1][k]);
        }

        void finish() noexcept {
            storeCoefficients(low, j.low[0]->current, j.low[1]->current);
            storeCoefficients(high, j.high[0]->current, j.high[1]->current);
            storeMemories(lowM, j.low[0]->memories, j.low[1]->memories);
            storeMemories(highM, j.high[0]->memories, j.high[1]->memories);
        }
    };

    // The AVX2 build's shelves: lanes 0-1 run the low shelf (left, right) on frame i while lanes
    // 2-3 run the high shelf on frame i - 1, the low shelf's output of the step before.
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
        Quad s;
        const __m256d keep, tb0, tb1, tb2, ta1, ta2;  // 1 - rate, target * rate

        explicit SkewedShelves(const ShelfJob& j) noexcept
            : keep(_mm256_set1_pd(1.0 - j.rate)),
              tb0(scaled(j, &qrx::dsp::BiquadCoefficients::b0)),
              tb1(scaled(j, &qrx::dsp::BiquadCoefficients::b1)),
              tb2(scaled(j, &qrx::dsp::BiquadCoefficients::b2)),
              ta1(scaled(j, &qrx::dsp::BiquadCoefficients::a1)),
              ta2(scaled(j, &qrx::dsp::BiquadCoefficients::a2)) {
            const auto coefficient = [&](double qrx::dsp::BiquadCoefficients::*c) {
                return lanes(j.low[0]->current.*c, j.low[1]->current.*c, j.high[0]->current.*c,
                             j.high[1]->current.*c);
            };
            const auto memory = [&](double qrx::dsp::BiquadMemories::*m) {
                return lanes(j.low[0]->memories.*m, j.low[1]->memories.*m, j.high[0]->memories.*m,
                             j.high[1]->memories.*m);
            };
            using C = qrx::dsp::BiquadCoefficients;
            using M = qrx::dsp::BiquadMemories;
            s = {coefficient(&C::b0), coefficient(&C::b1), coefficient(&C::b2),
                 coefficient(&C::a1), coefficient(&C::a2), memory(&M::x1),
                 memory(&M::x2),      memory(&M::y1),      memory(&M::y2)};
        }
        static __m256d scaled(const ShelfJob& j, double qrx::dsp::BiquadCoefficients::*c) noexcept {
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
        static __m256d spread(double low, double high) noexcept {
            return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_set1_pd(low)), _mm_set1_pd(high),
                                        1);
        }

        static void out(double* left, double* right, int i, __m256d y) noexcept {
            const __m128d high = _mm256_extractf128_pd(y, 1);
            _mm_storel_pd(left + i, high);
            _mm_storeh_pd(right + i, high);
        }

        // Step i runs the low shelf on frame i and the high shelf on frame i - 2 (two steps
        // apart, the high shelf's input is ready long before it is needed). With one noise run
        // for all four shelves, the high shelf's input with its noise is the low shelf's
        // stored output of two steps before, which the lanes still hold as their second output
        // memory.
        void runShared(ShelfJob& j) noexcept {
            const int n = j.n;
            double *left = j.side[0], *right = j.side[1];
            const double* h = j.lowNoise[0];
            // The low shelf alone on the first two frames (the high lanes keep their state).
            {
                const Quad before = s;
                for (int i = 0; i < n && i < 2; ++i)
                    step(lanes(left[i], right[i], 0.0, 0.0), _mm256_set1_pd(h[i]));
                s = keepLanes<0xC>(s, before);
            }
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
        template <bool shared>
        void run(ShelfJob& j) noexcept {
            const int n = j.n;
            double *left = j.side[0], *right = j.side[1];
            const double* const* lowNoise = j.lowNoise;
            const double* const* highNoise = j.highNoise;
            const auto noise = [&](int low, int high) {
                if constexpr (shared) return spread(lowNoise[0][low], lowNoise[0][high]);
                return lanes(lowNoise[0][low], lowNoise[1][low], highNoise[0][high],
                             highNoise[1][high]);
            };
            const auto out = [&](int i, __m256d y) {
                const __m128d high = _mm256_extractf128_pd(y, 1);
                _mm_storel_pd(left + i, high);
                _mm_storeh_pd(right + i, high);
            };
            // The low shelf alone on the first two frames (the high lanes keep their state).
            const int first = n < 2 ? n : 2;
            __m256d y[2] = {_mm256_setzero_pd(), _mm256_setzero_pd()};
            {
                const Quad before = s;
                for (int i = 0; i < first; ++i)
                    y[i] = step(lanes(left[i], right[i], 0.0, 0.0), noise(i, i));
                s = keepLanes<0xC>(s, before);
            }
            int i = 2;
            for (; i + 2 <= n; i += 2) {
                y[0] = step(input(_mm_setr_pd(left[i], right[i]), y[0]), noise(i, i - 2));
                out(i - 2, y[0]);
                y[1] =
                    step(input(_mm_setr_pd(left[i + 1], right[i + 1]), y[1]), noise(i + 1, i - 1));
                out(i - 1, y[1]);
            }
            if (i < n) {
                y[0] = step(input(_mm_setr_pd(left[i], right[i]), y[0]), noise(i, i - 2));
                out(i - 2, y[0]);
                // The next frame's low output is in y[0], the one after it in y[1].
                std::swap(y[0], y[1]);
                ++i;
            }
            // The high shelf alone on the last two frames (the low lanes keep their state).
            const Quad lowDone = s;
            for (int f = i - 2; f < n; ++f) {
                const __m256d h = shared ? _mm256_set1_pd(lowNoise[0][f])
                                         : lanes(0.0, 0.0, highNoise[0][f], highNoise[1][f]);
                const int at = (f - (i - 2)) & 1;
                out(f, step(input(_mm_setzero_pd(), y[at]), h));
            }
            s = keepLanes<0x3>(s, lowDone);
        }

        void finish(ShelfJob& j) const noexcept {
            using C = qrx::dsp::BiquadCoefficients;
            using M = qrx::dsp::BiquadMemories;
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
                skewed.template run<false>(j);
            skewed.finish(j);
            return;
        }
        ShelfLoop loop(j);
        if (shared)
            for (int k = 0; k < j.n; ++k) loop.template step<true>(k);
        else
            for (int k = 0; k < j.n; ++k) loop.template step<false>(k);
        loop.finish();
    }

    // ---- stereo link ----

    static void link(const double* left, const double* right, int n, double* linked) noexcept {
        const Wide scale(0.7071);
        int k = 0;
        for (; k + kWide <= n; k += kWide) {
            const Wide l = Wide::load_aligned(left + k), r = Wide::load_aligned(right + k);
            (xsimd::sqrt(l * l + r * r) * scale).store_aligned(linked + k);
        }
        for (; k < n; ++k) {
            const Pair l(left[k]), r(right[k]);
            double ignored;
            store(xsimd::sqrt(l * l + r * r) * Pair(0.7071), linked[k], ignored);
        }
    }

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

    // ---- envelope, gain curve, output ----

    // The envelope in three passes: the normalised level P of both lanes over the whole chunk,
    // the release smoothers (two plain low-passes of P per lane, with alternating offsets;
    // their outputs matter only with auto release), then the envelope frame by frame, which
    // leaves the level v (sqrt(e) with RMS) per lane in the job's gain buffers.

    // P of both lanes side by side (frame i at 2i), over whole vectors.
    static void normalisedLevels(const DynamicsJob& j, int whole, double* p) noexcept {
        const Wide gain2(j.settings->thresholdGain), two(2.0), floor(kDetectorFloor);
        const bool rms = j.settings->rms != 0;
        const auto level = [&](int c, int i) {
            const Wide v = xsimd::fma(Wide::load_unaligned(j.level[c] + i) * gain2, two, floor);
            return rms ? v * v : v;
        };
        for (int i = 0; i < whole; i += kWide) interleave(level(0, i), level(1, i), p + 2 * i);
    }

    // The smoothers on both lanes with the offsets of even frames (the chunk's first frame
    // flips the offset it starts with) or of odd frames; frame() gives the fast and slow outputs.
    struct PairSmoothers {
        EnvelopeState &left, &right;
        const Coefficients fc, sc;
        Memories fm, sm;
        const Pair fastOdd, slowOdd, fastEven, slowEven;

        PairSmoothers(EnvelopeState& l, EnvelopeState& r, const qrx::dsp::BiquadCoefficients& fast,
                      const qrx::dsp::BiquadCoefficients& slow) noexcept
            : left(l),
              right(r),
              fc(loadCoefficients(fast, fast)),
              sc(loadCoefficients(slow, slow)),
              fm(loadMemories(l.fast, r.fast)),
              sm(loadMemories(l.slow, r.slow)),
              fastOdd(pair(l.fastOffset, r.fastOffset)),
              slowOdd(pair(l.slowOffset, r.slowOffset)),
              fastEven(-fastOdd),
              slowEven(-slowOdd) {}

        template <bool even>
        [[gnu::always_inline]] void frame(const double* p, int i, Pair& f, Pair& sl) noexcept {
            const Pair x = Pair::load_aligned(p + 2 * i);
            f = biquadStep(fc, fm, x + (even ? fastEven : fastOdd), even ? fastOdd : fastEven);
            sl = biquadStep(sc, sm, x + (even ? slowEven : slowOdd), even ? slowOdd : slowEven);
        }

        [[gnu::always_inline]] void finish(int n) noexcept {
            storeMemories(fm, left.fast, right.fast);
            storeMemories(sm, left.slow, right.slow);
            // The offsets of the last frame.
            store(n % 2 ? fastEven : fastOdd, left.fastOffset, right.fastOffset);
            store(n % 2 ? slowEven : slowOdd, left.slowOffset, right.slowOffset);
        }
    };

    // The AVX2 build's smoothers in one vector: fast left, fast right, slow left, slow right.
    // As in the gain meters, the feedback runs on the raw outputs and takes the offsets on the
    // stored outputs as constants, so one output leads to the next in a single fused step.
    struct QuadSmoothers {
        EnvelopeState &left, &right;
        __m256d b0, b1, b2, a1, a2, odd, even, feedbackEven, feedbackOdd;
        __m256d x1, x2, r1, r2;  // input memories, raw outputs

        QuadSmoothers(EnvelopeState& l, EnvelopeState& r, const qrx::dsp::BiquadCoefficients& fast,
                      const qrx::dsp::BiquadCoefficients& slow) noexcept
            : left(l), right(r) {
            using C = qrx::dsp::BiquadCoefficients;
            using M = qrx::dsp::BiquadMemories;
            const auto coefficient = [&](double C::*c) {
                return _mm256_setr_pd(fast.*c, fast.*c, slow.*c, slow.*c);
            };
            const auto memory = [&](double M::*m) {
                return _mm256_setr_pd(l.fast.*m, r.fast.*m, l.slow.*m, r.slow.*m);
            };
            b0 = coefficient(&C::b0);
            b1 = coefficient(&C::b1);
            b2 = coefficient(&C::b2);
            a1 = coefficient(&C::a1);
            a2 = coefficient(&C::a2);
            odd = _mm256_setr_pd(l.fastOffset, r.fastOffset, l.slowOffset, r.slowOffset);
            even = _mm256_sub_pd(_mm256_setzero_pd(), odd);
            const __m256d share = _mm256_sub_pd(a1, a2);
            feedbackEven = _mm256_mul_pd(share, odd);
            feedbackOdd = _mm256_mul_pd(share, even);
            x1 = memory(&M::x1);
            x2 = memory(&M::x2);
            r1 = _mm256_add_pd(memory(&M::y1), odd);
            r2 = _mm256_sub_pd(memory(&M::y2), odd);
        }

        template <bool evenFrame>
        [[gnu::always_inline]] void frame(const double* p, int i, Pair& f, Pair& sl) noexcept {
            const __m256d x = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(p + 2 * i));
            const __m256d xo = _mm256_add_pd(x, evenFrame ? even : odd);
            const __m256d forward = _mm256_fmadd_pd(
                b2, x2,
                _mm256_fmadd_pd(b1, x1,
                                _mm256_fmadd_pd(b0, xo, evenFrame ? feedbackEven : feedbackOdd)));
            const __m256d y = _mm256_fnmadd_pd(a1, r1, _mm256_fnmadd_pd(a2, r2, forward));
            x2 = x1;
            x1 = xo;
            r2 = r1;
            r1 = y;
            f = Pair(_mm256_castpd256_pd128(y));
            sl = Pair(_mm256_extractf128_pd(y, 1));
        }

        [[gnu::always_inline]] void finish(int n) noexcept {
            using M = qrx::dsp::BiquadMemories;
            alignas(32) double v[4];
            const auto save = [&](__m256d from, double M::*m) {
                _mm256_storeu_pd(v, from);
                left.fast.*m = v[0];
                right.fast.*m = v[1];
                left.slow.*m = v[2];
                right.slow.*m = v[3];
            };
            save(x1, &M::x1);
            save(x2, &M::x2);
            // The stored outputs carry the offset of the frame before theirs.
            save(_mm256_add_pd(r1, n % 2 ? odd : even), &M::y1);
            save(_mm256_add_pd(r2, n % 2 ? even : odd), &M::y2);
            // The offsets of the last frame.
            _mm256_storeu_pd(v, n % 2 ? even : odd);
            left.fastOffset = v[0];
            right.fastOffset = v[1];
            left.slowOffset = v[2];
            right.slowOffset = v[3];
        }
    };

    // The make-up and output states glide toward their targets by this share per frame.
    static constexpr double kGlide = 0.001;

    // The smoothers and the envelope frame by frame, two frames per round (the smoothers'
    // offsets take their two signs in turn); the two recursions run side by side. Each frame
    // leaves the level v (sqrt(e) with RMS) of both lanes in the job's gain buffers.
    //
    // The AVX2 build also steps the make-up (left lane) and output (right lane) glides here,
    // M <- M (1 - glide) + (target glide + n) per frame: a recursion apart from the envelope's,
    // so it runs in that one's shadow, and frame by frame, so its rounding does not depend on
    // where a chunk starts. Each frame leaves both states in `glides`.
    template <bool autoRelease, bool rms>
    struct EnvelopeLoop {
        using Smoothers = std::conditional_t<kWide == 4, QuadSmoothers, PairSmoothers>;
        DynamicsJob& j;
        const double* p;
        double *level0, *level1;  // the job's gain buffers
        double* glides;           // (make-up, output) per frame
        Smoothers smoothers;
        const Pair attack, release, floor, keepAttack, fixedKeep;
        const Pair glideKeep, glideTargets;
        Pair e, glide;

        EnvelopeLoop(DynamicsJob& job, const double* levels, double* glideStates) noexcept
            : j(job),
              p(levels),
              level0(job.gain[0]),
              level1(job.gain[1]),
              glides(glideStates),
              smoothers(*job.envelope[0], *job.envelope[1], job.settings->releaseFast,
                        job.settings->releaseSlow),
              attack(job.settings->attackCoefficient),
              release(job.settings->releaseCoefficient),
              floor(kEnvelopeFloor),
              keepAttack(1.0 - job.settings->attackCoefficient),
              fixedKeep(1.0 - job.settings->releaseCoefficient),
              glideKeep(1.0 - kGlide),
              glideTargets(
                  pair(job.settings->makeupTarget * kGlide, job.settings->outputTarget * kGlide)),
              e(pair(job.envelope[0]->envelope, job.envelope[1]->envelope)),
              glide(pair(job.makeup, job.output)) {}

        template <bool even>
        [[gnu::always_inline]] void frame(int i) noexcept {
            Pair f, sl;
            smoothers.template frame<even>(p, i, f, sl);
            Pair releaseNow = release;
            if constexpr (autoRelease) {
                const Pair smootherFloor(kSmootherFloor);
                f = xsimd::select(f > smootherFloor, f, smootherFloor);
                sl = xsimd::select(sl > smootherFloor, sl, smootherFloor);
                const Pair ratio = Pair(0.5) * f / sl;
                releaseNow = release * (Pair(2.0) * ratio / (ratio + Pair(1.0)) + Pair(0.1));
            }
            const Pair pi = Pair::load_aligned(p + 2 * i);
            if constexpr (kFused) {
                // e + (P - e) k as e (1 - k) + k P, both ways at once: one fused step from
                // frame to frame.
                const Pair keepRelease = autoRelease ? Pair(1.0) - releaseNow : fixedKeep;
                const Pair rising = mulAdd(e, keepAttack, attack * pi);
                const Pair falling = mulAdd(e, keepRelease, releaseNow * pi);
                e = xsimd::select(pi > e, rising, falling);
            } else {
                const Pair coefficient = xsimd::select(pi > e, attack, releaseNow);
                e = mulAdd(pi - e, coefficient, e);
            }
            e = xsimd::max(e, floor);  // e > floor ? e : floor
            store(rms ? xsimd::sqrt(e) : e, level0[i], level1[i]);
            if constexpr (kWide == 4) {
                glide = mulAdd(glide, glideKeep, glideTargets + Pair(j.noise[i]));
                glide.store_aligned(glides + 2 * i);
            }
        }

        void run() noexcept {
            const int n = j.n;
            int i = 0;
            for (; i + 2 <= n; i += 2) {
                frame<true>(i);
                frame<false>(i + 1);
            }
            if (i < n) frame<true>(i);
            smoothers.finish(n);
            store(e, j.envelope[0]->envelope, j.envelope[1]->envelope);
            if constexpr (kWide == 4) store(glide, j.makeup, j.output);
        }
    };

    // v^p for v >= 1e-4 (the envelope floor) and p = 1/R in [1/64, 2]: 2^(p log2 v), with
    // shorter series than the general exp2 and log2 of dsp/VectorMath.h. log2 v: v sqrt(2) =
    // w 2^e with w in [1, 2), so v = (w / sqrt(2)) 2^e and ln(w / sqrt(2)) = 2 (s + s^3/3 + ... +
    // s^13/13) in s = (w - sqrt(2))/(w + sqrt(2)), |s| < 0.1716 (remainder below 5e-13, so
    // p log2 v is off by less than 2e-12; the product v sqrt(2) adds one rounding). 2^x: x = n + f
    // with |f| <= 0.5, 2^f from its Taylor series in f ln 2 to degree 10 (remainder below 3e-13).
    // The gain is off by less than 3e-12 of itself.
    static Wide power(const Wide& v, const Wide& p) noexcept {
        using U = xsimd::batch<std::uint64_t, WideArch>;
        const Wide root2(1.4142135623730950488);
        const U bits = xsimd::bitwise_cast<U>(v * root2);
        // w: the mantissa with the exponent of 1.0; e through the bits of 2^52 + e.
        const Wide w =
            xsimd::bitwise_cast<Wide>((bits & U(0x000FFFFFFFFFFFFFull)) | U(0x3FF0000000000000ull));
        const Wide e = xsimd::bitwise_cast<Wide>((bits >> 52) | U(0x4330000000000000ull)) -
                       Wide(4503599627370496.0 + 1023.0);
        const Wide s = (w - root2) / (w + root2);
        // 1/(2k + 1) for k = 6 .. 0.
        constexpr double kSeries[] = {1.0 / 13.0, 1.0 / 11.0, 1.0 / 9.0, 1.0 / 7.0,
                                      1.0 / 5.0,  1.0 / 3.0,  1.0};
        const Wide log2v = xsimd::fma(s * qrx::dsp::vmath::polynomial(s * s, kSeries),
                                      Wide(2.8853900817779268147), e);

        const Wide x = xsimd::min(xsimd::max(p * log2v, Wide(-1020.0)), Wide(1020.0));
        const Wide n = xsimd::nearbyint(x);
        const Wide f = (x - n) * Wide(0.6931471805599453094);
        // 1/k! for k = 10 .. 0.
        constexpr double kTaylor[] = {
            1.0 / 3628800.0, 1.0 / 362880.0, 1.0 / 40320.0, 1.0 / 5040.0, 1.0 / 720.0, 1.0 / 120.0,
            1.0 / 24.0,      1.0 / 6.0,      0.5,           1.0,          1.0};
        // 2^n straight into the exponent bits (n + 1023 in the low bits of a double near
        // 1.5 2^52).
        const U scale = xsimd::bitwise_cast<U>(n + Wide(1023.0 + 6755399441055744.0)) << 52;
        return qrx::dsp::vmath::polynomial(f, kTaylor) * xsimd::bitwise_cast<Wide>(scale);
    }

    // Whether any of n values (a whole number of vectors) reaches `from`.
    static bool reaches(const double* v, int n, double from) noexcept {
        Wide m = Wide::load_aligned(v);
        for (int k = kWide; k < n; k += kWide) m = xsimd::max(m, Wide::load_aligned(v + k));
        return xsimd::any(m >= Wide(from));
    }

    // g = y(v) / (v + 1e-6) over the chunk, in place. The power runs over the whole chunk when
    // any value reaches its range (one decision per chunk, not one per vector), and not at all
    // at ratio 1, where v^1 is v.
    static void gainCurve(const EngineSettings& s, double* v, int n) noexcept {
        const double p = s.inverseRatio;
        const Wide pw(p), tiny(1e-6);
        if (!s.softKnee) {
            const Wide one(1.0);
            if (p == 1.0 || !reaches(v, n, 1.0)) {
                for (int k = 0; k < n; k += kWide) {
                    const Wide x = Wide::load_aligned(v + k);
                    (x / (x + tiny)).store_aligned(v + k);
                }
                return;
            }
            for (int k = 0; k < n; k += kWide) {
                const Wide x = Wide::load_aligned(v + k);
                const Wide y = xsimd::select(x > one, power(x, pw), x);
                (y / (x + tiny)).store_aligned(v + k);
            }
            return;
        }
        // Catmull-Rom through (-0.5, 0.5, 1.5^p, 2.5^p) at t = v - 0.5.
        constexpr double p0 = -0.5, p1 = 0.5;
        const double p2 = s.kneeLowY, p3 = s.kneeHighY;
        const Wide c0(p1), c1(0.5 * p2 - 0.5 * p0), c2(p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3),
            c3(0.5 * p3 + 1.5 * p1 - 0.5 * p0 - 1.5 * p2);
        const Wide half(0.5), kneeTop(1.5);
        const bool powers = p != 1.0 && reaches(v, n, 1.5);
        for (int k = 0; k < n; k += kWide) {
            const Wide x = Wide::load_aligned(v + k);
            const Wide t = x - half;
            const Wide t2 = t * t;
            Wide y = c0 + t * c1 + t2 * c2 + t2 * t * c3;
            y = xsimd::select(x >= kneeTop, powers ? power(x, pw) : x, y);
            y = xsimd::select(x <= half, x, y);
            (y / (x + tiny)).store_aligned(v + k);
        }
    }

    static void dynamics(DynamicsJob& j) noexcept {
        const int n = j.n;
        if (n <= 0) return;
        const EngineSettings& s = *j.settings;
        const int whole = (n + kWide - 1) / kWide * kWide;
        alignas(64) double p[2 * kChunk];
        alignas(64) double glides[2 * kChunk];
        normalisedLevels(j, whole, p);
        const bool rms = s.rms != 0;
        if (s.autoRelease) {
            if (rms)
                EnvelopeLoop<true, true>(j, p, glides).run();
            else
                EnvelopeLoop<true, false>(j, p, glides).run();
        } else {
            if (rms)
                EnvelopeLoop<false, true>(j, p, glides).run();
            else
                EnvelopeLoop<false, false>(j, p, glides).run();
        }
        gainAndOutput(j, glides);
    }

    // The gain curve over the envelope levels the envelope left in the gain buffers, the make-up
    // and output states (in the AVX2 build those the envelope loop left in `glides`), and the
    // output.
    static void gainAndOutput(DynamicsJob& j, double* glides) noexcept {
        const EngineSettings& s = *j.settings;
        const int n = j.n;
        // The gain curve runs over whole vectors; the buffers hold kChunk samples.
        const int whole = (n + kWide - 1) / kWide * kWide;
        gainCurve(s, j.gain[0], whole);
        if (j.lanesAgree)
            j.gain[1] = j.gain[0];
        else
            gainCurve(s, j.gain[1], whole);

        // Make-up and output states glide toward their targets with the offset n.
        const double autoMakeup = s.autoMakeup ? s.autoMakeupGain : 1.0;
        alignas(64) double after[kChunk];
        if constexpr (kWide == 4) {
            spreadGlides(j, glides, autoMakeup, whole, after);
        } else {
            double m = j.makeup, o = j.output;
            for (int k = 0; k < n; ++k) {
                const double nk = j.noise[k];
                m = m + (s.makeupTarget - m) * kGlide + nk;
                o = o + (s.outputTarget - o) * kGlide + nk;
                after[k] = m * autoMakeup * o;
                j.outGain[k] = o;
            }
            j.makeup = m;
            j.output = o;
        }
        for (int c = 0; c < 2; ++c) {
            const double* main = j.main[c];
            const double* g = j.gain[c];
            double* out = j.out[c];
            for (int k = 0; k < whole; k += kWide)
                (Wide::load_aligned(main + k) * Wide::load_aligned(g + k) *
                 Wide::load_aligned(after + k))
                    .store_aligned(out + k);
        }
    }

    // The AVX2 build's glide states, (make-up, output) per frame, into the output gains O and the
    // products M A O, four frames at a time; the frames past n take the last frame's states.
    static void spreadGlides(DynamicsJob& j, double* glides, double autoMakeup, int whole,
                             double* after) noexcept {
        for (int k = j.n; k < whole; ++k) {
            glides[2 * k] = glides[2 * (j.n - 1)];
            glides[2 * k + 1] = glides[2 * (j.n - 1) + 1];
        }
        const __m256d gain = _mm256_set1_pd(autoMakeup);
        for (int k = 0; k < whole; k += 4) {
            const __m256d a = _mm256_load_pd(glides + 2 * k);
            const __m256d b = _mm256_load_pd(glides + 2 * k + 4);
            // (m0 o0 m1 o1), (m2 o2 m3 o3) -> (m0 m1 m2 m3), (o0 o1 o2 o3)
            const __m256d m = _mm256_permute4x64_pd(_mm256_unpacklo_pd(a, b), 0xD8);
            const __m256d o = _mm256_permute4x64_pd(_mm256_unpackhi_pd(a, b), 0xD8);
            _mm256_storeu_pd(j.outGain + k, o);
            _mm256_store_pd(after + k, _mm256_mul_pd(_mm256_mul_pd(m, gain), o));
        }
    }

    // ---- meters ----

    struct MeterLanes {
        Pair vu, ppm, vuHold, ppmHold, overCount;
        Memories vuMemories;
        Pair vuOffset;
        xsimd::batch_bool<double, PairArch> vuTaken, ppmTaken;
    };

    static MeterLanes loadMeters(const MeterJob& j) noexcept {
        const MeterChannel &l = *j.channel[0], &r = *j.channel[1];
        MeterLanes m;
        m.vu = pair(l.vu, r.vu);
        m.ppm = pair(l.ppm, r.ppm);
        m.vuHold = pair(l.vuHold, r.vuHold);
        m.ppmHold = pair(l.ppmHold, r.ppmHold);
        m.overCount = pair(l.overCount, r.overCount);
        m.vuMemories = loadMemories(l.vuMemories, r.vuMemories);
        m.vuOffset = pair(l.vuOffset, r.vuOffset);
        m.vuTaken = Pair(0.0) != Pair(0.0);
        m.ppmTaken = m.vuTaken;
        return m;
    }

    static void storeMeters(const MeterLanes& m, const MeterJob& j) noexcept {
        MeterChannel &l = *j.channel[0], &r = *j.channel[1];
        store(m.vu, l.vu, r.vu);
        store(m.ppm, l.ppm, r.ppm);
        store(m.vuHold, l.vuHold, r.vuHold);
        store(m.ppmHold, l.ppmHold, r.ppmHold);
        store(m.overCount, l.overCount, r.overCount);
        storeMemories(m.vuMemories, l.vuMemories, r.vuMemories);
        store(m.vuOffset, l.vuOffset, r.vuOffset);
        double vuTaken[2], ppmTaken[2];
        store(Pair(m.vuTaken), vuTaken[0], vuTaken[1]);
        store(Pair(m.ppmTaken), ppmTaken[0], ppmTaken[1]);
        MeterChannel* const channels[2] = {&l, &r};
        for (int c = 0; c < 2; ++c) {
            if (vuTaken[c] != 0.0) channels[c]->vuHoldAge = 0;
            if (ppmTaken[c] != 0.0) channels[c]->ppmHoldAge = 0;
        }
    }

    // The VU low-pass of x (plain biquad with alternating offsets).
    static Pair vuStep(MeterLanes& m, const Coefficients& c, const Pair& x) noexcept {
        const Pair before = m.vuOffset;
        m.vuOffset = -m.vuOffset;
        const Pair xo = x + m.vuOffset;
        const Pair y = biquad(c, m.vuMemories, xo);
        m.vuMemories.x2 = m.vuMemories.x1;
        m.vuMemories.x1 = xo;
        m.vuMemories.y2 = m.vuMemories.y1;
        m.vuMemories.y1 = y + before;
        return y;
    }

    static void signalMeters(const MeterJob& j) noexcept {
        const MeterConstants& k = *j.constants;
        MeterLanes m = loadMeters(j);
        const Coefficients vu = loadCoefficients(k.vuFilter, k.vuFilter);
        const Pair attack(k.ppmAttack), release(k.ppmReturn), scale(k.signalScale);
        const Pair fullScale(1.0 - 1e-9), one(1.0), zero(0.0), overSamples(k.overSamples);
        for (int i = 0; i < j.n; ++i) {
            const Pair x = xsimd::abs(pair(j.value[0][i], j.value[1][i]));
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
        storeMeters(m, j);
    }

    // A gain reading holds new reduction below the held value (down to 0.01) and new expansion
    // above both the held value and 1.
    static void holdGain(const Pair& value, Pair& held,
                         xsimd::batch_bool<double, PairArch>& taken) noexcept {
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
                              const Pair& greatest, Pair& held,
                              xsimd::batch_bool<double, PairArch>& taken) noexcept {
        if (xsimd::all(greatest <= Pair(1.0)) && xsimd::all(least > Pair(0.01))) {
            const auto take = least < held;
            held = xsimd::select(take, least, held);
            taken = taken || take;
            return;
        }
        for (int i = 0; i < n; ++i) holdGain(Pair::load_aligned(readings + 2 * i), held, taken);
    }

    // Two vectors of one channel each as 2 kWide values with the channels side by side.
    static void interleave(const Wide& a, const Wide& b, double* to) noexcept {
        if constexpr (kWide == 4) {
            const __m256d low = _mm256_unpacklo_pd(a, b), high = _mm256_unpackhi_pd(a, b);
            Wide(_mm256_permute2f128_pd(low, high, 0x20)).store_aligned(to);
            Wide(_mm256_permute2f128_pd(low, high, 0x31)).store_aligned(to + 4);
        } else {
            Wide(_mm_unpacklo_pd(a, b)).store_aligned(to);
            Wide(_mm_unpackhi_pd(a, b)).store_aligned(to + 2);
        }
    }

    // The gain meters in three passes: the metered x over the whole chunk at the widest vector,
    // then the recursive parts (VU filter, PPM) frame by frame, then the holds from the chunk's
    // extremes.
    static void gainMeters(const MeterJob& j) noexcept {
        const int n = j.n;
        if (n <= 0) return;
        const MeterConstants& k = *j.constants;
        MeterLanes m = loadMeters(j);
        const int whole = (n + kWide - 1) / kWide * kWide;  // frames in whole vectors

        // x of both channels side by side (frame i at 2i).
        alignas(64) double x[2 * kChunk];
        {
            const Wide mix(k.mix), one(1.0), scale(0.98);
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

        alignas(64) double vu[2 * kChunk], ppm[2 * kChunk];
        GainNeedles needles(k, m);
        if (k.compressing)
            needles.template run<true>(x, j.noise, n, vu, ppm);
        else
            needles.template run<false>(x, j.noise, n, vu, ppm);
        needles.finish(m, x, n);
        Pair least, greatest;
        extremes(vu, n, least, greatest);
        holdGainChunk(vu, n, least, greatest, m.vuHold, m.vuTaken);
        extremes(ppm, n, least, greatest);
        holdGainChunk(ppm, n, least, greatest, m.ppmHold, m.ppmTaken);
        storeMeters(m, j);
    }

    // The recursive part of the gain meters in registers, two frames per round (the VU filter's
    // alternating offset then takes its two signs in turn): the VU filter and the PPM follower;
    // the readings go to vu and ppm (both lanes side by side) and their extremes are kept.
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

        GainNeedles(const MeterConstants& k, const MeterLanes& m) noexcept
            : c(loadCoefficients(k.vuFilter, k.vuFilter)),
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
              ppm(m.ppm) {}

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
            // ppm + n + k (x - ppm) as ppm (1 - k) + (k x + n), both ways at once.
            // Compressing, the needle falls fast with more reduction and returns slowly;
            // expanding, it rises fast.
            const Pair h(noise[i]);
            const Pair fastWay = mulAdd(ppm, keepAttack, mulAdd(attack, xi, h));
            const Pair slowWay = mulAdd(ppm, keepRelease, mulAdd(release, xi, h));
            const auto fast = compressing ? xi < ppm : xi > ppm;
            ppm = xsimd::select(fast, fastWay, slowWay);
            ppm.store_aligned(ppmTo + 2 * i);
        }

        template <bool compressing>
        void run(const double* x, const double* noise, int n, double* vuTo,
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

    // The least and greatest of n pairs of readings (NaN left out).
    static void extremes(const double* readings, int n, Pair& least, Pair& greatest) noexcept {
        Wide low(HUGE_VAL), high(-HUGE_VAL);
        int q = 0;
        for (; q + kWide <= 2 * n; q += kWide) {
            const Wide v = Wide::load_aligned(readings + q);
            low = xsimd::min(v, low);
            high = xsimd::max(v, high);
        }
        if constexpr (kWide == 4) {
            least =
                xsimd::min(Pair(_mm256_castpd256_pd128(low)), Pair(_mm256_extractf128_pd(low, 1)));
            greatest = xsimd::max(Pair(_mm256_castpd256_pd128(high)),
                                  Pair(_mm256_extractf128_pd(high, 1)));
        } else {
            least = Pair(low);
            greatest = Pair(high);
        }
        if (q < 2 * n) {
            const Pair v = Pair::load_aligned(readings + q);
            least = xsimd::min(v, least);
            greatest = xsimd::max(v, greatest);
        }
    }

    static constexpr ChunkKernels table{&noise,        &noisePair, &writeFloats, &spreadNoise,
                                        &shelves,      &link,      &dynamics,    &scale,
                                        &signalMeters, &gainMeters};
};

}  // namespace
}  // namespace tinypress
