// The AVX2 build's shelves (SideChainKernels.h): all four shelves in one 256-bit vector, lanes 0-1
// the low shelf on frame i, lanes 2-3 the high shelf two frames behind, on the low shelf's output
// of two steps before. Its lane moves have no xsimd form, so it is written in intrinsics; it
// takes 43 % fewer instructions than the pair form in the AVX2 build (callgrind, 2 s of the bench
// signal), and half the recursions' latency. A template, instantiated only by the AVX2 build.
// The per-frame reference is qrx::dsp::glidingBiquadStep.
#pragma once

#include <immintrin.h>

#include "tinypress/ChunkKernels.h"

namespace tinypress {
namespace {

// Lanes 0-1 run the low shelf (left, right) on frame i while lanes 2-3 run the high shelf on
// frame i - 2, the low shelf's output of two steps before.
template <class WideArch>
struct SkewedShelves {
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
        const __m256d older =
            _mm256_fnmadd_pd(s.a2, s.y2, _mm256_fmadd_pd(s.b2, s.x2, _mm256_mul_pd(s.b1, s.x1)));
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
                stepWithNoise(input(_mm_setzero_pd(), lastTwo[f - (n - 2)]), _mm256_set1_pd(h[f])));
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

}  // namespace
}  // namespace tinypress
