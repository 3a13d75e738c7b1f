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

    // Stream `stream` as it was `delay` frames before the newest (0: the newest; delay < Length).
    double delayed(int stream, int delay) const noexcept {
        return line[stream][(write - static_cast<unsigned>(delay)) & kMask];
    }

    // All four streams as they were `delay` frames before the newest.
    void delayedFrame(int delay, double out[kStreams]) const noexcept {
        const unsigned read = (write - static_cast<unsigned>(delay)) & kMask;
        for (int s = 0; s < kStreams; ++s) out[s] = line[s][read];
    }

  private:
    static constexpr unsigned kMask = kLength - 1;
    alignas(64) double line[kStreams][kLength];
    unsigned write = kLength - 1;
};

}  // namespace qrx::dsp
