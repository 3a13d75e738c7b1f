// The meter settings (engine-only parameters 36..40), normalised value -> physical value, the
// same in both plug-ins. Pure functions; any thread.
#pragma once

#include <cmath>

namespace meter_settings {

// VU integration time, 30 ms .. 3000 ms.
inline double vuIntegrationMsOf(float v) {
    return 30.0 * std::pow(100.0, static_cast<double>(v));
}
// VU reference as a linear full-scale fraction, -24.26 dBFS .. 0 dBFS.
inline double vuReferenceOf(float v) {
    return std::pow(0.06125, 1.0 - static_cast<double>(v));
}
// PPM integration time, 0 ms .. 100 ms.
inline double ppmIntegrationMsOf(float v) {
    return std::pow(101.0, static_cast<double>(v)) - 1.0;
}
// PPM return time (24 dB of fall), 100 ms .. 10000 ms.
inline double ppmReturnMsOf(float v) {
    return 100.0 * std::pow(100.0, static_cast<double>(v));
}
// Over-indicator step n = (int)(v*9 + 0.5) in single precision; the stored value becomes n/9.
inline int overStepOf(float v) {
    return static_cast<int>(v * 9.0f + 0.5f);
}
// Consecutive samples at full scale that light the over lamp: n + 1 (1..10).
inline int overSamplesOf(float v) {
    return overStepOf(v) + 1;
}

}  // namespace meter_settings
