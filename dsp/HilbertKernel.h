// The Hilbert transformer both engines' detectors use: the odd-tap kernel h[i] = 2 / ((2i+1) pi)
// and its sums over a window centred on each output,
//   q[k] = sum_{i<taps} h[i] * (x[k+2i+1] - x[k-2i-1]).
// referenceHilbertSums is that sum as written, in the order of i. The vector kernel (one template,
// HilbertKernelImpl.h, in the dsp kernel table) differs from it by rounding only: with AVX2+FMA it
// fuses each tap's product and keeps the even and the odd taps' sums apart (each in the order of
// i) until the end; on SSE2 it is a fast FIR (HilbertFastFir.h) from 8 to 257 taps, the plain sum's
// bits otherwise. An output's value depends only on the samples of its window and, on SSE2, on its
// sample's address modulo 64 bytes: never on where in a call or block it falls, as long as the
// caller keeps each sample at one address modulo 64 bytes. A caller that runs over one stream of
// samples may lend the kernel a HilbertHistory: the fast FIR then keeps what it laid out for the
// last outputs and, where the next call goes on from there, lays out only the new samples. The
// outputs are the same to the bit with or without it.
//
// Threads: the detectors call these on the audio thread; apart from a lent history, which only
// its owner's calls touch, they are pure functions.
#pragma once

#include <cstdint>

#include "dsp/FastFirHistory.h"

namespace qrx::dsp {

// The baseline (SSE2) computes the sums of the first taps & ~1 taps as a fast FIR
// (HilbertFastFir.h) when it has from 4 to kHilbertFastFirMaxLeaf taps a sub-filter, taps / 2;
// it needs the sub-filters' taps, which the kernel keeps after h from hilbertSplitOffset(taps) on.
// (The longest sub-filter sets the fast FIR's work area on the audio thread's stack: about 22 KB.)
inline constexpr int kHilbertFastFirMaxLeaf = 128;
constexpr bool hilbertFastFirFits(int taps) {
    return taps / 2 >= 4 && taps / 2 <= kHilbertFastFirMaxLeaf;
}
constexpr int hilbertSplitOffset(int taps) {
    return (taps + 4 + 7) / 8 * 8;
}
// Doubles a kernel of `taps` needs, the sub-filters' taps included; it grows with `taps`.
constexpr int hilbertKernelSize(int taps) {
    const int leaf = taps / 2 < kHilbertFastFirMaxLeaf ? taps / 2 : kHilbertFastFirMaxLeaf;
    return hilbertSplitOffset(taps) + 2 * (4 * leaf + leaf / 2);
}

// h[i] = 2 / ((2i + 1) pi) for i < taps, 0 from there to hilbertSplitOffset(taps) (or `size`),
// then the sub-filters' taps where the fast FIR takes `taps`. `size` >= hilbertKernelSize(taps).
void fillHilbertKernel(double* kernel, int taps, int size) noexcept;

// What the baseline's fast FIR carries over one stream (FastFirHistory.h): five kinds of row
// sums, up to 256 rows of each (the longest sub-filter's 128 and runs of new rows after them);
// a call takes it from a 64-byte boundary. About 20 KB.
using HilbertHistory = FastFirHistory<5, 256>;

// q[k] for k = 0 .. 4 * quads - 1, `centre` pointing at the centre sample of output 0: reads
// centre[-2 taps + 1 .. 4 quads + 2 taps - 2] and kernel[0 .. taps - 1]. `history` (or null)
// carries the fast FIR's work over a stream, `start` being the index in that stream of output
// 0; a caller counts it on from any start and calls forget() when the samples behind it change.
using HilbertSums = void (*)(const double* centre, const double* kernel, int taps, int quads,
                             double* q, HilbertHistory* history, std::int64_t start) noexcept;

// The plain per-output sum the kernels are held to (it needs no history).
void referenceHilbertSums(const double* centre, const double* kernel, int taps, int quads,
                          double* q, HilbertHistory* history, std::int64_t start) noexcept;

}  // namespace qrx::dsp
