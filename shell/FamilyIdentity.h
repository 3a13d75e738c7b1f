// Answers shared by every plug-in of the family: vendor, version, pins, latency in ms, the
// treatment of parameter values coming from a host and the mappings of the knobs both compressors
// share. Pure functions; any thread.
#pragma once

#include <cmath>

#include "shell/vst2.h"

namespace family {

constexpr const char* kVendorString = "www.qrx-soundwerk.com";
constexpr VstInt32 kVendorVersion = 1700;

// Private vendor requests (the index of effVendorSpecific) of the family's own tools and tests;
// what they answer is described where the engines take them (CompressorEffect).
constexpr VstInt32 kMeterFeedRequest = vstFourCC('Q', 'R', 'X', 'm');
constexpr VstInt32 kInstructionSetRequest = vstFourCC('Q', 'R', 'X', 'i');

// Inputs 0 and 1 ("My 1 In", "My 2 In") and outputs 0 and 1 ("My 1 Out", "My 2 Out") are the
// active stereo pair; every other index answers false.
bool fillPinProperties(VstInt32 index, bool output, VstPinProperties* properties);

// The ratio of step k (0..20) of the family's ratio parameter; k is clamped into 0..20. Steps
// below 6 are ratios below 1 (expansion); the powers of two are exact, step 2 is 0.7071 itself.
double ratioOfStep(int k);

// The knobs both compressors share, normalised value -> working quantity.
// Threshold as a linear gain g = 0.5 * 64^v; the display shows 20 log10(1 / g), +6.02 dB at
// v = 0 down to -30.10 dB at v = 1.
inline double thresholdGainOf(float v) {
    return 0.5 * std::pow(64.0, static_cast<double>(v));
}
inline double thresholdDbOf(float v) {
    return 20.0 * std::log10(1.0 / thresholdGainOf(v));
}
// Attack time, 0.01 ms at v = 0 up to 1000 ms at v = 1.
inline double attackMsOf(float v) {
    return 0.01 * std::pow(100000.0, static_cast<double>(v));
}
// Make-up gain 0.25 * 64^v: -12.04 dB up to +24.08 dB.
inline double makeupGainOf(float v) {
    return 0.25 * std::pow(64.0, static_cast<double>(v));
}
inline double gainDb(double gain) {
    return 20.0 * std::log10(gain);
}

// latencySamples * 1000 / rate, with a rate outside 20000..200000 Hz taken as 44100.
double latencyMs(double latencySamples, double sampleRate);

// A host value that is not finite is ignored (false); any other is clamped into 0..1, so an
// extreme value can never drive the gain computer into infinities.
inline bool sanitizeParameterValue(float& value) {
    if (!std::isfinite(value)) return false;
    value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
    return true;
}

}  // namespace family
