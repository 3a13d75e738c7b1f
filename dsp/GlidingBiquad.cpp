#include "dsp/GlidingBiquad.h"

namespace qrx::dsp {

double glideRatePerSample(double sampleRateHz, double rateAbove50kHz) noexcept {
    const bool plausible = sampleRateHz >= 20000.0 && sampleRateHz <= 200000.0;
    const double fs = plausible ? sampleRateHz : 44100.0;
    return fs > 50000.0 ? rateAbove50kHz : kGlideRate;
}

GlidingBiquad::GlidingBiquad(double sampleRateHz, int type, double frequencyHz, double quality,
                             double gainDb) noexcept
    : BiquadRunner(sampleRateHz, type, frequencyHz, quality, gainDb) {
    // Current and target coefficients start at 1 (BiquadCoefficients' defaults); only the
    // targets take the design, so the running set glides from all-ones.
    rate_ = glideRatePerSample(sampleRateHz, kGlideRateAbove50kHzAtCreation);
    design();
}

void GlidingBiquad::setSampleRate(double sampleRateHz) noexcept {
    d_.sampleRateHz = sampleRateHz;
    rate_ = glideRatePerSample(sampleRateHz, kGlideRateAbove50kHz);
    design();  // caps the frequency for the new rate
}

void GlidingBiquad::design() noexcept {
    d_.design();
    if (d_.type == kBiquadLowPass) noise_.setScale(kBiquadNoiseScale);
}

void GlidingBiquad::reset() noexcept {
    m_ = BiquadMemories{};
    cur_ = d_.target;
}

}  // namespace qrx::dsp
