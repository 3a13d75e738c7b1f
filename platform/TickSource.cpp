#include <atomic>

#include "platform/Ticks.h"

namespace platform {
namespace {

std::atomic<TickSource> gSource{nullptr};

}  // namespace

std::uint32_t tickCountMs() {
    const TickSource source = gSource.load(std::memory_order_acquire);
    return source ? source() : systemTickCountMs();
}

TickSource setTickSource(TickSource source) {
    return gSource.exchange(source, std::memory_order_acq_rel);
}

}  // namespace platform
