// Meter ballistics of the engine: VU integrators, PPM followers, held extremes with their ages,
// over counting and the over lamps, fed from the input ("Pre"), the gain ("GainRed") or the
// output ("Post").
//
// Threads: the audio thread loads the editor's MeterFeed into a MeterState at the start of a
// block, feeds it sample by sample and stores it back at the end (relaxed atomics), so values the
// editor zeroes between blocks are taken over. Nothing allocates.
#pragma once

#include "editor/MeterFeed.h"
#include "grandpress/EngineSettings.h"

namespace grandpress {

enum MeterSource : int { kMeterPre = 0, kMeterGainRed = 1, kMeterPost = 2 };

struct MeterChannel {
    double vu = 0.0, ppm = 0.0, vuHold = 0.0, ppmHold = 0.0;
    int vuHoldAge = 0, ppmHoldAge = 0;
    double overCount = 0.0, overLamp = 0.01;
};

class MeterState {
  public:
    void load(const MeterFeed& feed, const EngineSettings& s) noexcept;
    // After the block: over lamps and counts, hold ages += frames, then the stores.
    void finishBlock(MeterFeed& feed, int frames) noexcept;

    // Pre and Post: one frame of signal samples.
    void feedSignal(double left, double right, double noise) noexcept {
        signal(ch[0], left, noise);
        signal(ch[1], right, noise);
    }
    // GainRed: one frame of gain factors; limiterGain is 1 with the limiter off.
    void feedGain(double gainLeft, double gainRight, double limiterGain, double noise) noexcept {
        gainValue(ch[0], gainLeft, limiterGain, noise);
        gainValue(ch[1], gainRight, limiterGain, noise);
    }

    MeterChannel ch[2];

  private:
    void signal(MeterChannel& m, double x, double noise) noexcept;
    void gainValue(MeterChannel& m, double g, double limiterGain, double noise) noexcept;

    double kv = 0.0, ka = 1.0, kr = 0.0, inverseReference = 1.0, mix = 1.0;
    double overSamples = 3.0;
    bool expanding = false;
};

}  // namespace grandpress
