// setParameter from two threads while the audio thread processes: every block runs on settings
// that the builder gives for one set of parameter values, each a value a thread really set.
#include <gtest/gtest.h>

#include <cstring>

#include "grandpress/EngineRig.h"
#include "support/HandOver.h"

namespace {

using namespace grandpress;

TEST(GrandPressHandOver, AdoptedSettingsBelongToOneSetOfValues) {
    testsupport::EngineRig rig(48000.0f);
    GrandPress& fx = *rig.effect;
    // Thread 0 moves what the gain curve and the side chain are built from, thread 1 the layout
    // switches, the times and the meters: both touch indices that share derived values.
    const int indices[2][7] = {
        {kThreshold, kRatio, kTilt, kHigh, kLow, kLinkHighCut, kMakeup},
        {kFat, kSmooth, kRms, kAttack, kRelease, kVuIntegration, kThreshold}};
    // Short blocks: many hand-overs per second.
    std::vector<double> in(16, 0.25), outL, outR;

    int mismatches = 0;
    const auto run = testsupport::hammerHandOver(
        fx, indices,
        [&] {
            rig.run(in, in, outL, outR, 16);
            const float* p = fx.adoptedParameters();
            ASSERT_TRUE(testsupport::adoptedAreChoices(p, indices));
            EngineSettings expected;
            applyAll(expected, p, fx.processingRate());
            const EngineSettings& adopted = fx.signalPath()->settings();
            expected.linkGeneration = adopted.linkGeneration;  // a count of link band changes
            if (std::memcmp(&expected, &adopted, sizeof expected) != 0) ++mismatches;
        },
        testsupport::kHandOverBlocks, testsupport::kHandOverSets);
    EXPECT_EQ(mismatches, 0) << "of " << run.blocks << " blocks";
    // Quiet again: the next block adopts exactly the values that stand now.
    rig.run(in, in, outL, outR, 16);
    for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(fx.adoptedParameters()[i], fx.getParameter(i));
}

}  // namespace
