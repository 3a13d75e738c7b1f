// A host that gives a plug-in only what its speaker arrangement announced: pointer arrays of as
// many entries as channels, pins reported unconnected, audio buffers of exactly the block's length.
// Around everything the host gave lies guard memory: guard entries after each pointer array that
// point at trap buffers, and guard samples before and after every audio buffer. Nothing outside
// what the host gave may be written (the guards keep their values) or read (two runs whose guards
// hold different values give the same output bits). Under AddressSanitizer the guards are also
// poisoned, so any touch of them stops the test.
#include <cstdint>
#include <string>
#include <vector>

#include "grandpress/Parameters.h"
#include "host/KernelChoice.h"
#include "hostile/HostileRig.h"
#include "tinypress/Parameters.h"

#if defined(__SANITIZE_ADDRESS__)
#define QRX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QRX_TEST_ASAN 1
#endif
#endif
#ifdef QRX_TEST_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace hostile {
namespace {

void poison(const void* at, std::size_t bytes) {
#ifdef QRX_TEST_ASAN
    ASAN_POISON_MEMORY_REGION(at, bytes);
#else
    (void)at, (void)bytes;
#endif
}

void unpoison(const void* at, std::size_t bytes) {
#ifdef QRX_TEST_ASAN
    ASAN_UNPOISON_MEMORY_REGION(at, bytes);
#else
    (void)at, (void)bytes;
#endif
}

constexpr int kGuardSamples = 16;  // before and after every buffer
constexpr int kGuardEntries = 4;   // after every pointer array
constexpr int kMaxFrames = 256;

// The guards' values of one run: the same everywhere in run 0, noise in run 1.
template <typename Sample>
Sample guardValue(int run, std::size_t i) {
    if (run == 0) return static_cast<Sample>(0.71);
    const std::uint32_t x = static_cast<std::uint32_t>(i) * 2654435761u;
    return static_cast<Sample>(0.9 * (static_cast<double>(x >> 8) / 8388608.0 - 1.0));
}

// One side of a process call (the inputs or the outputs): `entries` pointers, each to a buffer of
// `frames` samples with guard samples before and after it, unless its bit in `trapped` makes it
// point at a trap (a host buffer of an unconnected pin: the plug-in may look at the pointer,
// never at the samples). Then kGuardEntries guard entries, each pointing at a trap.
template <typename Sample>
class GuardedSide {
  public:
    GuardedSide(int entries, unsigned trapped, int frames, int run)
        : entries_(entries),
          trapped_(trapped),
          frames_(frames),
          run_(run),
          pointers_(static_cast<std::size_t>(entries + kGuardEntries)),
          samples_(static_cast<std::size_t>(entries + kGuardEntries) * kStride) {
        for (std::size_t i = 0; i < samples_.size(); ++i) samples_[i] = guardValue<Sample>(run, i);
        for (int e = 0; e < entries + kGuardEntries; ++e)
            pointers_[static_cast<std::size_t>(e)] = channel(e);
        poison(pointers_.data() + entries, sizeof(Sample*) * kGuardEntries);
        poisonGuards();
    }
    ~GuardedSide() {
        unpoison(pointers_.data(), sizeof(Sample*) * pointers_.size());
        unpoison(samples_.data(), sizeof(Sample) * samples_.size());
    }
    GuardedSide(const GuardedSide&) = delete;
    GuardedSide& operator=(const GuardedSide&) = delete;

    Sample** pointers() { return pointers_.data(); }
    // Whether entry e is a buffer the host gives (not a trap).
    bool given(int e) const { return e < entries_ && !(trapped_ >> e & 1u); }
    Sample* channel(int e) {
        return samples_.data() + static_cast<std::size_t>(e) * kStride + kGuardSamples;
    }

    // Fills every given buffer from `value(entry, i)`.
    template <typename Value>
    void fill(Value value) {
        for (int e = 0; e < entries_; ++e)
            if (given(e))
                for (int i = 0; i < frames_; ++i) channel(e)[i] = value(e, i);
    }

    // Where the first sample outside the given buffers was found changed; empty when every guard
    // and trap sample holds its value.
    std::string changedGuard() {
        unpoison(samples_.data(), sizeof(Sample) * samples_.size());
        std::string what;
        for (std::size_t at = 0; at < samples_.size() && what.empty(); ++at) {
            const int e = static_cast<int>(at / kStride);
            const int i = static_cast<int>(at % kStride) - kGuardSamples;
            const bool inside = given(e) && i >= 0 && i < frames_;
            if (!inside && samples_[at] != guardValue<Sample>(run_, at))
                what = "entry " + std::to_string(e) + (given(e) ? "" : " (trap)") + ", sample " +
                       std::to_string(i);
        }
        poisonGuards();
        return what;
    }

  private:
    static constexpr int kStride = kGuardSamples + kMaxFrames + kGuardSamples;

    // Everything but the given buffers.
    void poisonGuards() {
        poison(samples_.data(), sizeof(Sample) * samples_.size());
        for (int e = 0; e < entries_; ++e)
            if (given(e)) unpoison(channel(e), sizeof(Sample) * static_cast<std::size_t>(frames_));
    }

    int entries_;
    unsigned trapped_;
    int frames_;
    int run_;
    std::vector<Sample*> pointers_;
    std::vector<Sample> samples_;
};

// What the host announces and answers. A host may go on with an arrangement the plug-in refused.
struct HostCase {
    const char* name;
    int ins, outs;               // the arrangement, and the entries of the pointer arrays
    unsigned unconnectedInputs;  // pins answered unconnected (their entries point at traps)
    unsigned unconnectedOutputs;
    bool accepted = true;
};

const HostCase kHostCases[] = {
    {"1 in, 1 out", 1, 1, 0, 0},
    {"1 in, 2 out", 1, 2, 0, 0},
    {"2 in, 2 out", 2, 2, 0, 0},
    {"4 in, 2 out, side chain unconnected", 4, 2, 0xCu, 0},
    {"4 in, 2 out, right input and output unconnected", 4, 2, 0x2u, 0x2u},
    {"4 in, 2 out", 4, 2, 0, 0},
    {"2 in, 1 out, refused and kept", 2, 1, 0, 0, false},
    {"3 in, 1 out, refused and kept", 3, 1, 0, 0, false},
    {"1 in, 3 out, refused and kept", 1, 3, 0, 0, false},
};

using Settings = std::vector<std::pair<int, float>>;

// The settings of each stretch of blocks: every routine that reads the inputs its own way.
std::vector<Settings> routinesOf(const std::string& plugin) {
    if (plugin == "grandpress") {
        namespace gp = grandpress;
        return {{{gp::kPower, 1.0f}, {gp::kScExt, 1.0f}, {gp::kRatio, 0.7f}},
                {{gp::kFat, 1.0f}, {gp::kLimiter, 1.0f}},
                {{gp::kPower, 0.0f}},
                {{gp::kPower, 1.0f}, {gp::kScExt, 0.0f}, {gp::kScMonitor, 1.0f}}};
    }
    namespace tp = tinypress;
    return {{{tp::kPower, 1.0f}, {tp::kStereo, 1.0f}, {tp::kScExt, 1.0f}, {tp::kRatio, 0.7f}},
            {{tp::kStereo, 0.0f}},
            {{tp::kScMonitor, 1.0f}},
            {{tp::kPower, 0.0f}},
            {{tp::kPower, 1.0f}, {tp::kStereo, 1.0f}, {tp::kScMonitor, 0.0f}, {tp::kScExt, 0.0f}}};
}

template <typename Sample>
Sample signalAt(int channel, int i) {
    return static_cast<Sample>(sine(i, 300.0 + 211.0 * channel, 0.6));
}

// One run of every routine through one host case: the output samples in `result`; any guard
// found changed is a test failure.
template <typename Sample>
void runCase(const std::string& name, const HostCase& c, bool baseline, int run,
             std::vector<Sample>& result) {
    host::HostConfig config;
    config.pinConnected = [&c](int pin, bool output) -> VstIntPtr {
        const unsigned unconnected = output ? c.unconnectedOutputs : c.unconnectedInputs;
        return pin >= 0 && pin < 32 && (unconnected >> pin & 1u) ? 1 : 0;
    };
    result.clear();
    auto plugin = loadPlugin(name, config);
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->setSpeakerArrangement(c.ins, c.outs), c.accepted) << c.name;
    if (baseline) host::useBaselineKernels(*plugin);
    plugin->resume();
    const int lengths[] = {kMaxFrames, 37, 1, 64};
    int frame = 0;
    for (const Settings& routine : routinesOf(name)) {
        for (auto [index, value] : routine) plugin->setParameter(index, value);
        for (int frames : lengths) {
            GuardedSide<Sample> in(c.ins, c.unconnectedInputs, frames, run);
            GuardedSide<Sample> out(c.outs, c.unconnectedOutputs, frames, run);
            in.fill([&](int e, int i) { return signalAt<Sample>(e, frame + i); });
            out.fill([](int, int) { return Sample(-5.0); });
            if constexpr (sizeof(Sample) == sizeof(float))
                plugin->processReplacing(in.pointers(), out.pointers(), frames);
            else
                plugin->processDoubleReplacing(in.pointers(), out.pointers(), frames);
            const std::string where = std::string(c.name) + ", frame " + std::to_string(frame);
            EXPECT_EQ(in.changedGuard(), "") << "inputs, " << where;
            EXPECT_EQ(out.changedGuard(), "") << "outputs, " << where;
            for (int e = 0; e < c.ins; ++e) {
                if (!in.given(e)) continue;
                for (int i = 0; i < frames; ++i)
                    ASSERT_EQ(in.channel(e)[i], signalAt<Sample>(e, frame + i))
                        << "input " << e << " written, " << where;
            }
            // The plug-in has two outputs: a third the host gives stays as it was.
            for (int e = 0; e < std::min(c.outs, 2); ++e) {
                if (!out.given(e)) continue;
                for (int i = 0; i < frames; ++i) {
                    ASSERT_NE(out.channel(e)[i], Sample(-5.0)) << "output " << e << ", " << where;
                    ASSERT_TRUE(std::isfinite(out.channel(e)[i])) << where;
                }
                result.insert(result.end(), out.channel(e), out.channel(e) + frames);
            }
            frame += frames;
        }
    }
}

template <typename Sample>
void checkEveryCase(const std::string& name, bool baseline) {
    for (const HostCase& c : kHostCases) {
        std::vector<Sample> first, second;
        runCase<Sample>(name, c, baseline, 0, first);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        runCase<Sample>(name, c, baseline, 1, second);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());
        ASSERT_FALSE(first.empty()) << c.name;
        ASSERT_EQ(first.size(), second.size()) << c.name;
        for (std::size_t i = 0; i < first.size(); ++i)
            ASSERT_EQ(first[i], second[i]) << c.name << ": output depends on the guards, sample "
                                           << i << (baseline ? " (baseline kernels)" : "");
    }
}

class BufferBoundsTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BufferBoundsTest, NothingOutsideTheGivenBuffersIsReadOrWritten) {
    for (const bool baseline : {false, true}) {
        checkEveryCase<float>(GetParam(), baseline);
        if (std::string(GetParam()) == "grandpress") checkEveryCase<double>(GetParam(), baseline);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, BufferBoundsTest,
                         ::testing::Values("grandpress", "tinypress"));

}  // namespace
}  // namespace hostile
