// Everything the signal path reads from the parameters, as one block of plain data: switches,
// gains and every coefficient. The audio thread builds it at the start of a block from what
// changed (TinyPress.h has the hand-over).
//
// The builders and the coefficient maths below are pure functions; any thread.
#pragma once

#include <cstdint>

#include "dsp/BiquadDesign.h"

namespace tinypress {

// Sizes and fixed delays of the path.
inline constexpr int kRingLength = 1024;  // every delay ring, a power of two
inline constexpr int kRingMask = kRingLength - 1;
inline constexpr int kChunk = 64;              // samples per processing chunk
inline constexpr int kPathDelayBase = 1021;    // main delay = 1021 - N samples
inline constexpr int kMaxHilbertLength = 192;  // N at the highest processing rate (192 kHz)

// A side-chain shelf as last set: corner, quality and gain.
struct ShelfShape {
    double cornerHz = 1000.0;
    double quality = 0.7;
    double gainDb = 0.0;
};

enum class ShelfBand { Low, High };

// The band's filter mode as the mode parameter sets it (index 12 or 14 written).
ShelfShape shelfShapeOnSet(ShelfBand band, int mode);
// The band's filter mode as resume applies it (more gain for the boosting mode 0, a deeper
// cut for the high band's mode 2).
ShelfShape shelfShapeOnResume(ShelfBand band, int mode);
// The shapes the shelves have before any parameter reaches them.
ShelfShape shelfShapeAtConstruction(ShelfBand band);

struct EngineSettings {
    double rateHz = 44100.0;          // processing rate, inside 22050..192000
    std::int32_t hilbertLength = 44;  // N = floor(fs / 1000): detector taps and extra delay

    // Reset requests: each count rises once per request; the audio thread acts on a change.
    std::uint32_t fullResets = 0;  // suspend: every state, meters included
    std::uint32_t pathResets = 0;  // index 1: rings, side-chain and release filters
    std::uint32_t vuResets = 0;    // index 36: the VU filters were re-tuned

    // Switches (0 or 1) and selectors.
    std::int32_t power = 0, stereo = 0, link = 0, smooth = 0, rms = 0, autoRelease = 0;
    std::int32_t softKnee = 0, autoMakeup = 0, sideChainExternal = 0, sideChainMonitor = 0;
    std::int32_t meterSource = 1;  // 0 Pre, 1 GainRed, 2 Post
    std::int32_t compressing = 1;  // ratio parameter at or above 0.3 (the gain-reduction PPM)
    std::int32_t overSamples = 3;  // t_o: samples at full scale that light the over lamp
    std::int32_t padding = 0;

    // Envelope.
    double attackCoefficient = 1.0, releaseCoefficient = 1.0;
    double thresholdGain = 1.0;
    // Gain curve: exponent p = 1/R and the soft-knee ordinates 1.5^p and 2.5^p.
    double inverseRatio = 1.0, kneeLowY = 1.5, kneeHighY = 2.5;
    double autoMakeupGain = 1.0, makeupTarget = 1.0, outputTarget = 1.0;
    // The make-up and output targets in force at the latest suspend: the gain states start there
    // and glide to whatever target was set later.
    double makeupAtReset = 1.0, outputAtReset = 1.0;

    // Side-chain shelves (targets), and the sets their running coefficients snap to on the
    // latest reset (the design in force at that moment).
    double shelfGlideRate = 0.001;
    qrx::dsp::BiquadCoefficients lowShelf, highShelf, lowShelfAtReset, highShelfAtReset;
    // Auto-release smoothers (33.3 Hz and 3.33 Hz low-passes) and the VU low-pass.
    qrx::dsp::BiquadCoefficients releaseFast, releaseSlow, vu;

    // Meters.
    double meterMix = 1.0;                    // scales the gain-reduction reading
    double meterScale = 1.0;                  // 1 / VU reference
    double vuOnePole = 1.0;                   // VU smoother of the bypass path
    double ppmAttack = 1.0, ppmReturn = 1.0;  // at fs
};

// ---- coefficient maths (pure) ----

// Envelope base: 0.05 (95 % of a step in the given time) for peak, 0.0025 with RMS detection.
double envelopeBase(bool rms);
// a = 1 - B^(1 / (fs * T_a * 0.001)), T_a in milliseconds.
double attackCoefficientOf(double attackMs, double rateHz, bool rms);
// r = 1 - B^(1 / (T_r * fs)), T_r in seconds.
double releaseCoefficientOf(double releaseSeconds, double rateHz, bool rms);
// PPM attack 1 - 0.01^(1 / (fm * T * 0.001)); instant (1) for T at or below 0.05 ms.
double ppmAttackOf(double integrationMs, double meterRateHz);
// PPM return 1 - 0.0625^(1 / (fm * T * 0.001)).
double ppmReturnOf(double returnMs, double meterRateHz);
// Bypass VU smoother 1 - 0.1091012^(1 / (fs * T * 0.001)).
double vuOnePoleOf(double integrationMs, double rateHz);

// Auto-release smoother corners and quality.
inline constexpr double kReleaseFastHz = 33.333333333333336;
inline constexpr double kReleaseSlowHz = 3.3333333333333335;
inline constexpr double kReleaseQuality = 0.5;
inline constexpr double kVuQuality = 0.583;

// ---- building the settings (pure) ----

// Recomputes what parameter `index` drives (its row's designer in the parameter table) from the
// values `p` (41 floats), at the rate already in s.rateHz. The reset, the filter modes and the
// corners drive nothing here: the shelves follow their shapes (designShelves).
void applyParameter(EngineSettings& s, int index, const float* p);
// Recomputes everything `p` drives at `rateHz`, the rate-only filters included.
void applyAll(EngineSettings& s, const float* p, double rateHz);
// The side-chain shelves (targets and glide rate) of the two shapes at s.rateHz.
void designShelves(EngineSettings& s, const ShelfShape& low, const ShelfShape& high);

// The designers the rows of the parameter table name; each recomputes what its rows drive:
// attack and release (for the detection s.rms holds); RMS detection with the envelope it changes;
// the gain curve and auto make-up (threshold, ratio); the VU low-pass and the bypass VU smoother;
// the meters' scale (1 / VU reference); the PPM attack and return.
void designEnvelope(EngineSettings& s, const float* p);
void designRms(EngineSettings& s, const float* p);
void designGainCurve(EngineSettings& s, const float* p);
void designVu(EngineSettings& s, const float* p);
void designMeterScale(EngineSettings& s, const float* p);
void designPpm(EngineSettings& s, const float* p);

}  // namespace tinypress
