// What both engines' meters share: the two channels' readings, taken from the editor's MeterFeed
// at the start of a block and written back at its end, the over counting, and the rules by which
// held extremes are taken. Each engine adds its own VU integrator, PPM follower and gain-meter
// direction on top.
//
// Threads: audio thread only (the feed itself is shared, see MeterFeed.h). Nothing allocates.
#pragma once

#include "dsp/MeterFeed.h"

namespace qrx::dsp {

// Channel is MeterReadings or an engine's extension of it.
template <class Channel>
class StereoMeters {
  public:
    // Start of a block: the feed's values (the editor may have zeroed levels or released holds
    // since the last block) and the run of full-scale samples that lights the over lamp.
    void loadReadings(const MeterFeed& feed, double overSamplesToLight) noexcept {
        for (int c = 0; c < 2; ++c) ch[c].loadFrom(feed.channel[c]);
        overSamples = overSamplesToLight;
    }
    // End of a block of `frames`: over lamps and counts, hold ages, then the stores.
    void finishBlock(MeterFeed& feed, int frames) noexcept {
        for (int c = 0; c < 2; ++c) ch[c].finishBlock(feed.channel[c], frames, overSamples);
    }

    Channel ch[2];  // left, right

  protected:
    // A signal reading: a full-scale sample (`over`) extends the run, anything else restarts a
    // run that has not yet reached the lamp's length (a run that has is kept until the block
    // ends). Then each needle's hold takes a new high.
    void countOverAndHold(MeterReadings& m, bool over) const noexcept {
        if (over)
            m.overCount += 1.0;
        else if (m.overCount < overSamples)
            m.overCount = 0.0;
        if (m.ppm > m.ppmHold) {
            m.ppmHold = m.ppm;
            m.ppmHoldAge = 0;
        }
        if (m.vu > m.vuHold) {
            m.vuHold = m.vu;
            m.vuHoldAge = 0;
        }
    }

    // A gain reading holds its extremes both ways: new reduction below the held value (down to
    // 0.01) and new expansion above both the held value and 1.
    static void holdGainExtremes(MeterReadings& m) noexcept {
        holdGain(m.vu, m.vuHold, m.vuHoldAge);
        holdGain(m.ppm, m.ppmHold, m.ppmHoldAge);
    }

    double overSamples = 3.0;

  private:
    static void holdGain(double value, double& held, int& age) noexcept {
        if ((value > held && value > 1.0) || (value < held && value > 0.01)) {
            held = value;
            age = 0;
        }
    }
};

}  // namespace qrx::dsp
