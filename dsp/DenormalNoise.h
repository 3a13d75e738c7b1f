#pragma once
// Uniform white noise of tiny magnitude, fed into every recursive filter state so that no value
// ever decays into the subnormal range (we never switch the processor to flush-to-zero).
//
// Threading: owned by one filter or engine and used only from the thread that processes it
// (normally the audio thread). Not shared.

#include <cstdint>

namespace qrx::dsp {

// Three-word shift-register generator (period far beyond any session length). Every instance
// starts from the same seeds, so two sources created alike produce the same sequence.
class DenormalNoise {
  public:
    static constexpr std::uint32_t kSeed1 = 592;
    static constexpr std::uint32_t kSeed2 = 153768;
    static constexpr std::uint32_t kSeed3 = 1526;
    // r / 2^32 as a fixed factor: maps a 32-bit word to [0, 1).
    static constexpr double kWordToUnit = 2.3283064365e-10;

    // scale: peak magnitude of the values returned by next() (1e-12 for the engine source,
    // 1e-13 for each gliding biquad).
    explicit constexpr DenormalNoise(double scale) noexcept : scale_(scale) {}

    // One step of each of the three words, on a word or on a vector of words (the same shifts
    // in every lane).
    template <class W>
    static constexpr W step1(W s) noexcept {
        return (s << 13) ^ (((s >> 6) ^ (s >> 15)) & W(0x1FFFu));
    }
    template <class W>
    static constexpr W step2(W s) noexcept {
        return (s << 20) ^ (((s >> 7) ^ (s >> 9)) & W(0xFFFFFu));
    }
    template <class W>
    static constexpr W step3(W s) noexcept {
        return (s << 17) ^ (((s >> 8) ^ (s >> 14)) & W(0x1FFFFu));
    }

    // Next value, uniform in [-scale, scale).
    constexpr double next() noexcept {
        s1_ = step1(s1_);
        s2_ = step2(s2_);
        s3_ = step3(s3_);
        const double u = static_cast<double>(s1_ ^ s2_ ^ s3_) * kWordToUnit;
        return scale_ * (2.0 * u - 1.0);
    }

    constexpr double scale() const noexcept { return scale_; }

    // The three words, for block forms of next() built elsewhere (vector kernels).
    struct Words {
        std::uint32_t s1, s2, s3;
    };
    constexpr Words words() const noexcept { return {s1_, s2_, s3_}; }
    constexpr void setWords(const Words& w) noexcept {
        s1_ = w.s1;
        s2_ = w.s2;
        s3_ = w.s3;
    }
    // Equal generators give equal sequences.
    friend constexpr bool operator==(const DenormalNoise&, const DenormalNoise&) = default;
    constexpr void setScale(double scale) noexcept { scale_ = scale; }

  private:
    std::uint32_t s1_ = kSeed1;
    std::uint32_t s2_ = kSeed2;
    std::uint32_t s3_ = kSeed3;
    double scale_;
};

}  // namespace qrx::dsp
