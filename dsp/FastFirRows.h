// The sub-filter sums of the baseline's (SSE2) fast FIRs: the half-band resampler's phase sums
// (HalfBandFastFir.h) and the Hilbert sums (HilbertFastFir.h). A fast FIR splits a long filter
// into short sub-filters, each run over a stream of two-double vectors laid out once per pass;
// these loops are those runs. Everything here has internal linkage (an unnamed namespace), so
// each build keeps its own code.
#pragma once

#include <cstring>
#include <type_traits>
#include <xsimd/xsimd.hpp>

namespace qrx::dsp::fastfir {
namespace {

// Rows independent sums, from zero, kept in registers.
template <class Arch, int Rows>
struct RowSums {
    using Batch = xsimd::batch<double, Arch>;
    Batch acc[Rows];

    [[gnu::always_inline]] RowSums() noexcept {
#pragma GCC unroll 16
        for (int r = 0; r < Rows; ++r) acc[r] = Batch(0.0);
    }
    [[gnu::always_inline]] void store(Batch* out) const noexcept {
#pragma GCC unroll 16
        for (int r = 0; r < Rows; ++r) out[r] = acc[r];
    }
};

// out[n] = sum over u < taps of tap[Dir * u] * s[Stride * (n + u)] for n < Rows, in the order of
// u, where s[i] is the vector at s + 2 i (Dir = -1: the taps reversed; each tap fills both lanes,
// and s is on a 16-byte boundary). Each tap serves every row; the rows are independent chains.
template <class Arch, int Rows, int Stride, int Dir>
[[gnu::always_inline]] inline void subFilterRows(const double* tap, int taps, const double* s,
                                                 xsimd::batch<double, Arch>* out) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    RowSums<Arch, Rows> sums;
#pragma GCC unroll 2
    for (int u = 0; u < taps; ++u) {
        const Batch c = Batch::load_unaligned(tap);
        // The vector a row reads at tap u is the one the next row read at tap u - 1; left alone,
        // the compiler keeps such vectors in registers across taps and, with two-operand SSE2,
        // pays more register copies and spills than the loads it saves. This empty statement
        // hides the pointers' relation from it (no code is emitted).
        asm("" : "+r"(s), "+r"(tap));
#pragma GCC unroll 16
        for (int r = 0; r < Rows; ++r)
            sums.acc[r] = sums.acc[r] + c * Batch::load_aligned(s + kWidth * Stride * r);
        s += kWidth * Stride;
        tap += kWidth * Dir;
    }
    sums.store(out);
}

// The same for taps of `span` that are symmetric (Sign 1) or antisymmetric (Sign -1, a middle
// tap of an odd span then being 0): out[n] = sum over u < span / 2 of
// tap[u] * (s[n + u] + Sign * s[n + span - 1 - u]).
template <class Arch, int Rows, int Sign>
[[gnu::always_inline]] inline void foldedRows(const double* tap, int span, const double* s,
                                              xsimd::batch<double, Arch>* out) noexcept {
    using Batch = xsimd::batch<double, Arch>;
    constexpr int kWidth = static_cast<int>(Batch::size);
    RowSums<Arch, Rows> sums;
    const double* forward = s;
    const double* backward = s + kWidth * (span - 1);
#pragma GCC unroll 2
    for (int u = 0; u < span / 2; ++u) {
        const Batch c = Batch::load_unaligned(tap);
        asm("" : "+r"(forward), "+r"(backward), "+r"(tap));  // as in subFilterRows
#pragma GCC unroll 16
        for (int r = 0; r < Rows; ++r) {
            const Batch f = Batch::load_aligned(forward + kWidth * r);
            const Batch b = Batch::load_aligned(backward + kWidth * r);
            if constexpr (Sign > 0)
                sums.acc[r] = sums.acc[r] + c * (f + b);
            else
                sums.acc[r] = sums.acc[r] + c * (f - b);
        }
        forward += kWidth;
        backward -= kWidth;
        tap += kWidth;
    }
    sums.store(out);
}

// block(u, Rows) for the Rows (at most Max) given at run time.
template <int Max, class Block>
[[gnu::always_inline]] inline void blockOf(int u, int rows, Block& block) noexcept {
    if (rows == Max)
        block(u, std::integral_constant<int, Max>{});
    else if constexpr (Max > 1)
        blockOf<Max - 1>(u, rows, block);
}

// Calls block(first row, rows) over `rows`: blocks of eight (enough independent chains to keep
// both adders busy), the last one of 4 to 11 rows rather than a short, latency-bound one.
template <class Block>
[[gnu::always_inline]] inline void inBlocks(int rows, Block block) noexcept {
    int u = 0;
    for (; rows - u >= 12; u += 8) block(u, std::integral_constant<int, 8>{});
    if (rows > u) blockOf<11>(u, rows - u, block);
}

// The sub-filter over `rows` rows; `s` is the stream's first vector (see subFilterRows).
template <class Arch, int Stride, int Dir>
void subFilter(const double* tap, int taps, const double* s, xsimd::batch<double, Arch>* out,
               int rows) noexcept {
    constexpr int kWidth = static_cast<int>(xsimd::batch<double, Arch>::size);
    inBlocks(rows, [&](int n, auto block) {
        subFilterRows<Arch, decltype(block)::value, Stride, Dir>(tap, taps, s + kWidth * Stride * n,
                                                                 out + n);
    });
}

template <class Arch, int Sign>
void foldedSubFilter(const double* tap, int span, const double* s, xsimd::batch<double, Arch>* out,
                     int rows) noexcept {
    constexpr int kWidth = static_cast<int>(xsimd::batch<double, Arch>::size);
    inBlocks(rows, [&](int n, auto block) {
        foldedRows<Arch, decltype(block)::value, Sign>(tap, span, s + kWidth * n, out + n);
    });
}

// Where a fast FIR keeps the rows of its streams (or row sums) from one pass to the next:
// `capacity` rows of each kind (two doubles a row), `end` of them held, the newest last; `ahead`
// holds the sums one row on of the last pass's sub-filters that run one row further than its
// outputs. A pass reads its own rows and the `leaf` rows before them, so where it goes on from the
// pass before, those are the last rows held and it lays out only its own.
struct RowStore {
    double* rows;
    int capacity;
    int end;
    double* ahead;

    double* at(int kind, int row) const noexcept { return rows + 2 * (kind * capacity + row); }
    double* aheadOf(int kind) const noexcept { return ahead + 2 * kind; }

    // The sums of the sub-filters that run one row further: their row 0 from the store (where a
    // pass goes on), and their row `rows` (the next pass's row 0) to it.
    template <class Batch, int Count>
    void takeAhead(Batch* const (&ahead)[Count]) const noexcept {
        for (int k = 0; k < Count; ++k) ahead[k][0] = Batch::load_aligned(aheadOf(k));
    }
    template <class Batch, int Count>
    void keepAhead(Batch* const (&ahead)[Count], int rows) const noexcept {
        for (int k = 0; k < Count; ++k) ahead[k][rows].store_aligned(aheadOf(k));
    }

    // Room for `count` more rows after the last `leaf` held: where the store is full, those
    // move to the front (about once every capacity / count passes).
    void makeRoom(int count, int kinds, int leaf) noexcept {
        if (end + count <= capacity) return;
        for (int kind = 0; kind < kinds; ++kind)
            std::memmove(at(kind, 0), at(kind, end - leaf), 2 * sizeof(double) * leaf);
        end = leaf;
    }
};

// The store of a history (FastFirHistory.h), with the rows it holds.
template <class History>
RowStore storeOf(History& h) noexcept {
    return {&h.rows[0][0], History::kRows, h.end, &h.ahead[0][0]};
}

// A stream of vectors as the doubles the sub-filters read.
template <class Arch>
const double* doublesOf(const xsimd::batch<double, Arch>* stream) noexcept {
    return reinterpret_cast<const double*>(stream);
}

}  // namespace
}  // namespace qrx::dsp::fastfir
