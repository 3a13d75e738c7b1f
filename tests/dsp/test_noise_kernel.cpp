// The chunk noise runs of both instruction sets against the plain generator: the same values to
// the bit, in the layouts the engines ask for, and the generators left where the plain loop
// leaves them, over run lengths that end inside and on the vector blocks.
#include <gtest/gtest.h>

#include <vector>

#include "dsp/DenormalNoise.h"
#include "dsp/InstructionSet.h"
#include "dsp/NoiseKernel.h"
#include "support/KernelSets.h"

namespace qrx::dsp {
namespace {

using testsupport::kernelSetsHere;

TEST(NoiseKernel, ValuesAreTheGeneratorsOwnInOrder) {
    for (const InstructionSet set : kernelSetsHere()) {
        const char* name = instructionSetName(set);
        for (const double scale : {1e-12, 1e-13, 1.0}) {
            DenormalNoise run(scale), reference(scale);
            for (const int count : {kNoiseRunMax, 1, 7, 8, 9, 0, 128, 37, 64, 383}) {
                std::vector<double> to(static_cast<std::size_t>(count) + 1, 42.0);
                noiseValues(set, run, count, to.data());
                for (int k = 0; k < count; ++k)
                    ASSERT_EQ(to[static_cast<std::size_t>(k)], reference.next())
                        << name << ", run of " << count << ", value " << k;
                EXPECT_EQ(to[static_cast<std::size_t>(count)], 42.0)
                    << name << ": wrote past the run";
                ASSERT_TRUE(run == reference) << name << " after a run of " << count;
            }
        }
    }
}

TEST(NoiseKernel, PairedFramesGiveBothGeneratorsRunsInEveryLayout) {
    for (const InstructionSet set : kernelSetsHere()) {
        const char* name = instructionSetName(set);
        for (const int perFrame : {2, 3}) {
            for (const int streams : {1, perFrame}) {
                DenormalNoise a(1e-12), b(1e-13), refA(1e-12), refB(1e-13);
                // The second generator a few steps on, as a shelf's source may be.
                for (int k = 0; k < 5; ++k) b.next(), refB.next();
                for (const int n : {kNoiseFramesMax, 64, 1, 5, 8, 17, 0, 63}) {
                    std::vector<double> runA(static_cast<std::size_t>(perFrame * kNoiseFramesMax));
                    std::vector<double> runB(kNoiseFramesMax);
                    double* toA[3] = {};
                    for (int j = 0; j < streams; ++j) toA[j] = runA.data() + j * kNoiseFramesMax;
                    noiseFrames(set, a, perFrame, streams, toA, b, runB.data(), n);
                    for (int v = 0; v < perFrame * n; ++v)
                        ASSERT_EQ(toA[v % streams][v / streams], refA.next())
                            << name << ", " << perFrame << " per frame in " << streams
                            << " streams, n " << n << ", value " << v;
                    for (int i = 0; i < n; ++i)
                        ASSERT_EQ(runB[static_cast<std::size_t>(i)], refB.next())
                            << name << ", second generator, n " << n << ", value " << i;
                    ASSERT_TRUE(a == refA && b == refB) << name << " after " << n << " frames";
                }
            }
        }
    }
}

}  // namespace
}  // namespace qrx::dsp
