// The input delay rings of both engines: every stream comes back unchanged after its delay, the
// ring wraps, and clear() brings silence back.
#include <gtest/gtest.h>

#include "dsp/InputRings.h"

namespace {

using Rings = qrx::dsp::InputRings<1024>;

TEST(InputRings, StreamsComeBackAfterTheirDelayAcrossTheWrap) {
    static Rings rings;  // 32 kB: not on the test's stack
    for (int t = 0; t < 3000; ++t) {
        rings.push(t, -t, 10000 + t, -10000 - t);
        EXPECT_EQ(rings.delayed(Rings::kMainLeft, 0), t);
        if (t >= 1023) {
            ASSERT_EQ(rings.delayed(Rings::kMainLeft, 1023), t - 1023);
            ASSERT_EQ(rings.delayed(Rings::kMainRight, 977), -(t - 977));
            ASSERT_EQ(rings.delayed(Rings::kSideLeft, 930), 10000 + t - 930);
            ASSERT_EQ(rings.delayed(Rings::kSideRight, 1), -10000 - (t - 1));
        }
    }
    rings.clear();
    for (int d : {0, 1, 500, 1023}) EXPECT_EQ(rings.delayed(Rings::kSideRight, d), 0.0);
}

}  // namespace
