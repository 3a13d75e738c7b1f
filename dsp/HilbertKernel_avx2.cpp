// AVX2+FMA build of the Hilbert sums (compiled with -mavx2 -mfma; called only on processors that
// have both). Everything but the entry function stays in this file's anonymous namespace, so no
// helper compiled here can stand in for the baseline build's.
//
// With P1[t] = x[4t+1 .. 4t+4] and P3[t] = x[4t+3 .. 4t+6], quad j of outputs takes, for the tap
// pair 2m, 2m+1,
//   h[2m]   (P1[j+m] - P3[j-m-1])  and  h[2m+1] (P3[j+m] - P1[j-m-1]).
// From one pair to the next, quad j's forward vectors are the ones quad j+1 used and its backward
// vectors the ones quad j-1 used: with `count` quads in flight the vectors slide through
// registers, and each pair loads four of them whatever the count (instead of four per quad).
// Every difference costs one subtraction and one fused product, and each output keeps two
// sums, of the even taps and of the odd taps, each in tap order, added at the end (the same way
// for every quad, so no output depends on where its block starts or how many quads it holds).
#include <immintrin.h>

#include "dsp/HilbertKernel.h"

namespace qrx::dsp {
namespace {

// `count` quads of outputs from `x` on. Two quads fill the registers: four sliding windows of
// two vectors, four sums, two taps.
template <int count>
[[gnu::always_inline]] inline void sumQuads(const double* x, const double* h, int taps, double* q) {
    const double* p1 = x + 1;
    const double* p3 = x + 3;
    // At pair m: forward f1[j] = P1[j+m], f3[j] = P3[j+m]; backward r1[j] = P1[j-m-1],
    // r3[j] = P3[j-m-1]. Before the first pair the windows hold what pair -1 would have had.
    __m256d f1[count], f3[count], r1[count], r3[count], even[count], odd[count];
    for (int j = 0; j + 1 < count; ++j) {
        f1[j + 1] = r1[j] = _mm256_loadu_pd(p1 + 4 * j);
        f3[j + 1] = r3[j] = _mm256_loadu_pd(p3 + 4 * j);
    }
    for (int j = 0; j < count; ++j) even[j] = odd[j] = _mm256_setzero_pd();
    const int pairs = taps / 2;
    for (int m = 0; m < pairs; ++m) {
        for (int j = 0; j + 1 < count; ++j) f1[j] = f1[j + 1], f3[j] = f3[j + 1];
        for (int j = count - 1; j > 0; --j) r1[j] = r1[j - 1], r3[j] = r3[j - 1];
        f1[count - 1] = _mm256_loadu_pd(p1 + 4 * (m + count - 1));
        f3[count - 1] = _mm256_loadu_pd(p3 + 4 * (m + count - 1));
        r1[0] = _mm256_loadu_pd(p1 - 4 * (m + 1));
        r3[0] = _mm256_loadu_pd(p3 - 4 * (m + 1));
        const __m256d he = _mm256_broadcast_sd(h + 2 * m);
        const __m256d ho = _mm256_broadcast_sd(h + 2 * m + 1);
        for (int j = 0; j < count; ++j)
            even[j] = _mm256_fmadd_pd(he, _mm256_sub_pd(f1[j], r3[j]), even[j]);
        for (int j = 0; j < count; ++j)
            odd[j] = _mm256_fmadd_pd(ho, _mm256_sub_pd(f3[j], r1[j]), odd[j]);
    }
    if (taps % 2 != 0) {  // an odd count of taps ends on an even one
        const int m = pairs;
        for (int j = 0; j + 1 < count; ++j) f1[j] = f1[j + 1];
        for (int j = count - 1; j > 0; --j) r3[j] = r3[j - 1];
        f1[count - 1] = _mm256_loadu_pd(p1 + 4 * (m + count - 1));
        r3[0] = _mm256_loadu_pd(p3 - 4 * (m + 1));
        const __m256d he = _mm256_broadcast_sd(h + 2 * m);
        for (int j = 0; j < count; ++j)
            even[j] = _mm256_fmadd_pd(he, _mm256_sub_pd(f1[j], r3[j]), even[j]);
    }
    for (int j = 0; j < count; ++j) _mm256_storeu_pd(q + 4 * j, _mm256_add_pd(even[j], odd[j]));
}

}  // namespace

void hilbertSumsAvx2(const double* centre, const double* kernel, int taps, int quads,
                     double* q) noexcept {
    int b = 0;
    for (; b + 2 <= quads; b += 2) sumQuads<2>(centre + 4 * b, kernel, taps, q + 4 * b);
    if (b < quads) sumQuads<1>(centre + 4 * b, kernel, taps, q + 4 * b);
}

}  // namespace qrx::dsp
