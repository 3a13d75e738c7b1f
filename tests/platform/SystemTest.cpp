// Tick counter and dynamic loading.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "platform/DynamicLibrary.h"
#include "platform/Ticks.h"

namespace platform {
namespace {

std::uint32_t steadyMsLow32() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

TEST(Ticks, FollowsTheMonotonicClockInWrappingMilliseconds) {
    // The counter is the monotonic clock's milliseconds truncated to 32 bits; reading it between
    // two reads of that clock must land between them (unsigned differences, so a wrap is harmless).
    const std::uint32_t before = steadyMsLow32();
    const std::uint32_t tick = tickCountMs();
    const std::uint32_t after = steadyMsLow32();
    EXPECT_LE(std::uint32_t(tick - before), std::uint32_t(after - before));

    std::uint32_t previous = tickCountMs();
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t now = tickCountMs();
        ASSERT_LT(std::uint32_t(now - previous), 1000u) << "went backwards or jumped";
        previous = now;
    }

    const std::uint32_t start = tickCountMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const std::uint32_t elapsed = tickCountMs() - start;
    EXPECT_GE(elapsed, 29u);  // 30 ms slept, minus up to 1 ms lost to truncating both ends
    EXPECT_LT(elapsed, 2000u);
}

TEST(DynamicLibrary, LoadsLibmAndResolvesCos) {
    std::string error = "stale";
    auto lib = DynamicLibrary::load("libm.so.6", &error);
    ASSERT_NE(lib, nullptr) << error;
    EXPECT_TRUE(error.empty());
    using CosFn = double (*)(double);
    auto cosFn = reinterpret_cast<CosFn>(lib->symbol("cos"));
    ASSERT_NE(cosFn, nullptr);
    EXPECT_DOUBLE_EQ(cosFn(0.0), 1.0);
    EXPECT_NEAR(cosFn(M_PI / 3.0), 0.5, 1e-15);
    EXPECT_EQ(lib->symbol("no_such_symbol_qrx"), nullptr);
    EXPECT_EQ(lib->symbol(nullptr), nullptr);
}

TEST(DynamicLibrary, ReportsMissingFile) {
    const std::string path = "/nonexistent/qrx/libmissing.so";
    std::string error;
    EXPECT_EQ(DynamicLibrary::load(path, &error), nullptr);
    EXPECT_NE(error.find("libmissing.so"), std::string::npos) << error;
    EXPECT_EQ(DynamicLibrary::load(path), nullptr);  // no error sink: still just fails
}

}  // namespace
}  // namespace platform
