#pragma once
// Biquad whose running coefficients glide towards the designed ones by a fixed fraction per
// sample, so parameter changes never click. A fresh filter starts from all-ones coefficients
// (which pass the signal through) and glides to its first design; reset() snaps instead.
// Every sample adds noise of 1e-13 to the coefficients and to the stored states, which keeps
// silence out of the subnormal range.
//
// Threading: owned by one engine. Setters, reset() and process() are called by the thread that
// processes audio (the host's control thread may call them while processing is stopped). No
// locking; none of the members allocates.

#include "dsp/BiquadRunner.h"
#include "dsp/DenormalNoise.h"

namespace qrx::dsp {

// Glide fractions per sample.
inline constexpr double kGlideRate = 0.001;
inline constexpr double kGlideRateAbove50kHzAtCreation = 0.0001;
inline constexpr double kGlideRateAbove50kHz = 0.00035;  // value set on every resume

// Glide fraction for a sample rate: kGlideRate up to 50 kHz, rateAbove50kHz beyond. Rates
// outside 20..200 kHz are treated as 44.1 kHz.
double glideRatePerSample(double sampleRateHz, double rateAbove50kHz) noexcept;

// The design's setters are BiquadRunner's: a new type clears the memories, and the running
// coefficients keep gliding towards every new design.
class GlidingBiquad : public BiquadRunner<GlidingBiquad> {
  public:
    GlidingBiquad(double sampleRateHz, int type, double frequencyHz, double quality,
                  double gainDb) noexcept;

    // Stores fs, sets the glide rate for it, caps the frequency and designs again.
    void setSampleRate(double sampleRateHz) noexcept;
    void design() noexcept;
    // Clears the memories and makes the running coefficients equal to the design.
    void reset() noexcept;
    // Peak magnitude of the anti-subnormal noise (designing a low-pass restores 1e-13).
    void setNoiseScale(double scale) noexcept { noise_.setScale(scale); }

    double process(double x) noexcept;
    // In-place block form of process(); n may be 0.
    void processBlock(double* buf, int n) noexcept;

    const BiquadCoefficients& current() const noexcept { return cur_; }
    double glideRate() const noexcept { return rate_; }
    double noiseScale() const noexcept { return noise_.scale(); }

  private:
    BiquadCoefficients cur_;
    double rate_ = kGlideRate;
    DenormalNoise noise_{kBiquadNoiseScale};
};

// One sample: glide every coefficient (with noise), filter, store states with noise.
inline double glidingBiquadStep(double x, const BiquadCoefficients& t, BiquadCoefficients& c,
                                BiquadMemories& m, double rate, DenormalNoise& noise) noexcept {
    const double h = noise.next();
    c.b0 = c.b0 + h + (t.b0 - c.b0) * rate;
    c.b1 = c.b1 + h + (t.b1 - c.b1) * rate;
    c.b2 = c.b2 + h + (t.b2 - c.b2) * rate;
    c.a1 = c.a1 + h + (t.a1 - c.a1) * rate;
    c.a2 = c.a2 + h + (t.a2 - c.a2) * rate;
    const double y = c.b0 * (x + h) + c.b1 * m.x1 + c.b2 * m.x2 - c.a1 * m.y1 - c.a2 * m.y2;
    m.x2 = m.x1;
    m.x1 = x + h;
    m.y2 = m.y1;
    m.y1 = y + h;
    return y;
}

inline double GlidingBiquad::process(double x) noexcept {
    if (d_.type == kBiquadBypass) return x;
    return glidingBiquadStep(x, d_.target, cur_, m_, rate_, noise_);
}

inline void GlidingBiquad::processBlock(double* buf, int n) noexcept {
    if (d_.type == kBiquadBypass) return;
    const BiquadCoefficients t = d_.target;
    BiquadCoefficients c = cur_;
    BiquadMemories m = m_;
    DenormalNoise noise = noise_;
    const double rate = rate_;
    for (int i = 0; i < n; ++i) buf[i] = glidingBiquadStep(buf[i], t, c, m, rate, noise);
    cur_ = c;
    m_ = m;
    noise_ = noise;
}

}  // namespace qrx::dsp
