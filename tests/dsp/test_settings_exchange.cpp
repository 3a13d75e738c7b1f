// The lock-free hand-over of settings from the parameter threads to the audio thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "dsp/SettingsExchange.h"

namespace {

// A value whose every field carries the same number: a torn read shows as a mismatch.
struct Probe {
    double a[40];
    std::int32_t n[8];
};

TEST(SettingsExchange, ReaderNeverSeesAMixOfTwoPublications) {
    qrx::dsp::SettingsExchange<Probe> exchange;
    Probe initial{};
    exchange.publish(initial);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        Probe p;
        for (int k = 1; !stop.load(); ++k) {
            for (double& v : p.a) v = k;
            for (auto& v : p.n) v = k;
            exchange.publish(p);
        }
    });
    Probe got{};
    int reads = 0, consistent = 0;
    // A busy writer may hold the reader off for a while on a loaded machine: read on until some
    // reads have gone through (bounded, so a reader that never succeeds fails the test).
    while ((reads < 200000 || consistent < 100) && reads < 100000000) {
        ++reads;
        if (!exchange.tryRead(got)) continue;
        ++consistent;
        for (double v : got.a) ASSERT_EQ(v, got.a[0]);
        for (auto v : got.n) ASSERT_EQ(v, static_cast<std::int32_t>(got.a[0]));
    }
    stop = true;
    writer.join();
    EXPECT_GE(consistent, 100);
    EXPECT_TRUE(exchange.tryRead(got));  // quiet: the last publication is read whole
    EXPECT_EQ(got.n[7], static_cast<std::int32_t>(exchange.publications() - 1));
}

}  // namespace
