// The Hilbert transformer both engines' detectors use: the odd-tap kernel h[i] = 2 / ((2i+1) pi)
// and its sums over a window centred on each output,
//   q[k] = sum_{i<taps} h[i] * (x[k+2i+1] - x[k-2i-1]),
// each output summed in the order of i, so the vector and plain builds give the same bits.
//
// Threads: pure functions; the detectors call them on the audio thread.
#pragma once

namespace qrx::dsp {

// h[i] = 2 / ((2i + 1) pi) for i < taps, 0 for taps <= i < size.
void fillHilbertKernel(double* kernel, int taps, int size) noexcept;

// q[k] for k = 0 .. 4 * quads - 1, `centre` pointing at the centre sample of output 0: reads
// centre[-2 taps + 1 .. 4 quads + 2 taps - 2] and kernel[0 .. taps - 1]. Built for AVX2 where the
// processor has it (no fused multiply-add either way).
void hilbertSums(const double* centre, const double* kernel, int taps, int quads,
                 double* q) noexcept;

}  // namespace qrx::dsp
