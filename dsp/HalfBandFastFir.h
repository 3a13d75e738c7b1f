// The tap sums of the half-band phase for two-double vectors (the baseline, SSE2), as a nested
// two-parallel fast FIR. Included only by HalfBandResamplerKernel.h. Everything here has internal
// linkage (an unnamed namespace), so each build keeps its own code.
//
// The sums y[j] = sum over q < 128 of h[q] g[j - 128 + q], h symmetric. Split the taps into
// a[t] = h[2t] and b[t] = h[2t + 1] (t < 64; b[t] = a[63 - t]) and the samples into E[k] = g[2k]
// and O[k] = g[2k + 1]. With (f * S)[m] = sum over t < 64 of f[t] S[m - 64 + t]:
//   y[2m]     = (a * E)[m] + (b * O)[m]     = P2[m] - P0[m] - P1[m]
//   y[2m + 1] = (a * O)[m] + (b * E)[m + 1] = P0[m] + P1[m + 1]
// where P2 = (a + b) * (E + O), P0 = a * O and P1 = b * E: three 64-tap sums give two outputs.
// Each of the three is split once more, the same way, into 32-tap sums on quarter-rate streams
// (fe, fo the even and odd taps of f, Se, So the even and odd samples of S):
//   (f * S)[2n] = F2[n] - F0[n] - F1[n],   (f * S)[2n + 1] = F0[n] + F1[n + 1]
// with F2 = (fe + fo) *' (Se + So), F0 = fe *' So, F1 = fo *' Se, where (f *' S)[n] = sum over
// u < 32 of f[u] S[n - 32 + u]. Nine 32-tap sums thus give four outputs: 72 additions and 68
// products an output (one sub-filter is folded) instead of the 128 additions and 64 products of
// the folded direct sum, plus 15 additions per four outputs after the sums and 5 per four samples
// before them. The additions are what counts: SSE2 multiplies and adds on separate pipes, and the
// folded direct sum (two additions and a product per symmetric pair) was bound by its additions.
//
// The taps are symmetric, so s = a + b is too: its odd taps are its even taps reversed and the sum
// of the two is symmetric (folded: 16 pairs). b's sub-filters are a's reversed. Five sets of 32
// (or 16) taps therefore describe all nine sub-filters: the phase's SplitTaps
// (HalfBandResampler.h), made once with the taps, each tap in both lanes.
//
// The two lanes of a vector are two independent runs of outputs (two streams, or two halves of one
// block): every stream above is then a plain sequence of vectors, and each run's samples are
// interleaved with the other's once per pass.
//
// Which formula an output takes depends on where its sample lies: j counts from the 32-byte
// boundary at or before x (x[i] is g[i + residue]). Each output reads only its own 128 samples
// (every sub-sum above lies within the window of the outputs it serves), so an output's value, to
// the bit, depends only on those samples, the taps and x[i]'s address modulo 32 bytes: not on where
// a call or a block begins, nor on the samples around a run, which may be padded with zeros.
#pragma once

#include <cstdint>
#include <xsimd/xsimd.hpp>

#include "dsp/FastFirRows.h"
#include "dsp/HalfBandResampler.h"

namespace qrx::dsp::halfband {
namespace {

inline constexpr int kFastFirRun = 64;                          // outputs of a run per pass
inline constexpr int kFastFirRows = (3 + kFastFirRun + 3) / 4;  // quarter-rate rows, residue incl.
inline constexpr int kFastFirSpan = kFastFirRows + 32;          // stream values n = -32 .. rows - 1

// One run of outputs in a lane: sums for x[0 .. count - 1] (count <= kFastFirRun) from
// x[-128 .. count - 1], which must be readable.
struct FastFirRun {
    const double* x;
    int count;
};

// Which of the four outputs of a group x[0] is (its address in doubles modulo 4).
inline int residueOf(const double* x) noexcept {
    return static_cast<int>((reinterpret_cast<std::uintptr_t>(x) / sizeof(double)) % 4);
}

// The streams of both runs at n = -32 .. rows - 1 (row n reads n - 32 .. n - 1), from index 0: the
// samples z[4n + r] = g[4n + r] (E's even and odd samples at r = 0, 2, O's at r = 1, 3) and the
// sums the F2 sub-filters and the s level take.
template <class Arch>
struct FastFirStreams {
    using Batch = xsimd::batch<double, Arch>;
    Batch z[4 * kFastFirSpan];
    Batch we[kFastFirSpan], wo[kFastFirSpan], wsum[kFastFirSpan];  // W = E + O: even, odd, sum
    Batch esum[kFastFirSpan], osum[kFastFirSpan];
};

// The sub-filter sums, one row a quarter-rate step: s level (on W), a level (on O), b level (on E).
template <class Arch>
struct FastFirSums {
    using Batch = xsimd::batch<double, Arch>;
    Batch f2s[kFastFirRows + 1], f0s[kFastFirRows + 1], f1s[kFastFirRows + 1];
    Batch f2a[kFastFirRows + 1], f0a[kFastFirRows + 1], f1a[kFastFirRows + 1];
    Batch f2b[kFastFirRows + 1], f0b[kFastFirRows + 1], f1b[kFastFirRows + 1];
};

// Everything a pass needs, on the caller's stack.
template <class Arch>
struct FastFirWork {
    FastFirStreams<Arch> streams;
    FastFirSums<Arch> sums;
    alignas(16) double out[2][4 * kFastFirRows];  // each run's outputs from its group boundary
};

// x[i .. i + 3] of a run, zero outside x[-128 .. count - 1] (at the ends of a pass).
template <class Arch>
[[gnu::noinline]] void paddedFour(const FastFirRun& run, int i, double* four) noexcept {
    for (int r = 0; r < 4; ++r) four[r] = i + r >= -128 && i + r < run.count ? run.x[i + r] : 0.0;
}

// Four samples of both runs: g[k .. k + 3] of each, lane s = run s.
template <class Arch>
[[gnu::always_inline]] inline void groupOfFour(const FastFirRun (&runs)[2], const int (&residue)[2],
                                               int k, xsimd::batch<double, Arch> (&z)[4]) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    const int i0 = k - residue[0], i1 = k - residue[1];
    alignas(16) double padded[2][4];
    const double* a = padded[0];
    const double* b = padded[1];
    if (i0 >= -128 && i0 + 3 < runs[0].count)
        a = runs[0].x + i0;
    else
        paddedFour<Arch>(runs[0], i0, padded[0]);
    if (i1 >= -128 && i1 + 3 < runs[1].count)
        b = runs[1].x + i1;
    else
        paddedFour<Arch>(runs[1], i1, padded[1]);
    const Batch a0 = Batch::load_unaligned(a), a1 = Batch::load_unaligned(a + 2);
    const Batch b0 = Batch::load_unaligned(b), b1 = Batch::load_unaligned(b + 2);
    z[0] = xsimd::zip_lo(a0, b0);
    z[1] = xsimd::zip_hi(a0, b0);
    z[2] = xsimd::zip_lo(a1, b1);
    z[3] = xsimd::zip_hi(a1, b1);
}

template <class Arch>
void fillStreams(const FastFirRun (&runs)[2], const int (&residue)[2], int rows,
                 FastFirStreams<Arch>& st) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    for (int v = 0; v < rows + 32; ++v) {
        Batch z[4];
        groupOfFour<Arch>(runs, residue, 4 * (v - 32), z);
        for (int r = 0; r < 4; ++r) st.z[4 * v + r] = z[r];
        const Batch we = z[0] + z[1], wo = z[2] + z[3];
        st.we[v] = we;
        st.wo[v] = wo;
        st.wsum[v] = we + wo;
        st.esum[v] = z[0] + z[2];
        st.osum[v] = z[1] + z[3];
    }
}

// The nine sub-filter sums of `rows` quarter-rate rows (one more where the next row is needed).
template <class Arch>
void subFilterSums(const SplitTaps& t, const FastFirStreams<Arch>& st, int rows,
                   FastFirSums<Arch>& q) noexcept {
    static_assert(xsimd::batch<double, Arch>::size == 2);  // the split taps fill two lanes
    constexpr int kLast = 2 * 31;                          // tap 31
    using fastfir::doublesOf;
    using fastfir::foldedSubFilter;
    using fastfir::subFilter;
    // s level, on W: F2 = ssum on We + Wo, F0 = se on Wo, F1 = so (se reversed) on We.
    foldedSubFilter<Arch, 1>(t.ssum, 32, doublesOf(st.wsum), q.f2s, rows);
    subFilter<Arch, 1, 1>(t.se, 32, doublesOf(st.wo), q.f0s, rows);
    subFilter<Arch, 1, -1>(t.se + kLast, 32, doublesOf(st.we), q.f1s, rows + 1);
    // a level, on O (Oe = z[4n + 1], Oo = z[4n + 3]).
    subFilter<Arch, 1, 1>(t.asum, 32, doublesOf(st.osum), q.f2a, rows);
    subFilter<Arch, 4, 1>(t.ae, 32, doublesOf(st.z + 3), q.f0a, rows);
    subFilter<Arch, 4, 1>(t.ao, 32, doublesOf(st.z + 1), q.f1a, rows + 1);
    // b level, on E (Ee = z[4n], Eo = z[4n + 2]): be = ao reversed, bo = ae reversed, and their
    // sum asum reversed. P1 is needed one output pair further, so every sum one row further.
    subFilter<Arch, 1, -1>(t.asum + kLast, 32, doublesOf(st.esum), q.f2b, rows + 1);
    subFilter<Arch, 4, -1>(t.ao + kLast, 32, doublesOf(st.z + 2), q.f0b, rows + 1);
    subFilter<Arch, 4, -1>(t.ae + kLast, 32, doublesOf(st.z), q.f1b, rows + 1);
}

// Both runs' outputs, y[4n .. 4n + 3] of run s to w.out[s][4n ..] for every row n.
template <class Arch>
void combineRows(FastFirWork<Arch>& w, int rows) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    const FastFirSums<Arch>& q = w.sums;
    Batch p1e = q.f2b[0] - q.f0b[0] - q.f1b[0];  // P1[2n]
    for (int n = 0; n < rows; ++n) {
        const Batch p2e = q.f2s[n] - q.f0s[n] - q.f1s[n], p2o = q.f0s[n] + q.f1s[n + 1];
        const Batch p0e = q.f2a[n] - q.f0a[n] - q.f1a[n], p0o = q.f0a[n] + q.f1a[n + 1];
        const Batch p1o = q.f0b[n] + q.f1b[n + 1];
        const Batch p1next = q.f2b[n + 1] - q.f0b[n + 1] - q.f1b[n + 1];
        const Batch y0 = p2e - p0e - p1e, y1 = p0e + p1o;
        const Batch y2 = p2o - p0o - p1o, y3 = p0o + p1next;
        p1e = p1next;
        xsimd::zip_lo(y0, y1).store_aligned(w.out[0] + 4 * n);
        xsimd::zip_lo(y2, y3).store_aligned(w.out[0] + 4 * n + 2);
        xsimd::zip_hi(y0, y1).store_aligned(w.out[1] + 4 * n);
        xsimd::zip_hi(y2, y3).store_aligned(w.out[1] + 4 * n + 2);
    }
}

// The sums of both runs: run s's output i is sums[s][i].
template <class Arch>
void fastFirRuns(const SplitTaps& taps, const FastFirRun (&runs)[2], FastFirWork<Arch>& w,
                 const double* (&sums)[2]) noexcept {
    const int residue[2] = {residueOf(runs[0].x), residueOf(runs[1].x)};
    int rows = 0;
    for (int s = 0; s < 2; ++s) {
        const int r = (residue[s] + runs[s].count + 3) / 4;
        rows = r > rows ? r : rows;
    }
    fillStreams<Arch>(runs, residue, rows, w.streams);
    subFilterSums<Arch>(taps, w.streams, rows, w.sums);
    combineRows<Arch>(w, rows);
    for (int s = 0; s < 2; ++s) sums[s] = w.out[s] + residue[s];
}

}  // namespace
}  // namespace qrx::dsp::halfband
