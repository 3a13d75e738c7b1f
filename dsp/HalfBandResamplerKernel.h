// The tap sums of the half-band resampler, written once for every vector instruction set: fused
// multiply-adds in tap order where the processor has FMA (AVX2), the fast FIR of
// HalfBandFastFir.h otherwise (SSE2).
//
// Included only by the dsp kernel table (KernelsImpl.h: Kernels.cpp for xsimd::sse2,
// Kernels_avx2.cpp for xsimd::fma3<xsimd::avx2>). Everything here is a template on the
// architecture, so each translation unit emits its own instantiation and the linker never merges
// AVX code into the baseline path. Add no non-template inline function to this header.
#pragma once

#include <immintrin.h>

#include <type_traits>
#include <xsimd/xsimd.hpp>

#include "dsp/HalfBandFastFir.h"
#include "dsp/HalfBandResampler.h"

namespace qrx::dsp::halfband {

// How the 128 taps are summed. The phase is symmetric (taps[63 - j] = taps[64 + j]):
// - Fused: 128 fused multiply-adds, one per tap (with FMA a term costs one instruction, its
//   load included);
// - FastFir: four neighbouring outputs share nine 32-tap sub-sums (HalfBandFastFir.h): 68
//   multiplies and about 77 adds an output instead of the 64 and 128 of summing each symmetric
//   pair (without FMA the additions bound the loop).
enum class TapOrder { Fused, FastFir };

// Where a vector of outputs goes. `i` is the index of its first output.
// - Plain: out[i] = the sum;
// - Interleaved (the up-sampler): out[2i] = the sum, out[2i + 1] = direct[i];
// - WithDirect (the down-sampler): out[i] = the sum + directTap * direct[i] (directTap is 0.5,
//   so the product is exact and the sum rounds once, fused or not).
enum class Sink { Plain, Interleaved, WithDirect };

struct PhaseOutput {
    double* out;
    const double* direct;
    double directTap;
};

template <class Arch, Sink To>
void sinkVector(const PhaseOutput& o, int i, xsimd::batch<double, Arch> sum) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    if constexpr (To == Sink::Plain) {
        sum.store_unaligned(o.out + i);
    } else if constexpr (To == Sink::WithDirect) {
        const Batch d = Batch::load_unaligned(o.direct + i);
        (sum + Batch(o.directTap) * d).store_unaligned(o.out + i);
    } else {
        const Batch d = Batch::load_unaligned(o.direct + i);
        const Batch lo = xsimd::zip_lo(sum, d);  // s0 d0 | s2 d2 with AVX (per 128-bit lane)
        const Batch hi = xsimd::zip_hi(sum, d);  // s1 d1 | s3 d3
        if constexpr (Batch::size == 4) {
            Batch(_mm256_permute2f128_pd(lo, hi, 0x20)).store_unaligned(o.out + 2 * i);
            Batch(_mm256_permute2f128_pd(lo, hi, 0x31)).store_unaligned(o.out + 2 * i + 4);
        } else {
            static_assert(Batch::size == 2);
            lo.store_unaligned(o.out + 2 * i);
            hi.store_unaligned(o.out + 2 * i + 2);
        }
    }
}

// The outputs i .. i + n - 1 (n below the vector width) from a vector of sums, one by one.
// (Templated on the architecture, like everything here, though it has no vector code.)
template <class Arch, Sink To>
void sinkPartial(const PhaseOutput& o, int i, const double* sums, int n) noexcept {
    for (int k = 0; k < n; ++k) {
        if constexpr (To == Sink::Plain) {
            o.out[i + k] = sums[k];
        } else if constexpr (To == Sink::WithDirect) {
            o.out[i + k] = sums[k] + o.directTap * o.direct[i + k];
        } else {
            o.out[2 * (i + k)] = sums[k];
            o.out[2 * (i + k) + 1] = o.direct[i + k];
        }
    }
}

// The outputs from index i on.
template <class Arch, Sink To>
PhaseOutput outputsFrom(const PhaseOutput& o, int i) noexcept {
    return PhaseOutput{o.out + (To == Sink::Interleaved ? 2 * i : i),
                       o.direct ? o.direct + i : nullptr, o.directTap};
}

// ---- FastFir (HalfBandFastFir.h) ----

// One run's sums (output i is sums[i]) to the sink.
template <class Arch, Sink To>
void sinkRun(const PhaseOutput& o, const double* sums, int count) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    int i = 0;
    for (; i + kWidth <= count; i += kWidth)
        sinkVector<Arch, To>(o, i, Batch::load_unaligned(sums + i));
    if (i < count) sinkPartial<Arch, To>(o, i, sums + i, count - i);
}

// One stream: the two lanes take the two halves of each block of up to 2 * kFastFirRun outputs.
template <class Arch, Sink To>
void fastFirSums(const SplitTaps& taps, const double* x, const PhaseOutput& o, int count) noexcept {
    FastFirWork<Arch> w;
    for (int i = 0; i < count; i += 2 * kFastFirRun) {
        const int n = count - i < 2 * kFastFirRun ? count - i : 2 * kFastFirRun;
        const int first = (n + 1) / 2;
        const FastFirRun runs[2] = {{x + i, first}, {x + i + first, n - first}};
        const double* sums[2];
        fastFirRuns<Arch>(taps, runs, w, sums);
        sinkRun<Arch, To>(outputsFrom<Arch, To>(o, i), sums[0], first);
        sinkRun<Arch, To>(outputsFrom<Arch, To>(o, i + first), sums[1], n - first);
    }
}

// Two streams on the same taps: one a lane, in blocks of up to kFastFirRun outputs, each block
// going on from the one before over the history.
template <class Arch, Sink To>
void fastFirSumsOfTwo(const SplitTaps& taps, const double* const x[2], const PhaseOutput (&o)[2],
                      int count, PhaseHistory* history, std::int64_t start) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    FastFirWork<Arch> w;
    for (int i = 0; i < count; i += kFastFirRun) {
        const int n = count - i < kFastFirRun ? count - i : kFastFirRun;
        const FastFirRun runs[2] = {{x[0] + i, n}, {x[1] + i, n}};
        const std::int64_t at = start >= 0 ? start + i : -1;
        if (n % 4 == 0 && residueOf(runs[0].x) == 0 && residueOf(runs[1].x) == 0) {
            // Whole rows from a group boundary (the pairs' usual pass): each row's outputs go
            // straight to the sinks.
            const PhaseOutput to[2] = {outputsFrom<Arch, To>(o[0], i),
                                       outputsFrom<Arch, To>(o[1], i)};
            fastFirRows<Arch>(taps, runs, w, history, at,
                              [&to](int r, Batch y0, Batch y1, Batch y2, Batch y3) {
                                  sinkVector<Arch, To>(to[0], 4 * r, xsimd::zip_lo(y0, y1));
                                  sinkVector<Arch, To>(to[0], 4 * r + 2, xsimd::zip_lo(y2, y3));
                                  sinkVector<Arch, To>(to[1], 4 * r, xsimd::zip_hi(y0, y1));
                                  sinkVector<Arch, To>(to[1], 4 * r + 2, xsimd::zip_hi(y2, y3));
                              });
            continue;
        }
        const double* sums[2];
        fastFirRuns<Arch>(taps, runs, w, sums, history, at);
        for (int s = 0; s < 2; ++s) sinkRun<Arch, To>(outputsFrom<Arch, To>(o[s], i), sums[s], n);
    }
}

// ---- Fused ----

// `Rows` vectors of consecutive outputs from p = x + i - 128: sum[r] = sum over q of
// taps[q] * p[q + r] (lane by lane). Each tap is broadcast once and multiplied into every row, so
// the loads are plain unaligned loads of the signal and no horizontal sum is needed. Every output
// is one chain in tap order, whatever the number of rows: the result of an output does not depend
// on how the block was cut.
// (Always inlined: the accumulators must stay in registers.)
template <class Arch, int Rows>
[[gnu::always_inline]] inline void phaseRows(const double* taps, const double* p,
                                             xsimd::batch<double, Arch> (&acc)[Rows]) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) acc[r] = Batch(0.0);
        // Unrolled by 32: the loop's own counting would otherwise cost an eighth as much as the
        // multiply-adds.
#pragma GCC unroll 32
    for (int q = 0; q < kPhaseTaps; ++q) {
        const Batch t(taps[q]);
#pragma GCC unroll 8
        for (int r = 0; r < Rows; ++r)
            acc[r] = xsimd::fma(t, Batch::load_unaligned(p + q + r * kWidth), acc[r]);
    }
}

template <class Arch, Sink To, int Rows>
void phaseBlock(const double* taps, const double* x, const PhaseOutput& o, int i) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    Batch acc[Rows];
    phaseRows<Arch, Rows>(taps, x + i - kPhaseTaps, acc);
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) sinkVector<Arch, To>(o, i + r * kWidth, acc[r]);
}

// The fused sums, vectorised across outputs: eight independent rows hide the latency of the
// multiply-adds; the rest of the block runs in four, two and one. x[-128] .. x[count + W - 2]
// must be readable, with W the vector width (the last vector may read past `count`).
template <class Arch, Sink To>
void fusedSums(const double* taps, const double* x, const PhaseOutput& o, int count) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    int i = 0;
    for (; i + 8 * kWidth <= count; i += 8 * kWidth) phaseBlock<Arch, To, 8>(taps, x, o, i);
    if (i + 4 * kWidth <= count) {
        phaseBlock<Arch, To, 4>(taps, x, o, i);
        i += 4 * kWidth;
    }
    if (i + 2 * kWidth <= count) {
        phaseBlock<Arch, To, 2>(taps, x, o, i);
        i += 2 * kWidth;
    }
    for (; i + kWidth <= count; i += kWidth) phaseBlock<Arch, To, 1>(taps, x, o, i);
    if (i < count) {
        Batch acc[1];
        phaseRows<Arch, 1>(taps, x + i - kPhaseTaps, acc);
        alignas(32) double sums[kWidth];
        acc[0].store_aligned(sums);
        sinkPartial<Arch, To>(o, i, sums, count - i);
    }
}

// The same fused sums for two streams on the same taps: every broadcast tap serves the rows of
// both. Each output is the same chain as in fusedSums.
template <class Arch, int Rows>
[[gnu::always_inline]] inline void fusedRowsOfTwo(const double* taps, const double* pA,
                                                  const double* pB,
                                                  xsimd::batch<double, Arch> (&a)[Rows],
                                                  xsimd::batch<double, Arch> (&b)[Rows]) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) a[r] = b[r] = Batch(0.0);
#pragma GCC unroll 32
    for (int q = 0; q < kPhaseTaps; ++q) {
        const Batch t(taps[q]);
#pragma GCC unroll 8
        for (int r = 0; r < Rows; ++r) {
            a[r] = xsimd::fma(t, Batch::load_unaligned(pA + q + r * kWidth), a[r]);
            b[r] = xsimd::fma(t, Batch::load_unaligned(pB + q + r * kWidth), b[r]);
        }
    }
}

template <class Arch, Sink To, int Rows>
void blockOfTwo(const double* taps, const double* const x[2], const PhaseOutput (&o)[2],
                int i) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    Batch a[Rows], b[Rows];
    fusedRowsOfTwo<Arch, Rows>(taps, x[0] + i - kPhaseTaps, x[1] + i - kPhaseTaps, a, b);
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) {
        sinkVector<Arch, To>(o[0], i + r * kWidth, a[r]);
        sinkVector<Arch, To>(o[1], i + r * kWidth, b[r]);
    }
}

template <class Arch, Sink To>
void fusedSumsOfTwo(const double* taps, const double* const x[2], const PhaseOutput (&o)[2],
                    int count) noexcept {
    constexpr int kWidth = static_cast<int>(xsimd::batch<double, Arch>::size);
    int i = 0;
    // Six rows a stream: twelve accumulators and the tap fill the sixteen registers of AVX.
    for (; i + 6 * kWidth <= count; i += 6 * kWidth) blockOfTwo<Arch, To, 6>(taps, x, o, i);
    if (i + 4 * kWidth <= count) {
        blockOfTwo<Arch, To, 4>(taps, x, o, i);
        i += 4 * kWidth;
    }
    for (int k = 0; k < 2; ++k)
        fusedSums<Arch, To>(taps, x[k] + i, outputsFrom<Arch, To>(o[k], i), count - i);
}

// The sums for i = 0..count-1 (sum_i = sum over q = 0..127 of taps[q] * x[i - 128 + q]),
// handed to the sink; the taps must be symmetric. x[-128] .. x[count + W - 2] must be readable,
// with W the vector width (the fused sums' last vector may read past `count`; the fast FIR reads
// no further than x[count - 1]); the sink writes only the outputs of i < count.
template <class Arch, TapOrder Order, Sink To>
void phaseSums(const PhaseTaps& taps, const double* x, const PhaseOutput& o, int count) noexcept {
    if constexpr (Order == TapOrder::FastFir)
        fastFirSums<Arch, To>(taps.split, x, o, count);
    else
        fusedSums<Arch, To>(taps.taps, x, o, count);
}

// The same for two streams on the same taps (the fused sums only forget the history).
template <class Arch, TapOrder Order, Sink To>
void phaseSumsOfTwo(const PhaseTaps& taps, const double* const x[2], const PhaseOutput (&o)[2],
                    int count, PhaseHistory* history, std::int64_t start) noexcept {
    if constexpr (Order == TapOrder::FastFir) {
        fastFirSumsOfTwo<Arch, To>(taps.split, x, o, count, history, start);
    } else {
        if (history != nullptr) history->forget();
        fusedSumsOfTwo<Arch, To>(taps.taps, x, o, count);
    }
}

// even[i] = pairs[2i], odd[i] = pairs[2i + 1] for i = 0..count-1 (the down-sampler's input).
template <class Arch>
void splitPairs(const double* pairs, double* even, double* odd, int count) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    int i = 0;
    for (; i + kWidth <= count; i += kWidth) {
        const Batch a = Batch::load_unaligned(pairs + 2 * i);
        const Batch b = Batch::load_unaligned(pairs + 2 * i + kWidth);
        Batch e = xsimd::zip_lo(a, b);  // p0 p4 | p2 p6 with AVX (per 128-bit lane)
        Batch o = xsimd::zip_hi(a, b);  // p1 p5 | p3 p7
        if constexpr (kWidth == 4) {
            e = _mm256_permute4x64_pd(e, 0xd8);
            o = _mm256_permute4x64_pd(o, 0xd8);
        }
        e.store_unaligned(even + i);
        o.store_unaligned(odd + i);
    }
    for (; i < count; ++i) {
        even[i] = pairs[2 * i];
        odd[i] = pairs[2 * i + 1];
    }
}

// The kernels of one instruction set, in one tap order.
template <class Arch, TapOrder Order>
struct PhaseKernelsOf {
    static void sums(const PhaseTaps& taps, const double* x, double* out, int count) noexcept {
        phaseSums<Arch, Order, Sink::Plain>(taps, x, PhaseOutput{out, nullptr, 0.0}, count);
    }
    static void interleaved(const PhaseTaps& taps, const double* x, const double* direct,
                            double* out2n, int count) noexcept {
        phaseSums<Arch, Order, Sink::Interleaved>(taps, x, PhaseOutput{out2n, direct, 0.0}, count);
    }
    static void withDirect(const PhaseTaps& taps, const double* x, const double* direct,
                           double directTap, double* out, int count) noexcept {
        phaseSums<Arch, Order, Sink::WithDirect>(taps, x, PhaseOutput{out, direct, directTap},
                                                 count);
    }
    static void interleavedTwo(const PhaseTaps& taps, const double* const x[2],
                               const double* const direct[2], double* const out2n[2], int count,
                               PhaseHistory* history, std::int64_t start) noexcept {
        const PhaseOutput o[2] = {{out2n[0], direct[0], 0.0}, {out2n[1], direct[1], 0.0}};
        phaseSumsOfTwo<Arch, Order, Sink::Interleaved>(taps, x, o, count, history, start);
    }
    static void withDirectTwo(const PhaseTaps& taps, const double* const x[2],
                              const double* const direct[2], double directTap, double* const out[2],
                              int count, PhaseHistory* history, std::int64_t start) noexcept {
        const PhaseOutput o[2] = {{out[0], direct[0], directTap}, {out[1], direct[1], directTap}};
        phaseSumsOfTwo<Arch, Order, Sink::WithDirect>(taps, x, o, count, history, start);
    }
    static constexpr PhaseKernels kernels{
        sums, interleaved, withDirect, splitPairs<Arch>, interleavedTwo, withDirectTwo};
};

// The kernels of `Arch`: fused in tap order where it multiplies and adds in one instruction,
// the fast FIR otherwise.
template <class Arch>
constexpr PhaseKernels phaseKernelsFor() noexcept {
    constexpr bool kFused = std::is_base_of_v<xsimd::fma3<xsimd::avx2>, Arch>;
    return PhaseKernelsOf < Arch, kFused ? TapOrder::Fused : TapOrder::FastFir > ::kernels;
}

}  // namespace qrx::dsp::halfband
