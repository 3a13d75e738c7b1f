// AVX2+FMA build of the Hilbert sums (compiled with -mavx2 -mfma; called only on processors that
// have both). Everything but the entry function stays in this file's anonymous namespace, so no
// helper compiled here can stand in for the baseline build's.
#include <immintrin.h>

#include "dsp/HilbertKernel.h"

namespace qrx::dsp {
namespace {

// `count` quads of outputs from `x` on, `count` independent sums in flight; two taps per pass of
// the loop (each sum still takes the taps in order). Each tap adds h x[k+2i+1] and takes away
// h x[k-2i-1], both fused and straight from memory.
template <int count>
inline void sumQuads(const double* x, const double* h, int taps, double* q) {
    __m256d a[count];
    for (__m256d& s : a) s = _mm256_setzero_pd();
#pragma GCC unroll 2
    for (int i = 0; i < taps; ++i) {
        const __m256d hi = _mm256_broadcast_sd(h + i);
        const double* f = x + (2 * i + 1);
        const double* r = x - (2 * i + 1);
        for (int j = 0; j < count; ++j) {
            a[j] = _mm256_fmadd_pd(hi, _mm256_loadu_pd(f + 4 * j), a[j]);
            a[j] = _mm256_fnmadd_pd(hi, _mm256_loadu_pd(r + 4 * j), a[j]);
        }
    }
    for (int j = 0; j < count; ++j) _mm256_storeu_pd(q + 4 * j, a[j]);
}

}  // namespace

void hilbertSumsAvx2(const double* centre, const double* kernel, int taps, int quads,
                     double* q) noexcept {
    int b = 0;
    // Eight sums in flight share each tap's broadcast and the loop's own work.
    for (; b + 8 <= quads; b += 8) sumQuads<8>(centre + 4 * b, kernel, taps, q + 4 * b);
    for (; b + 4 <= quads; b += 4) sumQuads<4>(centre + 4 * b, kernel, taps, q + 4 * b);
    for (; b + 2 <= quads; b += 2) sumQuads<2>(centre + 4 * b, kernel, taps, q + 4 * b);
    for (; b < quads; ++b) sumQuads<1>(centre + 4 * b, kernel, taps, q + 4 * b);
}

}  // namespace qrx::dsp
