// Hammers an engine's parameter hand-over: two setting threads call setParameter as fast as they
// can while the calling thread processes blocks and checks, after each block, the settings the
// audio thread adopted.
#pragma once

#include <atomic>
#include <cstddef>
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

// How long the hammering goes on, counted in blocks and settings (not in time): many hand-overs,
// each block a chance to catch a torn one.
inline constexpr int kHandOverBlocks = 10000;
inline constexpr long long kHandOverSets = 100000;

struct HandOverRun {
    int blocks = 0;
    long long sets = 0;
};

// Setting thread t (0, 1) sets indices[t][k % N] to one of the choices, k = 0, 1, ...;
// `block()` processes one block and checks it (gtest assertions inside). Runs until at least
// `blocks` blocks were processed and the threads made at least `sets` settings between them,
// however fast or slow the machine is.
template <typename Effect, std::size_t N>
HandOverRun hammerHandOver(Effect& effect, const int (&indices)[2][N],
                           const std::function<void()>& block, int blocks, long long sets) {
    for (const auto& list : indices)
        for (int i : list) effect.setParameter(i, kHandOverChoices[0]);
    std::atomic<bool> stop{false};
    std::atomic<long long> made{0};
    auto run = [&](int thread) {
        for (long long k = 0; !stop.load(std::memory_order_relaxed); ++k) {
            const float value = kHandOverChoices[(k / N + thread) % 4];
            effect.setParameter(indices[thread][k % N], value);
            made.fetch_add(1, std::memory_order_relaxed);
        }
    };
    block();
    std::thread one(run, 0), two(run, 1);
    HandOverRun result;
    while (result.blocks < blocks || made.load(std::memory_order_relaxed) < sets) {
        block();
        ++result.blocks;
    }
    stop = true;
    one.join();
    two.join();
    result.sets = made.load();
    return result;
}

// Whether every value the audio thread adopted for the hammered indices is one of the choices.
template <std::size_t N>
bool adoptedAreChoices(const float* adopted, const int (&indices)[2][N]) {
    for (const auto& list : indices)
        for (int i : list)
            if (!isHandOverChoice(adopted[i])) return false;
    return true;
}

}  // namespace testsupport
