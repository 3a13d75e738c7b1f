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
        ASSERT_GE(std::int32_t(now - previous), 0) << "went backwards";
        previous = now;
    }

    // A sleep lasts at least as long as asked (however much longer a loaded machine makes it).
    const std::uint32_t start = tickCountMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GE(tickCountMs() - start, 30u - kTickStepMs);  // less one step lost at the two ends
}

// A test's clock, read by every timer and time-out in place of the system's.
std::uint32_t fixedTicks() {
    return 0xFFFFFFF0u;
}

TEST(Ticks, AnInstalledSourceReplacesTheSystemsCounterUntilRemoved) {
    EXPECT_EQ(setTickSource(&fixedTicks), nullptr) << "the system's counter by default";
    EXPECT_EQ(tickCountMs(), 0xFFFFFFF0u);
    EXPECT_EQ(setTickSource(nullptr), &fixedTicks);
#ifndef _WIN32
    const std::uint32_t before = steadyMsLow32();
    const std::uint32_t tick = tickCountMs();
    EXPECT_LE(std::uint32_t(tick - before), std::uint32_t(steadyMsLow32() - before));
#endif
    const std::uint32_t system = systemTickCountMs();
    EXPECT_LE(std::uint32_t(tickCountMs() - system), std::uint32_t(systemTickCountMs() - system));
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
