#pragma once
// Half-band 2x resampler for the oversampled ("FAT") signal path, plus delay-only stages with
// which the normal path is run at the base rate.
//
// Kernels (255 taps, index i = -127..127, computed once in double precision):
//   s(0) = 0.5, s(i) = sin(i*pi/2) / (256 * sin(i*pi/255))
//   up:   u(i) = 2 * s(i) * Blackman(i),  u(0) = 1
//   down: d(i) =     s(i) * Hann(i),      d(0) = 0.5
// Every even tap other than the centre is zero, so each output costs 64 multiplies.
//
// Delays: upsample() delays by 64.5 input samples (129 output samples), downsample() by 129 input
// samples (64.5 output samples); downsample(upsample(x)) is x delayed by exactly 129 base-rate
// samples. delayUp()/delayDown() delay by exactly 64 samples each (128 for the pair). The figure
// announced to the host is kLatencyFigure, whatever the mode; aligning the mode-dependent delay is
// up to the engine.
//
// Threading: one instance per stream, used only by the processing thread; reset() from the
// same thread or while processing is stopped. Process functions allocate nothing.

#include <array>

namespace qrx::dsp {

class HalfBandResampler {
  public:
    static constexpr int kTaps = 255;
    static constexpr int kHalfTaps = 127;  // taps on each side of the centre
    static constexpr int kOddTapsPerSide = 64;
    static constexpr int kRingSize = 256;
    static constexpr int kDelayOnlySamples = 64;
    static constexpr int kLatencyFigure = 126;

    HalfBandResampler() noexcept;

    // Clears both rings.
    void reset() noexcept;

    // n base-rate samples in, 2n samples out. in and out2n must not overlap.
    void upsample(const double* in, double* out2n, int n) noexcept;
    // 2n samples in, n base-rate samples out. out may be in2n (in place).
    void downsample(const double* in2n, double* out, int n) noexcept;

    // Delay-only stages: n in, n out, delayed by exactly 64 samples. They use the ring of the same
    // direction; delayUp() keeps the same history as upsample(), so switching between the two
    // is seamless on the way up (call reset() when switching the way down). In place allowed.
    void delayUp(const double* in, double* out, int n) noexcept;
    void delayDown(const double* in, double* out, int n) noexcept;

    // Kernel taps for i in -127..127 (0 outside).
    static double upTap(int i) noexcept;
    static double downTap(int i) noexcept;

  private:
    const double* upOdd_;    // u(1), u(3), ..., u(127)
    const double* downOdd_;  // d(1), d(3), ..., d(127)
    double upCentre_;        // u(0) = 1
    double downCentre_;      // d(0) = 0.5
    // Rings of 256 samples, each sample stored twice (at pos and pos + 256) so that every
    // window of up to 256 past samples is contiguous and the tap loops need no wrap-around.
    std::array<double, 2 * kRingSize> upRing_{};    // base-rate input (both up modes)
    std::array<double, 2 * kRingSize> downRing_{};  // 2x-rate input, or base rate in delay mode
    unsigned upPos_ = 0;                            // slot of the newest sample, 0..255
    unsigned downPos_ = 0;
};

}  // namespace qrx::dsp
