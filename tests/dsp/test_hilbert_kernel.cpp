// The Hilbert transformer shared by both detectors: every output is the plain sum whatever the
// count of outputs (the vector passes take 8 and 4 at a time): bit for bit on the baseline
// kernels, within rounding on the fused AVX2 ones (where the processor has them), and on both an
// output's value does not depend on where the call's run of outputs starts.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/HilbertKernel.h"
#include "support/KernelSets.h"

namespace {

using qrx::dsp::InstructionSet;

using testsupport::kernelSetsHere;

std::vector<double> testSignal(size_t n) {
    std::vector<double> x(n);
    for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.37 * i) + 0.01 * (i % 7);
    return x;
}

TEST(HilbertKernel, KernelHasOddTapsAndZeroPadding) {
    double h[8];
    qrx::dsp::fillHilbertKernel(h, 5, 8);
    EXPECT_DOUBLE_EQ(h[0], 2.0 / std::numbers::pi);
    EXPECT_DOUBLE_EQ(h[4], 2.0 / (9.0 * std::numbers::pi));
    EXPECT_EQ(h[5], 0.0);
    EXPECT_EQ(h[7], 0.0);
}

TEST(HilbertKernel, SumsEqualThePlainSumForEveryCountOfOutputsAndTaps) {
    // Odd and even tap counts (the fused kernel pairs taps), one tap, and the 44.1 kHz length.
    for (int taps : {1, 2, 22, 23, 55}) {
        std::vector<double> h(taps);
        qrx::dsp::fillHilbertKernel(h.data(), taps, taps);
        // The window reaches 2 taps - 1 behind output 0 and as far ahead of the last output.
        std::vector<double> x = testSignal(4 * 19 + 4 * taps);
        const double* centre = x.data() + 2 * taps;
        for (InstructionSet set : kernelSetsHere()) {
            for (int quads : {1, 2, 3, 4, 5, 7, 9, 16, 19}) {
                std::vector<double> q(4 * quads, -1.0);
                qrx::dsp::hilbertSums(set, centre, h.data(), taps, quads, q.data());
                for (int k = 0; k < 4 * quads; ++k) {
                    double sum = 0.0, magnitude = 0.0;
                    for (int i = 0; i < taps; ++i) {
                        sum += h[i] * (centre[k + 2 * i + 1] - centre[k - 2 * i - 1]);
                        magnitude += h[i] * (std::fabs(centre[k + 2 * i + 1]) +
                                             std::fabs(centre[k - 2 * i - 1]));
                    }
                    // The fused kernel rounds each of its two partial sums at most once per tap
                    // and adds them once: the difference stays below (taps + 2) eps of the
                    // magnitude, 57 eps ~ 6.3e-15 for the longest kernel here.
                    if (set == InstructionSet::Baseline)
                        ASSERT_EQ(q[k], sum) << taps << " taps, " << quads << " quads, " << k;
                    else
                        ASSERT_NEAR(q[k], sum, 1e-14 * magnitude)
                            << taps << " taps, " << quads << " quads, output " << k;
                }
            }
        }
    }
}

TEST(HilbertKernel, OutputsDoNotDependOnWhereTheRunStarts) {
    // The detectors call with runs of any length from any position: the same sample's output
    // must come out with the same bits from a long run and from runs cut at odd quads.
    constexpr int taps = 55;
    double h[taps];
    qrx::dsp::fillHilbertKernel(h, taps, taps);
    std::vector<double> x = testSignal(4 * 17 + 4 * taps);
    const double* centre = x.data() + 2 * taps;
    for (InstructionSet set : kernelSetsHere()) {
        std::vector<double> whole(4 * 17), pieces(4 * 17);
        qrx::dsp::hilbertSums(set, centre, h, taps, 17, whole.data());
        int start = 0;
        for (int quads : {1, 3, 2, 5, 1, 4, 1}) {
            qrx::dsp::hilbertSums(set, centre + 4 * start, h, taps, quads,
                                  pieces.data() + 4 * start);
            start += quads;
        }
        ASSERT_EQ(start, 17);
        for (int k = 0; k < 4 * 17; ++k) ASSERT_EQ(pieces[k], whole[k]) << "output " << k;
    }
}

}  // namespace
