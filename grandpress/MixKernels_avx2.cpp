// The gain stage's mix built for AVX2 (this file only; chosen at run time), and its glides four
// frames per step of their recursion.
#include <immintrin.h>

#include "grandpress/MixKernelsImpl.h"

namespace grandpress {

void mixFramesAvx2(const MixStreams& in, int n, double* left, double* right) noexcept {
    mixFramesPass(in, n, left, right);
}

namespace {

// The noise of frames i .. i + 3 and its sums: frame j gets noise j + keep noise (j-1) + keep^2
// noise (j-2) + keep^3 noise (j-3).
[[gnu::always_inline]] inline __m256d noiseSums(const double* noise, int noiseShift, int i,
                                                __m256d keep, __m256d keep2) noexcept {
    const __m256d nz =
        noiseShift == 0
            ? _mm256_loadu_pd(noise + i)
            : _mm256_permute4x64_pd(_mm256_castpd128_pd256(_mm_loadu_pd(noise + (i >> 1))), 0x50);
    const __m256d byOne = _mm256_blend_pd(_mm256_permute4x64_pd(nz, 0x90), _mm256_setzero_pd(), 1);
    const __m256d once = _mm256_fmadd_pd(keep, byOne, nz);
    return _mm256_fmadd_pd(keep2, _mm256_permute2f128_pd(once, once, 0x08), once);
}

}  // namespace

// Frame j = 0 .. 3 of a quad after x: x keep^(j+1) + sum over m <= j of keep^(j-m) (pull + noise
// of frame m), that is x keep^(j+1) + pull (1 + keep + .. + keep^j) + the noise's sums; the
// second quad of eight frames the same from the first one's end. Only the terms in x wait for
// the previous eight frames: the glides' chains are an eighth as long.
void glideFramesAvx2(GlideRun& g, const double* noise, int noiseShift, int n,
                     double* const glided[3]) noexcept {
    const double k = g.keep, k2 = k * k, k3 = k2 * k, k4 = k2 * k2;
    const __m256d keep = _mm256_set1_pd(k), keep2 = _mm256_set1_pd(k2);
    const __m256d powers = _mm256_set_pd(k4, k3, k2, k);
    const __m256d laterPowers = _mm256_mul_pd(powers, _mm256_set1_pd(k4));
    const __m256d sums = _mm256_set_pd(1.0 + k + k2 + k3, 1.0 + k + k2, 1.0 + k, 1.0);
    double* const to[3] = {glided[0], glided[1], glided[2]};
    __m256d value[3], pull[3];
    for (int q = 0; q < 3; ++q) {
        value[q] = _mm256_set1_pd(g.value[q]);
        pull[q] = _mm256_set1_pd(g.pull[q]);
    }
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256d first = noiseSums(noise, noiseShift, i, keep, keep2);
        const __m256d second = noiseSums(noise, noiseShift, i + 4, keep, keep2);
        for (int q = 0; q < 3; ++q) {
            const __m256d early = _mm256_fmadd_pd(pull[q], sums, first);
            const __m256d late = _mm256_fmadd_pd(powers, _mm256_permute4x64_pd(early, 0xFF),
                                                 _mm256_fmadd_pd(pull[q], sums, second));
            const __m256d a = _mm256_fmadd_pd(powers, value[q], early);
            const __m256d b = _mm256_fmadd_pd(laterPowers, value[q], late);
            _mm256_storeu_pd(to[q] + i, a);
            _mm256_storeu_pd(to[q] + i + 4, b);
            value[q] = _mm256_permute4x64_pd(b, 0xFF);
        }
    }
    for (int q = 0; q < 3; ++q) g.value[q] = _mm256_cvtsd_f64(value[q]);
    if (i < n) {
        double* const rest[3] = {to[0] + i, to[1] + i, to[2] + i};
        glidePass(g, noise + (i >> noiseShift), noiseShift, n - i, rest);
    }
}

}  // namespace grandpress
