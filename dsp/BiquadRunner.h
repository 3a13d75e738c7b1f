#pragma once
// What both biquad runners (GlidingBiquad, PlainBiquad) share: the design record, the memories
// and the setters that change the design. Each setter stores its value and has the runner design
// again (Runner::design(), which may do more than BiquadDesign::design()).
//
// Threading: as the runners — owned by one engine, called by the thread that processes audio (or
// the control thread while processing is stopped). Nothing allocates.

#include "dsp/BiquadDesign.h"

namespace qrx::dsp {

template <class Runner>
class BiquadRunner {
  public:
    // Clears the memories, then designs.
    void setType(int type) noexcept {
        m_ = BiquadMemories{};
        d_.type = type;
        runner().design();
    }
    void setFrequency(double frequencyHz) noexcept {
        d_.frequencyHz = frequencyHz;
        runner().design();
    }
    void setQuality(double quality) noexcept {
        d_.quality = quality;
        runner().design();
    }
    void setGain(double gainDb) noexcept {
        d_.gainDb = gainDb;
        runner().design();
    }

    const BiquadDesign& designRecord() const noexcept { return d_; }
    const BiquadMemories& memories() const noexcept { return m_; }

  protected:
    // The design's settings; the runner designs once its own members are set.
    BiquadRunner(double sampleRateHz, int type, double frequencyHz, double quality,
                 double gainDb) noexcept {
        d_.sampleRateHz = sampleRateHz;
        d_.type = type;
        d_.frequencyHz = frequencyHz;
        d_.quality = quality;
        d_.gainDb = gainDb;
    }

    BiquadDesign d_;
    BiquadMemories m_;

  private:
    Runner& runner() noexcept { return static_cast<Runner&>(*this); }
};

}  // namespace qrx::dsp
