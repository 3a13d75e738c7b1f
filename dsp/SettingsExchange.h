// Hands a block of plain settings from the threads that set parameters to the audio thread.
//
// Scheme (a sequence lock over relaxed atomics): the value lives in an array of relaxed
// std::atomic<uint64_t> words guarded by an even/odd sequence number. publish() (any number of
// setting threads, serialised by the owner's writer mutex) makes the sequence odd, stores the
// words and makes it even again. tryRead() (the audio thread, once per block) reads the sequence,
// the words and the sequence again; if the two readings differ or are odd a writer was busy and
// the reader keeps its previous copy for this block. The reader never waits and never locks;
// every shared word is an atomic, so there is no data race, and the fences make a whole,
// consistent value the only thing a reader can accept.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qrx::dsp {

template <typename T>
class SettingsExchange {
    static_assert(std::is_trivially_copyable_v<T>, "settings must be plain data");
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;

  public:
    // Writer side; the caller serialises writers.
    void publish(const T& value) noexcept {
        std::uint64_t words[kWords] = {};
        std::memcpy(words, &value, sizeof(T));
        const std::uint32_t s = sequence.load(std::memory_order_relaxed);
        sequence.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (std::size_t i = 0; i < kWords; ++i) data[i].store(words[i], std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        sequence.store(s + 2, std::memory_order_relaxed);
    }

    // Reader side (audio thread). True and `out` replaced when a consistent value was read;
    // false (and `out` untouched) while a writer is busy.
    bool tryRead(T& out) const noexcept {
        const std::uint32_t before = sequence.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before & 1u) return false;
        std::uint64_t words[kWords];
        for (std::size_t i = 0; i < kWords; ++i) words[i] = data[i].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence.load(std::memory_order_relaxed) != before) return false;
        std::memcpy(&out, words, sizeof(T));
        return true;
    }

    // Number of completed publications (even), for tests.
    std::uint32_t publications() const noexcept {
        return sequence.load(std::memory_order_relaxed) / 2;
    }

  private:
    std::atomic<std::uint32_t> sequence{0};
    std::atomic<std::uint64_t> data[kWords] = {};
};

}  // namespace qrx::dsp
