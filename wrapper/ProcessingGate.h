// Exclusion between the host's real-time thread (processing calls) and its main thread (state
// loading, unloading): the processing-now flag and the state-load flag, kept as two bits of one
// atomic word so that "wait until no processing call runs, then raise the state-load flag" is a
// single step. (As two separate flags a processing call could start between the wait and the
// raise and run the effect during the state change.) Busy-waiting spins without sleeping.
#pragma once

#include <atomic>

namespace wrapper {

class ProcessingGate {
  public:
    // Real-time thread. Raises the processing-now flag; false when a state load is in progress,
    // in which case the call must leave the effect alone (and still call leaveProcessing).
    bool enterProcessing() noexcept {
        return (flags_.fetch_or(kProcessingNow, std::memory_order_acquire) & kStateLoad) == 0;
    }
    void leaveProcessing() noexcept {
        flags_.fetch_and(~kProcessingNow, std::memory_order_release);
    }

    // Main thread. Spins until no processing call runs and raises the state-load flag. Not
    // re-entrant: every beginStateLoad is followed by endStateLoad before the next.
    void beginStateLoad() noexcept {
        int expected = 0;
        while (!flags_.compare_exchange_weak(expected, kStateLoad, std::memory_order_acquire,
                                             std::memory_order_relaxed))
            expected = 0;
    }
    void endStateLoad() noexcept { flags_.fetch_and(~kStateLoad, std::memory_order_release); }

    bool processingNow() const noexcept {
        return (flags_.load(std::memory_order_relaxed) & kProcessingNow) != 0;
    }
    bool stateLoadInProgress() const noexcept {
        return (flags_.load(std::memory_order_relaxed) & kStateLoad) != 0;
    }

  private:
    static constexpr int kProcessingNow = 1;
    static constexpr int kStateLoad = 2;
    std::atomic<int> flags_{0};
};

}  // namespace wrapper
