// Double-buffered MIDI event queue between the host's main thread (queueing) and its real-time
// thread (sending to the effect). A busy flag, spun on by both sides, guards the swap.
// All storage is inside the object: nothing is allocated after construction.
#pragma once

#include <atomic>

#include "shell/vst2.h"
#include "wrapper/VstExtras.h"

namespace wrapper {

class MidiQueue {
  public:
    static constexpr int kCapacity = 1024;

    MidiQueue();

    // Main thread. Appends one event; dropped when the queue is full.
    void push(int status, int data1, int data2, int data3, int deltaFrames) noexcept;
    // Real-time thread. Swaps the queues and answers the filled one, or null when it is empty.
    // Call finishProcessing afterwards in either case.
    VstEvents* takeForProcessing() noexcept;
    void finishProcessing() noexcept;

    int pending() noexcept;  // events waiting in the filling queue (main thread)

  private:
    struct Events {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kCapacity];  // same layout as VstEvents with room for kCapacity
        VstMidiEvent storage[kCapacity];
    };

    void lock() noexcept;
    void unlock() noexcept { busy_.store(false, std::memory_order_release); }

    Events queues_[2];
    int filling_ = 0;  // guarded by busy_
    std::atomic<bool> busy_{false};
};

}  // namespace wrapper
