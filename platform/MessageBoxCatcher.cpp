#include "platform/MessageBoxCatcher.h"

#include <atomic>

namespace platform {
namespace {

// Read by whichever thread shows a notice, set by the test's main thread.
std::atomic<MessageBoxCatcher> gCatcher{nullptr};

}  // namespace

void catchMessageBoxes(MessageBoxCatcher catcher) {
    gCatcher.store(catcher, std::memory_order_relaxed);
}

bool handToCatcher(const std::u16string& text, const std::u16string& caption) {
    const MessageBoxCatcher catcher = gCatcher.load(std::memory_order_relaxed);
    if (catcher == nullptr) return false;
    catcher(text, caption);
    return true;
}

}  // namespace platform
