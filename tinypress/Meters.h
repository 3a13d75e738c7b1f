// Meter ballistics: VU and PPM levels, over counting and the held values the editor shows, fed
// from the delayed input ("Pre"), the gain ("GainRed") or the output ("Post").
//
// Threads: audio thread only. At the start of a processing call the state is loaded from the
// editor's MeterFeed (the editor zeroes levels and lets held values fall back between calls, and
// those changes are taken over), fed sample by sample from locals, and stored back at the end with
// relaxed stores. The VU filter memories are kept here: they are the audio thread's own.
#pragma once

#include "dsp/BiquadDesign.h"
#include "dsp/MeterFeed.h"
#include "dsp/StereoMeters.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/EngineSettings.h"

namespace tinypress {

struct MeterChannel : MeterReadings {
    qrx::dsp::BiquadMemories vuMemories;
    double vuOffset = qrx::dsp::kBiquadNoiseScale;
};

// The readings, over counting, holds and the end of the block (finishBlock) are shared with
// grandpress; the VU filters, the PPM follower and the bypass readings are this engine's.
class Meters : public qrx::dsp::StereoMeters<MeterChannel> {
  public:
    // Clears the VU filters (suspend, a new VU integration time).
    void resetFilters() noexcept;

    // Start of a call: the feed's values, and the call's constants.
    void load(const MeterFeed& feed, const EngineSettings& s) noexcept;

    // Power on, "Pre" and "Post": x = |signal|.
    void signal(int c, double x, double noise) noexcept;
    // Power on, "GainRed": x from the gain g of the gain computer.
    void gain(int c, double g, double noise) noexcept;
    // Power off, "Pre" and "Post": x = |dry output + noise|, one-pole VU.
    void bypassSignal(int c, double out, double noise) noexcept;
    // Power off, "GainRed": VU and PPM return to 1 (no gain reduction), no overs.
    void bypassGain(int c, double noise) noexcept;

    // The call's constants, for the chunk kernels.
    const MeterConstants& constants() const noexcept { return k; }

  private:
    MeterConstants k;
    double vuOnePole = 1.0;
};

}  // namespace tinypress
