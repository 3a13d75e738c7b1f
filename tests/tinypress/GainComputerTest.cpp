// Gain computer: the curve (hard and soft knee), the envelope follower, and the whole path's
// settled gain for steady signals, against values derived by hand from the formulas:
//   detector level (Smooth, DC a) = a * 1.4142 * 0.582 * 1.005773063 = a * 0.827816
//   P = level * g_T * 2 + 0.005 (g_T = 0.5 at threshold 0), the envelope settles at P,
//   g = y(P) / (P + 1e-6), output = a * g * make-up (1) * output (1).
// The single-precision root of the Smooth detector is good to about 5e-6, hence the 2e-5
// relative tolerance of the path values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "EngineRig.h"
#include "tinypress/GainComputer.h"

namespace tinypress {
namespace {

using tinypress_test::constant;
using tinypress_test::EngineRig;
using tinypress_test::Stereo;

TEST(TinyPressGainCurve, HardAndSoftKneeAtRatioTwo) {
    const double p = 0.5, lowY = std::sqrt(1.5), highY = std::sqrt(2.5);
    // Hard knee: unity (up to the 1e-6 term) below the threshold, v^0.5 above.
    EXPECT_NEAR(gainOfEnvelope(0.5, p, false, lowY, highY), 0.999998000004, 1e-12);
    EXPECT_NEAR(gainOfEnvelope(1.0, p, false, lowY, highY), 0.999999000001, 1e-12);
    EXPECT_NEAR(gainOfEnvelope(4.0, p, false, lowY, highY), 0.49999987500003124, 1e-12);
    // Soft knee: identical outside 0.5..1.5, the spline inside (y(1) = 0.9025978).
    EXPECT_NEAR(curveLevel(0.75, p, true, lowY, highY), 0.7091733185945587, 1e-12);
    EXPECT_NEAR(curveLevel(1.0, p, true, lowY, highY), 0.9025978132775069, 1e-12);
    EXPECT_NEAR(curveLevel(1.25, p, true, lowY, highY), 1.075909619169599, 1e-12);
    EXPECT_EQ(curveLevel(0.4, p, true, lowY, highY), 0.4);
    EXPECT_EQ(curveLevel(1.5, p, true, lowY, highY), std::pow(1.5, p));
    EXPECT_EQ(curveLevel(4.0, p, true, lowY, highY), 2.0);
    // Continuity at both ends of the knee.
    for (const double edge : {0.5, 1.5}) {
        EXPECT_NEAR(curveLevel(edge - 1e-9, p, true, lowY, highY),
                    curveLevel(edge + 1e-9, p, true, lowY, highY), 1e-8)
            << edge;
    }
    // A ratio below 1 expands above the threshold: R = 0.5, y = v^2.
    EXPECT_NEAR(gainOfEnvelope(2.0, 2.0, false, 2.25, 6.25), 4.0 / 2.000001, 1e-12);
}

TEST(TinyPressEnvelope, AttackReleaseAutoReleaseAndFloor) {
    EngineSettings s;
    s.attackCoefficient = 0.5;
    s.releaseCoefficient = 0.1;
    // Smoothers that pass their input (fast = P) and one that outputs 0 (slow = 1e-6 floor).
    s.releaseFast = {0.0, 0.0, 1.0, 0.0, 0.0};
    s.releaseSlow = {0.0, 0.0, 0.0, 0.0, 0.0};
    EnvelopeState e;
    EXPECT_DOUBLE_EQ(e.envelope, 0.0001);
    e.step(1.0, s);  // attack: 0.0001 + (1 - 0.0001) * 0.5
    EXPECT_NEAR(e.envelope, 0.50005, 1e-12);
    e.step(0.2, s);  // release: 0.50005 + (0.2 - 0.50005) * 0.1
    EXPECT_NEAR(e.envelope, 0.470045, 1e-12);
    // Auto release: r' = 0.5 * 0.2 / 1e-6 = 1e5, factor 2 r' / (r' + 1) + 0.1 = 2.09998.
    s.autoRelease = 1;
    const double factor = 2.0 * 1e5 / (1e5 + 1.0) + 0.1;
    e.step(0.2, s);
    EXPECT_NEAR(e.envelope, 0.470045 + (0.2 - 0.470045) * 0.1 * factor, 1e-9);
    // The floor, and the square root with RMS.
    s.releaseCoefficient = 1.0;
    s.autoRelease = 0;
    e.step(-3.0, s);
    EXPECT_EQ(e.envelope, 0.0001);
    s.rms = 1;
    EXPECT_NEAR(e.step(0.0, s), 0.01, 1e-15);
}

TEST(TinyPressEnvelope, CoefficientsFromTimes) {
    // a = 1 - 0.05^(1 / (44100 * 0.01 * 0.001)): nearly instant at 0.01 ms.
    EXPECT_NEAR(attackCoefficientOf(0.01, 44100.0, false), 0.998878450092364, 1e-12);
    // 10 ms peak: 95 % of a step in 441 samples.
    const double a = attackCoefficientOf(10.0, 44100.0, false);
    EXPECT_NEAR(std::pow(1.0 - a, 441.0), 0.05, 1e-12);
    // RMS: base 0.0025 (95 % of the root) over 1 s release.
    const double r = releaseCoefficientOf(1.0, 48000.0, true);
    EXPECT_NEAR(std::pow(1.0 - r, 48000.0), 0.0025, 1e-12);
}

// The settled output for a steady (DC) input on main and side chain.
double settledOutput(float amplitude, float ratio, bool soft, bool rms, bool smooth,
                     bool autoMakeup = false) {
    EngineRig rig;
    rig.neutral();
    rig.set(kRatio, ratio);
    rig.set(kSoft, soft ? 1.0f : 0.0f);
    rig.set(kRms, rms ? 1.0f : 0.0f);
    rig.set(kSmooth, smooth ? 1.0f : 0.0f);
    rig.set(kAutoMakeup, autoMakeup ? 1.0f : 0.0f);
    const Stereo out = rig.run(constant(40000, amplitude), 512);
    EXPECT_EQ(out.left[39999], out.right[39999]);
    return out.left[39999];
}

TEST(TinyPressSettledGain, HardAndSoftKneeRatioTwo) {
    const double tol = 2e-5;
    // Hard knee, R = 2 (ratio 0.6): a = 2 gives P = 1.660632, g = P^-0.5.
    EXPECT_NEAR(settledOutput(2.0f, 0.6f, false, false, true), 1.5520047004419721, tol * 1.55);
    // Below the threshold: a = 0.5, P = 0.418908, gain 1 up to the 1e-6 term.
    EXPECT_NEAR(settledOutput(0.5f, 0.6f, false, false, true), 0.49999880642335587, tol);
    // Soft knee inside the knee: a = 1, P = 0.832816 on the spline.
    EXPECT_NEAR(settledOutput(1.0f, 0.6f, true, false, true), 0.9308248835659798, tol);
    // Soft knee above 1.5 equals the hard knee.
    EXPECT_NEAR(settledOutput(2.0f, 0.6f, true, false, true), 1.5520047004419721, tol * 1.55);
    // RMS: P is squared and the curve sees sqrt(e) = the same 1.660632.
    EXPECT_NEAR(settledOutput(2.0f, 0.6f, false, true, true), 1.5520047004419721, tol * 1.55);
}

TEST(TinyPressSettledGain, RatioStepsDraftExpansionAndAutoMakeup) {
    const double tol = 2e-5;
    // 0.7f * 20 rounds to 14 in single precision: R = 2.8 (13 would be 2.378).
    EXPECT_NEAR(settledOutput(2.0f, 0.7f, false, false, true), 1.4435286343583855, tol * 1.44);
    // Draft: level = 0.83 * a (exact arithmetic, no root approximation).
    EXPECT_NEAR(settledOutput(2.0f, 0.6f, false, false, false), 1.5499675856727944, 1e-6);
    // R = 0.5 (ratio 0) expands above the threshold: g = P.
    EXPECT_NEAR(settledOutput(2.0f, 0.0f, false, false, true), 3.321262010538232, tol * 3.3);
    // Auto make-up: A = ((0.55 * 0.5) / (0.55 * 0.5)^0.5)^0.8 = 0.596668.
    EXPECT_NEAR(settledOutput(2.0f, 0.6f, false, false, true, true), 0.9260322459199889,
                tol * 0.93);
}

TEST(TinyPressSettledGain, MakeupAndOutputGlideToTheirTargets) {
    EngineRig rig;
    rig.neutral();
    rig.set(kMakeup, 0.5f);  // 0.25 * 64^0.5 = 2
    rig.set(kOutput, 0.0f);  // 0.25
    rig.run(constant(20000, 0.0f), 512);
    // M <- M + (2 - M) * 0.001 per sample from 1: after 20000 samples within 1e-8.
    EXPECT_NEAR(rig.path().makeupState(), 2.0, 1e-8);
    EXPECT_NEAR(rig.path().outputState(), 0.25, 1e-8);
    // suspend puts both at their targets at once.
    rig.set(kMakeup, 1.0f / 3.0f);
    rig.fx.suspend();
    rig.run(constant(1, 0.0f), 1);
    EXPECT_NEAR(rig.path().makeupState(), 1.0, 1e-6);
}

// After a suspend the make-up and output states start from the targets in force at the suspend
// and glide (0.001 per sample) to whatever was set later: values set while suspended, or a
// program loaded by chunk before the first block, never start at their new target.
TEST(TinyPressSettledGain, MakeupAndOutputGlideFromTheirTargetsAtSuspend) {
    // Output sample i of a DC input a, once it has come through the delay: a * M_i * O_i with
    // M_i = T + (M_0 - T) * 0.999^(i + 1) (g = 1 - 4e-6 at ratio 1).
    auto glided = [](double start, double target, int i) {
        return target + (start - target) * std::pow(0.999, i + 1);
    };
    const int delay = 977;
    {
        EngineRig rig;
        rig.neutral();  // suspended with unity targets
        rig.fx.suspend();
        rig.set(kMakeup, 0.5f);  // 2
        rig.set(kOutput, 0.0f);  // 0.25
        rig.fx.resume();
        const Stereo out = rig.run(constant(4000, 0.25f), 512);
        for (const int i : {delay, delay + 100, 2000, 3999}) {
            const double expected = 0.25 * glided(1.0, 2.0, i) * glided(1.0, 0.25, i);
            EXPECT_NEAR(out.left[i], expected, 1e-4 * expected) << i;
        }
    }
    {
        // Targets changed while suspended, after playing at other targets: the states start
        // from the targets of the suspend, not from where they had glided to.
        EngineRig rig;
        rig.neutral();
        rig.set(kMakeup, 0.5f);
        rig.run(constant(300, 0.0f), 300);  // M on its way from 1 to 2
        rig.fx.suspend();                   // target 2 in force
        rig.set(kMakeup, 1.0f / 3.0f);      // 1
        rig.fx.resume();
        const Stereo out = rig.run(constant(2000, 0.25f), 512);
        const double expected = 0.25 * glided(2.0, 1.0, delay);
        EXPECT_NEAR(out.left[delay], expected, 1e-4 * expected);
        EXPECT_GT(expected, 0.25 * 1.3);  // well away from the new target
    }
    {
        // A program loaded by chunk: the chunk's current-program index selects program 13.
        EngineRig rig;
        const double startMakeup = makeupGainOf(rig.fx.getParameter(kMakeup));
        const double startOutput = outputGainOf(rig.fx.getParameter(kOutput));
        AEffect* e = rig.fx.getAeffect();
        void* data = nullptr;
        const VstIntPtr size = e->dispatcher(e, effGetChunk, 0, 0, &data, 0.0f);
        ASSERT_GT(size, 16);
        std::vector<char> chunk(static_cast<const char*>(data),
                                static_cast<const char*>(data) + size);
        const std::int32_t program = 13;
        std::memcpy(&chunk[12], &program, 4);
        ASSERT_EQ(e->dispatcher(e, effSetChunk, 0, size, chunk.data(), 0.0f), 0);  // 0: taken
        const double makeup = makeupGainOf(rig.fx.getParameter(kMakeup));
        const double output = outputGainOf(rig.fx.getParameter(kOutput));
        ASSERT_GT(std::fabs(makeup * output - startMakeup * startOutput), 0.1);
        rig.run(constant(1, 0.0f), 1);
        EXPECT_NEAR(rig.path().makeupState(), glided(startMakeup, makeup, 0), 1e-9);
        EXPECT_NEAR(rig.path().outputState(), glided(startOutput, output, 0), 1e-9);
    }
}

}  // namespace
}  // namespace tinypress
