// The meter values the signal path leaves for the editor's needle meters.
//
// Threads: written by the audio thread (once per block, from locals), read by the editor on the
// user-interface thread, which also zeroes levels when the user clicks a meter and clears held
// peaks after their time-out. Relaxed atomics: a value read mid-block is at most a frame old.
#pragma once

#include <atomic>

struct MeterChannelFeed {
    std::atomic<double> mainLevel{0.0};    // needle 1 (VU)
    std::atomic<double> overload{0.01};    // over lamp state
    std::atomic<double> secondLevel{0.0};  // needle 2 (PPM)
    std::atomic<double> peakA{0.0};        // held VU extreme, read-out 1
    std::atomic<double> peakB{0.0};        // held PPM extreme, read-out 2
    std::atomic<int> peakAAge{0};          // samples since peak A was last taken
    std::atomic<int> peakBAge{0};          // samples since peak B was last taken
    std::atomic<double> overCount{0.0};    // consecutive over samples

    // The idle state after suspend: levels, holds, ages and counts 0, lamp 0.01.
    void reset() {
        constexpr auto r = std::memory_order_relaxed;
        mainLevel.store(0.0, r);
        overload.store(0.01, r);
        secondLevel.store(0.0, r);
        peakA.store(0.0, r);
        peakB.store(0.0, r);
        peakAAge.store(0, r);
        peakBAge.store(0, r);
        overCount.store(0.0, r);
    }
};

struct MeterFeed {
    MeterChannelFeed channel[2];  // left, right
    void reset() {
        channel[0].reset();
        channel[1].reset();
    }
};
