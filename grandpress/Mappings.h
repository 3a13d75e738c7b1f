// Normalised parameter value -> physical quantity, for the master compressor. One function per
// mapping, used by the parameter table (display texts), the engine's derived values and the DSP.
// Pure functions; any thread.
#pragma once

#include <cmath>

#include "editor/MeterBallistics.h"
#include "shell/FamilyIdentity.h"

namespace grandpress {

// Switches and selectors are derived in single precision, as (int)(v + 0.5f) on a float does:
// several factory programs sit exactly on the boundaries.
inline int switchOf(float v) {
    return static_cast<int>(v + 0.5f);
}
inline int metersSourceOf(float v) {
    return static_cast<int>(v * 2.0f + 0.5f);
}
// Ratio step k = (int)(v * 20) in single precision (0.7f gives 14, 0.9f gives 18), capped at 20.
inline int ratioStepOf(float v) {
    const int k = static_cast<int>(v * 20.0f);
    return k > 20 ? 20 : (k < 0 ? 0 : k);
}
// The mappings both compressors share.
using family::attackMsOf;
using family::gainDb;
using family::makeupGainOf;
using family::ratioOfStep;
using family::thresholdDbOf;
using family::thresholdGainOf;

inline double releaseSecondsOf(float v) {
    return 0.1 * std::pow(100.0, v);
}
inline double sideChainHighHzOf(float v) {
    return 1000.0 * std::pow(16.0, v);
}
inline double sideChainLowHzOf(float v) {
    return 25.0 * std::pow(16.0, v);
}
inline double linkAmountOf(float v) {
    return std::pow(static_cast<double>(v), 1.4);
}
inline double outputGainOf(float v) {
    return 0.25 * std::pow(16.0, v);
}

// Tilt: g1 = 0.5 * 4^(1-v), g2 = 0.5 * 4^v; left gets g1 when the ratio step expands (k < 6).
struct TiltGains {
    double left;
    double right;
};
inline TiltGains tiltGainsOf(float v, int ratioStep) {
    const double g1 = 0.5 * std::pow(4.0, 1.0 - v);
    const double g2 = 0.5 * std::pow(4.0, static_cast<double>(v));
    return ratioStep < 6 ? TiltGains{g1, g2} : TiltGains{g2, g1};
}

// Meter ballistics (engine-only parameters 36..40).
using meter_settings::overSamplesOf;
using meter_settings::overStepOf;
using meter_settings::ppmIntegrationMsOf;
using meter_settings::ppmReturnMsOf;
using meter_settings::vuIntegrationMsOf;
using meter_settings::vuReferenceOf;

}  // namespace grandpress
