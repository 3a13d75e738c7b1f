// The four input streams of an engine (main left and right, side-chain left and right) in delay
// rings of `Length` samples with one shared write index: a frame is stored, and any stream is
// read back up to Length - 1 frames later. Both engines delay their main signal (and the bypass)
// and their side chain through it.
//
// Threads: owned by a signal path; audio thread only (or while processing is stopped).
#pragma once

#include <cstring>

namespace qrx::dsp {

struct InputStreams {
    enum Stream { kMainLeft, kMainRight, kSideLeft, kSideRight, kStreams };
};

template <int Length>
class InputRings : public InputStreams {
  public:
    static constexpr int kLength = Length;
    static_assert(Length > 0 && (Length & (Length - 1)) == 0, "the length is a power of two");

    InputRings() noexcept { clear(); }

    void clear() noexcept {
        std::memset(line, 0, sizeof line);
        write = kLength - 1;
    }

    // Stores one frame.
    void push(double mainLeft, double mainRight, double sideLeft, double sideRight) noexcept {
        write = (write + 1) & kMask;
        line[kMainLeft][write] = mainLeft;
        line[kMainRight][write] = mainRight;
        line[kSideLeft][write] = sideLeft;
        line[kSideRight][write] = sideRight;
    }
    void push(const double frame[kStreams]) noexcept {
        push(frame[kMainLeft], frame[kMainRight], frame[kSideLeft], frame[kSideRight]);
    }

    // Block form of push: n frames (n <= Length), stream s from frames[s][0 .. n - 1].
    void pushBlock(const double* const frames[kStreams], int n) noexcept {
        const unsigned first = (write + 1) & kMask;
        for (int s = 0; s < kStreams; ++s) copyIn(line[s], first, frames[s], n);
        write = (write + static_cast<unsigned>(n)) & kMask;
    }

    // Block form of push that writes straight into the rings: n frames (n <= Length), where
    // fill(stream, to, from, count) stores the stream's frames from .. from + count - 1 at
    // to[0 .. count - 1] (one or two runs per stream, split where the ring wraps).
    template <typename Fill>
    void pushWith(int n, Fill&& fill) noexcept {
        const unsigned first = (write + 1) & kMask;
        const int head =
            static_cast<int>(kLength - first) < n ? static_cast<int>(kLength - first) : n;
        for (int s = 0; s < kStreams; ++s) {
            fill(s, line[s] + first, 0, head);
            if (head < n) fill(s, line[s], head, n - head);
        }
        write = (write + static_cast<unsigned>(n)) & kMask;
    }

    // n consecutive frames of `stream`, the first of them `delay` frames before the newest
    // (delay < Length; frames newer than the newest wrap to the oldest): out[k] is
    // delayed(stream, delay - k).
    void delayedBlock(int stream, int delay, int n, double* out) const noexcept {
        const unsigned first = (write - static_cast<unsigned>(delay)) & kMask;
        copyOut(line[stream], first, out, n);
    }

    // Stream `stream` as it was `delay` frames before the newest (0: the newest; delay < Length).
    double delayed(int stream, int delay) const noexcept {
        return line[stream][(write - static_cast<unsigned>(delay)) & kMask];
    }

    // All four streams as they were `delay` frames before the newest.
    void delayedFrame(int delay, double out[kStreams]) const noexcept {
        const unsigned read = (write - static_cast<unsigned>(delay)) & kMask;
        for (int s = 0; s < kStreams; ++s) out[s] = line[s][read];
    }

    // n values into a ring from position `first` on, wrapping at the end.
    static void copyIn(double* ring, unsigned first, const double* from, int n) noexcept {
        const int head =
            static_cast<int>(kLength - first) < n ? static_cast<int>(kLength - first) : n;
        std::memcpy(ring + first, from, sizeof(double) * static_cast<std::size_t>(head));
        if (head < n)  // (most runs do not wrap: no call for nothing)
            std::memcpy(ring, from + head, sizeof(double) * static_cast<std::size_t>(n - head));
    }
    // n values out of a ring from position `first` on, wrapping at the end.
    static void copyOut(const double* ring, unsigned first, double* to, int n) noexcept {
        const int head =
            static_cast<int>(kLength - first) < n ? static_cast<int>(kLength - first) : n;
        std::memcpy(to, ring + first, sizeof(double) * static_cast<std::size_t>(head));
        if (head < n)
            std::memcpy(to + head, ring, sizeof(double) * static_cast<std::size_t>(n - head));
    }

  private:
    static constexpr unsigned kMask = kLength - 1;
    alignas(64) double line[kStreams][kLength];
    unsigned write = kLength - 1;
};

}  // namespace qrx::dsp
