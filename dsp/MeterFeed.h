// The meter values the signal path leaves for the editor's needle meters.
//
// Threads: written by the audio thread (once per block, from locals), read by the editor on the
// user-interface thread, which also zeroes levels when the user clicks a meter and clears held
// peaks after their time-out. Relaxed atomics: a value read mid-block is at most a frame old.
#pragma once

#include <atomic>

// What both engines' meters read: the delayed input, the gain, or the output.
enum MeterSource : int { kMeterPre = 0, kMeterGainRed = 1, kMeterPost = 2 };

struct MeterChannelFeed {
    std::atomic<double> mainLevel{0.0};    // needle 1 (VU)
    std::atomic<double> overload{0.01};    // over lamp state
    std::atomic<double> secondLevel{0.0};  // needle 2 (PPM)
    std::atomic<double> peakA{0.0};        // held VU extreme, read-out 1
    std::atomic<double> peakB{0.0};        // held PPM extreme, read-out 2
    std::atomic<int> peakAAge{0};          // samples since peak A was last taken
    std::atomic<int> peakBAge{0};          // samples since peak B was last taken
    std::atomic<double> overCount{0.0};    // consecutive over samples
    // The compressor's gain factor at the end of the latest block, whatever the meters show
    // (1 with the power off); for hosts that show the gain reduction beside the editor's meters.
    std::atomic<double> gain{1.0};

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
        gain.store(1.0, r);
    }
};

// The audio thread's working copy of one channel's meter values: taken from the feed at the
// start of a block (the editor may have changed it between blocks), written back at its end.
struct MeterReadings {
    double vu = 0.0, ppm = 0.0, vuHold = 0.0, ppmHold = 0.0;
    int vuHoldAge = 0, ppmHoldAge = 0;
    double overCount = 0.0, overLamp = 0.01;

    void loadFrom(const MeterChannelFeed& f) noexcept {
        constexpr auto r = std::memory_order_relaxed;
        vu = f.mainLevel.load(r);
        overLamp = f.overload.load(r);
        ppm = f.secondLevel.load(r);
        vuHold = f.peakA.load(r);
        ppmHold = f.peakB.load(r);
        vuHoldAge = f.peakAAge.load(r);
        ppmHoldAge = f.peakBAge.load(r);
        overCount = f.overCount.load(r);
    }

    // End of a block of `frames`: the over lamp lights when the count reached `overSamples`
    // (and the count starts again), the hold ages grow, and everything goes to the feed.
    void finishBlock(MeterChannelFeed& f, int frames, double overSamples) noexcept {
        if (overCount >= overSamples) {
            overLamp = 1.0;
            overCount = 0.0;
        } else {
            overLamp = 0.0;
        }
        // Ages saturate far beyond any hold time instead of wrapping after hours of silence.
        constexpr int kAgeLimit = 1 << 30;
        vuHoldAge = vuHoldAge > kAgeLimit - frames ? kAgeLimit : vuHoldAge + frames;
        ppmHoldAge = ppmHoldAge > kAgeLimit - frames ? kAgeLimit : ppmHoldAge + frames;
        constexpr auto r = std::memory_order_relaxed;
        f.mainLevel.store(vu, r);
        f.overload.store(overLamp, r);
        f.secondLevel.store(ppm, r);
        f.peakA.store(vuHold, r);
        f.peakB.store(ppmHold, r);
        f.peakAAge.store(vuHoldAge, r);
        f.peakBAge.store(ppmHoldAge, r);
        f.overCount.store(overCount, r);
    }
};

struct MeterFeed {
    MeterChannelFeed channel[2];  // left, right
    void reset() {
        channel[0].reset();
        channel[1].reset();
    }
};
