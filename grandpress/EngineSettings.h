// Everything the signal path reads from the parameters, built by the audio thread at the start of
// a block from what changed (GrandPress.h has the hand-over).
// Plain data; the builder functions are pure and may run on any thread.
#pragma once

#include <cstdint>

#include "dsp/BiquadDesign.h"

namespace grandpress {

// The processing routine of a block, chosen by " Power ", " FAT " and "Smooth".
enum class Routine : int {
    PassThrough = 0,  // Power off: every stage runs, the output is the delayed main signal
    Normal = 1,
    Fat = 2,        // gain stage 2x oversampled
    Smooth = 3,     // long detector, exact square root
    FatSmooth = 4,  // side chain and gain stage 2x oversampled, long detector
};

// Sizes of the fixed path parts, in samples of the rate named.
// The input lines keep more than the longest input delay: a change of routine rebuilds the
// rest of the main path from their history.
inline constexpr int kInputLineLength = 2048;      // base rate
inline constexpr int kLinkedLineLength = 4096;     // side-chain rate
inline constexpr int kRealignLineLength = 4096;    // gain-stage rate
inline constexpr int kOutputLineDelay = 511;       // base rate
inline constexpr int kResamplerDelayOnly = 64;     // base rate, per direction
inline constexpr int kTotalLatencySamples = 1660;  // what the host is told

// Delays and lengths of one routine at one rate. The detector window is centred at least 2L
// samples behind the newest linked side-chain sample (every tap reads a sample already written);
// the main and dry signals are realigned by the same time, and the input lines make up the rest
// of 1660. At the base rate the 64 + 64 samples of the resamplers' delay-only stages are part of
// this realignment (centre 2L + 128), so those stages need not run.
struct PathLayout {
    std::int32_t routine = 1;           // Routine
    std::int32_t detectorLength = 55;   // L, Hilbert taps per side, at the side-chain rate
    std::int32_t detectorCentre = 238;  // side-chain samples from the newest to the window centre
    std::int32_t realignDelay = 238;    // gain-stage samples
    std::int32_t inputDelay = 911;      // base-rate samples (1660 - 639 - 2L at the base rate)
    std::int32_t sideChainOversampled = 0;  // 1: side chain runs at 2 fs (FAT with Smooth)
    std::int32_t gainOversampled = 0;       // 1: detector output and gain stage run at 2 fs
    std::int32_t exactRoot = 0;             // 1: exact square root in the detector (Smooth)
    std::int32_t smoothDelay = 0;           // 1: the four streams wait one sample before upsampling
};

// Layout for the switches at `rateHz` (already inside 22050..192000).
PathLayout pathLayoutFor(bool power, bool fat, bool smooth, double rateHz);

struct EngineSettings {
    double rateHz = 44100.0;
    PathLayout layout;
    // Raised whenever the link band filters are set again: the audio thread clears their memories.
    std::int32_t linkGeneration = 0;
    std::int32_t meterSource = 1;  // 0 Pre, 1 GainRed, 2 Post

    // Switches.
    std::int32_t soft = 0, rms = 0, limiter = 0, autoAttack = 0, autoRelease = 0;
    std::int32_t autoMakeup = 0, classic = 0, sideChainExternal = 0, sideChainMonitor = 0;
    std::int32_t expanding = 0;  // ratio step below 6
    std::int32_t overSamples = 3;

    // Side chain.
    double tiltGainLeft = 1.0, tiltGainRight = 1.0;
    double linkAmount = 0.0;
    double detectorScale = 0.827816;  // thresholdScale * 1.4142 * 0.582 * 1.005773063
    double filterGlideRate = 0.001;   // per side-chain sample
    qrx::dsp::BiquadCoefficients lowShelf, highShelf, linkBand;

    // Gain computer.
    double attackCoefficient = 0.0, releaseCoefficient = 0.0;
    double inverseRatio = 1.0;
    double kneeP0 = -0.5, kneeP1 = 0.5, kneeP2 = 1.5, kneeP3 = 2.5;
    double classicFloor = 0.4;                          // release target floor: 0.4 peak, 0.5 RMS
    qrx::dsp::BiquadCoefficients levelFast, levelSlow;  // at the envelope rate

    // Gain stage.
    double makeupGain = 1.0, autoMakeupGain = 1.0, outputGain = 1.0, mixAmount = 1.0;

    // Limiter (base rate).
    std::int32_t limiterLookAhead = 61;  // c
    std::int32_t padding = 0;
    double limiterAttack = 0.0, limiterRelease = 0.0;
    qrx::dsp::BiquadCoefficients limiterFast, limiterSlow;

    // Meters: coefficients at fm = fs (index 0) and fm = 2 fs (index 1, GainRed in FAT).
    double vuCoefficient[2] = {0.0, 0.0};
    double ppmAttack[2] = {1.0, 1.0};
    double ppmReturn[2] = {0.0, 0.0};
    double inverseVuReference = 1.0;
};

// ---- coefficient maths (pure) ----

// 1 - base^(1/(rateHz * seconds)): the per-sample step that covers 1 - base of a jump in
// `seconds` (base 0.05 reaches 95 %).
double stepCoefficient(double base, double rateHz, double seconds);
// Envelope attack/release: base 0.05 for peak, 0.0025 with RMS detection.
double envelopeCoefficient(double timeMs, double envelopeRateHz, bool rms);
// Soft-knee spline points for 1/ratio: p0 = -0.5, p1 = 0.5, p2 = 1.5^ir, p3 = 2.5^ir.
void kneePoints(double inverseRatio, double p[4]);
// (0.55 * thresholdScale)^(0.8 * (1 - 1/ratio)).
double autoMakeupGainOf(double thresholdScale, double inverseRatio);
// Look-ahead c = (int)(fs * 1.4 ms); attack 1 - 0.05^(1/c); release 1 - 0.05^(1/(c*3.3*16*1.7)).
int limiterLookAheadSamples(double rateHz);

}  // namespace grandpress

namespace grandpress {

// ---- building the settings (pure) ----

// Recomputes the parts of `s` that parameter `index` drives (its row's designer in the parameter
// table), from the engine's stored values `params` (41 floats) and the processing rate already in
// s.rateHz. Raises linkGeneration when the link band filters are set again.
void applyParameter(EngineSettings& s, int index, const float* params);
// Recomputes everything for `rateHz` (suspend, resume, construction).
void applyAll(EngineSettings& s, const float* params, double rateHz);

// The designers the rows of the parameter table name; each recomputes what its rows drive: the
// layout (Power, FAT, Smooth) and everything that runs at the rates it sets; the side-chain shelves
// (modes, corners); the link band (its cut switches; raises linkGeneration); attack and release;
// RMS detection with the envelope it changes; the detector scale and auto make-up (threshold);
// ratio and tilt (gain curve, tilt gains, auto make-up); the meter ballistics and over indicator.
void designLayout(EngineSettings& s, const float* params);
void designShelves(EngineSettings& s, const float* params);
void designLinkBand(EngineSettings& s, const float* params);
void designEnvelope(EngineSettings& s, const float* params);
void designRms(EngineSettings& s, const float* params);
void designThreshold(EngineSettings& s, const float* params);
void designRatio(EngineSettings& s, const float* params);
void designMeters(EngineSettings& s, const float* params);

}  // namespace grandpress
