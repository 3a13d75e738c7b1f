// AVX2 build of the detector's levels (compiled with -mavx2 -mfma and without contraction, so
// every product and sum rounds as in the plain build; called only on processors that have both).
// Four frames of one channel per vector: the squared magnitude in double precision, its root
// (exact, or the fast single-precision one, step for step as fastSquareRoot), the level.
// Everything but the entry function is in the anonymous namespace.
#include <immintrin.h>

#include "grandpress/Detector.h"

namespace grandpress {
namespace {

struct Levels {
    __m256d scale, floor = _mm256_set1_pd(kDetectorFloor);
    __m128i magic = _mm_set1_epi32(0x5F3759DF);
    __m128 half = _mm_set1_ps(0.5f), threeHalves = _mm_set1_ps(1.5f);

    [[gnu::always_inline]] __m256d fastRoot(__m256d s) const {
        const __m128 f = _mm256_cvtpd_ps(s);
        __m128 r = _mm_castsi128_ps(_mm_sub_epi32(magic, _mm_srli_epi32(_mm_castps_si128(f), 1)));
        const __m128 h = _mm_mul_ps(half, f);
        r = _mm_mul_ps(r, _mm_sub_ps(threeHalves, _mm_mul_ps(_mm_mul_ps(h, r), r)));
        r = _mm_mul_ps(r, _mm_sub_ps(threeHalves, _mm_mul_ps(_mm_mul_ps(h, r), r)));
        return _mm256_cvtps_pd(_mm_mul_ps(f, r));
    }

    template <bool exact>
    [[gnu::always_inline]] __m256d of(const double* q, const double* c) const {
        const __m256d qv = _mm256_loadu_pd(q), cv = _mm256_loadu_pd(c);
        const __m256d s = _mm256_add_pd(_mm256_mul_pd(qv, qv), _mm256_mul_pd(cv, cv));
        const __m256d m = exact ? _mm256_sqrt_pd(s) : fastRoot(s);
        return _mm256_add_pd(_mm256_mul_pd(scale, m), floor);
    }
};

template <bool exact>
void levels(const Levels& l, const double* q, const double* centre, int n, double* det) {
    int k = 0;
    for (; k + 4 <= n; k += 4) _mm256_storeu_pd(det + k, l.of<exact>(q + k, centre + k));
    if (k < n) {
        alignas(32) double last[4];
        _mm256_store_pd(last, l.of<exact>(q + k, centre + k));
        for (int j = 0; k + j < n; ++j) det[k + j] = last[j];
    }
}

}  // namespace

void detectorLevelsAvx2(const double* const q[2], const double* const centre[2], int n,
                        double detectorScale, bool exactRoot, double* const det[2]) noexcept {
    const Levels l{_mm256_set1_pd(detectorScale)};
    for (int c = 0; c < 2; ++c) {
        if (exactRoot)
            levels<true>(l, q[c], centre[c], n, det[c]);
        else
            levels<false>(l, q[c], centre[c], n, det[c]);
    }
}

}  // namespace grandpress
