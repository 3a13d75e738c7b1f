// Processing allocates nothing: every global allocation function is replaced by a counting one,
// and the counter must not move while the process entries run, in any routine, precision,
// meter source or switch combination.
#include <gtest/gtest.h>

#include <vector>

#include "grandpress/GrandPress.h"
#include "grandpress/Parameters.h"
#include "support/CallbackRecorder.h"
#include "support/CountingNew.h"

namespace {

namespace gp = grandpress;
using testsupport::allocations;
using testsupport::counting;

TEST(GrandPressAllocation, ProcessingAllocatesNothing) {
    testsupport::TemporaryConfigHome config;
    gp::GrandPress effect(nullptr);
    constexpr int kFrames = 1000;  // not a multiple of the chunk (128 samples, 64 with FAT)
    std::vector<float> f(kFrames), fo(kFrames), fo2(kFrames);
    std::vector<double> d(kFrames), dout(kFrames), dout2(kFrames);
    for (int i = 0; i < kFrames; ++i)
        f[i] = static_cast<float>(d[i] = 0.9 * ((i / 40) % 2 ? 1 : -1));
    float* fin[4] = {f.data(), f.data(), f.data(), f.data()};
    float* fout[2] = {fo.data(), fo2.data()};
    double* din[4] = {d.data(), d.data(), d.data(), d.data()};
    double* dOut[2] = {dout.data(), dout2.data()};

    struct Case {
        float power, fat, smooth, meters, limiter, classic, scExt, monitor;
    };
    const Case cases[] = {
        {1, 0, 0, 0.5f, 0, 0, 0, 0}, {1, 1, 0, 0.0f, 1, 1, 1, 0}, {1, 0, 1, 1.0f, 1, 0, 0, 1},
        {1, 1, 1, 0.5f, 1, 1, 1, 0}, {0, 1, 1, 1.0f, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        effect.setParameter(gp::kPower, c.power);
        effect.setParameter(gp::kFat, c.fat);
        effect.setParameter(gp::kSmooth, c.smooth);
        effect.setParameter(gp::kMeters, c.meters);
        effect.setParameter(gp::kLimiter, c.limiter);
        effect.setParameter(gp::kClassic, c.classic);
        effect.setParameter(gp::kScExt, c.scExt);
        effect.setParameter(gp::kScMonitor, c.monitor);
        effect.setParameter(gp::kRatio, 0.9f);
        effect.suspend();
        effect.resume();
        allocations = 0;
        counting = true;
        for (int b = 0; b < 6; ++b) {
            effect.processReplacing(fin, fout, kFrames);
            effect.processDoubleReplacing(din, dOut, kFrames);
        }
        counting = false;
        EXPECT_EQ(allocations.load(), 0)
            << "power " << c.power << " fat " << c.fat << " smooth " << c.smooth;
    }
    // The counter works: construction allocates.
    counting = true;
    auto* other = new gp::GrandPress(nullptr);
    counting = false;
    EXPECT_GT(allocations.load(), 0);
    delete other;
}

}  // namespace
