// Tick counter and dynamic loading.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "platform/DynamicLibrary.h"
#include "platform/Ticks.h"

namespace platform {
namespace {

#ifdef _WIN32
// GetTickCount advances in steps of the system timer, 10 to 16 ms.
constexpr std::uint32_t kTickStepMs = 16;
// The C runtime every Windows program can load, and a file that cannot exist.
const char* const kMathLibrary = "msvcrt.dll";
const char* const kMissingLibrary = "C:\\nonexistent\\qrx\\libmissing.dll";
#else
constexpr std::uint32_t kTickStepMs = 1;
const char* const kMathLibrary = "libm.so.6";
const char* const kMissingLibrary = "/nonexistent/qrx/libmissing.so";
#endif

#ifndef _WIN32
std::uint32_t steadyMsLow32() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}
#endif

TEST(Ticks, FollowsTheMonotonicClockInWrappingMilliseconds) {
    // The counter is the monotonic clock's milliseconds truncated to 32 bits; reading it between
    // two reads of that clock must land between them (unsigned differences, so a wrap is harmless).
#ifndef _WIN32
    const std::uint32_t before = steadyMsLow32();
    const std::uint32_t tick = tickCountMs();
    const std::uint32_t after = steadyMsLow32();
    EXPECT_LE(std::uint32_t(tick - before), std::uint32_t(after - before));
#endif

    std::uint32_t previous = tickCountMs();
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t now = tickCountMs();
        ASSERT_LT(std::uint32_t(now - previous), 1000u) << "went backwards or jumped";
        previous = now;
    }

    const std::uint32_t start = tickCountMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const std::uint32_t elapsed = tickCountMs() - start;
    EXPECT_GE(elapsed, 30u - kTickStepMs);  // 30 ms slept, less one step lost at the two ends
    EXPECT_LT(elapsed, 2000u);
}

TEST(DynamicLibrary, LoadsTheMathLibraryAndResolvesCos) {
    std::string error = "stale";
    auto lib = DynamicLibrary::load(kMathLibrary, &error);
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
    const std::string path = kMissingLibrary;
    std::string error;
    EXPECT_EQ(DynamicLibrary::load(path, &error), nullptr);
    EXPECT_NE(error.find("libmissing"), std::string::npos) << error;
    EXPECT_EQ(DynamicLibrary::load(path), nullptr);  // no error sink: still just fails
}

}  // namespace
}  // namespace platform
