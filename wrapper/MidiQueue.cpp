#include "wrapper/MidiQueue.h"

#include <cstring>

namespace wrapper {

MidiQueue::MidiQueue() {
    for (Events& q : queues_) {
        std::memset(&q, 0, sizeof q);
        for (int i = 0; i < kCapacity; ++i)
            q.events[i] = reinterpret_cast<VstEvent*>(&q.storage[i]);
    }
}

void MidiQueue::lock() noexcept {
    bool expected = false;
    while (!busy_.compare_exchange_weak(expected, true, std::memory_order_acquire,
                                        std::memory_order_relaxed))
        expected = false;
}

void MidiQueue::push(int status, int data1, int data2, int data3, int deltaFrames) noexcept {
    lock();
    Events& q = queues_[filling_];
    if (q.numEvents < kCapacity) {
        VstMidiEvent& e = q.storage[q.numEvents];
        std::memset(&e, 0, sizeof e);
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.deltaFrames = deltaFrames;
        e.midiData[0] = static_cast<char>(status);
        e.midiData[1] = static_cast<char>(data1);
        e.midiData[2] = static_cast<char>(data2);
        e.midiData[3] = static_cast<char>(data3);
        ++q.numEvents;
    }
    unlock();
}

VstEvents* MidiQueue::takeForProcessing() noexcept {
    lock();
    const int filled = filling_;
    filling_ = 1 - filling_;
    unlock();
    Events& q = queues_[filled];
    return q.numEvents > 0 ? reinterpret_cast<VstEvents*>(&q) : nullptr;
}

void MidiQueue::finishProcessing() noexcept {
    lock();
    queues_[1 - filling_].numEvents = 0;  // the queue the last take handed out
    unlock();
}

int MidiQueue::pending() noexcept {
    lock();
    const int n = queues_[filling_].numEvents;
    unlock();
    return n;
}

}  // namespace wrapper
