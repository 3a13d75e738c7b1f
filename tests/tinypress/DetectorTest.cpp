// Detector: the single-precision fast root, the Hilbert window (every tap reads a written sample,
// so a transient is detected once, not again about 1024 samples later), the gain's timing
// relative to the main signal, and the side-chain monitor N samples behind the normal output.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "EngineRig.h"
#include "dsp/Kernels.h"
#include "tinypress/Detector.h"

namespace tinypress {
namespace {

using tinypress_test::constant;
using tinypress_test::EngineRig;
using tinypress_test::firstAbove;
using tinypress_test::Signal;
using tinypress_test::Stereo;

TEST(TinyPressFastRoot, NeverNaNAndZeroGivesZero) {
    EXPECT_EQ(fastSquareRoot(0.0f), 0.0f);
    const float specials[] = {std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::min(), std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN()};
    for (const float s : specials) {
        const float r = fastSquareRoot(s);
        EXPECT_TRUE(std::isfinite(r)) << s;
        EXPECT_GE(r, 0.0f) << s;
    }
    // The largest float (and anything beyond) gives its root, 1.8446743e19.
    EXPECT_NEAR(fastSquareRoot(std::numeric_limits<float>::max()), 1.8446743e19f, 1e14f);
    EXPECT_EQ(fastSquareRoot(std::numeric_limits<float>::infinity()),
              fastSquareRoot(std::numeric_limits<float>::max()));
    // Two Newton steps: within 5e-6 relative of the true root over the normal range.
    for (double s = 1e-30; s < 1e30; s *= 1.37) {
        const double r = fastSquareRoot(static_cast<float>(s));
        ASSERT_NEAR(r / std::sqrt(static_cast<double>(static_cast<float>(s))), 1.0, 5e-6) << s;
    }
}

// A DC level through Smooth: the quadrature part vanishes and the level is |q| * 0.827816;
// through Draft it is q * 0.83, signed.
TEST(TinyPressDetectorLevels, SmoothAndDraftOfASteadyLevel) {
    Detector d;
    double in[2][kChunk], out[2][kChunk];
    for (int k = 0; k < kChunk; ++k) {
        in[0][k] = 0.5;
        in[1][k] = -0.25;
    }
    const double* ins[2] = {in[0], in[1]};
    double* outs[2] = {out[0], out[1]};
    for (int i = 0; i < 10; ++i)
        d.process(tinypress::kernelsFor(qrx::dsp::bestInstructionSet()),
                  qrx::dsp::kernelsFor(qrx::dsp::bestInstructionSet()), ins, 2, kChunk, 44, true,
                  outs);
    EXPECT_NEAR(out[0][63], 0.5 * 1.4142 * 0.582 * 1.005773063, 0.5 * 5e-6);
    EXPECT_NEAR(out[1][63], 0.25 * 0.827816002634257, 0.25 * 5e-6);
    d.process(tinypress::kernelsFor(qrx::dsp::bestInstructionSet()),
              qrx::dsp::kernelsFor(qrx::dsp::bestInstructionSet()), ins, 2, kChunk, 44, false,
              outs);
    EXPECT_DOUBLE_EQ(out[0][10], 0.415);
    EXPECT_DOUBLE_EQ(out[1][10], -0.2075);
    EXPECT_EQ(d.filteredAt(0, 0), 0.5);
}

// An impulse through the Hilbert window: at an odd distance 2i + 1 from the centre it gives the
// quadrature part h[i] = 2 / ((2i + 1) pi) on either side, 0 at even distances, and the full
// level at the centre, 2N samples after it was written. Nothing ever reads an unwritten (oldest)
// sample: outside the window (4N - 1 samples) the level is exactly 0, through the whole ring and
// beyond.
TEST(TinyPressDetectorLevels, ImpulseIsSeenOnceAcrossTheWindow) {
    for (const int taps : {22, 44, 192}) {
        Detector d;
        double in[kChunk] = {}, out[2][kChunk];
        const double* ins[2] = {in, in};
        double* outs[2] = {out[0], out[1]};
        std::vector<double> levels;
        for (int chunk = 0; chunk < 60; ++chunk) {
            in[0] = chunk == 2 ? 1.0 : 0.0;
            d.process(tinypress::kernelsFor(qrx::dsp::bestInstructionSet()),
                      qrx::dsp::kernelsFor(qrx::dsp::bestInstructionSet()), ins, 1, kChunk, taps,
                      true, outs);
            levels.insert(levels.end(), out[0], out[0] + kChunk);
        }
        const int at = 2 * kChunk;         // sample index of the impulse
        const int centre = at + 2 * taps;  // the window centre reaches it 2N samples later
        EXPECT_NEAR(levels[centre], kSmoothScale, 5e-6) << taps;
        for (int i = 0; i < 3; ++i) {
            const double h = 2.0 / ((2 * i + 1) * std::numbers::pi);
            EXPECT_NEAR(levels[centre - (2 * i + 1)], h * kSmoothScale, 5e-6 * h) << taps;
            EXPECT_NEAR(levels[centre + (2 * i + 1)], h * kSmoothScale, 5e-6 * h) << taps;
            EXPECT_EQ(levels[centre + 2 * i + 2], 0.0) << taps;
        }
        for (size_t i = 0; i < levels.size(); ++i) {
            const long distance = static_cast<long>(i) - centre;
            if (distance <= -2 * taps || distance >= 2 * taps) {
                ASSERT_EQ(levels[i], 0.0) << taps << " " << i;
            }
        }
    }
}

// The gain's timing: a step on the external side chain first moves the gain N - 1 samples
// before the same step would reach the output (the newest tap sees it 2N - 1 samples before the
// centre). Once a short burst has left the detector window, the envelope releases exactly
// geometrically toward the idle level 0.005, (e' - 0.005) = (e - 0.005)(1 - r), with no second
// (ghost) detection about 1024 samples later, when a window reaching past the newest sample would
// read the burst again from the oldest ring contents.
TEST(TinyPressDetectorTiming, GainTimingAndNoGhostAfterATransient) {
    for (const float rate : {44100.0f, 96000.0f}) {
        EngineRig rig(rate);
        rig.neutral();
        const int taps = static_cast<int>(rate / 1000.0f);
        rig.set(kScExt, 1.0f);
        rig.set(kRatio, 1.0f);  // R = 64
        rig.set(kRelease, 0.0f);
        const double r = rig.fx.settingsNow().releaseCoefficient;
        const int frames = 4000, t0 = 500;
        Signal side = constant(frames, 0.0f);
        for (int i = t0; i < t0 + 32; ++i) side[i] = 8.0f;
        Signal main = constant(frames, 1.0f), out0(frames), out1(frames);
        std::vector<double> envelope(frames);
        for (int i = 0; i < frames; ++i) {
            float* ins[4] = {&main[i], &main[i], &side[i], &side[i]};
            float* outs[2] = {&out0[i], &out1[i]};
            rig.fx.processReplacing(ins, outs, 1);
            envelope[i] = rig.path().envelope(0);
        }
        const int delay = 1021 - taps;
        // Idle gain: v = 0.005, g = 0.005 / 0.005001.
        const float idle = out0[delay + 10];
        EXPECT_NEAR(idle, 0.005 / 0.005001, 1e-6);
        int firstChange = -1;
        for (int i = delay + 10; i < frames; ++i) {
            if (std::fabs(out0[i] - idle) > 1e-5f) {
                firstChange = i;
                break;
            }
        }
        EXPECT_EQ(firstChange, t0 + delay - (taps - 1)) << rate;
        // The window (side-chain samples t - 1021 - 2N + 1 .. t - 1021 + 2N - 1) has passed the
        // burst from t = t0 + 31 + 1021 + 2N on.
        const int from = t0 + 31 + 1021 + 2 * taps + 1;
        EXPECT_GT(envelope[from], 1.0) << rate;  // it did compress, and is releasing
        for (int i = from; i + 1 < frames; ++i) {
            const double expected = 0.005 + (envelope[i] - 0.005) * (1.0 - r);
            ASSERT_NEAR(envelope[i + 1], expected, 1e-9) << rate << " " << i;
        }
    }
}

// The side-chain monitor: filtered side chain (flat here) at the output gain, N samples later
// than the normal output; the announced latency stays 1021 - N.
TEST(TinyPressDetectorTiming, MonitorIsNSamplesLaterThanTheOutput) {
    for (const float rate : {44100.0f, 48000.0f, 96000.0f}) {
        const int taps = static_cast<int>(rate / 1000.0f);
        Signal impulse = constant(2500, 0.0f);
        impulse[100] = 0.5f;
        int at[2];
        for (const int monitor : {0, 1}) {
            EngineRig rig(rate);
            rig.neutral();
            rig.set(kScMonitor, static_cast<float>(monitor));
            const Stereo out = rig.run(impulse, impulse, 128);
            at[monitor] = firstAbove(out.left, 0.1f);
            EXPECT_NEAR(out.left[at[monitor]], 0.5f, 1e-4f);
            EXPECT_EQ(rig.fx.getAeffect()->initialDelay, 1021 - taps);
        }
        EXPECT_EQ(at[0], 100 + 1021 - taps) << rate;
        EXPECT_EQ(at[1], at[0] + taps) << rate;
    }
}

}  // namespace
}  // namespace tinypress
