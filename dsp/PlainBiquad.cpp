#include "dsp/PlainBiquad.h"

namespace qrx::dsp {

PlainBiquad::PlainBiquad(double sampleRateHz, int type, double frequencyHz, double quality,
                         double gainDb) noexcept {
    d_.sampleRateHz = sampleRateHz;
    d_.type = type;
    d_.frequencyHz = frequencyHz;
    d_.quality = quality;
    d_.gainDb = gainDb;
    design();
}

void PlainBiquad::setSampleRate(double sampleRateHz) noexcept {
    d_.sampleRateHz = sampleRateHz;
    design();
}

void PlainBiquad::setType(int type) noexcept {
    m_ = BiquadMemories{};
    d_.type = type;
    design();
}

void PlainBiquad::setFrequency(double frequencyHz) noexcept {
    d_.frequencyHz = frequencyHz;
    design();
}

void PlainBiquad::setQuality(double quality) noexcept {
    d_.quality = quality;
    design();
}

void PlainBiquad::setGain(double gainDb) noexcept {
    d_.gainDb = gainDb;
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
