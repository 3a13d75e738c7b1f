// Millisecond tick counter for timeouts and throttling in the user interface.
//
// Monotonic (unaffected by wall-clock changes), wraps at 2^32 ms (about 49.7 days), so compare
// ticks by unsigned difference: `tickCountMs() - start >= timeoutMs`. Any thread; it is a system
// call, so not inside audio processing.
#pragma once

#include <cstdint>

namespace platform {

std::uint32_t tickCountMs();

}  // namespace platform
