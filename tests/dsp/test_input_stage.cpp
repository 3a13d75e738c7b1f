// The input stage both engines take their host samples in through: each run, on every kernel set
// and for either host type, gives what the plain per-sample rule gives (NaN and infinities 0,
// finite values held inside the stream's bound), at every length up to a chunk and past it, at any
// alignment, with one odd sample anywhere among ordinary ones. (KernelConformanceTest holds the
// runs in and out to their references over the common lengths, offsets and guards.)
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/InputStage.h"
#include "dsp/Kernels.h"
#include "support/KernelSets.h"

namespace {

using qrx::dsp::HostSampleKernels;

template <typename Sample>
std::vector<Sample> oddSamples(double hold) {
    using Limits = std::numeric_limits<Sample>;
    const Sample bound = static_cast<Sample>(hold);
    return {Limits::quiet_NaN(),
            Limits::infinity(),
            -Limits::infinity(),
            Limits::max(),
            Limits::lowest(),
            static_cast<Sample>(1e38),
            bound,
            -bound,
            std::nextafter(bound, Limits::infinity()),
            std::nextafter(-bound, -Limits::infinity()),
            std::nextafter(bound, Sample(0)),
            Limits::denorm_min(),
            static_cast<Sample>(-0.0)};
}

// Runs of `n` samples of stream `stream` starting `from` and `to` places into the buffers, the
// odd sample `x` at `at`: each sample as finiteInput gives it, and nothing written outside.
template <typename Sample>
void expectRun(const HostSampleKernels& k, int stream, int n, int from, int to, int at, Sample x) {
    static const std::vector<double> ordinary = [] {
        std::vector<double> x(160);  // inside +-4: every bound passes it
        for (size_t i = 0; i < x.size(); ++i) x[i] = 3.9 * std::sin(0.3 * static_cast<double>(i));
        return x;
    }();
    alignas(64) Sample in[160];
    alignas(64) double out[160];
    for (int i = 0; i < 160; ++i) {
        in[i] = static_cast<Sample>(ordinary[i]);
        out[i] = -7.0;
    }
    in[from + at] = x;
    qrx::dsp::finiteInputs(k, stream, in + from, out + to, n);
    const double hold = qrx::dsp::inputHoldOf(stream);
    for (int i = 0; i < n; ++i) {
        const double expected = qrx::dsp::finiteInput(static_cast<double>(in[from + i]), hold);
        ASSERT_EQ(out[to + i], expected) << "stream " << stream << ", run " << n << " from " << from
                                         << " to " << to << ", odd sample at " << at;
        ASSERT_EQ(std::signbit(out[to + i]), std::signbit(expected));
    }
    for (int i = 0; i < 160; ++i) {
        if (i < to || i >= to + n) {
            ASSERT_EQ(out[i], -7.0) << "written outside, at " << i;
        }
    }
}

template <typename Sample>
void expectRunsAsSamples(const HostSampleKernels& k) {
    for (const int stream : {1, 2}) {  // a main stream and a side-chain one
        const std::vector<Sample> odd = oddSamples<Sample>(qrx::dsp::inputHoldOf(stream));
        for (int n = 1; n <= 72; ++n)
            for (const Sample x : odd) {
                // Aligned: the odd sample at every place; shifted buffers: at the ends and inside.
                for (int at = 0; at < n; ++at) expectRun(k, stream, n, 0, 0, at, x);
                for (int from = 1; from < 8; ++from)
                    for (const int at : {0, n / 2, n - 1})
                        expectRun(k, stream, n, from, from % 3, at, x);
            }
    }
}

TEST(InputStage, RunsHoldEachStreamAsThePlainRuleOnEveryKernelSet) {
    for (const qrx::dsp::InstructionSet set : testsupport::kernelSetsHere()) {
        SCOPED_TRACE(qrx::dsp::instructionSetName(set));
        expectRunsAsSamples<float>(qrx::dsp::kernelsFor(set).hostSamples);
        expectRunsAsSamples<double>(qrx::dsp::kernelsFor(set).hostSamples);
    }
}

TEST(InputStage, TheMainPairIsHeldFarOutTheSideChainAtTheDetectorsCeiling) {
    // Every signal up to +12 dBFS passes both unchanged; the main pair keeps up to +120 dBFS.
    EXPECT_EQ(qrx::dsp::inputHoldOf(0), 1e6);
    EXPECT_EQ(qrx::dsp::inputHoldOf(1), 1e6);
    EXPECT_EQ(qrx::dsp::inputHoldOf(2), qrx::dsp::kDetectorCeiling);
    EXPECT_EQ(qrx::dsp::inputHoldOf(3), qrx::dsp::kDetectorCeiling);
    EXPECT_GE(qrx::dsp::kDetectorCeiling, 16.0);
    EXPECT_EQ(qrx::dsp::finiteInput(3.4e38, qrx::dsp::kDetectorCeiling),
              qrx::dsp::kDetectorCeiling);
    EXPECT_EQ(qrx::dsp::finiteInput(-4.0, qrx::dsp::kDetectorCeiling), -4.0);
}

}  // namespace
