// setParameter from two threads while the audio thread processes: every block runs on settings
// that the builder gives for one set of parameter values, each a value a thread really set.
#include <gtest/gtest.h>

#include <cstring>

#include "EngineRig.h"
#include "support/HandOver.h"

namespace tinypress {
namespace {

using tinypress_test::EngineRig;
using tinypress_test::Signal;

TEST(TinyPressHandOver, AdoptedSettingsBelongToOneSetOfValues) {
    EngineRig rig(48000.0f);
    TinyPress& fx = rig.fx;
    // Threshold and ratio share the auto make-up and knee values; RMS, attack and release share
    // the envelope coefficients; the two PPM times share the meter coefficients.
    const int indices[2][7] = {{kThreshold, kRatio, kRms, kAttack, kPpmIntegration, kMakeup, kMix},
                               {kRatio, kThreshold, kRelease, kRms, kPpmReturn, kOutput, kPower}};
    // Short blocks: many hand-overs per second.
    const Signal in(16, 0.25f);
    rig.run(in, 16);
    const EngineSettings before = rig.path().settings();

    int mismatches = 0;
    const auto run = testsupport::hammerHandOver(
        fx, indices,
        [&] {
            rig.run(in, 16);
            const float* p = fx.adoptedParameters();
            ASSERT_TRUE(testsupport::adoptedAreChoices(p, indices));
            const EngineSettings& adopted = rig.path().settings();
            // Shelves, Hilbert length and resets come from events no thread sends here: they
            // must stay as they were; everything else is what the values give.
            EngineSettings expected = before;
            applyAll(expected, p, fx.processingRate());
            if (std::memcmp(&expected, &adopted, sizeof expected) != 0) ++mismatches;
        },
        testsupport::kHandOverBlocks, testsupport::kHandOverSets);
    EXPECT_EQ(mismatches, 0) << "of " << run.blocks << " blocks";
    rig.run(in, 16);
    for (int i = 0; i < kNumParams; ++i) EXPECT_EQ(fx.adoptedParameters()[i], fx.getParameter(i));
}

}  // namespace
}  // namespace tinypress
