#include "dsp/PlainBiquad.h"

namespace qrx::dsp {

PlainBiquad::PlainBiquad(double sampleRateHz, int type, double frequencyHz, double quality,
                         double gainDb) noexcept
    : BiquadRunner(sampleRateHz, type, frequencyHz, quality, gainDb) {
    design();
}

void PlainBiquad::setSampleRate(double sampleRateHz) noexcept {
    d_.sampleRateHz = sampleRateHz;
    design();
}

void PlainBiquad::design() noexcept {
    d_.design();
    if (d_.type == kBiquadLowPass) setNoiseScale(kBiquadNoiseScale);
}

void PlainBiquad::reset() noexcept {
    m_ = BiquadMemories{};
}

}  // namespace qrx::dsp
