// The limiter's passes built for AVX2 and FMA (this file only; chosen at run time). The envelope
// runs as one loop in which the level averages' recursion (the plain build's sums, LevelLanes)
// and the envelope's own run side by side: each frame puts one fused product and a blend on the
// envelope's chain, and the release speed-up between them is feed-forward.
#include "grandpress/LimiterPassesImpl.h"

namespace grandpress {
namespace {

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
    LevelLanes av(law, lanes);
    // Frames in pairs: the offsets of the two frames are constants.
    const LanePair plus = av.offset, minus = -plus;
    const __m128d rel = _mm_set1_pd(law.release), att = _mm_set_sd(law.attack);
    const __m128d keepUp = _mm_set_sd(1.0 - law.attack);
    alignas(64) double g[128];
    __m128d ev = _mm_set_sd(e);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const __m128d y0 = __m128d(av.step(m[i], plus, minus));
        const __m128d y1 = __m128d(av.step(m[i + 1], minus, plus));
        const __m128d mp = _mm_loadu_pd(m + i);
        const Falls falls = fallsOf(y0, y1, mp, rel);
        const __m128d e0 = envelopeStep(ev, mp, falls.keep, falls.pull, keepUp, att);
        ev = envelopeStep(e0, _mm_unpackhi_pd(mp, mp), _mm_unpackhi_pd(falls.keep, falls.keep),
                          _mm_unpackhi_pd(falls.pull, falls.pull), keepUp, att);
        _mm_store_sd(g + i, e0);
        _mm_store_sd(g + i + 1, ev);
    }
    if (i < n) {
        const __m128d y = __m128d(av.step(m[i], plus, minus));
        const __m128d mp = _mm_load_sd(m + i);
        const Falls falls = fallsOf(y, y, mp, rel);
        ev = envelopeStep(ev, mp, falls.keep, falls.pull, keepUp, att);
        _mm_store_sd(g + i, ev);
        av.offset = minus;
    }
    av.store(lanes);
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
