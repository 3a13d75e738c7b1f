// The Hilbert transformer both engines' detectors use: the odd-tap kernel h[i] = 2 / ((2i+1) pi)
// and its sums over a window centred on each output,
//   q[k] = sum_{i<taps} h[i] * (x[k+2i+1] - x[k-2i-1]),
// each output summed in the order of i. The baseline build gives the plain sum's bits; the
// AVX2+FMA build fuses both products of each tap into the sum, h x[k+2i+1] first, then
// - h x[k-2i-1] (differences of rounding only).
//
// Threads: pure functions; the detectors call them on the audio thread.
#pragma once

#include "dsp/InstructionSet.h"

namespace qrx::dsp {

// h[i] = 2 / ((2i + 1) pi) for i < taps, 0 for taps <= i < size.
void fillHilbertKernel(double* kernel, int taps, int size) noexcept;

// q[k] for k = 0 .. 4 * quads - 1, `centre` pointing at the centre sample of output 0: reads
// centre[-2 taps + 1 .. 4 quads + 2 taps - 2] and kernel[0 .. taps - 1], with the kernels of
// `set` (which this processor must run).
void hilbertSums(InstructionSet set, const double* centre, const double* kernel, int taps,
                 int quads, double* q) noexcept;

// The AVX2+FMA build (HilbertKernel_avx2.cpp); only for processors that have it.
void hilbertSumsAvx2(const double* centre, const double* kernel, int taps, int quads,
                     double* q) noexcept;

}  // namespace qrx::dsp
