// The Hilbert sums (HilbertKernel.h) as one template on the xsimd architecture, for the dsp
// kernel table (KernelsImpl.h). Everything here has internal linkage (an unnamed namespace), so
// each build keeps its own code.
//
// A vector holds W outputs (2 with SSE2, 4 with AVX2). Tap i reads x[k + 2i + 1] and
// x[k - 2i - 1]: from one tap to the next the windows move by two samples, so a vector's worth of
// movement spans G = W / 2 taps. With the phases P_g[t] = x[W t + 2g + 1 ..] (g < G), vector j of
// outputs takes, for tap G m + g,
//   h[G m + g] (P_g[j + m] - P_{G-1-g}[j - m - 1]).
// From one group of taps to the next, vector j's forward windows are the ones vector j + 1 used
// and its backward windows the ones vector j - 1 used: with `count` vectors in flight the windows
// slide through registers, and each group loads 2 G vectors whatever the count (instead of
// 2 G per vector). Each output keeps G sums, one per phase of the taps, each in tap order, added
// at the end (the same way for every vector, so no output depends on where its block starts or
// how many vectors it holds). That is the AVX2 form: the even and the odd taps' sums, each product
// fused. With SSE2 (G = 1) every vector loads its own windows instead (hilbertVectorsLoading):
// the plain sum, bit for bit.
#pragma once

#include <xsimd/xsimd.hpp>

#include "dsp/HilbertKernel.h"

namespace qrx::dsp {
namespace {

// `count` vectors of outputs from `x` on.
template <class Arch, int count>
[[gnu::always_inline]] inline void hilbertVectors(const double* x, const double* h, int taps,
                                                  double* q) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    constexpr int kGroup = kWidth / 2;
    // At group m: forward f[g][j] = P_g[j + m], backward r[g][j] = P_g[j - m - 1]. Before the
    // first group the windows hold what group -1 would have had.
    Batch f[kGroup][count], r[kGroup][count], sum[kGroup][count];
    for (int g = 0; g < kGroup; ++g) {
        const double* p = x + 2 * g + 1;
        for (int j = 0; j + 1 < count; ++j)
            f[g][j + 1] = r[g][j] = Batch::load_unaligned(p + kWidth * j);
        for (int j = 0; j < count; ++j) sum[g][j] = Batch(0.0);
    }
    // Slides phase g's forward or backward windows to group m (one new vector each).
    const auto slideForward = [&](int m, int g) {
        for (int j = 0; j + 1 < count; ++j) f[g][j] = f[g][j + 1];
        f[g][count - 1] = Batch::load_unaligned(x + 2 * g + 1 + kWidth * (m + count - 1));
    };
    const auto slideBackward = [&](int m, int g) {
        for (int j = count - 1; j > 0; --j) r[g][j] = r[g][j - 1];
        r[g][0] = Batch::load_unaligned(x + 2 * g + 1 - kWidth * (m + 1));
    };
    // Tap G m + g's terms.
    const auto add = [&](int m, int g) {
        const Batch tap(h[kGroup * m + g]);
        for (int j = 0; j < count; ++j)
            sum[g][j] = xsimd::fma(tap, f[g][j] - r[kGroup - 1 - g][j], sum[g][j]);
    };
    const int groups = taps / kGroup;
    for (int m = 0; m < groups; ++m) {
        for (int g = 0; g < kGroup; ++g) {
            slideForward(m, g);
            slideBackward(m, g);
        }
        for (int g = 0; g < kGroup; ++g) add(m, g);
    }
    // The last group may hold fewer taps: it reads only the windows those taps use.
    const int rest = taps % kGroup;
    for (int g = 0; g < rest; ++g) {
        slideForward(groups, g);
        slideBackward(groups, kGroup - 1 - g);
    }
    for (int g = 0; g < rest; ++g) add(groups, g);
    for (int j = 0; j < count; ++j) {
        Batch total = sum[0][j];
        for (int g = 1; g < kGroup; ++g) total += sum[g][j];
        total.store_unaligned(q + kWidth * j);
    }
}

// The same with every vector loading its own windows, for SSE2: with two-operand instructions the
// sliding costs more register copies than the loads it saves (measured: 45.1 against 55.3 million
// instructions for 2000 runs of 128 outputs at 55 taps). One sum in tap order: the plain sum.
template <class Arch, int count>
[[gnu::always_inline]] inline void hilbertVectorsLoading(const double* x, const double* h, int taps,
                                                         double* q) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    Batch sum[count];
    for (int j = 0; j < count; ++j) sum[j] = Batch(0.0);
    for (int i = 0; i < taps; ++i) {
        const Batch tap(h[i]);
        const double* f = x + (2 * i + 1);
        const double* r = x - (2 * i + 1);
        for (int j = 0; j < count; ++j)
            sum[j] = xsimd::fma(
                tap, Batch::load_unaligned(f + kWidth * j) - Batch::load_unaligned(r + kWidth * j),
                sum[j]);
    }
    for (int j = 0; j < count; ++j) sum[j].store_unaligned(q + kWidth * j);
}

template <class Arch>
void hilbertSums(const double* centre, const double* kernel, int taps, int quads,
                 double* q) noexcept {
    // Two quads at a time fill the registers (SSE2: four sums and the tap; AVX2: four sliding
    // windows of two vectors, four sums), a last quad alone.
    constexpr int kQuadVectors = 4 / static_cast<int>(xsimd::batch<double, Arch>::size);
    int b = 0;
    if constexpr (kQuadVectors == 1) {
        for (; b + 2 <= quads; b += 2)
            hilbertVectors<Arch, 2>(centre + 4 * b, kernel, taps, q + 4 * b);
        if (b < quads) hilbertVectors<Arch, 1>(centre + 4 * b, kernel, taps, q + 4 * b);
    } else {
        for (; b + 2 <= quads; b += 2)
            hilbertVectorsLoading<Arch, 2 * kQuadVectors>(centre + 4 * b, kernel, taps, q + 4 * b);
        if (b < quads)
            hilbertVectorsLoading<Arch, kQuadVectors>(centre + 4 * b, kernel, taps, q + 4 * b);
    }
}

}  // namespace
}  // namespace qrx::dsp
