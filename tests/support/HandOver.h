// Hammers an engine's parameter hand-over: two setting threads call setParameter as fast as they
// can while the calling thread processes blocks and checks, after each block, the settings the
// audio thread adopted.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

// Values the setting threads choose from: an adopted value that is none of them would be torn.
inline constexpr float kHandOverChoices[] = {0.0f, 0.3f, 0.55f, 1.0f};

inline bool isHandOverChoice(float v) {
    for (float c : kHandOverChoices)
        if (v == c) return true;
    return false;
}

struct HandOverRun {
    int blocks = 0;
    long long sets = 0;
};

// `setter(thread, k)` makes the k-th change of setting thread 0 or 1; `block()` processes one
// block and checks it (gtest assertions inside). Runs for `duration`, at least 200 blocks.
inline HandOverRun hammerHandOver(const std::function<void(int, long long)>& setter,
                                  const std::function<void()>& block,
                                  std::chrono::milliseconds duration) {
    std::atomic<bool> stop{false};
    std::atomic<long long> sets{0};
    auto run = [&](int thread) {
        for (long long k = 0; !stop.load(std::memory_order_relaxed); ++k) {
            setter(thread, k);
            sets.fetch_add(1, std::memory_order_relaxed);
        }
    };
    std::thread one(run, 0), two(run, 1);
    HandOverRun result;
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end || result.blocks < 200) {
        block();
        ++result.blocks;
    }
    stop = true;
    one.join();
    two.join();
    result.sets = sets.load();
    return result;
}

}  // namespace testsupport
