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

// `Rows` vectors of consecutive outputs from p = x + i - 128: out[r] = sum over q of
// taps[q] * p[q + r]. Each tap is broadcast once and multiplied into every row, so the loads are
// plain unaligned loads of the signal and no horizontal sum is needed. Every output is one chain
// of multiply-adds in tap order, whatever the number of rows: the result of an output does not
// depend on how the block was cut.
template <class Arch, int Rows>
void phaseRows(const double* taps, const double* p, double* out) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    Batch acc[Rows];
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) acc[r] = Batch(0.0);
#pragma GCC unroll 4
    for (int q = 0; q < kPhaseTaps; ++q) {
        const Batch t(taps[q]);
#pragma GCC unroll 8
        for (int r = 0; r < Rows; ++r)
            acc[r] = xsimd::fma(t, Batch::load_unaligned(p + q + r * kWidth), acc[r]);
    }
#pragma GCC unroll 8
    for (int r = 0; r < Rows; ++r) acc[r].store_unaligned(out + r * kWidth);
}

// out[i] = sum over q = 0..127 of taps[q] * x[i - 128 + q], for i = 0..count-1, vectorised
// across outputs. x[-128] .. x[count + W - 2] must be readable and out[0 .. count + W - 1]
// writable, with W the vector width (the last vector may run past `count`).
template <class Arch>
void phaseSums(const double* taps, const double* x, double* out, int count) noexcept {
    constexpr int kWidth = static_cast<int>(xsimd::batch<double, Arch>::size);
    // Eight independent rows hide the latency of the multiply-adds; the rest of the block runs
    // in four, two and one.
    int i = 0;
    for (; i + 8 * kWidth <= count; i += 8 * kWidth)
        phaseRows<Arch, 8>(taps, x + i - kPhaseTaps, out + i);
    if (i + 4 * kWidth <= count) {
        phaseRows<Arch, 4>(taps, x + i - kPhaseTaps, out + i);
        i += 4 * kWidth;
    }
    if (i + 2 * kWidth <= count) {
        phaseRows<Arch, 2>(taps, x + i - kPhaseTaps, out + i);
        i += 2 * kWidth;
    }
    for (; i < count; i += kWidth) phaseRows<Arch, 1>(taps, x + i - kPhaseTaps, out + i);
}

}  // namespace qrx::dsp::halfband
