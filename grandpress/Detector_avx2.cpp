// AVX2 build of the detector's levels (compiled with -mavx2 -mfma and without contraction, so
// every product and sum rounds as in the plain build; called only on processors that have both).
// Four frames of one channel per double vector: the squared magnitude in double precision, its
// root (exact, or the fast single-precision one, step for step as fastSquareRoot, eight frames per
// single-precision vector), the level.
// Everything but the entry function is in the anonymous namespace.
#include <immintrin.h>

#include "grandpress/Detector.h"

namespace grandpress {
namespace {

struct Levels {
    __m256d scale, floor = _mm256_set1_pd(kDetectorFloor);
    __m256i magic = _mm256_set1_epi32(0x5F3759DF);
    __m256 half = _mm256_set1_ps(0.5f), threeHalves = _mm256_set1_ps(1.5f);

    // The fast root of eight single-precision squares.
    [[gnu::always_inline]] __m256 fastRoot(__m256 f) const {
        __m256 r = _mm256_castsi256_ps(
            _mm256_sub_epi32(magic, _mm256_srli_epi32(_mm256_castps_si256(f), 1)));
        const __m256 h = _mm256_mul_ps(half, f);
        r = _mm256_mul_ps(r, _mm256_sub_ps(threeHalves, _mm256_mul_ps(_mm256_mul_ps(h, r), r)));
        r = _mm256_mul_ps(r, _mm256_sub_ps(threeHalves, _mm256_mul_ps(_mm256_mul_ps(h, r), r)));
        return _mm256_mul_ps(f, r);
    }

    [[gnu::always_inline]] static __m256d square(const double* q, const double* c) {
        const __m256d qv = _mm256_loadu_pd(q), cv = _mm256_loadu_pd(c);
        return _mm256_add_pd(_mm256_mul_pd(qv, qv), _mm256_mul_pd(cv, cv));
    }

    [[gnu::always_inline]] __m256d level(__m256d root) const {
        return _mm256_add_pd(_mm256_mul_pd(scale, root), floor);
    }

    // Levels of frames k .. k+7 into det.
    template <bool exact>
    [[gnu::always_inline]] void eight(const double* q, const double* c, double* det) const {
        const __m256d s0 = square(q, c), s1 = square(q + 4, c + 4);
        if constexpr (exact) {
            _mm256_storeu_pd(det, level(_mm256_sqrt_pd(s0)));
            _mm256_storeu_pd(det + 4, level(_mm256_sqrt_pd(s1)));
        } else {
            const __m256 m = fastRoot(_mm256_set_m128(_mm256_cvtpd_ps(s1), _mm256_cvtpd_ps(s0)));
            _mm256_storeu_pd(det, level(_mm256_cvtps_pd(_mm256_castps256_ps128(m))));
            _mm256_storeu_pd(det + 4, level(_mm256_cvtps_pd(_mm256_extractf128_ps(m, 1))));
        }
    }

    // Levels of frames k .. k+3.
    template <bool exact>
    [[gnu::always_inline]] __m256d four(const double* q, const double* c) const {
        const __m256d s = square(q, c);
        if constexpr (exact) return level(_mm256_sqrt_pd(s));
        const __m256 m = fastRoot(_mm256_zextps128_ps256(_mm256_cvtpd_ps(s)));
        return level(_mm256_cvtps_pd(_mm256_castps256_ps128(m)));
    }
};

template <bool exact>
void levels(const Levels& l, const double* q, const double* centre, int n, double* det) {
    int k = 0;
    for (; k + 8 <= n; k += 8) l.eight<exact>(q + k, centre + k, det + k);
    if (k + 4 <= n) {
        _mm256_storeu_pd(det + k, l.four<exact>(q + k, centre + k));
        k += 4;
    }
    if (k < n) {
        alignas(32) double last[4];
        _mm256_store_pd(last, l.four<exact>(q + k, centre + k));
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
