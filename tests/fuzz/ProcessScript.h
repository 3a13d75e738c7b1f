// The input format of the process fuzz target (fuzz_process): what a host does to one plug-in,
// decoded from the fuzz bytes, and the writer the seed generator builds its scripts with.
//
// A script is a header of four bytes followed by operations until the bytes run out, each an
// operation byte (taken modulo kOpCount) and its arguments; a read past the end yields zeros,
// so every byte string is a valid script.
//
//   header     plug-in (bit 0: tinypress, else grandpress), rate index, block-size index,
//              start flags (kStart...)
//   Process    frames (u16, 0..4096), signal kind (low nibble) and amplitude (high nibble),
//              signal parameter, stereo form, layout; a null mask when layout has kNullPointers;
//              the split point (u16) when layout has kSplit; the raw pattern when the kind is
//              Pattern (length - 1, then that many floats); strays (count in the low two bits,
//              then per stray: position u16, channel, value index)
//   Parameter  index selector, value selector (values past the grid read a raw float)
//   Program    program index (signed byte)
//   Chunk      flags (bit 0: program chunk, bit 1: cut), cut length when cut, mutation count
//              (low three bits), per mutation: offset u16, xor byte
//   Mains      0 suspend, 1 resume, else suspend then resume
//   Rate       rate index, block-size index, flags (bit 0: no suspend around the change)
//   Speakers   input count index (low three bits), output count index (bits 4-6); a refused
//              pair leaves the host on the plug-in's own counts
//   Pins       connection mask: bits 0..3 inputs, bits 4..5 outputs (set = connected)
//   Kernels    the second instance's set from now on (bit 0: the best this processor runs)
//
// Any thread (pure data and functions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace fuzz::script {

enum class Op : std::uint8_t {
    Process,
    Parameter,
    Program,
    Chunk,
    Mains,
    Rate,
    Speakers,
    Pins,
    Kernels,
};
constexpr int kOpCount = 9;

enum class Signal : std::uint8_t {
    Silence,
    Sine,
    Square,
    Noise,
    Dc,
    Impulses,
    Sweep,
    Pattern,
    Bursts,
};
constexpr int kSignalCount = 9;

// Right channel and side-chain pair relative to the left main channel (stereo byte, bits 0-1
// and 2-3).
enum class Stereo : std::uint8_t { Same, Inverted, Half, Independent };
enum class SideChain : std::uint8_t { Main, Silent, Louder, Independent };

// Start flags of the header.
constexpr std::uint8_t kStartResumed = 0x01;      // resume before the first operation
constexpr std::uint8_t kStartShadow = 0x02;       // one instance gets every stray sample tamed
constexpr std::uint8_t kStartShadowFirst = 0x04;  // ... the first one (else the second)

// Layout byte of a block.
constexpr std::uint8_t kAliasMask = 0x03;  // 0 apart, 1 in place, 2 one output buffer, 3 crossed
constexpr std::uint8_t kOffsetShift = 2;   // bits 2-4: the buffers start this many samples late
constexpr std::uint8_t kNullPointers = 0x20;
constexpr std::uint8_t kDouble = 0x40;  // grandpress: processDoubleReplacing
constexpr std::uint8_t kSplit = 0x80;   // the second instance takes the block in two calls

// Null mask: bits 0-3 input pointers, 4-5 output pointers, 6 the input array, 7 the output array.

constexpr int kMaxFrames = 4096;
constexpr int kMaxPattern = 8;
constexpr int kMaxStrays = 3;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Rates the plug-ins accept, then odd ones.
constexpr double kRates[] = {44100.0, 48000.0, 88200.0, 96000.0,  176400.0, 192000.0, 22050.0,
                             32000.0, 11025.0, 8000.0,  384000.0, 1e6,      0.0,      -48000.0,
                             kNaN,    kInf,    22049.5, 192000.5, 1.0,      44100.7};
constexpr int kRateCount = sizeof kRates / sizeof kRates[0];

constexpr int kBlockSizes[] = {512, 64, 4096, 1, 0, -1, 65536, 100, 2048, 127, 1 << 30, 33};
constexpr int kBlockSizeCount = sizeof kBlockSizes / sizeof kBlockSizes[0];

// Signal amplitudes; from 8 on they exceed the range in which the kernel sets are compared.
constexpr double kAmplitudes[16] = {0.0, 1e-9,  1e-5,  1e-3, 0.01, 0.05, 0.125, 0.25,
                                    0.5, 0.707, 0.999, 1.0,  2.0,  3.99, 8.0,   1e6};

// Single stray samples.
constexpr double kStrays[] = {kNaN,
                              -kNaN,
                              kInf,
                              -kInf,
                              1e38,
                              -1e38,
                              std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max(),
                              1e6,
                              -1e6,
                              1e10,
                              4.5,
                              -4.5,
                              std::numeric_limits<float>::denorm_min(),
                              -std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::min() / 2,
                              1e-40,
                              3.9999,
                              0.0,
                              1.0,
                              -1.0,
                              1e300};
constexpr int kStrayCount = sizeof kStrays / sizeof kStrays[0];

// Parameter indices beyond 0..63 (selectors 64 and up pick from these).
constexpr int kOddIndices[] = {-1,        -2, 41, 52, 54, 55, 56, 57, 64, 1000, -2147483647 - 1,
                               2147483647};
constexpr int kOddIndexCount = sizeof kOddIndices / sizeof kOddIndices[0];

// Value selectors: 0..200 the grid k/200; 201..215 these; 216 and up a raw float follows.
constexpr int kValueGrid = 200;
constexpr float kOddValues[] = {-0.1f,
                                1.1f,
                                -1.0f,
                                2.0f,
                                1e30f,
                                -1e30f,
                                std::numeric_limits<float>::quiet_NaN(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(),
                                std::numeric_limits<float>::denorm_min(),
                                0.49999997f,
                                0.5f,
                                0.24999999f,
                                0.75f,
                                1.0f};
constexpr int kOddValueCount = sizeof kOddValues / sizeof kOddValues[0];

// Speaker counts a host may offer: the pairs the plug-ins accept come from the first three.
constexpr int kChannelCounts[] = {1, 2, 4, 0, 3, 8, 2, 1};
constexpr int kChannelCountCount = sizeof kChannelCounts / sizeof kChannelCounts[0];

// Reads the script; zeros once the bytes are used up.
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    std::uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t u16() {
        const int low = u8();
        return static_cast<std::uint16_t>(low | (u8() << 8));
    }
    float f32() {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits |= std::uint32_t{u8()} << (8 * i);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// One stray sample of a block.
struct Stray {
    int position = 0;  // frame (taken modulo the block's length)
    int channel = 0;   // input channel 0..3
    int value = 0;     // index into kStrays
};

// One Process operation.
struct Block {
    int frames = 512;
    Signal signal = Signal::Sine;
    int amplitude = 8;  // index into kAmplitudes
    std::uint8_t parameter = 40;
    Stereo stereo = Stereo::Same;
    SideChain sideChain = SideChain::Main;
    std::uint8_t layout = 0;
    std::uint8_t nullMask = 0;
    int split = 0;               // kSplit: the second instance's first call takes this many
    std::vector<float> pattern;  // Pattern: 1..kMaxPattern samples, repeated
    std::vector<Stray> strays;
};

// Reads a Process operation (after its operation byte).
inline Block readBlock(Reader& in) {
    Block b;
    b.frames = in.u16() % (kMaxFrames + 1);
    const std::uint8_t kind = in.u8();
    b.signal = static_cast<Signal>((kind & 0x0F) % kSignalCount);
    b.amplitude = kind >> 4;
    b.parameter = in.u8();
    const std::uint8_t stereo = in.u8();
    b.stereo = static_cast<Stereo>(stereo & 3);
    b.sideChain = static_cast<SideChain>((stereo >> 2) & 3);
    b.layout = in.u8();
    if (b.layout & kNullPointers) b.nullMask = in.u8();
    if (b.layout & kSplit) b.split = in.u16() % (b.frames + 1);
    if (b.signal == Signal::Pattern) {
        const int n = 1 + in.u8() % kMaxPattern;
        for (int i = 0; i < n; ++i) b.pattern.push_back(in.f32());
    }
    const int strays = in.u8() % (kMaxStrays + 1);
    for (int i = 0; i < strays; ++i) {
        Stray s;
        s.position = in.u16();
        s.channel = in.u8() & 3;
        s.value = in.u8() % kStrayCount;
        b.strays.push_back(s);
    }
    return b;
}

// Builds scripts byte by byte in the order the target reads them.
class Writer {
  public:
    Writer(bool tinypress, int rateIndex, int blockSizeIndex, std::uint8_t start = kStartResumed) {
        bytes_ = {static_cast<std::uint8_t>(tinypress ? 1 : 0),
                  static_cast<std::uint8_t>(rateIndex), static_cast<std::uint8_t>(blockSizeIndex),
                  start};
    }

    Writer& process(const Block& b) {
        op(Op::Process);
        u16(static_cast<std::uint16_t>(b.frames));
        u8(static_cast<std::uint8_t>(static_cast<int>(b.signal) | (b.amplitude << 4)));
        u8(b.parameter);
        u8(static_cast<std::uint8_t>(static_cast<int>(b.stereo) |
                                     (static_cast<int>(b.sideChain) << 2)));
        u8(b.layout);
        if (b.layout & kNullPointers) u8(b.nullMask);
        if (b.layout & kSplit) u16(static_cast<std::uint16_t>(b.split));
        if (b.signal == Signal::Pattern) {
            u8(static_cast<std::uint8_t>(b.pattern.size() - 1));
            for (float f : b.pattern) f32(f);
        }
        u8(static_cast<std::uint8_t>(b.strays.size()));
        for (const Stray& s : b.strays) {
            u16(static_cast<std::uint16_t>(s.position));
            u8(static_cast<std::uint8_t>(s.channel));
            u8(static_cast<std::uint8_t>(s.value));
        }
        return *this;
    }
    // `frames` of the block `b` in blocks of `b.frames`.
    Writer& processFor(int frames, Block b) {
        for (int done = 0; done < frames; done += b.frames) process(b);
        return *this;
    }
    // value on the grid 0..1 (steps of 1/200).
    Writer& parameter(int indexSelector, double value) {
        op(Op::Parameter);
        u8(static_cast<std::uint8_t>(indexSelector));
        u8(static_cast<std::uint8_t>(value * kValueGrid + 0.5));
        return *this;
    }
    Writer& rawParameter(int indexSelector, float value) {
        op(Op::Parameter);
        u8(static_cast<std::uint8_t>(indexSelector));
        u8(255);
        f32(value);
        return *this;
    }
    Writer& program(int index) {
        op(Op::Program);
        u8(static_cast<std::uint8_t>(index));
        return *this;
    }
    // mutations: (offset, xor) pairs, at most seven.
    Writer& chunk(bool programChunk, int cut,
                  const std::vector<std::pair<int, std::uint8_t>>& mutations) {
        op(Op::Chunk);
        u8(static_cast<std::uint8_t>((programChunk ? 1 : 0) | (cut > 0 ? 2 : 0)));
        if (cut > 0) u8(static_cast<std::uint8_t>(cut));
        u8(static_cast<std::uint8_t>(mutations.size()));
        for (const auto& [offset, flip] : mutations) {
            u16(static_cast<std::uint16_t>(offset));
            u8(flip);
        }
        return *this;
    }
    Writer& mains(int how) {
        op(Op::Mains);
        u8(static_cast<std::uint8_t>(how));
        return *this;
    }
    Writer& rate(int rateIndex, int blockSizeIndex, bool whileRunning = false) {
        op(Op::Rate);
        u8(static_cast<std::uint8_t>(rateIndex));
        u8(static_cast<std::uint8_t>(blockSizeIndex));
        u8(whileRunning ? 1 : 0);
        return *this;
    }
    Writer& speakers(int inIndex, int outIndex) {
        op(Op::Speakers);
        u8(static_cast<std::uint8_t>(inIndex | (outIndex << 4)));
        return *this;
    }
    Writer& pins(std::uint8_t connected) {
        op(Op::Pins);
        u8(connected);
        return *this;
    }
    Writer& kernels(bool best) {
        op(Op::Kernels);
        u8(best ? 1 : 0);
        return *this;
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    void op(Op o) { u8(static_cast<std::uint8_t>(o)); }
    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void u16(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v & 0xFF));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void f32(float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(bits >> (8 * i)));
    }

    std::vector<std::uint8_t> bytes_;
};

// Writes the seed scripts into `folder` (ProcessSeeds.cpp; run by fuzz_make_seeds).
void writeProcessSeeds(const std::string& folder);

}  // namespace fuzz::script
