#include "dsp/HilbertKernel.h"

#include <emmintrin.h>

#include <numbers>

namespace qrx::dsp {
namespace {

// `count` pairs of outputs from `x` on, `count` independent sums in flight (SSE2).
template <int count>
inline void sumPairs(const double* x, const double* h, int taps, double* q) {
    __m128d a[count];
    for (__m128d& s : a) s = _mm_setzero_pd();
    for (int i = 0; i < taps; ++i) {
        const __m128d hi = _mm_set1_pd(h[i]);
        const double* f = x + (2 * i + 1);
        const double* r = x - (2 * i + 1);
        for (int j = 0; j < count; ++j) {
            const __m128d d = _mm_sub_pd(_mm_loadu_pd(f + 2 * j), _mm_loadu_pd(r + 2 * j));
            a[j] = _mm_add_pd(a[j], _mm_mul_pd(hi, d));
        }
    }
    for (int j = 0; j < count; ++j) _mm_storeu_pd(q + 2 * j, a[j]);
}

}  // namespace

void fillHilbertKernel(double* kernel, int taps, int size) noexcept {
    for (int i = 0; i < size; ++i)
        kernel[i] = i < taps ? 2.0 / ((2 * i + 1) * std::numbers::pi) : 0.0;
}

void hilbertSums(InstructionSet set, const double* centre, const double* kernel, int taps,
                 int quads, double* q) noexcept {
    if (set == InstructionSet::Avx2Fma) {
        hilbertSumsAvx2(centre, kernel, taps, quads, q);
        return;
    }
    int b = 0;
    for (; b + 2 <= quads; b += 2) sumPairs<4>(centre + 4 * b, kernel, taps, q + 4 * b);
    for (; b < quads; ++b) sumPairs<2>(centre + 4 * b, kernel, taps, q + 4 * b);
}

}  // namespace qrx::dsp
