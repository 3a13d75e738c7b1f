// The Hilbert transformer shared by both detectors: every output is the plain sum, in tap order,
// whatever the count of outputs (the vector passes take 16, 8 and 4 at a time): bit for bit on
// the baseline kernels, within rounding on the fused AVX2 ones (where the processor has them).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/HilbertKernel.h"

namespace {

TEST(HilbertKernel, KernelHasOddTapsAndZeroPadding) {
    double h[8];
    qrx::dsp::fillHilbertKernel(h, 5, 8);
    EXPECT_DOUBLE_EQ(h[0], 2.0 / std::numbers::pi);
    EXPECT_DOUBLE_EQ(h[4], 2.0 / (9.0 * std::numbers::pi));
    EXPECT_EQ(h[5], 0.0);
    EXPECT_EQ(h[7], 0.0);
}

TEST(HilbertKernel, SumsEqualThePlainSumForEveryCountOfOutputs) {
    constexpr int taps = 23;
    double h[taps];
    qrx::dsp::fillHilbertKernel(h, taps, taps);
    std::vector<double> x(640);
    for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.37 * i) + 0.01 * (i % 7);
    const double* centre = x.data() + 2 * taps;
    using qrx::dsp::InstructionSet;
    for (InstructionSet set : {InstructionSet::Baseline, InstructionSet::Avx2Fma}) {
        if (set == InstructionSet::Avx2Fma && qrx::dsp::bestInstructionSet() != set) continue;
        for (int quads : {1, 2, 3, 4, 5, 7, 9, 16, 19}) {
            std::vector<double> q(4 * quads, -1.0);
            qrx::dsp::hilbertSums(set, centre, h, taps, quads, q.data());
            for (int k = 0; k < 4 * quads; ++k) {
                double sum = 0.0, magnitude = 0.0;
                for (int i = 0; i < taps; ++i) {
                    sum += h[i] * (centre[k + 2 * i + 1] - centre[k - 2 * i - 1]);
                    magnitude += h[i] * (std::fabs(centre[k + 2 * i + 1]) +
                                         std::fabs(centre[k - 2 * i - 1]));
                }
                if (set == InstructionSet::Baseline)
                    ASSERT_EQ(q[k], sum) << quads << " quads, output " << k;
                else
                    ASSERT_NEAR(q[k], sum, 1e-14 * magnitude) << quads << " quads, output " << k;
            }
        }
    }
}

}  // namespace
