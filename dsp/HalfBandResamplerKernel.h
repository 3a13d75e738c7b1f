// The tap loop of the half-band resampler, written once for every vector instruction set.
//
// Included only by the dsp kernel table (KernelsImpl.h: Kernels.cpp for xsimd::sse2,
// Kernels_avx2.cpp for xsimd::fma3<xsimd::avx2>). Everything here is a template on the
// architecture, so each translation unit emits its own instantiation and the linker never merges
// AVX code into the baseline path. Add no non-template inline function to this header.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <type_traits>
#include <xsimd/xsimd.hpp>

#include "dsp/HalfBandResampler.h"

namespace qrx::dsp::halfband {

// How the 128 taps are summed. The phase is symmetric (taps[63 - j] = taps[64 + j]):
// - Fused: 128 fused multiply-adds, one per tap (with FMA a term costs one instruction, its
//   load included);
// - Folded: the two samples of each symmetric pair are added first and multiplied once by
//   taps[64 + j]: 64 multiplies and 128 adds (without FMA this saves a multiply per pair).
enum class TapOrder { Fused, Folded };

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

// The folded sums of phaseRows. The two samples of a pair lie an odd distance apart, so with
// two-double vectors (SSE2) one of the two loads is always on a vector boundary: the forward one
// at even pairs and the backward one at odd pairs where `forwardFirst` (p + 64 on a boundary),
// the other way round otherwise. That load then folds into the addition.
template <class Arch, int Rows, bool forwardFirst>
[[gnu::always_inline]] inline void foldedRows(const double* taps, const double* p,
                                              xsimd::batch<double, Arch> (&acc)[Rows]) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    constexpr int kSide = kPhaseTaps / 2;
    const auto load = [](const double* at, auto onBoundary) {
        if constexpr (decltype(onBoundary)::value && kWidth == 2)
            return Batch::load_aligned(at);
        else
            return Batch::load_unaligned(at);
    };
    const double* fwd = p + kSide;
    const double* bwd = p + kSide - 1;
    const auto pair = [&](int j, auto forwardOnBoundary) {
        const Batch t(taps[kSide + j]);
        // The vector a row loads at pair j is the one the next row loaded two pairs earlier;
        // left alone, the compiler keeps such vectors across iterations and, with two-operand
        // SSE2, pays more register copies and spills than the loads it saves. This empty
        // statement hides the pointers' relation from it (no code is emitted). (The fused loop
        // needs none: there every load is part of a multiply-add.)
        asm("" : "+r"(fwd), "+r"(bwd));
        constexpr bool kForward = decltype(forwardOnBoundary)::value;
#pragma GCC unroll 8
        for (int r = 0; r < Rows; ++r) {
            const Batch sum = load(fwd + r * kWidth, std::bool_constant<kForward>{}) +
                              load(bwd + r * kWidth, std::bool_constant<!kForward>{});
            acc[r] = xsimd::fma(t, sum, acc[r]);
        }
        ++fwd;
        --bwd;
    };
    for (int j = 0; j < kSide; j += 2) {
        pair(j, std::bool_constant<forwardFirst>{});
        pair(j + 1, std::bool_constant<!forwardFirst>{});
    }
}

// `Rows` vectors of consecutive outputs from p = x + i - 128: sum[r] = sum over q of
// taps[q] * p[q + r] (lane by lane). Each tap is broadcast once and multiplied into every row, so
// the loads are plain unaligned loads of the signal and no horizontal sum is needed. Every output
// is one chain in tap order, whatever the number of rows: the result of an output does not depend
// on how the block was cut.
// (Always inlined: the accumulators must stay in registers.)
template <class Arch, TapOrder Order, int Rows>
[[gnu::always_inline]] inline void phaseRows(const double* taps, const double* p,
                                             xsimd::batch<double, Arch> (&acc)[Rows]) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    constexpr int kSide = kPhaseTaps / 2;
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) acc[r] = Batch(0.0);
    if constexpr (Order == TapOrder::Fused) {
        // Unrolled by 32: the loop's own counting would otherwise cost an eighth as much as
        // the multiply-adds.
#pragma GCC unroll 32
        for (int q = 0; q < kPhaseTaps; ++q) {
            const Batch t(taps[q]);
#pragma GCC unroll 8
            for (int r = 0; r < Rows; ++r)
                acc[r] = xsimd::fma(t, Batch::load_unaligned(p + q + r * kWidth), acc[r]);
        }
    } else if (reinterpret_cast<std::uintptr_t>(p + kSide) % sizeof(Batch) == 0) {
        foldedRows<Arch, Rows, true>(taps, p, acc);
    } else {
        foldedRows<Arch, Rows, false>(taps, p, acc);
    }
}

template <class Arch, TapOrder Order, Sink To, int Rows>
void phaseBlock(const double* taps, const double* x, const PhaseOutput& o, int i) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    Batch acc[Rows];
    phaseRows<Arch, Order, Rows>(taps, x + i - kPhaseTaps, acc);
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) sinkVector<Arch, To>(o, i + r * kWidth, acc[r]);
}

// The sums for i = 0..count-1 (sum_i = sum over q = 0..127 of taps[q] * x[i - 128 + q]),
// vectorised across outputs and handed to the sink; the taps must be symmetric.
// x[-128] .. x[count + W - 2] must be readable, with W the vector width (the last vector may
// read past `count`); the sink writes only the outputs of i < count.
template <class Arch, TapOrder Order, Sink To>
void phaseSums(const double* taps, const double* x, const PhaseOutput& o, int count) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    // Eight independent rows hide the latency of the multiply-adds; the rest of the block runs
    // in four, two and one.
    int i = 0;
    for (; i + 8 * kWidth <= count; i += 8 * kWidth) phaseBlock<Arch, Order, To, 8>(taps, x, o, i);
    if (i + 4 * kWidth <= count) {
        phaseBlock<Arch, Order, To, 4>(taps, x, o, i);
        i += 4 * kWidth;
    }
    if (i + 2 * kWidth <= count) {
        phaseBlock<Arch, Order, To, 2>(taps, x, o, i);
        i += 2 * kWidth;
    }
    for (; i + kWidth <= count; i += kWidth) phaseBlock<Arch, Order, To, 1>(taps, x, o, i);
    if (i < count) {
        Batch acc[1];
        phaseRows<Arch, Order, 1>(taps, x + i - kPhaseTaps, acc);
        alignas(32) double sums[kWidth];
        acc[0].store_aligned(sums);
        sinkPartial<Arch, To>(o, i, sums, count - i);
    }
}

// The same sums for two streams on the same taps: every broadcast tap serves the rows of both
// (the fused loop only; the folded one runs the streams one after the other). Each output is the
// same chain as in phaseSums.
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

// The outputs from index i on.
template <class Arch, Sink To>
PhaseOutput outputsFrom(const PhaseOutput& o, int i) noexcept {
    return PhaseOutput{o.out + (To == Sink::Interleaved ? 2 * i : i),
                       o.direct ? o.direct + i : nullptr, o.directTap};
}

template <class Arch, TapOrder Order, Sink To>
void phaseSumsOfTwo(const double* taps, const double* const x[2], const PhaseOutput (&o)[2],
                    int count) noexcept {
    constexpr int kWidth = static_cast<int>(xsimd::batch<double, Arch>::size);
    int i = 0;
    if constexpr (Order == TapOrder::Fused) {
        // Six rows a stream: twelve accumulators and the tap fill the sixteen registers of AVX.
        for (; i + 6 * kWidth <= count; i += 6 * kWidth) blockOfTwo<Arch, To, 6>(taps, x, o, i);
        if (i + 4 * kWidth <= count) {
            blockOfTwo<Arch, To, 4>(taps, x, o, i);
            i += 4 * kWidth;
        }
    }
    for (int k = 0; k < 2; ++k)
        phaseSums<Arch, Order, To>(taps, x[k] + i, outputsFrom<Arch, To>(o[k], i), count - i);
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
    static void sums(const double* taps, const double* x, double* out, int count) noexcept {
        phaseSums<Arch, Order, Sink::Plain>(taps, x, PhaseOutput{out, nullptr, 0.0}, count);
    }
    static void interleaved(const double* taps, const double* x, const double* direct,
                            double* out2n, int count) noexcept {
        phaseSums<Arch, Order, Sink::Interleaved>(taps, x, PhaseOutput{out2n, direct, 0.0}, count);
    }
    static void withDirect(const double* taps, const double* x, const double* direct,
                           double directTap, double* out, int count) noexcept {
        phaseSums<Arch, Order, Sink::WithDirect>(taps, x, PhaseOutput{out, direct, directTap},
                                                 count);
    }
    static void interleavedTwo(const double* taps, const double* const x[2],
                               const double* const direct[2], double* const out2n[2],
                               int count) noexcept {
        const PhaseOutput o[2] = {{out2n[0], direct[0], 0.0}, {out2n[1], direct[1], 0.0}};
        phaseSumsOfTwo<Arch, Order, Sink::Interleaved>(taps, x, o, count);
    }
    static void withDirectTwo(const double* taps, const double* const x[2],
                              const double* const direct[2], double directTap, double* const out[2],
                              int count) noexcept {
        const PhaseOutput o[2] = {{out[0], direct[0], directTap}, {out[1], direct[1], directTap}};
        phaseSumsOfTwo<Arch, Order, Sink::WithDirect>(taps, x, o, count);
    }
    static constexpr PhaseKernels kernels{
        sums, interleaved, withDirect, splitPairs<Arch>, interleavedTwo, withDirectTwo};
};

// The kernels of `Arch`: fused in tap order where it multiplies and adds in one instruction,
// folded otherwise.
template <class Arch>
constexpr PhaseKernels phaseKernelsFor() noexcept {
    constexpr bool kFused = std::is_base_of_v<xsimd::fma3<xsimd::avx2>, Arch>;
    return PhaseKernelsOf < Arch, kFused ? TapOrder::Fused : TapOrder::Folded > ::kernels;
}

}  // namespace qrx::dsp::halfband
