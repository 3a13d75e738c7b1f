// The limiter's passes built for AVX2 and FMA (this file only; chosen at run time). The envelope
// runs as one loop in which the level averages' recursion and the envelope's own run side by
// side: each frame puts one fused product on the averages' chain and one fused product and a
// blend on the envelope's, and the release speed-up between them is feed-forward.
#include "grandpress/LimiterPassesImpl.h"

namespace grandpress {
namespace {

// The level averages as a pair of lanes (fast, slow), in the plain steps' order of sums and
// products: the slow average's poles sit so close to 1 that any other rounding grows a
// thousandfold through its recursion.
struct Averages {
    __m128d b0, b1, b2, a1, a2;
    __m128d x1, x2, y1, y2;

    [[gnu::always_inline]] inline __m128d step(double mp, __m128d before, __m128d after) noexcept {
        const __m128d x = _mm_add_pd(_mm_set1_pd(mp), after);
        __m128d y = _mm_mul_pd(b0, x);
        y = _mm_add_pd(y, _mm_mul_pd(b1, x1));
        y = _mm_add_pd(y, _mm_mul_pd(b2, x2));
        y = _mm_sub_pd(y, _mm_mul_pd(a1, y1));
        y = _mm_sub_pd(y, _mm_mul_pd(a2, y2));
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = _mm_add_pd(y, before);
        return y;
    }
};

// The falling steps of two frames from their averages y0, y1 (fast, slow each) and peaks mp:
// keep = 1 - f, pull = mp f with f = release * (4 t / (t + 1) + 0.1), t = 0.2 fast / slow, taken
// as 0.8 fast / (0.2 fast + slow): one division for both frames.
struct Falls {
    __m128d keep, pull;
};

[[gnu::always_inline]] inline Falls fallsOf(__m128d y0, __m128d y1, __m128d mp,
                                            __m128d release) noexcept {
    const __m128d fast = _mm_unpacklo_pd(y0, y1);
    const __m128d slow = _mm_max_pd(_mm_unpackhi_pd(y0, y1), _mm_set1_pd(1e-6));
    const __m128d ratio =
        _mm_div_pd(_mm_mul_pd(_mm_set1_pd(0.8), fast), _mm_fmadd_pd(_mm_set1_pd(0.2), fast, slow));
    const __m128d factor = _mm_mul_pd(_mm_add_pd(ratio, _mm_set1_pd(0.1)), release);
    return {_mm_sub_pd(_mm_set1_pd(1.0), factor), _mm_mul_pd(mp, factor)};
}

// One envelope step on the low lanes: rising (keepUp, pullUp) where mp is above e, else falling.
[[gnu::always_inline]] inline __m128d envelopeStep(__m128d e, __m128d mp, __m128d keep,
                                                   __m128d pull, __m128d keepUp,
                                                   __m128d attack) noexcept {
    const __m128d up = _mm_fmadd_sd(e, keepUp, _mm_mul_sd(mp, attack));
    const __m128d down = _mm_fmadd_sd(e, keep, pull);
    return _mm_blendv_pd(down, up, _mm_cmplt_sd(e, mp));
}

// n frames of both lines from `at` on scaled by the gains 1 / e[i] (1 where e[i] is at most 1,
// or NaN) and the ceiling, held inside it: the plain passes' divisions, products and
// comparisons, four frames at a time.
void scaleRun(double* left, double* right, const double* e, int n) noexcept {
    const __m256d one = _mm256_set1_pd(1.0), ceiling = _mm256_set1_pd(kPassCeiling);
    const __m256d floor = _mm256_set1_pd(-kPassCeiling);
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m256d g = _mm256_div_pd(one, _mm256_max_pd(_mm256_loadu_pd(e + i), one));
        const __m256d l = _mm256_mul_pd(_mm256_mul_pd(_mm256_loadu_pd(left + i), g), ceiling);
        const __m256d r = _mm256_mul_pd(_mm256_mul_pd(_mm256_loadu_pd(right + i), g), ceiling);
        _mm256_storeu_pd(left + i, _mm256_min_pd(_mm256_max_pd(l, floor), ceiling));
        _mm256_storeu_pd(right + i, _mm256_min_pd(_mm256_max_pd(r, floor), ceiling));
    }
    for (; i < n; ++i) {
        const double g = 1.0 / larger(e[i], 1.0);
        left[i] = smaller(larger(left[i] * g * kPassCeiling, -kPassCeiling), kPassCeiling);
        right[i] = smaller(larger(right[i] * g * kPassCeiling, -kPassCeiling), kPassCeiling);
    }
}

double envelopeOfPeaks(const double* m, int n, const LimiterLaw& law, double lanes[2][5], double e,
                       double* left, double* right, unsigned first) noexcept {
    const qrx::dsp::BiquadCoefficients &cf = law.fast, &cs = law.slow;
    Averages av = {_mm_setr_pd(cf.b0, cs.b0),
                   _mm_setr_pd(cf.b1, cs.b1),
                   _mm_setr_pd(cf.b2, cs.b2),
                   _mm_setr_pd(cf.a1, cs.a1),
                   _mm_setr_pd(cf.a2, cs.a2),
                   _mm_setr_pd(lanes[0][0], lanes[1][0]),
                   _mm_setr_pd(lanes[0][1], lanes[1][1]),
                   _mm_setr_pd(lanes[0][2], lanes[1][2]),
                   _mm_setr_pd(lanes[0][3], lanes[1][3])};
    // Frames in pairs: the offsets of the two frames are constants.
    __m128d plus = _mm_setr_pd(lanes[0][4], lanes[1][4]);
    const __m128d minus = _mm_xor_pd(plus, _mm_set1_pd(-0.0));
    const __m128d rel = _mm_set1_pd(law.release), att = _mm_set_sd(law.attack);
    const __m128d keepUp = _mm_set_sd(1.0 - law.attack);
    alignas(64) double g[128];
    __m128d ev = _mm_set_sd(e);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const __m128d y0 = av.step(m[i], plus, minus);
        const __m128d y1 = av.step(m[i + 1], minus, plus);
        const __m128d mp = _mm_loadu_pd(m + i);
        const Falls falls = fallsOf(y0, y1, mp, rel);
        const __m128d e0 = envelopeStep(ev, mp, falls.keep, falls.pull, keepUp, att);
        ev = envelopeStep(e0, _mm_unpackhi_pd(mp, mp), _mm_unpackhi_pd(falls.keep, falls.keep),
                          _mm_unpackhi_pd(falls.pull, falls.pull), keepUp, att);
        _mm_store_sd(g + i, e0);
        _mm_store_sd(g + i + 1, ev);
    }
    if (i < n) {
        const __m128d y = av.step(m[i], plus, minus);
        const __m128d mp = _mm_load_sd(m + i);
        const Falls falls = fallsOf(y, y, mp, rel);
        ev = envelopeStep(ev, mp, falls.keep, falls.pull, keepUp, att);
        _mm_store_sd(g + i, ev);
        plus = minus;
    }
    alignas(16) double x1[2], x2[2], y1[2], y2[2], offset[2];
    _mm_store_pd(x1, av.x1);
    _mm_store_pd(x2, av.x2);
    _mm_store_pd(y1, av.y1);
    _mm_store_pd(y2, av.y2);
    _mm_store_pd(offset, plus);
    for (int k = 0; k < 2; ++k) {
        lanes[k][0] = x1[k];
        lanes[k][1] = x2[k];
        lanes[k][2] = y1[k];
        lanes[k][3] = y2[k];
        lanes[k][4] = offset[k];
    }
    // The frames up to the end of the lines, then those from their start.
    const unsigned at = first & (kLimiterRing - 1);
    const int head =
        kLimiterRing - static_cast<int>(at) < n ? kLimiterRing - static_cast<int>(at) : n;
    scaleRun(left + at, right + at, g, head);
    scaleRun(left, right, g + head, n - head);
    return _mm_cvtsd_f64(ev);
}

}  // namespace

const LimiterPasses kLimiterPassesAvx2 = {peaksPass, windowMaximaPass, envelopeOfPeaks};

}  // namespace grandpress
