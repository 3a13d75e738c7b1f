// Hands the latest of a rarely published block of plain data from any number of threads to one
// reader, without a lock or a wait on either side.
//
// Scheme: each publication takes a ticket (an atomic count) and writes the value into slot
// ticket % kSlots between two stores of the ticket (a sequence lock per slot over relaxed atomic
// words), then raises `latest` to its ticket unless a later ticket is already there. A writer
// claims its slot first (begin moves from the ticket of the finished publication there to its
// own): a slot that already holds a later ticket is left alone (that publication supersedes this
// one), and a slot another writer is still filling sends the writer on to a fresh ticket. So no
// late writer can overwrite the slot `latest` names, and once the writers are quiet the reader
// always gets the latest value. The reader takes `latest`, reads that slot and checks both
// ticket stores around the words; when another publication is overwriting the slot (kSlots
// publications during one read) it gets false and tries again later. A writer never waits for a
// reader or another writer.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qrx::dsp {

template <typename T, int kSlots = 8>
class LatestValue {
    static_assert(std::is_trivially_copyable_v<T>, "values must be plain data");
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;

  public:
    // Any thread.
    void publish(const T& value) noexcept {
        std::uint64_t words[kWords] = {};
        std::memcpy(words, &value, sizeof(T));
        std::uint32_t ticket;
        Slot* slot;
        for (;;) {
            ticket = tickets.fetch_add(1, std::memory_order_relaxed) + 1;
            slot = &slots[ticket % kSlots];
            std::uint32_t done = slot->end.load(std::memory_order_relaxed);
            if (later(done, ticket)) return;  // superseded
            if (slot->begin.compare_exchange_strong(done, ticket, std::memory_order_relaxed)) break;
            if (later(done, ticket)) return;  // claimed by a later publication
            // Another writer is still filling the slot: take the next ticket.
        }
        std::atomic_thread_fence(std::memory_order_release);
        for (std::size_t i = 0; i < kWords; ++i)
            slot->words[i].store(words[i], std::memory_order_relaxed);
        slot->end.store(ticket, std::memory_order_release);
        std::uint32_t seen = latest.load(std::memory_order_relaxed);
        while (later(ticket, seen) &&
               !latest.compare_exchange_weak(seen, ticket, std::memory_order_release,
                                             std::memory_order_relaxed)) {
        }
    }

    // The reader's thread. True and `out` replaced by the latest publication (or a later one);
    // false, `out` untouched, before the first publication or while its slot is rewritten.
    bool tryRead(T& out) const noexcept {
        const std::uint32_t ticket = latest.load(std::memory_order_acquire);
        if (ticket == 0) return false;
        const Slot& slot = slots[ticket % kSlots];
        if (slot.end.load(std::memory_order_acquire) != ticket) return false;
        std::uint64_t words[kWords];
        for (std::size_t i = 0; i < kWords; ++i)
            words[i] = slot.words[i].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (slot.begin.load(std::memory_order_relaxed) != ticket) return false;
        std::memcpy(&out, words, sizeof(T));
        return true;
    }

  private:
    // Ticket a comes after ticket b (the count may wrap).
    static bool later(std::uint32_t a, std::uint32_t b) noexcept {
        return static_cast<std::int32_t>(a - b) > 0;
    }

    struct Slot {
        std::atomic<std::uint32_t> begin{0}, end{0};
        std::atomic<std::uint64_t> words[kWords] = {};
    };
    std::atomic<std::uint32_t> tickets{0};
    std::atomic<std::uint32_t> latest{0};
    Slot slots[kSlots];
};

}  // namespace qrx::dsp
