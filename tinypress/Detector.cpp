#include "tinypress/Detector.h"

#include <cstdint>
#include <cstring>
#include <numbers>

namespace tinypress {
namespace {

typedef double Quad __attribute__((vector_size(32)));

// Difference of two unaligned quads (by reference: no vector-typed arguments or results, so the
// plain build's calling convention does not depend on AVX).
inline void accumulate(Quad& sum, double h, const double* forward, const double* backward) {
    Quad f, b;
    std::memcpy(&f, forward, sizeof f);
    std::memcpy(&b, backward, sizeof b);
    sum += h * (f - b);
}

// q[k] = sum_{i<taps} h[i] (x[k + 2i + 1] - x[k - 2i - 1]) for k = 0 .. 4 * quads - 1, x pointing
// at the centre of output 0. Four outputs per vector; built for AVX2 where the processor has it
// (the sums are the same either way: no fused multiply-add).
__attribute__((target_clones("avx2", "default"))) void hilbertSums(const double* x, const double* h,
                                                                   int taps, int quads, double* q) {
    int b = 0;
    for (; b + 1 < quads; b += 2) {
        const double* xb = x + 4 * b;
        Quad a0 = {0, 0, 0, 0}, a1 = a0;
        for (int i = 0; i < taps; ++i) {
            const double* f = xb + (2 * i + 1);
            const double* r = xb - (2 * i + 1);
            accumulate(a0, h[i], f, r);
            accumulate(a1, h[i], f + 4, r + 4);
        }
        std::memcpy(q + 4 * b, &a0, sizeof a0);
        std::memcpy(q + 4 * b + 4, &a1, sizeof a1);
    }
    for (; b < quads; ++b) {
        const double* xb = x + 4 * b;
        Quad a0 = {0, 0, 0, 0};
        for (int i = 0; i < taps; ++i) accumulate(a0, h[i], xb + (2 * i + 1), xb - (2 * i + 1));
        std::memcpy(q + 4 * b, &a0, sizeof a0);
    }
}

}  // namespace

float fastSquareRoot(float s) noexcept {
    constexpr float kLargest = 3.40282347e+38f;
    if (!(s <= kLargest)) s = kLargest;  // also catches NaN
    std::uint32_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    bits = 0x5F3759DFu - (bits >> 1);
    float g;
    std::memcpy(&g, &bits, sizeof g);
    g = g * (1.5f - ((0.5f * s) * g) * g);
    g = g * (1.5f - ((0.5f * s) * g) * g);
    return s * g;
}

Detector::Detector() noexcept {
    for (int i = 0; i < kMaxHilbertLength + 4; ++i)
        kernel[i] = i < kMaxHilbertLength ? 2.0 / ((2 * i + 1) * std::numbers::pi) : 0.0;
    clear();
}

void Detector::clear() noexcept {
    std::memset(ring, 0, sizeof ring);
    write = kRingLength - 1;
}

void Detector::process(const double* const filtered[2], int channels, int n, int taps, bool smooth,
                       double* const level[2]) noexcept {
    const int first = (write + 1) & kRingMask;
    for (int c = 0; c < channels; ++c) {
        double* r = ring[c];
        const double* in = filtered[c];
        for (int k = 0; k < n; ++k) {
            const int p = (first + k) & kRingMask;
            r[p] = in[k];
            r[p + kRingLength] = in[k];
        }
    }
    write = (write + n) & kRingMask;

    const int centreBack = 2 * taps;
    alignas(64) double sums[kChunk + 4];
    for (int c = 0; c < channels; ++c) {
        const double* r = ring[c];
        double* out = level[c];
        // The chunk's positions run contiguously except where the ring wraps: at most two runs.
        int k = 0;
        while (k < n) {
            const int p = (first + k) & kRingMask;
            const int run = (kRingLength - p) < (n - k) ? (kRingLength - p) : (n - k);
            const double* centre = r + p + kRingLength - centreBack;
            if (smooth) {
                hilbertSums(centre, kernel, taps, (run + 3) / 4, sums);
                for (int j = 0; j < run; ++j) {
                    const double q = centre[j];
                    const float y = static_cast<float>(q * q + sums[j] * sums[j]);
                    out[k + j] = kSmoothScale * static_cast<double>(fastSquareRoot(y));
                }
            } else {
                for (int j = 0; j < run; ++j) out[k + j] = kDraftScale * centre[j];
            }
            k += run;
        }
    }
}

}  // namespace tinypress
