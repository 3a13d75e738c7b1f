// The lock-free hand-over of a rarely published value from several threads to one reader.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "dsp/LatestValue.h"

namespace {

// A value whose every field carries the same number: a torn read shows as a mismatch.
struct Probe {
    double a[10];
    std::int32_t n[4];
};

Probe probeOf(int k) {
    Probe p;
    for (double& v : p.a) v = k;
    for (auto& v : p.n) v = k;
    return p;
}

TEST(LatestValue, NothingBeforeTheFirstPublicationThenTheLatest) {
    qrx::dsp::LatestValue<Probe> value;
    Probe got = probeOf(-1);
    EXPECT_FALSE(value.tryRead(got));
    EXPECT_EQ(got.n[0], -1);
    for (int k = 1; k <= 20; ++k) value.publish(probeOf(k));  // more than the slots
    ASSERT_TRUE(value.tryRead(got));
    EXPECT_EQ(got.a[9], 20.0);
    EXPECT_EQ(got.n[3], 20);
}

// Two writers (odd and even numbers, each rising) and one reader: every read is one whole
// publication, and once the writers are quiet the reader gets the last publication of one of
// them (a writer that falls behind by a round of slots must not leave an older value, or none,
// under the latest ticket). Few slots make the writers lap each other often.
template <int kSlots>
void checkTwoWritersOneReader() {
    qrx::dsp::LatestValue<Probe, kSlots> value;
    std::atomic<bool> stop{false};
    int last[2] = {0, 0};
    auto writer = [&](int first) {
        int k = first;
        for (; !stop.load(std::memory_order_relaxed); k += 2) value.publish(probeOf(k));
        last[first - 1] = k - 2;
    };
    std::thread one(writer, 1), two(writer, 2);
    Probe got{};
    int reads = 0, whole = 0;
    while ((reads < 200000 || whole < 100) && reads < 100000000) {
        ++reads;
        if (!value.tryRead(got)) continue;
        ++whole;
        for (double v : got.a) ASSERT_EQ(v, got.a[0]);
        for (auto v : got.n) ASSERT_EQ(v, static_cast<std::int32_t>(got.a[0]));
    }
    stop = true;
    one.join();
    two.join();
    EXPECT_GE(whole, 100);
    ASSERT_TRUE(value.tryRead(got));
    EXPECT_TRUE(got.n[0] == last[0] || got.n[0] == last[1])
        << got.n[0] << " read, last publications " << last[0] << " and " << last[1];
}

TEST(LatestValue, ReaderNeverSeesAMixOfPublicationsAndEndsOnTheLatest) {
    for (int round = 0; round < 5; ++round) {
        checkTwoWritersOneReader<8>();
        checkTwoWritersOneReader<2>();
        checkTwoWritersOneReader<1>();
    }
}

}  // namespace
