// Owner of N channels of M samples, handing out the T** arrays the process entries take.
//
// Threads: built and resized on the host's main thread; data()/channel() are read on the audio
// thread while the buffers are not being rebuilt. Nothing here allocates after construction.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace host {

template <typename T>
class AudioBuffers {
  public:
    AudioBuffers(int channels, int frames)
        : channels_(std::max(channels, 0)),
          frames_(std::max(frames, 0)),
          samples_(static_cast<std::size_t>(channels_) * static_cast<std::size_t>(frames_), T{}) {
        // One trailing null entry keeps data() a valid pointer even for zero channels.
        pointers_.assign(static_cast<std::size_t>(channels_) + 1, nullptr);
        for (int c = 0; c < channels_; ++c)
            pointers_[static_cast<std::size_t>(c)] =
                samples_.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(frames_);
    }

    // The pointer array refers into samples_, so a copy would alias the original; moving keeps
    // both vectors' storage and therefore stays valid.
    AudioBuffers(const AudioBuffers&) = delete;
    AudioBuffers& operator=(const AudioBuffers&) = delete;
    AudioBuffers(AudioBuffers&&) noexcept = default;
    AudioBuffers& operator=(AudioBuffers&&) noexcept = default;

    int channels() const { return channels_; }
    int frames() const { return frames_; }

    // Array of channels() pointers, each to frames() samples (followed by one null entry).
    T** data() { return pointers_.data(); }
    T* channel(int c) { return pointers_[static_cast<std::size_t>(c)]; }
    const T* channel(int c) const { return pointers_[static_cast<std::size_t>(c)]; }

    void clear() { std::fill(samples_.begin(), samples_.end(), T{}); }

  private:
    int channels_;
    int frames_;
    std::vector<T> samples_;
    std::vector<T*> pointers_;
};

}  // namespace host
