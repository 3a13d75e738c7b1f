// What a baseline (SSE2) fast FIR carries from one call to the next over one stream of samples, or
// one pair of streams: the rows it laid out last (its sub-filters read a leaf of rows before a
// call's own) and the sums one row on of its five sub-filters that run one row further than their
// outputs. A call takes them where it starts at the index the call before stopped at, on the same
// taps, that call having ended on a whole row inside what it could read; any other call starts
// afresh and leaves its rows for the next. The outputs are the same to the bit with or without
// it; the other kernels only forget it. (HilbertFastFir.h and HalfBandFastFir.h use it.)
//
// Threads: owned by the caller of the kernel (a detector, a resampler), audio thread.
#pragma once

#include <cstdint>

namespace qrx::dsp {

// Kinds kinds of rows (streams or row sums), Rows rows of each (two doubles a row).
template <int Kinds, int Rows>
struct FastFirHistory {
    static constexpr int kKinds = Kinds;
    static constexpr int kRows = Rows;
    static constexpr int kAhead = 5;  // sub-filters that run one row on

    std::int64_t nextStart = -1;  // where a call must start to go on (-1: start afresh)
    const void* taps = nullptr;   // the taps the rows were summed for, and their count
    int tapCount = 0;
    int end = 0;  // rows held, the newest last
    alignas(64) double rows[Kinds][2 * Rows];
    alignas(16) double ahead[kAhead][2];  // those sub-filters' sums one row on

    void forget() noexcept { nextStart = -1; }

    // Whether a call from index `start` (-1: none) on these taps goes on from the rows held.
    bool goesOn(std::int64_t start, const void* t, int count) const noexcept {
        return start >= 0 && nextStart == start && taps == t && tapCount == count;
    }
    // What a call leaves: `held` rows, the next call going on from `next` (-1: none).
    void leave(int held, std::int64_t next, const void* t, int count) noexcept {
        end = held;
        nextStart = next;
        taps = t;
        tapCount = count;
    }
};

}  // namespace qrx::dsp
