// Engine settings for the stage tests, made with the engine's own coefficient maths.
#pragma once

#include "grandpress/EngineSettings.h"
#include "grandpress/Parameters.h"

namespace testsupport {

// Settings for ratio step `ratio` at 44.1 kHz with the Default program's times (attack 3.16 ms,
// release 1 s unless given), switches as given.
inline grandpress::EngineSettings stageSettings(float ratio, bool soft, bool rms = false,
                                                bool classic = false, float release = 0.5f) {
    namespace gp = grandpress;
    float p[gp::kNumParams] = {};
    p[gp::kPower] = 1.0f;
    p[gp::kRatio] = ratio;
    p[gp::kAttack] = 0.5f;
    p[gp::kRelease] = release;
    p[gp::kSoft] = soft ? 1.0f : 0.0f;
    p[gp::kRms] = rms ? 1.0f : 0.0f;
    p[gp::kClassic] = classic ? 1.0f : 0.0f;
    p[gp::kMakeup] = 1.0f / 3.0f;
    p[gp::kOutput] = 0.5f;
    p[gp::kMix] = 1.0f;
    gp::EngineSettings s;
    gp::applyAll(s, p, 44100.0);
    return s;
}

// Settings for the side chain: shelf frequencies, link amount and band, tilt 0.3, shelves in
// boost (1) or cut (0) mode.
inline grandpress::EngineSettings sideChainSettings(float low, float high, float link,
                                                    bool linkHighCut, float shelfMode = 1.0f) {
    namespace gp = grandpress;
    float p[gp::kNumParams] = {};
    p[gp::kPower] = 1.0f;
    p[gp::kLow] = low;
    p[gp::kHigh] = high;
    p[gp::kLowScf] = shelfMode;
    p[gp::kHighScf] = shelfMode;
    p[gp::kLink] = link;
    p[gp::kLinkHighCut] = linkHighCut ? 1.0f : 0.0f;
    p[gp::kTilt] = 0.3f;
    gp::EngineSettings s;
    gp::applyAll(s, p, 44100.0);
    return s;
}

}  // namespace testsupport
