// The Hilbert sums (HilbertKernel.h) for two-double vectors (the baseline, SSE2), as a nested
// two-parallel fast FIR. Included only by HilbertKernelImpl.h. Everything here has internal
// linkage (an unnamed namespace), so each build keeps its own code.
//
// Outputs k and k + 1 of the same parity read the samples of their own parity only: with A the
// 64-byte boundary at or before centre + 1 and a = (centre + 1) - A, output k is lane p of
// Q[s] (k + a = 2s + p), where the vectors W[t] = (A[2t], A[2t + 1]) give
//   Q[s] = sum over i < Lc of h[i] (W[s + i] - W[s - 1 - i])
//        = sum over j < N of G[j] W[s - Lc + j],
// Lc = taps & ~1, N = 2 Lc and G[j] = -h[Lc - 1 - j] for j < Lc, h[j - Lc] after: antisymmetric,
// G[N - 1 - j] = -G[j]. (An odd count of taps adds its last tap to each output on its own
// afterwards, so that the fast FIR's windows stay those of the outputs.) With g[m] = W[m + Lc],
// Q[j] = sum over q < N of G[q] g[j - N + q], the form HalfBandFastFir.h splits twice: a[t] =
// G[2t], b[t] = G[2t + 1] and E[k] = g[2k], O[k] = g[2k + 1] give
//   Q[2m] = P2[m] - P0[m] - P1[m],   Q[2m + 1] = P0[m] + P1[m + 1],
// P2 = (a + b) * (E + O), P0 = a * O, P1 = b * E, each split once more into three sub-filters of
// T = Lc / 2 taps on quarter-rate streams. Here b = -(a reversed) and s = a + b is
// antisymmetric, so b's sub-filters are a's reversed with the sign turned (P1 is summed negated),
// so = -(se reversed), and se + so is antisymmetric (folded, T / 2 pairs). At 55 taps and 64
// outputs a call from a 64-byte boundary that is about 76 additions and 62 products an output, the
// streams and combinations included, instead of the direct sum's 110 and 55; SSE2's additions are
// the limit (measured alone: 6.7 ns an output against 8.4).
//
// Each output reads only its own window, and its rounding depends on (centre + 1 + k)'s address
// modulo 64 bytes: the callers keep every sample at one address modulo 64 bytes.
//
// The sub-filters of T taps read T rows before a pass's own, and five of them one row after its
// last outputs. A pass that follows another (in the same call, or in the next call over a
// HilbertHistory) takes the rows' sums and those five sums from the pass before, laying out only
// its own rows: at 64 outputs a call that is 9 rows of sums instead of 35, and 8 rows of the five
// sub-filters instead of 9 (measured: 4.7 % fewer instructions for grandpress's Default program
// on the baseline).
#pragma once

#include <cstdint>
#include <xsimd/xsimd.hpp>

#include "dsp/FastFirRows.h"
#include "dsp/HilbertKernel.h"

namespace qrx::dsp::hilbert {
namespace {

inline constexpr int kPassRows = 9;  // quarter rows (eight outputs each) a pass
inline constexpr int kSpan = kPassRows + kHilbertFastFirMaxLeaf;  // stream rows -T .. rows - 1
static_assert(HilbertHistory::kRows >= kSpan);

// The row sums the sub-filters read besides the streams themselves: for quarter row n, with
// z[4n + r] = g[4n + r], We = z0 + z1, Wo = z2 + z3, their sum W, E = z0 + z2 and O = z1 + z3.
enum RowSum { kWe, kWo, kW, kE, kO };

// A pass's streams where it cannot read them where they lie (row v is quarter row n0 - T + v:
// z[4v + r] = g[4n + r]), sub-filter sums (one more row where the next row is needed), outputs,
// and the row sums of a call without a history.
template <class Arch>
struct FastFirWork {
    using Batch = xsimd::batch<double, Arch>;
    Batch z[4 * kSpan];
    Batch f2s[kPassRows + 1], f0s[kPassRows + 1], f1s[kPassRows + 1];
    Batch f2a[kPassRows + 1], f0a[kPassRows + 1], f1a[kPassRows + 1];
    Batch f2b[kPassRows + 1], f0b[kPassRows + 1], f1b[kPassRows + 1];
    alignas(16) double out[8 * kPassRows];  // Q of the pass's rows, lane by lane
    alignas(16) double sums[HilbertHistory::kKinds][2 * kSpan];
    alignas(16) double ahead[HilbertHistory::kAhead][2];
};

using fastfir::RowStore;

// Where a call reads: A, the samples A[lo .. hi] it may read, and the sums' sizes.
struct FastFirCall {
    const double* anchor;
    int lo, hi;
    int lc, leaf;

    // The A index of g[4n] in the first row of the pass from quarter row n0.
    int firstOf(int n0) const noexcept { return 8 * (n0 - leaf) + 2 * lc; }
    // Whether every row the pass's sub-filters read lies in A[lo .. hi] (they never read the last
    // row's z3), so that they read the samples where they lie.
    bool direct(int n0, int rows) const noexcept {
        const int first = firstOf(n0);
        return first >= lo && first + 8 * (rows + leaf - 1) + 5 <= hi;
    }
};

// Rows from .. to - 1 of the pass from quarter row n0: their sums to the store from row
// base + from on and, unless the pass reads the streams where they lie, the streams to w.z.
// Samples outside A[lo .. hi] read as 0 (only outputs outside the call's run read them).
template <class Arch>
void layOutRows(const FastFirCall& c, int n0, int from, int to, bool direct, const RowStore& s,
                int base, FastFirWork<Arch>& w) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    const int first0 = c.firstOf(n0);
    // (Pointers taken once: the stores below could, for all the compiler knows, change `s`.)
    double* const rowWe = s.at(kWe, base);
    double* const rowWo = s.at(kWo, base);
    double* const rowW = s.at(kW, base);
    double* const rowE = s.at(kE, base);
    double* const rowO = s.at(kO, base);
    for (int v = from; v < to; ++v) {
        const int first = first0 + 8 * v;
        alignas(16) double padded[8];
        const double* p = padded;
        if (first >= c.lo && first + 7 <= c.hi) {
            p = c.anchor + first;
        } else {
            for (int i = 0; i < 8; ++i)
                padded[i] = first + i >= c.lo && first + i <= c.hi ? c.anchor[first + i] : 0.0;
        }
        const Batch z0 = Batch::load_aligned(p), z1 = Batch::load_aligned(p + 2);
        const Batch z2 = Batch::load_aligned(p + 4), z3 = Batch::load_aligned(p + 6);
        if (!direct) w.z[4 * v] = z0, w.z[4 * v + 1] = z1, w.z[4 * v + 2] = z2, w.z[4 * v + 3] = z3;
        const Batch we = z0 + z1, wo = z2 + z3;
        we.store_aligned(rowWe + 2 * v);
        wo.store_aligned(rowWo + 2 * v);
        (we + wo).store_aligned(rowW + 2 * v);
        (z0 + z2).store_aligned(rowE + 2 * v);
        (z1 + z3).store_aligned(rowO + 2 * v);
    }
}

// Lays out the pass from quarter row n0 and returns the store row of its first row (quarter row
// n0 - T). Going on (only where the pass reads the streams where they lie), it lays out its own
// rows after those held, first moving the last T rows held to the front where the store is full,
// and the last row held again: the pass before may have had to take its z3 as 0.
template <class Arch>
int layOutPass(const FastFirCall& c, int n0, int rows, bool direct, bool goOn, RowStore& s,
               FastFirWork<Arch>& w) noexcept {
    if (!goOn) {
        layOutRows<Arch>(c, n0, 0, rows + c.leaf, direct, s, 0, w);
        s.end = rows + c.leaf;
        return 0;
    }
    s.makeRoom(rows, HilbertHistory::kKinds, c.leaf);
    const int base = s.end - c.leaf;
    layOutRows<Arch>(c, n0, c.leaf - 1, rows + c.leaf, direct, s, base, w);
    s.end += rows;
    return base;
}

// The nine sub-filter sums of `rows` rows, from the split taps (fillHilbertKernel), the streams
// (z) and the row sums from store row `base` on. Going on, row 0 of the sub-filters that run one
// row further is the pass before's last row, kept in the store.
template <class Arch>
void subFilterSums(const double* split, int leaf, int rows, const double* z, const RowStore& s,
                   int base, bool goOn, FastFirWork<Arch>& w) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    using fastfir::foldedSubFilter;
    using fastfir::subFilter;
    const double* ae = split;
    const double* ao = ae + 2 * leaf;
    const double* asum = ao + 2 * leaf;
    const double* se = asum + 2 * leaf;
    const double* ssum = se + 2 * leaf;
    const int last = 2 * (leaf - 1);
    Batch* const ahead[HilbertHistory::kAhead] = {w.f1s, w.f1a, w.f2b, w.f0b, w.f1b};
    const int skip = goOn ? 1 : 0;  // their row 0 already known
    if (goOn) s.takeAhead(ahead);
    const int aheadRows = rows + 1 - skip;
    // s level, on W: F2 = ssum on We + Wo, F0 = se on Wo, -F1 = se reversed on We.
    foldedSubFilter<Arch, -1>(ssum, leaf, s.at(kW, base), w.f2s, rows);
    subFilter<Arch, 1, 1>(se, leaf, s.at(kWo, base), w.f0s, rows);
    subFilter<Arch, 1, -1>(se + last, leaf, s.at(kWe, base + skip), w.f1s + skip, aheadRows);
    // a level, on O (Oe = z[4n + 1], Oo = z[4n + 3]).
    subFilter<Arch, 1, 1>(asum, leaf, s.at(kO, base), w.f2a, rows);
    subFilter<Arch, 4, 1>(ae, leaf, z + 6, w.f0a, rows);
    subFilter<Arch, 4, 1>(ao, leaf, z + 2 + 8 * skip, w.f1a + skip, aheadRows);
    // b level, on E (Ee = z[4n], Eo = z[4n + 2]), negated: be = -(ao reversed), bo = -(ae
    // reversed). P1 is needed one output pair further, so every sum one row further.
    subFilter<Arch, 1, -1>(asum + last, leaf, s.at(kE, base + skip), w.f2b + skip, aheadRows);
    subFilter<Arch, 4, -1>(ao + last, leaf, z + 4 + 8 * skip, w.f0b + skip, aheadRows);
    subFilter<Arch, 4, -1>(ae + last, leaf, z + 8 * skip, w.f1b + skip, aheadRows);
    s.keepAhead(ahead, rows);
}

// Q[4n .. 4n + 3] of every row, as emit(k, vector) with the vector's two outputs k and k + 1
// counted from the pass's first (k = 8n, 8n + 2, 8n + 4, 8n + 6).
template <class Arch, class Emit>
void combineRows(const FastFirWork<Arch>& w, int rows, Emit&& emit) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    Batch p1e = w.f2b[0] - w.f0b[0] - w.f1b[0];  // -P1[2n]
    for (int n = 0; n < rows; ++n) {
        const Batch p2e = w.f2s[n] - w.f0s[n] + w.f1s[n], p2o = w.f0s[n] - w.f1s[n + 1];
        const Batch p0e = w.f2a[n] - w.f0a[n] - w.f1a[n], p0o = w.f0a[n] + w.f1a[n + 1];
        const Batch p1o = w.f0b[n] + w.f1b[n + 1];                        // -P1[2n + 1]
        const Batch p1next = w.f2b[n + 1] - w.f0b[n + 1] - w.f1b[n + 1];  // -P1[2n + 2]
        emit(8 * n, p2e - p0e + p1e);
        emit(8 * n + 2, p0e - p1o);
        emit(8 * n + 4, p2o - p0o + p1o);
        emit(8 * n + 6, p0o - p1next);
        p1e = p1next;
    }
}

// q[k], q[k + 1] from the fast FIR's sums v of the two, with the last tap of an odd count added.
template <class Arch>
[[gnu::always_inline]] inline void storeOutputs(const double* centre, const double* kernel,
                                                int taps, int k, xsimd::batch<double, Arch> v,
                                                double* q) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    if (taps % 2 == 0) {
        v.store_unaligned(q + k);
        return;
    }
    const int reach = 2 * taps - 1;
    const Batch d =
        Batch::load_unaligned(centre + k + reach) - Batch::load_unaligned(centre + k - reach);
    (v + Batch(kernel[taps - 1]) * d).store_unaligned(q + k);
}

// q[k] for k = from .. to - 1 from the pass's outputs (q[k] at out[k - first]), with the last
// tap of an odd count added.
template <class Arch>
void takeOutputs(const double* centre, const double* kernel, int taps, const double* out, int first,
                 int from, int to, double* q) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    int k = from;
    for (; k + 2 <= to; k += 2)
        storeOutputs<Arch>(centre, kernel, taps, k, Batch::load_unaligned(out + k - first), q);
    const int reach = 2 * taps - 1;
    for (; k < to; ++k) {
        q[k] = out[k - first];
        if (taps % 2 != 0) q[k] += kernel[taps - 1] * (centre[k + reach] - centre[k - reach]);
    }
}

template <class Arch>
void fastFirSums(const double* centre, const double* kernel, int taps, int quads, double* q,
                 HilbertHistory* history, std::int64_t start) noexcept {
    static_assert(xsimd::batch<double, Arch>::size == 2);  // the split taps fill two lanes
    if (quads <= 0) return;
    const int count = 4 * quads;
    const int a = static_cast<int>((reinterpret_cast<std::uintptr_t>(centre + 1) / 8) % 8);
    const int lc = taps & ~1;
    // centre[-2 taps + 1 .. count + 2 taps - 2] is readable: A[i] is centre[i + 1 - a].
    const FastFirCall call{centre + 1 - a, a - 2 * taps, a + count + 2 * taps - 3, lc, lc / 2};
    const double* split = kernel + hilbertSplitOffset(taps);
    const int rows = (count + a + 7) / 8;
    FastFirWork<Arch> w;
    RowStore store = history != nullptr ? fastfir::storeOf(*history)
                                        : RowStore{&w.sums[0][0], kSpan, 0, &w.ahead[0][0]};
    // Whether the rows held go on into the first pass: the call before ended where this one
    // starts, on a whole row (then this one starts on one too).
    bool goesOn = history != nullptr && history->goesOn(start, kernel, taps) && a == 0;
    bool direct = true;
    for (int n0 = 0; n0 < rows; n0 += kPassRows) {
        const int passRows = rows - n0 < kPassRows ? rows - n0 : kPassRows;
        direct = call.direct(n0, passRows);
        const bool goOn = goesOn && direct;
        const int base = layOutPass<Arch>(call, n0, passRows, direct, goOn, store, w);
        const double* z = direct ? call.anchor + call.firstOf(n0) : fastfir::doublesOf<Arch>(w.z);
        subFilterSums<Arch>(split, call.leaf, passRows, z, store, base, goOn, w);
        goesOn = true;                 // the next pass starts one pass on
        const int first = 8 * n0 - a;  // the pass's first output
        const int from = first > 0 ? first : 0;
        const int to = first + 8 * passRows < count ? first + 8 * passRows : count;
        if (from == first && to == first + 8 * passRows) {
            // Every output of the pass is the call's (the usual case): straight to q.
            combineRows<Arch>(w, passRows, [&](int k, xsimd::batch<double, Arch> v) {
                storeOutputs<Arch>(centre, kernel, taps, first + k, v, q);
            });
            continue;
        }
        combineRows<Arch>(
            w, passRows, [&w](int k, xsimd::batch<double, Arch> v) { v.store_aligned(w.out + k); });
        takeOutputs<Arch>(centre, kernel, taps, w.out, first, from, to, q);
    }
    if (history != nullptr) {
        // The next call goes on where this one ended on a whole row its last pass read where it
        // lies (so that no row held took a padded sample).
        history->leave(store.end, a == 0 && count % 8 == 0 && direct ? start + count : -1, kernel,
                       taps);
    }
}

}  // namespace
}  // namespace qrx::dsp::hilbert
