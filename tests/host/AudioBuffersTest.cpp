#include <gtest/gtest.h>

#include <utility>

#include "host/AudioBuffers.h"

namespace host {
namespace {

TEST(AudioBuffers, ChannelsAreDistinctZeroedAndSurviveAMove) {
    AudioBuffers<double> buffers(3, 5);
    EXPECT_EQ(buffers.channels(), 3);
    EXPECT_EQ(buffers.frames(), 5);
    double** data = buffers.data();
    for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(data[c], buffers.channel(c));
        for (int i = 0; i < 5; ++i) EXPECT_EQ(data[c][i], 0.0);
    }
    EXPECT_EQ(data[3], nullptr);
    // Writing every sample of one channel leaves the neighbours alone.
    for (int i = 0; i < 5; ++i) data[1][i] = 1.0 + i;
    EXPECT_EQ(data[0][4], 0.0);
    EXPECT_EQ(data[2][0], 0.0);

    AudioBuffers<double> moved(std::move(buffers));
    EXPECT_EQ(moved.data()[1][4], 5.0);
    moved.clear();
    EXPECT_EQ(moved.data()[1][4], 0.0);
}

TEST(AudioBuffers, EmptyShapesStillGiveAValidArray) {
    AudioBuffers<float> none(0, 128);
    ASSERT_NE(none.data(), nullptr);
    EXPECT_EQ(none.data()[0], nullptr);
    AudioBuffers<float> negative(-2, -1);
    EXPECT_EQ(negative.channels(), 0);
    EXPECT_EQ(negative.frames(), 0);
}

}  // namespace
}  // namespace host
