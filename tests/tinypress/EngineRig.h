// A TinyPress driven like a host drives it: a recording host callback (with pin answers), the
// rate set through setSampleRate, and whole signals processed in host blocks of a chosen size.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/CallbackRecorder.h"
#include "tinypress/Mappings.h"
#include "tinypress/SignalPath.h"
#include "tinypress/TinyPress.h"

namespace tinypress_test {

using Signal = std::vector<float>;

struct Stereo {
    Signal left, right;
};

inline Signal constant(int frames, float value) {
    return Signal(static_cast<size_t>(frames), value);
}

// Deterministic noise in [-amplitude, amplitude) (a linear congruential generator).
inline Signal noiseSignal(int frames, float amplitude, unsigned seed) {
    Signal s(static_cast<size_t>(frames));
    for (float& x : s) {
        seed = seed * 1664525u + 1013904223u;
        x = amplitude * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
    }
    return s;
}

class EngineRig {
  public:
    explicit EngineRig(float rate = 44100.0f) { fx.setSampleRate(rate); }

    void set(int index, float value) { fx.setParameter(index, value); }

    // Unity settings: power on, stereo, hard knee, ratio 1, peak detection, make-up and output
    // at their unity targets, auto make-up and auto release off, flat side-chain filters (set
    // through resume, which applies the flat mode 1 in both columns), meters on the input.
    void neutral() {
        set(tinypress::kPower, 1.0f);
        set(tinypress::kStereo, 1.0f);
        set(tinypress::kSoft, 0.0f);
        set(tinypress::kRms, 0.0f);
        set(tinypress::kRatio, 0.3f);  // k = 6, R = 1
        set(tinypress::kThreshold, 0.0f);
        set(tinypress::kAttack, 0.0f);
        set(tinypress::kRelease, 0.0f);
        set(tinypress::kAutoRelease, 0.0f);
        set(tinypress::kAutoMakeup, 0.0f);
        set(tinypress::kMakeup, 1.0f / 3.0f);  // 0.25 * 64^(1/3) = 1
        set(tinypress::kOutput, 2.0f / 3.0f);  // 0.25 * 8^(2/3) = 1
        set(tinypress::kLink, 0.0f);
        set(tinypress::kSmooth, 1.0f);
        set(tinypress::kScExt, 0.0f);
        set(tinypress::kScMonitor, 0.0f);
        set(tinypress::kLowScf, 0.5f);
        set(tinypress::kHighScf, 0.5f);
        set(tinypress::kMeters, 0.0f);
        fx.suspend();
        fx.resume();
    }

    // Processes the four inputs (the side chain may be empty: then silence) in host blocks of
    // `block` frames and returns both outputs.
    Stereo run(const Signal& left, const Signal& right, int block = 512,
               const Signal& sideLeft = {}, const Signal& sideRight = {}) {
        const int frames = static_cast<int>(left.size());
        Stereo out{Signal(left.size(), -7.0f), Signal(left.size(), -7.0f)};
        Signal silence(left.size(), 0.0f);
        const float* sl = sideLeft.empty() ? silence.data() : sideLeft.data();
        const float* sr = sideRight.empty() ? silence.data() : sideRight.data();
        for (int at = 0; at < frames; at += block) {
            const int n = std::min(block, frames - at);
            float* ins[4] = {const_cast<float*>(left.data()) + at,
                             const_cast<float*>(right.data()) + at, const_cast<float*>(sl) + at,
                             const_cast<float*>(sr) + at};
            float* outs[2] = {out.left.data() + at, out.right.data() + at};
            fx.processReplacing(ins, outs, n);
        }
        return out;
    }

    Stereo run(const Signal& both, int block = 512) { return run(both, both, block); }

    const tinypress::SignalPath& path() const { return *fx.signalPath(); }
    const MeterChannelFeed& meter(int channel) { return fx.meterFeed().channel[channel]; }

    testsupport::CallbackRecorder host;  // before the effect: it answers the constructor's calls
    tinypress::TinyPress fx{&testsupport::CallbackRecorder::callback};
};

// Index of the first sample whose magnitude exceeds `threshold`, or -1.
inline int firstAbove(const Signal& s, float threshold) {
    for (size_t i = 0; i < s.size(); ++i)
        if (std::fabs(s[i]) > threshold) return static_cast<int>(i);
    return -1;
}

}  // namespace tinypress_test
