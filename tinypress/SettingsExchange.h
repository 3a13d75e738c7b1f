// Hands a block of plain settings from the threads that set parameters to the audio thread,
// without a lock on the audio side and without any data race.
//
// Scheme (a sequence lock over relaxed atomics): the value is kept as an array of relaxed
// std::atomic<uint64_t> words guarded by a sequence number. publish() (setting threads, which the
// owner serialises with its writer mutex) makes the sequence odd, stores the words and makes it
// even again, with release fences in between. tryRead() (the audio thread, once per block) reads
// the sequence, the words and the sequence again, with acquire fences; when the two readings
// differ or are odd a writer was busy, and the reader keeps the copy it already has for this
// block (the next block takes the new value). The reader never waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace tinypress {

template <typename T>
class SettingsExchange {
    static_assert(std::is_trivially_copyable_v<T>, "settings must be plain data");
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;

  public:
    // Setting threads, one at a time.
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

    // Audio thread. True with `out` replaced by a consistent value; false (`out` untouched)
    // while a writer is busy.
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

  private:
    std::atomic<std::uint32_t> sequence{0};
    std::atomic<std::uint64_t> data[kWords] = {};
};

}  // namespace tinypress
