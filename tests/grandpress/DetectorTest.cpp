// The Hilbert detector and its fast square root.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "grandpress/Detector.h"
#include "grandpress/Kernels.h"
#include "support/KernelSets.h"

namespace {

using grandpress::Detector;
using grandpress::fastSquareRoot;

TEST(GrandPressFastSquareRoot, NeverNaNAndCloseToTheExactRoot) {
    EXPECT_EQ(fastSquareRoot(0.0f), 0.0f);  // silence right after a reset
    // Normal range: the two Newton steps leave a relative error below 5e-6 (the first estimate is
    // within 3.5 %, each step squares the error and multiplies it by 1.5).
    for (double s = 1e-37; s < 1e37; s *= 1.37) {
        const float f = static_cast<float>(s);
        const float r = fastSquareRoot(f);
        ASSERT_FALSE(std::isnan(r)) << s;
        EXPECT_NEAR(r / std::sqrt(static_cast<double>(f)), 1.0, 5e-6) << s;
    }
    // Subnormal arguments and the largest float stay finite and non-negative.
    for (float s : {1e-40f, 1e-45f, std::numeric_limits<float>::denorm_min(),
                    std::numeric_limits<float>::max()}) {
        const float r = fastSquareRoot(s);
        EXPECT_TRUE(std::isfinite(r)) << s;
        EXPECT_GE(r, 0.0f) << s;
    }
}

// Runs `x` (same on both channels) through a detector, in chunks of the sizes of `chunks` taken
// in turn (128 at a time by default, as the engine runs it).
std::vector<double> detect(Detector& d, const std::vector<double>& x, bool exact,
                           double scale = 1.0,
                           qrx::dsp::InstructionSet set = qrx::dsp::bestInstructionSet(),
                           const std::vector<int>& chunks = {128}) {
    std::vector<double> out(x.size()), right(x.size());
    size_t turn = 0;
    for (size_t pos = 0; pos < x.size();) {
        const int size = chunks[turn++ % chunks.size()];
        const int n = static_cast<int>(std::min<size_t>(size, x.size() - pos));
        d.process(grandpress::kernelsFor(set).detector, qrx::dsp::kernelsFor(set), x.data() + pos,
                  x.data() + pos, n, scale, exact, out.data() + pos, right.data() + pos);
        pos += n;
    }
    return out;
}

TEST(GrandPressDetector, LevelsDoNotDependOnHowTheSignalIsCut) {
    // Hosts cut blocks anywhere: a sample's level must have the same bits whether it arrives in
    // chunks of 128 or in odd pieces, on every kernel set this processor runs, fast root or exact.
    // Long enough for the line to move its history to the front a few times.
    std::vector<double> x(20000);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = std::sin(0.21 * i) * (1.0 + 0.5 * std::sin(0.01 * i));
    for (const auto set : testsupport::kernelSetsHere()) {
        for (const bool exact : {false, true}) {
            Detector whole, pieces;
            whole.setLength(55, 110);
            pieces.setLength(55, 110);
            const std::vector<double> a = detect(whole, x, exact, 1.0, set);
            const std::vector<double> b =
                detect(pieces, x, exact, 1.0, set, {5, 64, 13, 1, 100, 7, 128});
            for (size_t i = 0; i < x.size(); ++i)
                ASSERT_EQ(a[i], b[i]) << (exact ? "exact" : "fast") << " root, sample " << i;
        }
    }
}

TEST(GrandPressDetector, SilenceGivesTheFloorAndAnImpulseLandsOnTheCentre) {
    Detector d;
    d.setLength(55, 110);
    std::vector<double> x(2000, 0.0);
    x[300] = 1.0;
    const std::vector<double> level = detect(d, x, false);
    EXPECT_DOUBLE_EQ(level[0], 0.005);  // -46 dB below the threshold, not 0
    // The centre tap alone sees the impulse 110 samples after it entered: |x| = 1, q = 0; its
    // odd neighbours see h[0] = 2/pi.
    size_t peak = 0;
    for (size_t i = 0; i < level.size(); ++i)
        if (level[i] > level[peak]) peak = i;
    EXPECT_EQ(peak, 410u);
    EXPECT_NEAR(level[410], 1.005, 1e-5);  // fast root: 5e-6 relative
    EXPECT_NEAR(level[409], 2.0 / std::numbers::pi + 0.005, 1e-5);
    EXPECT_NEAR(level[408], 0.005, 1e-12);  // even offsets carry no tap
    // Nothing before the window reaches the impulse (first tap 2L - 1 = 109 ahead of the centre).
    EXPECT_NEAR(level[410 - 110], 0.005, 1e-12);
    EXPECT_GT(level[410 - 109], 0.005 + 1e-4);
}

TEST(GrandPressDetector, NoGhostAfterATransientAtAnyLength) {
    // A loud burst, then silence: once the window has passed the burst the level is the floor
    // and stays there (the line never serves old contents as new ones).
    for (int L : {27, 55, 240, 480, 960}) {
        Detector d;
        d.setLength(L, 2 * L);
        std::vector<double> x(12000, 0.0);
        for (int i = 0; i < 3000; ++i) x[i] = std::sin(0.3 * i) * (i % 7 == 0 ? 1.0 : 0.5);
        const std::vector<double> level = detect(d, x, L > 100);
        const size_t quiet = 3000 + 4 * L;  // last burst sample leaves the window
        for (size_t i = quiet; i < x.size(); ++i)
            ASSERT_NEAR(level[i], 0.005, 1e-12) << "L " << L << " sample " << i;
    }
}

TEST(GrandPressDetector, SineLevelIsItsAmplitudeTimesTheScale) {
    // For a sine A sin(wn) the sum q is A |H| cos(wn) with |H| = sum_i h[i] 2 sin((2i+1) w),
    // the truncated kernel's gain at w; so sqrt(q^2 + x^2) swings between A and A |H|.
    const double w = 2.0 * std::numbers::pi * 1000.0 / 44100.0;
    double H = 0.0;
    for (int i = 0; i < 55; ++i)
        H += 2.0 / ((2 * i + 1) * std::numbers::pi) * 2.0 * std::sin((2 * i + 1) * w);
    ASSERT_NEAR(H, 1.04, 0.01);  // the 55-tap window ripples about 4 % at 1 kHz
    Detector d;
    d.setLength(55, 110);
    std::vector<double> x(8820);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = 0.5 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 44100.0);
    for (bool exact : {false, true}) {
        const std::vector<double> level = detect(d, x, exact, 2.0);
        double lo = 1e9, hi = -1e9;
        for (size_t i = 4410; i < x.size(); ++i) {
            lo = std::min(lo, level[i]);
            hi = std::max(hi, level[i]);
        }
        // Scale 2, amplitude 0.5, floor 0.005; the fast root adds 5e-6 relative at most.
        EXPECT_NEAR(lo, std::min(1.0, H) + 0.005, 2e-4) << exact;
        EXPECT_NEAR(hi, std::max(1.0, H) + 0.005, 2e-4) << exact;
    }
}

TEST(GrandPressDetector, LengthsAreClampedToTheLine) {
    Detector d;
    d.setLength(5000, 1);
    EXPECT_EQ(d.length(), Detector::kMaxLength);
    EXPECT_EQ(d.centre(), 2 * Detector::kMaxLength);
    d.setLength(10, 5000);
    EXPECT_EQ(d.centre(), grandpress::kLinkedLineLength - 20);
}

}  // namespace
