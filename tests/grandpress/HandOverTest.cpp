// setParameter from two threads while the audio thread processes: every block runs on settings
// that the builder gives for one set of parameter values, each a value a thread really set.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "grandpress/EngineRig.h"
#include "support/HandOver.h"

namespace {

using namespace grandpress;

using testsupport::isHandOverChoice;
using testsupport::kHandOverChoices;

TEST(GrandPressHandOver, AdoptedSettingsBelongToOneSetOfValues) {
    testsupport::EngineRig rig(48000.0f);
    GrandPress& fx = *rig.effect;
    // Thread 0 moves what the gain curve and the side chain are built from, thread 1 the layout
    // switches, the times and the meters: both touch indices that share derived values.
    const int first[] = {kThreshold, kRatio, kTilt, kHigh, kLow, kLinkHighCut, kMakeup};
    const int second[] = {kFat, kSmooth, kRms, kAttack, kRelease, kVuIntegration, kThreshold};
    for (int i : first) fx.setParameter(i, kHandOverChoices[0]);
    for (int i : second) fx.setParameter(i, kHandOverChoices[0]);
    std::vector<double> in(256, 0.25), outL, outR;
    rig.run(in, in, outL, outR, 256);

    int mismatches = 0;
    const auto run = testsupport::hammerHandOver(
        [&](int thread, long long k) {
            const int* indices = thread == 0 ? first : second;
            fx.setParameter(indices[k % 7], kHandOverChoices[(k / 7 + thread) % 4]);
        },
        [&] {
            rig.run(in, in, outL, outR, 256);
            const float* p = fx.adoptedParameters();
            for (int i : first) ASSERT_TRUE(isHandOverChoice(p[i])) << i;
            for (int i : second) ASSERT_TRUE(isHandOverChoice(p[i])) << i;
            EngineSettings expected;
            applyAll(expected, p, fx.processingRate());
            const EngineSettings& adopted = fx.signalPath()->settings();
            expected.linkGeneration = adopted.linkGeneration;  // a count of link band changes
            if (std::memcmp(&expected, &adopted, sizeof expected) != 0) ++mismatches;
        },
        std::chrono::milliseconds(1500));
    EXPECT_EQ(mismatches, 0) << "of " << run.blocks << " blocks";
    EXPECT_GT(run.sets, 1000);
    // Quiet again: the next block adopts exactly the values that stand now.
    rig.run(in, in, outL, outR, 256);
    for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(fx.adoptedParameters()[i], fx.getParameter(i));
}

}  // namespace
