// The Hilbert transformer both engines' detectors use: the odd-tap kernel h[i] = 2 / ((2i+1) pi)
// and its sums over a window centred on each output,
//   q[k] = sum_{i<taps} h[i] * (x[k+2i+1] - x[k-2i-1]).
// referenceHilbertSums is that sum as written, in the order of i; the vector kernel (one template,
// HilbertKernelImpl.h, in the dsp kernel table) gives the same bits on SSE2 and, with AVX2+FMA,
// fuses each tap's product and keeps the even and the odd taps' sums apart (each in the order of
// i) until the end (differences of rounding only). Either way an output's value depends on the
// samples alone, not on where in a call or block it falls.
//
// Threads: pure functions; the detectors call them on the audio thread.
#pragma once

namespace qrx::dsp {

// h[i] = 2 / ((2i + 1) pi) for i < taps, 0 for taps <= i < size.
void fillHilbertKernel(double* kernel, int taps, int size) noexcept;

// q[k] for k = 0 .. 4 * quads - 1, `centre` pointing at the centre sample of output 0: reads
// centre[-2 taps + 1 .. 4 quads + 2 taps - 2] and kernel[0 .. taps - 1].
using HilbertSums = void (*)(const double* centre, const double* kernel, int taps, int quads,
                             double* q) noexcept;

// The plain per-output sum the kernels are held to.
void referenceHilbertSums(const double* centre, const double* kernel, int taps, int quads,
                          double* q) noexcept;

}  // namespace qrx::dsp
