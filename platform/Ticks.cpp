#include "platform/Ticks.h"

#include <time.h>

namespace platform {

std::uint32_t systemTickCountMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Unsigned arithmetic: the truncation to 32 bits is the intended wrap-around.
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace platform
