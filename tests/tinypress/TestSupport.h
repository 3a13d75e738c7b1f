// Shared pieces of the tinypress tests (the host callback and the private store folder are
// testsupport's, support/CallbackRecorder.h).
#pragma once

#include <cstring>

#include "dsp/BiquadDesign.h"
#include "support/CallbackRecorder.h"
#include "tinypress/EngineSettings.h"
#include "tinypress/Mappings.h"

namespace tinypress_test {

// True when the side-chain shelf targets in `s` are exactly the designs of the two shapes at its
// rate.
inline bool shelvesAre(const tinypress::EngineSettings& s, const tinypress::ShelfShape& low,
                       const tinypress::ShelfShape& high) {
    tinypress::EngineSettings expected;
    expected.rateHz = s.rateHz;
    tinypress::designShelves(expected, low, high);
    return std::memcmp(&expected.lowShelf, &s.lowShelf, sizeof s.lowShelf) == 0 &&
           std::memcmp(&expected.highShelf, &s.highShelf, sizeof s.highShelf) == 0;
}

// Settings of the envelope and gain curve at 44.1 kHz for exponent p = 1/R.
inline tinypress::EngineSettings dynamicsSettings(double p, bool soft, bool rms, bool autoRelease) {
    tinypress::EngineSettings s;
    s.inverseRatio = p;
    s.kneeLowY = tinypress::kneeLowYOf(p);
    s.kneeHighY = tinypress::kneeHighYOf(p);
    s.softKnee = soft;
    s.rms = rms;
    s.autoRelease = autoRelease;
    s.thresholdGain = 1.3;
    s.attackCoefficient = tinypress::attackCoefficientOf(2.0, 44100.0, rms);
    s.releaseCoefficient = tinypress::releaseCoefficientOf(0.05, 44100.0, rms);
    s.releaseFast = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, tinypress::kReleaseFastHz,
                                           tinypress::kReleaseQuality, 0.0, 44100.0);
    s.releaseSlow = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, tinypress::kReleaseSlowHz,
                                           tinypress::kReleaseQuality, 0.0, 44100.0);
    s.autoMakeup = 1;
    s.autoMakeupGain = 1.7;
    s.makeupTarget = 2.0;
    s.outputTarget = 0.5;
    return s;
}

}  // namespace tinypress_test
