// Normalised parameter value -> working quantity, for the stereo mastering compressor. One
// function per mapping, shared by the parameter table (display texts, editor read-outs) and the
// engine's derived working values. Pure functions; any thread.
#pragma once

#include <cmath>

#include "editor/MeterBallistics.h"
#include "shell/FamilyIdentity.h"
#include "tinypress/EngineSettings.h"

namespace tinypress {

// Switches, selectors and the ratio step are derived from the float in single precision, as
// (int)(v + 0.5f) on a float does: several factory values sit exactly on a boundary, and 0.7f
// times 20 rounds up to 14 in float arithmetic where the double product truncates to 13.
inline int switchOf(float v) {
    return static_cast<int>(v + 0.5f);
}
// Three-state selector: 0 below 0.25, 1 below 0.75, else 2.
inline int selectorOf(float v) {
    return static_cast<int>(2.0f * v + 0.5f);
}
// Ratio step k = min(20, trunc(20 v)); negative only for v below 0.
inline int ratioStepOf(float v) {
    const int k = static_cast<int>(v * 20.0f);
    return k > 20 ? 20 : k;
}
// Ratio R of step k (a negative step counts as 1:1). Steps below 6 expand instead of compressing.
inline double ratioOfStep(int k) {
    return k < 0 ? 1.0 : family::ratioOfStep(k);
}

// The mappings both compressors share.
using family::attackMsOf;
using family::gainDb;
using family::makeupGainOf;
using family::thresholdDbOf;
using family::thresholdGainOf;

inline double releaseSecondsOf(float v) {
    return 0.0333 * std::pow(100.0, static_cast<double>(v));
}
// Side-chain filter corners set by the hidden indices 13 (low band) and 15 (high band).
inline double lowCornerHzOf(float v) {
    return 0.7 * 25.0 * std::pow(16.0, static_cast<double>(v));
}
inline double highCornerHzOf(float v) {
    return 1.375 * 1000.0 * std::pow(16.0, static_cast<double>(v));
}
inline double outputGainOf(float v) {
    return 0.25 * std::pow(8.0, static_cast<double>(v));
}

// Auto make-up gain A = ((0.55 g_T) / (0.55 g_T)^(1/R))^0.8: roughly the level a signal at the
// threshold loses through the gain computer, applied at 80 %.
inline double autoMakeupGainOf(double thresholdGain, double inverseRatio) {
    const double level = 0.55 * thresholdGain;
    return std::pow(level / std::pow(level, inverseRatio), 0.8);
}

// Soft-knee interpolation points of the gain computer: the two fixed abscissae and the two
// ordinates 1.5^(1/R) and 2.5^(1/R).
constexpr double kKneeLowX = -0.5;
constexpr double kKneeHighX = 0.5;
inline double kneeLowYOf(double inverseRatio) {
    return std::pow(1.5, inverseRatio);
}
inline double kneeHighYOf(double inverseRatio) {
    return std::pow(2.5, inverseRatio);
}

// Meter ballistics (engine-only indices 36..40).
using meter_settings::vuIntegrationMsOf;
// The two VU low-pass filters take this corner.
inline double vuCornerHzOf(double integrationMs) {
    return 700.0 / integrationMs;
}
using meter_settings::ppmIntegrationMsOf;
using meter_settings::ppmReturnMsOf;
using meter_settings::vuReferenceOf;
// Over counter c = (int)(9 v + 0.5); the stored value becomes c / 9, the lamp needs c + 1 samples.
inline int overCountOf(float v) {
    return meter_settings::overStepOf(v);
}
using meter_settings::overSamplesOf;

// Taps of the Hilbert kernel at the processing rate: one per millisecond, N = floor(fs / 1000).
inline int hilbertLengthOf(double processingRate) {
    return static_cast<int>(std::floor(processingRate / 1000.0));
}

// The rate the signal path runs at after resume for the host's reported rate: the host rate
// inside 22050..192000 Hz, 44100 Hz otherwise (also for a non-finite rate).
inline double processingRateOf(double hostRate) {
    return hostRate >= 22050.0 && hostRate <= 192000.0 ? hostRate : 44100.0;
}

// Latency announced to the host: the delay the signal really has, 1021 - floor(fs / 1000)
// samples with fs the processing rate (so 977 wherever processing falls back to 44100 Hz).
inline int latencySamplesOf(double hostRate) {
    return kPathDelayBase - hilbertLengthOf(processingRateOf(hostRate));
}

}  // namespace tinypress
