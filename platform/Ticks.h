// Millisecond tick counter for timers, timeouts and throttling in the user interface.
//
// Monotonic (unaffected by wall-clock changes), wraps at 2^32 ms (about 49.7 days), so compare
// ticks by unsigned difference: `tickCountMs() - start >= timeoutMs`. Any thread; it is a system
// call, so not inside audio processing.
//
// Every timer and time-out of the editors reads tickCountMs(). Tests replace its source with a
// clock they move by hand, so that what they check never depends on how fast the machine runs.
// The source is per module: a plug-in library has its own copy, reading the system's counter.
#pragma once

#include <cstdint>

namespace platform {

// The installed source's count, or the system's when none is installed.
std::uint32_t tickCountMs();

// The system's monotonic milliseconds, whatever source is installed.
std::uint32_t systemTickCountMs();

// Makes tickCountMs() read `source` (null: the system's counter again) and returns the source it
// read before. Install it before the timers that should follow it start.
using TickSource = std::uint32_t (*)();
TickSource setTickSource(TickSource source);

}  // namespace platform
