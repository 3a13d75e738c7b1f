#include <windows.h>

#include "platform/Ticks.h"

namespace platform {

std::uint32_t systemTickCountMs() {
    // Milliseconds since boot in 32 bits, wrapping after 49.7 days; its resolution is the system
    // timer's (10 to 16 ms on most machines).
    return GetTickCount();
}

}  // namespace platform
