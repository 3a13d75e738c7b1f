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
// A third split of the eight unfolded sub-filters (three 16-tap sums each, on a stream's even
// rows, its odd rows and the sums of row pairs: 52 products and about 62 additions an output) was
// measured slower: grandpress's FAT routine ran at 0.95 of this form's speed, and at 0.995 even
// with the row pairs' sums left out, so the shorter sums cost more per term than they save.
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
//
// The sub-filters read 32 rows before a pass's own, and five of them (F1s, F1a, F2b, F0b, F1b)
// one row after its last outputs. A pair's pass that follows another (in the same call, or in
// the next call over a PhaseHistory) takes the rows and those five sums from the pass before,
// laying out only its own rows: at 64 outputs a pass lays out 16 rows instead of 48, and the five
// sub-filters run 16 rows instead of 17 (measured: 4.6 % fewer instructions for grandpress's FAT
// routine on the baseline).
#pragma once

#include <cstdint>
#include <xsimd/xsimd.hpp>

#include "dsp/FastFirRows.h"
#include "dsp/HalfBandResampler.h"

namespace qrx::dsp::halfband {
namespace {

inline constexpr int kFastFirRun = 64;                          // outputs of a run per pass
inline constexpr int kFastFirRows = (3 + kFastFirRun + 3) / 4;  // quarter-rate rows, residue incl.
// Stream rows a pass reads: n = -32 .. rows - 1.
inline constexpr int kFastFirSpan = kFastFirRows + kFastFirLeaf;
static_assert(PhaseHistory::kRows >= kFastFirSpan);

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

// The streams of both runs, a row of each kind a quarter-rate step (row v is n = v - 32: it reads
// n - 32 .. n - 1): the samples z[4n + r] = g[4n + r] (E's even and odd samples at r = 0, 2, O's
// at r = 1, 3) and the sums the F2 sub-filters and the s level take (W = E + O: even, odd, sum).
enum StreamKind { kZ0, kZ1, kZ2, kZ3, kWe, kWo, kWsum, kEsum, kOsum };
static_assert(kOsum + 1 == PhaseHistory::kKinds);

using fastfir::RowStore;

// The sub-filter sums, one row a quarter-rate step: s level (on W), a level (on O), b level (on E).
template <class Arch>
struct FastFirSums {
    using Batch = xsimd::batch<double, Arch>;
    Batch f2s[kFastFirRows + 1], f0s[kFastFirRows + 1], f1s[kFastFirRows + 1];
    Batch f2a[kFastFirRows + 1], f0a[kFastFirRows + 1], f1a[kFastFirRows + 1];
    Batch f2b[kFastFirRows + 1], f0b[kFastFirRows + 1], f1b[kFastFirRows + 1];
};

// Everything a pass needs, on the caller's stack: the streams where no history holds them, the
// sums and the outputs.
template <class Arch>
struct FastFirWork {
    alignas(16) double streams[PhaseHistory::kKinds][2 * kFastFirSpan];
    alignas(16) double ahead[PhaseHistory::kAhead][2];
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

// Stream rows v = from .. to - 1 of the pass to the store, row v at store row base + v.
template <class Arch>
void layOutRows(const FastFirRun (&runs)[2], const int (&residue)[2], int from, int to,
                const RowStore& st, int base) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    // (Pointers taken once: the stores below could, for all the compiler knows, change `st`.)
    double* row[PhaseHistory::kKinds];
    for (int kind = 0; kind < PhaseHistory::kKinds; ++kind) row[kind] = st.at(kind, base);
    for (int v = from; v < to; ++v) {
        Batch z[4];
        groupOfFour<Arch>(runs, residue, 4 * (v - kFastFirLeaf), z);
        for (int r = 0; r < 4; ++r) z[r].store_aligned(row[kZ0 + r] + 2 * v);
        const Batch we = z[0] + z[1], wo = z[2] + z[3];
        we.store_aligned(row[kWe] + 2 * v);
        wo.store_aligned(row[kWo] + 2 * v);
        (we + wo).store_aligned(row[kWsum] + 2 * v);
        (z[0] + z[2]).store_aligned(row[kEsum] + 2 * v);
        (z[1] + z[3]).store_aligned(row[kOsum] + 2 * v);
    }
}

// Lays out the pass's streams and returns the store row of its row v = 0. Going on, the pass's
// first 32 rows are the last 32 held (the pass before's last rows): it lays out only its own,
// after moving those to the front where the store is full.
template <class Arch>
int layOutPass(const FastFirRun (&runs)[2], const int (&residue)[2], int rows, bool goOn,
               RowStore& st) noexcept {
    if (!goOn) {
        layOutRows<Arch>(runs, residue, 0, rows + kFastFirLeaf, st, 0);
        st.end = rows + kFastFirLeaf;
        return 0;
    }
    st.makeRoom(rows, PhaseHistory::kKinds, kFastFirLeaf);
    const int base = st.end - kFastFirLeaf;
    layOutRows<Arch>(runs, residue, kFastFirLeaf, rows + kFastFirLeaf, st, base);
    st.end += rows;
    return base;
}

// The nine sub-filter sums of `rows` quarter-rate rows (one more where the next row is needed),
// on the streams from store row `base` on. Going on, row 0 of the sub-filters that run one row
// further is the pass before's row one on, kept in the store.
template <class Arch>
void subFilterSums(const SplitTaps& t, const RowStore& st, int base, int rows, bool goOn,
                   FastFirSums<Arch>& q) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    static_assert(Batch::size == 2);  // the split taps fill two lanes
    constexpr int kLast = 2 * (kFastFirLeaf - 1);
    constexpr int kLeaf = kFastFirLeaf;
    using fastfir::foldedSubFilter;
    using fastfir::subFilter;
    Batch* const ahead[PhaseHistory::kAhead] = {q.f1s, q.f1a, q.f2b, q.f0b, q.f1b};
    const int skip = goOn ? 1 : 0;  // their row 0 already known
    if (goOn) st.takeAhead(ahead);
    const int aheadRows = rows + 1 - skip;
    const auto at = [&](int kind, int from) { return st.at(kind, base + from); };
    // s level, on W: F2 = ssum on We + Wo, F0 = se on Wo, F1 = so (se reversed) on We.
    foldedSubFilter<Arch, 1>(t.ssum, kLeaf, at(kWsum, 0), q.f2s, rows);
    subFilter<Arch, 1, 1>(t.se, kLeaf, at(kWo, 0), q.f0s, rows);
    subFilter<Arch, 1, -1>(t.se + kLast, kLeaf, at(kWe, skip), q.f1s + skip, aheadRows);
    // a level, on O (Oe = z[4n + 1], Oo = z[4n + 3]).
    subFilter<Arch, 1, 1>(t.asum, kLeaf, at(kOsum, 0), q.f2a, rows);
    subFilter<Arch, 1, 1>(t.ae, kLeaf, at(kZ3, 0), q.f0a, rows);
    subFilter<Arch, 1, 1>(t.ao, kLeaf, at(kZ1, skip), q.f1a + skip, aheadRows);
    // b level, on E (Ee = z[4n], Eo = z[4n + 2]): be = ao reversed, bo = ae reversed, and their
    // sum asum reversed. P1 is needed one output pair further, so every sum one row further.
    subFilter<Arch, 1, -1>(t.asum + kLast, kLeaf, at(kEsum, skip), q.f2b + skip, aheadRows);
    subFilter<Arch, 1, -1>(t.ao + kLast, kLeaf, at(kZ2, skip), q.f0b + skip, aheadRows);
    subFilter<Arch, 1, -1>(t.ae + kLast, kLeaf, at(kZ0, skip), q.f1b + skip, aheadRows);
    st.keepAhead(ahead, rows);
}

// Both runs' outputs row by row: emit(n, y0, y1, y2, y3) with yr = y[4n + r], lane s = run s.
template <class Arch, class Emit>
void combineRows(const FastFirSums<Arch>& q, int rows, Emit&& emit) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    Batch p1e = q.f2b[0] - q.f0b[0] - q.f1b[0];  // P1[2n]
    for (int n = 0; n < rows; ++n) {
        const Batch p2e = q.f2s[n] - q.f0s[n] - q.f1s[n], p2o = q.f0s[n] + q.f1s[n + 1];
        const Batch p0e = q.f2a[n] - q.f0a[n] - q.f1a[n], p0o = q.f0a[n] + q.f1a[n + 1];
        const Batch p1o = q.f0b[n] + q.f1b[n + 1];
        const Batch p1next = q.f2b[n + 1] - q.f0b[n + 1] - q.f1b[n + 1];
        emit(n, p2e - p0e - p1e, p0e + p1o, p2o - p0o - p1o, p0o + p1next);
        p1e = p1next;
    }
}

// The sums of both runs, handed to emit (see combineRows) from each run's group boundary on. With
// a history, the pass goes on from the rows it holds where the pass before (with the same taps)
// ended on a whole row at `start`, the index of this pass's first sample in both runs, and leaves
// its own rows for the next pass.
template <class Arch, class Emit>
void fastFirRows(const SplitTaps& taps, const FastFirRun (&runs)[2], FastFirWork<Arch>& w,
                 PhaseHistory* history, std::int64_t start, Emit&& emit) noexcept {
    const int residue[2] = {residueOf(runs[0].x), residueOf(runs[1].x)};
    int rows = 0;
    for (int s = 0; s < 2; ++s) {
        const int r = (residue[s] + runs[s].count + 3) / 4;
        rows = r > rows ? r : rows;
    }
    RowStore st = history != nullptr ? fastfir::storeOf(*history)
                                     : RowStore{&w.streams[0][0], kFastFirSpan, 0, &w.ahead[0][0]};
    const bool goOn = history != nullptr && history->goesOn(start, &taps, kPhaseTaps) &&
                      residue[0] == 0 && residue[1] == 0;
    const int base = layOutPass<Arch>(runs, residue, rows, goOn, st);
    subFilterSums<Arch>(taps, st, base, rows, goOn, w.sums);
    combineRows<Arch>(w.sums, rows, emit);
    if (history != nullptr) {
        // The next pass goes on where this one ended on a whole row of both runs.
        const bool whole = start >= 0 && runs[0].count == runs[1].count &&
                           (residue[0] + runs[0].count) % 4 == 0 && residue[0] == residue[1];
        history->leave(st.end, whole ? start + runs[0].count : -1, &taps, kPhaseTaps);
    }
}

// The same with the outputs left in the work: run s's output i is sums[s][i].
template <class Arch>
void fastFirRuns(const SplitTaps& taps, const FastFirRun (&runs)[2], FastFirWork<Arch>& w,
                 const double* (&sums)[2], PhaseHistory* history = nullptr,
                 std::int64_t start = -1) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    fastFirRows<Arch>(taps, runs, w, history, start,
                      [&w](int n, Batch y0, Batch y1, Batch y2, Batch y3) {
                          xsimd::zip_lo(y0, y1).store_aligned(w.out[0] + 4 * n);
                          xsimd::zip_lo(y2, y3).store_aligned(w.out[0] + 4 * n + 2);
                          xsimd::zip_hi(y0, y1).store_aligned(w.out[1] + 4 * n);
                          xsimd::zip_hi(y2, y3).store_aligned(w.out[1] + 4 * n + 2);
                      });
    for (int s = 0; s < 2; ++s) sums[s] = w.out[s] + residueOf(runs[s].x);
}

}  // namespace
}  // namespace qrx::dsp::halfband
