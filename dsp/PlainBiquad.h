#pragma once
// Biquad without coefficient gliding: a changed design takes effect on the next sample. An
// offset of 1e-13 whose sign flips every sample rides on the stored states, so silence never
// decays into the subnormal range.
//
// Threading: as GlidingBiquad — owned by one engine, called from the processing thread (or the
// control thread while processing is stopped). Nothing allocates.

#include "dsp/BiquadRunner.h"

namespace qrx::dsp {

class PlainBiquad : public BiquadRunner<PlainBiquad> {
  public:
    PlainBiquad(double sampleRateHz, int type, double frequencyHz, double quality,
                double gainDb) noexcept;

    void setSampleRate(double sampleRateHz) noexcept;
    void design() noexcept;
    // Clears the memories.
    void reset() noexcept;
    // Magnitude of the alternating offset (designing a low-pass restores 1e-13).
    void setNoiseScale(double scale) noexcept { offset_ = offset_ < 0.0 ? -scale : scale; }

    double process(double x) noexcept;
    // In-place block form of process(); n may be 0.
    void processBlock(double* buf, int n) noexcept;

    double noiseScale() const noexcept { return offset_ < 0.0 ? -offset_ : offset_; }

  private:
    double offset_ = kBiquadNoiseScale;
};

// The biquad step every plain filter of the engines takes: the input carries `offset`, the
// output memory the offset of the frame before (`before`); the caller flips the offset once per
// frame, whatever the number of channels.
inline double biquadStep(double x, const BiquadCoefficients& c, double& x1, double& x2, double& y1,
                         double& y2, double offset, double before) noexcept {
    const double xo = x + offset;
    const double y = c.b0 * xo + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
    x2 = x1;
    x1 = xo;
    y2 = y1;
    y1 = y + before;
    return y;
}

inline double plainBiquadStep(double x, const BiquadCoefficients& c, BiquadMemories& m,
                              double& offset) noexcept {
    const double before = offset;
    offset = -offset;
    return biquadStep(x, c, m.x1, m.x2, m.y1, m.y2, offset, before);
}

inline double PlainBiquad::process(double x) noexcept {
    if (d_.type == kBiquadBypass) return x;
    return plainBiquadStep(x, d_.target, m_, offset_);
}

inline void PlainBiquad::processBlock(double* buf, int n) noexcept {
    if (d_.type == kBiquadBypass) return;
    const BiquadCoefficients c = d_.target;
    BiquadMemories m = m_;
    double offset = offset_;
    for (int i = 0; i < n; ++i) buf[i] = plainBiquadStep(buf[i], c, m, offset);
    m_ = m;
    offset_ = offset;
}

}  // namespace qrx::dsp
