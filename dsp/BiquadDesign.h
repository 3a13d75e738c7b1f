#pragma once
// Biquad design record and the coefficient maths shared by GlidingBiquad and PlainBiquad.
//
// Transfer function of a designed section (coefficients normalised by a0):
//   H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2)
// Types 2 and 9 are not biquads: they only compute one-pole smoothing coefficients (in a0, and
// a1 for type 9) that the engines read directly.
//
// Threading: plain data; designed and read by the thread that owns the filter (the audio thread
// while running, the host's control thread while processing is stopped).

namespace qrx::dsp {

enum BiquadType : int {
    kBiquadBypass = 0,       // process() returns its input unchanged
    kBiquadHighPass = 1,     //
    kBiquadOnePole = 2,      // a0 = 0.005^(f/fs) only
    kBiquadLowShelf = 3,     // gain below f
    kBiquadPeaking = 4,      // gain around f
    kBiquadBandPass = 5,     // 0 dB at f
    kBiquadNotch = 6,        //
    kBiquadHighShelf = 7,    // gain above f
    kBiquadLowPass = 8,      //
    kBiquadOnePolePair = 9,  // a0 = 0.005^(f/fs), a1 = (a0 + 1) / 2
    kBiquadAllPass = 10,     //
};

// Highest design frequency as a fraction of the sample rate.
inline constexpr double kMaxFrequencyFraction = 0.499;

// Frequency limited to [0, 0.499 * fs]. Negative or NaN frequencies give 0.
double cappedFrequencyHz(double frequencyHz, double sampleRateHz) noexcept;

// Near-Nyquist Q correction N(K, h) = 1 - (f / (h * fs))^K. Close to 1 well below Nyquist and
// falling towards 0 near it; the design divides Q by it (alpha = sin(w) / (2 Q N)).
double nearNyquistCorrection(double frequencyHz, double sampleRateHz, double exponentK,
                             double nyquistFractionH) noexcept;

// Shelf/peak amplitude A = 10^(gain / 40) (the square root of the linear gain).
double shelfAmplitudeFromDb(double gainDb) noexcept;

// One-pole smoothing coefficient 0.005^(f / fs): the per-sample factor with which a one-pole
// smoother's distance to its goal shrinks.
double onePoleCoefficient(double frequencyHz, double sampleRateHz) noexcept;

struct BiquadCoefficients {
    double a1 = 1.0;
    double a2 = 1.0;
    double b0 = 1.0;
    double b1 = 1.0;
    double b2 = 1.0;
};

// Input and output memories of a running section.
struct BiquadMemories {
    double x1 = 0.0;
    double x2 = 0.0;
    double y1 = 0.0;
    double y2 = 0.0;
};

// Magnitude of the anti-subnormal noise or offset in both runners.
inline constexpr double kBiquadNoiseScale = 1e-13;

struct BiquadDesign {
    double sampleRateHz = 44100.0;
    int type = kBiquadBypass;
    double frequencyHz = 1000.0;
    double quality = 0.70710678118654752;
    double gainDb = 0.0;

    // a0 before normalisation (or the one-pole coefficient for types 2 and 9).
    double a0 = 1.0;
    // Normalised coefficients (each divided by a0). Types 2 and 9 leave b0..b2 (and a2, and a1
    // for type 2) as they were.
    BiquadCoefficients target;

    // Caps the frequency at 0.499 * fs (storing the capped value), then computes the coefficients
    // of the current type. Unknown types give all coefficients 1.
    void design() noexcept;
};

// The coefficients of one section of `type` at `sampleRateHz`, the frequency capped as design()
// caps it: the one entry point both engines design their filters through.
BiquadCoefficients designBiquad(int type, double frequencyHz, double quality, double gainDb,
                                double sampleRateHz) noexcept;

}  // namespace qrx::dsp
