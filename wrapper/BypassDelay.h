// The master bypass's delay: two rings of 65536 samples whose read index trails the write
// index by the effect's latency D, so bypassed output stays in step with processed output.
// Real-time thread after construction; allocates only in the constructor.
#pragma once

#include <cstdint>
#include <memory>

namespace wrapper {

class BypassDelay {
  public:
    static constexpr int kLength = 65536;  // the 16-bit indices wrap here
    static constexpr int kMaxDelay = kLength - 1;

    explicit BypassDelay(int delayFrames)
        : left_(new float[kLength]()),
          right_(new float[kLength]()),
          read_(static_cast<std::uint16_t>(-clampDelay(delayFrames))) {}

    // Stores one input frame, answers the frame D frames old, and advances both indices.
    void step(float inLeft, float inRight, float* outLeft, float* outRight) noexcept {
        left_[write_] = inLeft;
        right_[write_] = inRight;
        *outLeft = left_[read_];
        *outRight = right_[read_];
        ++write_;
        ++read_;
    }
    static int clampDelay(int frames) {
        return frames < 0 ? 0 : frames > kMaxDelay ? kMaxDelay : frames;
    }

  private:
    std::unique_ptr<float[]> left_, right_;
    std::uint16_t write_ = 0;
    std::uint16_t read_;
};

}  // namespace wrapper
