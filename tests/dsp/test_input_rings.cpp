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

TEST(InputRings, BlocksWrittenInPlaceReadAsFramesPushedOneByOne) {
    // Blocks of uneven lengths through the wrap: what the fill stores (each stream in at most two
    // runs, frames in order) reads back through delayedBlock as frame-by-frame pushes and
    // delayed() give.
    static Rings blocks, frames;
    int t = 0;
    for (int n : {64, 1, 63, 64, 7, 64, 64, 33, 64, 2, 64, 64, 64, 64, 64, 17, 64, 64, 64, 64}) {
        int runs = 0, stored = 0;
        blocks.pushWith(n, [&](int stream, double* to, int first, int count) {
            ++runs;
            for (int i = 0; i < count; ++i, ++stored) to[i] = 1000.0 * stream + t + first + i;
        });
        ASSERT_LE(runs, 2 * Rings::kStreams);
        ASSERT_EQ(stored, Rings::kStreams * n);
        for (int i = 0; i < n; ++i, ++t) frames.push(t, 1000.0 + t, 2000.0 + t, 3000.0 + t);
        for (int stream = 0; stream < Rings::kStreams; ++stream) {
            for (int delay : {0, 5, 911, 1023 - n + 1}) {
                double got[64];
                blocks.delayedBlock(stream, delay + n - 1, n, got);
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ(got[i], frames.delayed(stream, delay + n - 1 - i))
                        << "stream " << stream << ", delay " << delay << ", frame " << i;
            }
        }
    }
}

}  // namespace
