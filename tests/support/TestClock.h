// A millisecond clock the test moves by hand. While the object lives, platform::tickCountMs()
// reads it instead of the system's counter, so the toolkit's timers and the editors' time-outs
// run only when the test advances it (in this program; a plug-in library loaded from a file has
// its own counter). One at a time; it starts at `startMs`.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Ticks.h"

namespace testsupport {

class TestClock {
  public:
    explicit TestClock(std::uint32_t startMs = 100000) {
        now().store(startMs);
        previous_ = platform::setTickSource(&read);
    }
    ~TestClock() { platform::setTickSource(previous_); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    void advance(std::uint32_t ms) { now().fetch_add(ms); }

  private:
    static std::atomic<std::uint32_t>& now() {
        static std::atomic<std::uint32_t> ms{0};
        return ms;
    }
    static std::uint32_t read() { return now().load(); }

    platform::TickSource previous_ = nullptr;
};

}  // namespace testsupport
