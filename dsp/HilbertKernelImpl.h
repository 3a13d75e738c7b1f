// The Hilbert sums (HilbertKernel.h) as one template on the xsimd architecture, for the dsp
// kernel table (KernelsImpl.h). Everything here has internal linkage (an unnamed namespace), so
// each build keeps its own code.
//
// With AVX2 a vector holds four outputs. From one pair of taps to the next the windows move by
// four samples, one vector: vector j's forward windows are the ones vector j + 1 used and its
// backward windows the ones vector j - 1 used. With `count` vectors in flight the windows slide
// through registers, and each pair loads four vectors whatever the count (instead of four per
// vector). Every difference costs one subtraction and one fused product, and each output keeps
// two sums, of the even taps and of the odd taps, each in tap order, added at the end (the same
// way for every vector, so no output depends on where its block starts or how many vectors it
// holds). With SSE2 (two outputs a vector, two-operand instructions) the sums are a fast FIR
// (HilbertFastFir.h) wherever it takes the count of taps; otherwise the sliding would cost more
// register copies than the loads it saves: each vector loads its own windows and keeps one sum in
// tap order, the plain sum bit for bit.
#pragma once

#include <cstdint>
#include <xsimd/xsimd.hpp>

#include "dsp/HilbertFastFir.h"
#include "dsp/HilbertKernel.h"

namespace qrx::dsp {
namespace {

// `count` vectors of four outputs from `x` on, the windows sliding (AVX2). With P1[t] = x[4t+1 ..
// 4t+4] and P3[t] = x[4t+3 .. 4t+6], vector j takes, for the tap pair 2m, 2m+1,
//   h[2m] (P1[j+m] - P3[j-m-1])  and  h[2m+1] (P3[j+m] - P1[j-m-1]).
// (One array per window: arrays of two dimensions end up on the stack.)
template <class Arch, int count>
[[gnu::always_inline]] inline void hilbertVectors(const double* x, const double* h, int taps,
                                                  double* q) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    static_assert(Batch::size == 4);
    const double* p1 = x + 1;
    const double* p3 = x + 3;
    // At pair m: forward f1[j] = P1[j+m], f3[j] = P3[j+m]; backward r1[j] = P1[j-m-1],
    // r3[j] = P3[j-m-1]. Before the first pair the windows hold what pair -1 would have had.
    Batch f1[count], f3[count], r1[count], r3[count], even[count], odd[count];
    for (int j = 0; j + 1 < count; ++j) {
        f1[j + 1] = r1[j] = Batch::load_unaligned(p1 + 4 * j);
        f3[j + 1] = r3[j] = Batch::load_unaligned(p3 + 4 * j);
    }
    for (int j = 0; j < count; ++j) even[j] = odd[j] = Batch(0.0);
    const int pairs = taps / 2;
    for (int m = 0; m < pairs; ++m) {
        for (int j = 0; j + 1 < count; ++j) f1[j] = f1[j + 1], f3[j] = f3[j + 1];
        for (int j = count - 1; j > 0; --j) r1[j] = r1[j - 1], r3[j] = r3[j - 1];
        f1[count - 1] = Batch::load_unaligned(p1 + 4 * (m + count - 1));
        f3[count - 1] = Batch::load_unaligned(p3 + 4 * (m + count - 1));
        r1[0] = Batch::load_unaligned(p1 - 4 * (m + 1));
        r3[0] = Batch::load_unaligned(p3 - 4 * (m + 1));
        const Batch he(h[2 * m]), ho(h[2 * m + 1]);
        for (int j = 0; j < count; ++j) even[j] = xsimd::fma(he, f1[j] - r3[j], even[j]);
        for (int j = 0; j < count; ++j) odd[j] = xsimd::fma(ho, f3[j] - r1[j], odd[j]);
    }
    if (taps % 2 != 0) {  // an odd count of taps ends on an even one
        const int m = pairs;
        for (int j = 0; j + 1 < count; ++j) f1[j] = f1[j + 1];
        for (int j = count - 1; j > 0; --j) r3[j] = r3[j - 1];
        f1[count - 1] = Batch::load_unaligned(p1 + 4 * (m + count - 1));
        r3[0] = Batch::load_unaligned(p3 - 4 * (m + 1));
        const Batch he(h[2 * m]);
        for (int j = 0; j < count; ++j) even[j] = xsimd::fma(he, f1[j] - r3[j], even[j]);
    }
    for (int j = 0; j < count; ++j) (even[j] + odd[j]).store_unaligned(q + 4 * j);
}

// `count` vectors of outputs from `x` on, every vector loading its own windows (SSE2; measured:
// 45.1 million instructions for 2000 runs of 128 outputs at 55 taps, against 55.3 million with
// sliding windows). With `x + 1` on a vector boundary every window is too (both move by whole
// vectors), and the loads fold into the arithmetic.
template <class Arch, int count, bool aligned>
[[gnu::always_inline]] inline void hilbertVectorsLoading(const double* x, const double* h, int taps,
                                                         double* q) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    const auto load = [](const double* p) {
        if constexpr (aligned)
            return Batch::load_aligned(p);
        else
            return Batch::load_unaligned(p);
    };
    Batch sum[count];
    for (int j = 0; j < count; ++j) sum[j] = Batch(0.0);
    const auto addTap = [&](int i) {
        const Batch tap(h[i]);
        const double* f = x + (2 * i + 1);
        const double* r = x - (2 * i + 1);
        // The compiler would see that a window is the next vector's window of the tap before and
        // keep it in a register, which with eight sums spills them: it must load each one.
        asm("" : "+r"(f), "+r"(r));
        for (int j = 0; j < count; ++j)
            sum[j] = xsimd::fma(tap, load(f + kWidth * j) - load(r + kWidth * j), sum[j]);
    };
    // Two taps a turn halve the loop's own counting.
    int i = 0;
    for (; i + 2 <= taps; i += 2) {
        addTap(i);
        addTap(i + 1);
    }
    if (i < taps) addTap(i);
    for (int j = 0; j < count; ++j) sum[j].store_unaligned(q + kWidth * j);
}

// SSE2: `vectors` vectors of outputs from `x` on: eight a pass (eight sums, two taps and a
// difference: 11 of the 16 registers), then four, two, one.
template <class Arch, bool aligned>
void hilbertVectorRuns(const double* x, const double* h, int taps, int vectors,
                       double* q) noexcept {
    constexpr int kWidth = static_cast<int>(xsimd::batch<double, Arch>::size);
    int v = 0;
    for (; v + 8 <= vectors; v += 8)
        hilbertVectorsLoading<Arch, 8, aligned>(x + kWidth * v, h, taps, q + kWidth * v);
    if (v + 4 <= vectors) {
        hilbertVectorsLoading<Arch, 4, aligned>(x + kWidth * v, h, taps, q + kWidth * v);
        v += 4;
    }
    if (v + 2 <= vectors) {
        hilbertVectorsLoading<Arch, 2, aligned>(x + kWidth * v, h, taps, q + kWidth * v);
        v += 2;
    }
    if (v < vectors)
        hilbertVectorsLoading<Arch, 1, aligned>(x + kWidth * v, h, taps, q + kWidth * v);
}

template <class Arch>
void hilbertSums(const double* centre, const double* kernel, int taps, int quads, double* q,
                 HilbertHistory* history, std::int64_t start) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    if constexpr (Batch::size == 2) {
        if (hilbertFastFirFits(taps)) {
            hilbert::fastFirSums<Arch>(centre, kernel, taps, quads, q, history, start);
            return;
        }
    }
    if (history != nullptr) history->forget();  // only the fast FIR keeps a history
    if constexpr (Batch::size == 4) {
        // Two quads at a time fill the registers (four sliding windows of two vectors, four
        // sums), a last quad alone.
        int b = 0;
        for (; b + 2 <= quads; b += 2)
            hilbertVectors<Arch, 2>(centre + 4 * b, kernel, taps, q + 4 * b);
        if (b < quads) hilbertVectors<Arch, 1>(centre + 4 * b, kernel, taps, q + 4 * b);
    } else if (reinterpret_cast<std::uintptr_t>(centre + 1) % sizeof(Batch) == 0) {
        hilbertVectorRuns<Arch, true>(centre, kernel, taps, 2 * quads, q);
    } else {
        hilbertVectorRuns<Arch, false>(centre, kernel, taps, 2 * quads, q);
    }
}

}  // namespace
}  // namespace qrx::dsp
