// The tap loop of the half-band resampler, written once for every vector instruction set.
//
// Included only by HalfBandResampler.cpp (baseline, plain x86-64: xsimd::sse2) and
// HalfBandResampler_avx2.cpp (xsimd::fma3<xsimd::avx2>, compiled with -mavx2 -mfma). Everything
// here is a template on the architecture, so each translation unit emits its own instantiation
// and the linker never merges AVX code into the baseline path. Add no non-template inline
// function to this header.
#pragma once

#include <xsimd/xsimd.hpp>

#include "dsp/HalfBandResampler.h"

namespace qrx::dsp::halfband {

// How the 128 taps are summed. The phase is symmetric (taps[63 - j] = taps[64 + j]):
// - Fused: 128 fused multiply-adds, one per tap (with FMA a term costs one instruction, its
//   load included);
// - Folded: the two samples of each symmetric pair are added first and multiplied once by
//   taps[64 + j]: 64 multiplies and 128 adds (without FMA this saves a multiply per pair).
enum class TapOrder { Fused, Folded };

// `Rows` vectors of consecutive outputs from p = x + i - 128: out[r] = sum over q of
// taps[q] * p[q + r] (lane by lane). Each tap is broadcast once and multiplied into every row, so
// the loads are plain unaligned loads of the signal and no horizontal sum is needed. Every output
// is one chain in tap order, whatever the number of rows: the result of an output does not depend
// on how the block was cut.
template <class Arch, TapOrder Order, int Rows>
void phaseRows(const double* taps, const double* p, double* out) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    constexpr int kSide = kPhaseTaps / 2;
    Batch acc[Rows];
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) acc[r] = Batch(0.0);
    if constexpr (Order == TapOrder::Fused) {
#pragma GCC unroll 4
        for (int q = 0; q < kPhaseTaps; ++q) {
            const Batch t(taps[q]);
#pragma GCC unroll 8
            for (int r = 0; r < Rows; ++r)
                acc[r] = xsimd::fma(t, Batch::load_unaligned(p + q + r * kWidth), acc[r]);
        }
    } else {
        const double* fwd = p + kSide;
        const double* bwd = p + kSide - 1;
        for (int j = 0; j < kSide; ++j) {
            const Batch t(taps[kSide + j]);
            // The vector a row loads at pair j is the one the next row loaded two pairs
            // earlier; left alone, the compiler keeps such vectors across iterations and, with
            // two-operand SSE2, pays more register copies and spills than the loads it saves.
            // This empty statement hides the pointers' relation from it (no code is emitted).
            // (The fused loop needs none: there every load is part of a multiply-add.)
            asm("" : "+r"(fwd), "+r"(bwd));
#pragma GCC unroll 8
            for (int r = 0; r < Rows; ++r) {
                const Batch pair = Batch::load_unaligned(fwd + r * kWidth) +
                                   Batch::load_unaligned(bwd + r * kWidth);
                acc[r] = xsimd::fma(t, pair, acc[r]);
            }
            ++fwd;
            --bwd;
        }
    }
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) acc[r].store_unaligned(out + r * kWidth);
}

// out[i] = sum over q = 0..127 of taps[q] * x[i - 128 + q], for i = 0..count-1, vectorised
// across outputs; the taps must be symmetric. x[-128] .. x[count + W - 2] must be readable and
// out[0 .. count + W - 1] writable, with W the vector width (the last vector may run past `count`).
template <class Arch, TapOrder Order>
void phaseSums(const double* taps, const double* x, double* out, int count) noexcept {
    constexpr int kWidth = static_cast<int>(xsimd::batch<double, Arch>::size);
    // Eight independent rows hide the latency of the multiply-adds; the rest of the block runs
    // in four, two and one.
    int i = 0;
    for (; i + 8 * kWidth <= count; i += 8 * kWidth)
        phaseRows<Arch, Order, 8>(taps, x + i - kPhaseTaps, out + i);
    if (i + 4 * kWidth <= count) {
        phaseRows<Arch, Order, 4>(taps, x + i - kPhaseTaps, out + i);
        i += 4 * kWidth;
    }
    if (i + 2 * kWidth <= count) {
        phaseRows<Arch, Order, 2>(taps, x + i - kPhaseTaps, out + i);
        i += 2 * kWidth;
    }
    for (; i < count; i += kWidth) phaseRows<Arch, Order, 1>(taps, x + i - kPhaseTaps, out + i);
}

}  // namespace qrx::dsp::halfband
