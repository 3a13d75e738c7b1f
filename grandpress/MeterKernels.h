// The meters' chunk feeds (signal and gain readings of both channels at once): the engine's
// kernel table (Kernels.h) holds one MeterKernels per instruction set.
//
// Threads: audio thread. Nothing allocates.
#pragma once

namespace grandpress {

// VU scale: a sine of amplitude A reads 1.096 * sqrt(2) * (2/pi) * A = 0.9868 A (rectified mean).
inline constexpr double kVuScale = 1.096 * 1.4142136;
// A gain factor of 1 shows as 0.98 on the gain-reduction meter.
inline constexpr double kGainMeterScale = 0.98;

// The gain meter's reading of a gain g: (|0.98 g| - 1) mix + 1, times the limiter's gain, taken
// as |g| slope + floor (one product and one sum a frame; the same to rounding). Every feed takes
// it this way, so they agree to the bit.
struct GainReadingLine {
    double slope, floor;
};
constexpr GainReadingLine gainReadingLine(double mix, double limiterGain) noexcept {
    return {kGainMeterScale * mix * limiterGain, limiterGain * (1.0 - mix)};
}

// Both channels' meter values (left, right) as a chunk feed takes and leaves them.
struct MeterPairs {
    double vu[2], ppm[2], vuHeld[2], ppmHeld[2], overs[2];
    int vuTakes = 0, ppmTakes = 0;  // bit c: channel c took a new hold in the chunk
};

// A block's meter coefficients: VU rate, PPM return and attack rates, and what each keeps of
// the old reading; the VU reference, the mix and limiter gain (gain meter), the over run that
// lights the lamp, and the direction of the gain meter.
struct MeterCoefficients {
    double vuRate, keepVu, backRate, keepBack, attackRate, keepAttack;
    double inverseReference, mix, limiterGain, overSamples;
    bool expanding;
};

struct MeterKernels {
    // Pre and Post: n signal frames (n <= 128), frame i with noise[i * noiseStep].
    void (*signals)(MeterPairs& pairs, const MeterCoefficients& c, const double* left,
                    const double* right, int n, const double* noise, int noiseStep) noexcept;
    // GainRed: n gain factors per channel (n <= 128), frame i with noise[i >> noiseShift].
    void (*gains)(MeterPairs& pairs, const MeterCoefficients& c, const double* gainLeft,
                  const double* gainRight, int n, const double* noise, int noiseShift) noexcept;
};

}  // namespace grandpress
