// The side chain's equaliser and link: the AVX2+FMA cascade (both shelves as one four-lane
// recursion, the link band beside it) against the plain pair loop, while the shelves glide to a
// new design, in chunks of every length the engine uses.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/InstructionSet.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/Parameters.h"
#include "grandpress/SideChain.h"

namespace {

namespace gp = grandpress;
using qrx::dsp::InstructionSet;

gp::EngineSettings settings(float low, float high, float link, bool linkHighCut) {
    float p[gp::kNumParams] = {};
    p[gp::kPower] = 1.0f;
    p[gp::kLow] = low;
    p[gp::kHigh] = high;
    p[gp::kLowScf] = 1.0f;
    p[gp::kHighScf] = 1.0f;
    p[gp::kLink] = link;
    p[gp::kLinkHighCut] = linkHighCut ? 1.0f : 0.0f;
    p[gp::kTilt] = 0.3f;
    gp::EngineSettings s;
    gp::applyAll(s, p, 44100.0);
    return s;
}

TEST(GrandPressSideChain, FastCascadeFollowsThePlainLoopWhileTheShelvesGlide) {
    if (qrx::dsp::bestInstructionSet() != InstructionSet::Avx2Fma)
        GTEST_SKIP() << "no AVX2+FMA on this processor";
    const gp::EngineSettings before = settings(0.2f, 0.3f, 0.0f, false);
    const gp::EngineSettings after = settings(0.8f, 0.9f, 1.0f, true);
    gp::SideChain plain, fast;
    plain.reset(before);
    fast.reset(before);
    int pos = 0;
    for (int n : {64, 1, 2, 63, 128, 64, 3, 64, 64, 128, 17, 64}) {
        for (int pass = 0; pass < 20; ++pass, pos += n) {
            double in[4][128];
            for (int i = 0; i < n; ++i) {
                const double t = pos + i;
                in[0][i] = 0.5 * std::sin(0.031 * t);
                in[1][i] = 0.4 * std::sin(0.0021 * t) + 0.1 * std::sin(1.3 * t);
                in[2][i] = in[0][i] + 0.2 * std::sin(2.1 * t);
                in[3][i] = in[1][i] * (pass % 3 == 0 ? 0.0 : 1.0);
            }
            double a[4][128], b[4][128], outA[5][128], outB[5][128];
            for (int k = 0; k < 4; ++k)
                for (int i = 0; i < n; ++i) a[k][i] = b[k][i] = in[k][i];
            plain.process(InstructionSet::Baseline, after, n, a[0], a[1], a[2], a[3], outA[0],
                          outA[1], outA[2], outA[3], outA[4]);
            fast.process(InstructionSet::Avx2Fma, after, n, b[0], b[1], b[2], b[3], outB[0],
                         outB[1], outB[2], outB[3], outB[4]);
            for (int i = 0; i < n; ++i) {
                for (int k = 0; k < 4; ++k) ASSERT_EQ(a[k][i], b[k][i]);  // the same noise
                ASSERT_EQ(outA[4][i], outB[4][i]);
                for (int k = 0; k < 4; ++k)
                    ASSERT_NEAR(outB[k][i], outA[k][i], 1e-12)
                        << "stream " << k << ", frame " << pos + i;
            }
        }
    }
}

}  // namespace
