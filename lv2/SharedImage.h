// A block of words that one thread publishes and others read without a lock (a sequence lock on
// relaxed atomic words): the reader copies the whole block and keeps the copy only when no write
// overlapped it; otherwise it tries again later. Writers must not overlap each other (the owner
// of each block says who writes it). Allocates nothing; any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace qrxlv2 {

template <std::size_t Words>
class SharedImage {
  public:
    static constexpr std::size_t kWords = Words;

    // The single writer of the moment.
    void write(const std::uint32_t* from) noexcept {
        const std::uint32_t s = sequence.load(std::memory_order_relaxed);
        sequence.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (std::size_t i = 0; i < Words; ++i) words[i].store(from[i], std::memory_order_relaxed);
        sequence.store(s + 2, std::memory_order_release);
    }

    // Copies the block into `to`; false (and `to` is garbage) when a write overlapped the copy.
    // `seen` receives the generation of the copy.
    bool tryRead(std::uint32_t* to, std::uint32_t* seen = nullptr) const noexcept {
        const std::uint32_t before = sequence.load(std::memory_order_acquire);
        if (before & 1u) return false;
        for (std::size_t i = 0; i < Words; ++i) to[i] = words[i].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence.load(std::memory_order_relaxed) != before) return false;
        if (seen) *seen = before;
        return true;
    }

    // Grows by two with every write; 0 until the first.
    std::uint32_t generation() const noexcept { return sequence.load(std::memory_order_acquire); }

  private:
    std::atomic<std::uint32_t> sequence{0};
    std::atomic<std::uint32_t> words[Words] = {};
};

}  // namespace qrxlv2
