// Process calls a hostile host may make: odd block lengths, calls before resume and after
// suspend, absent buffers, sample rates outside every range, and input blocks of NaN, infinities,
// denormals and full-scale squares. The output stays finite, stays under the limiter's ceiling
// where the limiter is on, and comes back to the level of a fresh instance within one second of
// clean input.
#include <climits>
#include <string>

#include "host/KernelChoice.h"
#include "hostile/HostileRig.h"

namespace hostile {
namespace {

constexpr int kRate = 44100;

class ProcessTest : public ::testing::TestWithParam<const char*> {};

// Every output sample of one process call, all channels.
bool processFinite(host::Plugin& plugin, int frames, float value) {
    host::AudioBuffers<float> in(plugin.numInputs(), std::max(frames, 1)),
        out(plugin.numOutputs(), std::max(frames, 1));
    for (int c = 0; c < in.channels(); ++c)
        for (int i = 0; i < frames; ++i) in.channel(c)[i] = value * (i % 2 ? 1.0f : -1.0f);
    plugin.processReplacing(in.data(), out.data(), frames);
    for (int c = 0; c < out.channels(); ++c)
        for (int i = 0; i < frames; ++i)
            if (!std::isfinite(out.channel(c)[i])) return false;
    return true;
}

TEST_P(ProcessTest, BlockLengthsBeforeResumeWhileRunningAndAfterSuspend) {
    auto plugin = loadPlugin(GetParam());
    ASSERT_TRUE(plugin);
    const int lengths[] = {0, 1, 4096, 65536, -1, INT_MIN};
    int cases = 0;
    for (int frames : lengths) {
        // Negative lengths are passed with a one-frame buffer; nothing may be read or written.
        EXPECT_TRUE(processFinite(*plugin, frames, 0.5f)) << "before resume, " << frames;
        ++cases;
    }
    plugin->resume();
    for (int frames : lengths) {
        EXPECT_TRUE(processFinite(*plugin, frames, 0.5f)) << "running, " << frames;
        ++cases;
    }
    plugin->suspend();
    for (int frames : lengths) {
        EXPECT_TRUE(processFinite(*plugin, frames, 0.5f)) << "after suspend, " << frames;
        ++cases;
    }
    // Double precision the same way.
    plugin->resume();
    host::AudioBuffers<double> in(plugin->numInputs(), 65536), out(plugin->numOutputs(), 65536);
    for (int frames : lengths) {
        plugin->processDoubleReplacing(in.data(), out.data(), frames);
        ++cases;
    }
    for (int c = 0; c < out.channels(); ++c)
        for (int i = 0; i < 65536; ++i) ASSERT_TRUE(std::isfinite(out.channel(c)[i]));
    RecordProperty("cases", cases);
}

// Null buffer arrays and null channel pointers: nothing is dereferenced, and whatever output
// exists is finite.
TEST_P(ProcessTest, NullBuffersAreNeverDereferenced) {
    auto plugin = loadPlugin(GetParam());
    ASSERT_TRUE(plugin);
    plugin->resume();
    const int frames = 512;
    host::AudioBuffers<float> in(4, frames), out(2, frames);
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < frames; ++i) in.channel(c)[i] = sine(i);
    float* side[4] = {in.channel(0), in.channel(1), nullptr, nullptr};
    float* noMain[4] = {nullptr, nullptr, in.channel(2), in.channel(3)};
    float* onlyLeft[4] = {in.channel(0), nullptr, nullptr, nullptr};
    float* outLeft[2] = {out.channel(0), nullptr};
    float* outNone[2] = {nullptr, nullptr};
    int cases = 0;
    for (float extSideChain : {0.0f, 1.0f}) {
        // The external side-chain switch: grandpress 25, tinypress 26.
        plugin->setParameter(std::string(GetParam()) == "grandpress" ? 25 : 26, extSideChain);
        for (int round = 0; round < 3; ++round) {  // three blocks, so per-block state settles
            plugin->processReplacing(side, out.data(), frames);
            plugin->processReplacing(onlyLeft, out.data(), frames);
            plugin->processReplacing(noMain, out.data(), frames);
            plugin->processReplacing(in.data(), outLeft, frames);
            plugin->processReplacing(in.data(), outNone, frames);
            plugin->processReplacing(nullptr, out.data(), frames);
            plugin->processReplacing(in.data(), nullptr, frames);
            plugin->processReplacing(nullptr, nullptr, frames);
            cases += 8;
        }
        plugin->processReplacing(side, out.data(), frames);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                ASSERT_TRUE(std::isfinite(out.channel(c)[i])) << extSideChain;
    }
    RecordProperty("cases", cases);
}

// Sample rates outside every range, each followed by processing: the effect runs at a rate it
// supports and the output is finite and audible.
TEST_P(ProcessTest, SampleRatesOutsideEveryRange) {
    const float rates[] = {0.0f, -44100.0f, kNaN,      1.0f,     1e7f,
                           kInf, -kInf,     kDenormal, 22049.0f, 192001.0f};
    int cases = 0;
    for (float rate : rates)
        for (bool whileRunning : {false, true}) {
            auto plugin = loadPlugin(GetParam());
            ASSERT_TRUE(plugin);
            if (whileRunning) {
                plugin->resume();
                plugin->setSampleRate(rate);  // a host that ignores the suspend rule
            } else {
                plugin->setSampleRate(rate);
                plugin->resume();
            }
            const Output out = run(*plugin, kRate, 512, [](int i) { return sine(i); });
            ++cases;
            for (const auto& c : out.channels)
                ASSERT_EQ(firstNonFinite(c), -1) << "rate " << rate << " running " << whileRunning;
            EXPECT_GT(rms(out.left(), kRate / 2, kRate), 0.01) << "rate " << rate;
            EXPECT_LT(rms(out.left(), kRate / 2, kRate), 4.0) << "rate " << rate;
            // Back to a normal rate: still fine.
            plugin->suspend();
            plugin->setSampleRate(48000.0f);
            plugin->resume();
            const Output again = run(*plugin, 4096, 512, [](int i) { return sine(i); });
            EXPECT_EQ(firstNonFinite(again.left()), -1);
        }
    RecordProperty("cases", cases);
}

struct Hostile {
    const char* name;
    float (*sample)(int i);
};

const Hostile kHostileInputs[] = {
    {"NaN", [](int) { return kNaN; }},
    {"+Inf", [](int) { return kInf; }},
    {"-Inf", [](int) { return -kInf; }},
    {"alternating Inf", [](int i) { return i % 2 ? kInf : -kInf; }},
    {"NaN every 100th", [](int i) { return i % 100 ? sine(i) : kNaN; }},
    {"denormals", [](int i) { return i % 2 ? kDenormal : -kDenormal * 3; }},
    {"full-scale square", [](int i) { return (i / 50) % 2 ? 1.0f : -1.0f; }},
    {"square at +24 dBFS", [](int i) { return (i / 50) % 2 ? 16.0f : -16.0f; }},
    {"FLT_MAX", [](int i) { return i % 2 ? 3.4e38f : -3.4e38f; }},
};

// Half a second of clean sine, a quarter second of the hostile block, one second of clean sine.
// The output is finite throughout, and over the last quarter of that second it is within
// 1 dB of a fresh instance fed only the clean sine.
void checkRecovery(const char* plugin, const std::vector<std::pair<int, float>>& settings) {
    const int cleanBefore = kRate / 2, burst = kRate / 4, after = kRate;
    const int total = cleanBefore + burst + after;
    auto reference = loadPlugin(plugin);
    ASSERT_TRUE(reference);
    for (auto [i, v] : settings) reference->setParameter(i, v);
    reference->resume();
    const std::vector<float> expected =
        run(*reference, total, 512, [](int i) { return sine(i); }).left();
    const double expectedLevel = rms(expected, total - kRate / 4, total);
    ASSERT_GT(expectedLevel, 0.01);
    for (const Hostile& h : kHostileInputs) {
        auto effect = loadPlugin(plugin);
        ASSERT_TRUE(effect);
        for (auto [i, v] : settings) effect->setParameter(i, v);
        effect->resume();
        const Output out = run(*effect, total, 512, [&](int i) {
            return i >= cleanBefore && i < cleanBefore + burst ? h.sample(i) : sine(i);
        });
        for (const auto& c : out.channels)
            ASSERT_EQ(firstNonFinite(c), -1) << plugin << ", " << h.name;
        const double level = rms(out.left(), total - kRate / 4, total);
        EXPECT_NEAR(20.0 * std::log10(level / expectedLevel), 0.0, 1.0)
            << plugin << " after " << h.name << ": " << level << " vs " << expectedLevel;
    }
}

TEST_P(ProcessTest, RecoversFromHostileInputWithinOneSecond) {
    checkRecovery(GetParam(), {});
}

TEST(GrandPressLimiter, OutputStaysUnderTheCeilingWithHostileInput) {
    // Limiter on, make-up and output gain at their maximum: the limiter alone holds the peaks.
    const std::vector<std::pair<int, float>> settings = {
        {kGrandLimiterIndex, 1.0f}, {11, 1.0f}, {22, 1.0f}};  // limiter, make-up, output
    auto effect = loadPlugin("grandpress");
    ASSERT_TRUE(effect);
    for (auto [i, v] : settings) effect->setParameter(i, v);
    effect->resume();
    const int latency = effect->initialDelay();
    int cases = 0;
    for (const Hostile& h : kHostileInputs) {
        // One second of the hostile input, then half a second of a loud sine.
        const int total = kRate + kRate / 2;
        const Output out = run(*effect, total, 512, [&](int i) {
            return i < kRate ? h.sample(i) : sine(i, 997.0, 4.0);
        });
        ++cases;
        for (const auto& c : out.channels) {
            ASSERT_EQ(firstNonFinite(c), -1) << h.name;
            // After the look-ahead has settled (its latency plus 10 ms).
            const std::size_t settled = static_cast<std::size_t>(latency + kRate / 100);
            EXPECT_LE(peak(c, settled, c.size()), kLimiterBound) << h.name;
        }
    }
    RecordProperty("cases", cases);
    checkRecovery("grandpress", settings);
}

// A fresh instance on each kernel set this processor runs: the fastest, and the baseline where
// that is another one. The name of the set in use comes back with it.
template <typename Body>
void onEveryKernelSet(const char* name, Body body) {
    for (const bool baseline : {false, true}) {
        auto plugin = loadPlugin(name);
        ASSERT_TRUE(plugin);
        if (baseline) {
            const std::string fastest = host::kernelsInUse(*plugin);
            ASSERT_TRUE(host::useBaselineKernels(*plugin));
            if (host::kernelsInUse(*plugin) == fastest) continue;  // one set only
        }
        SCOPED_TRACE(host::kernelsInUse(*plugin));
        body(*plugin);
    }
}

// Odd samples a driver or a host may hand on: among a sine, one in every 97 samples (and in a
// solid eighth of a second), under the defaults and under the settings that lift the most (widest
// expansion, lowest threshold, make-up and output at their maximum, RMS). Only finite output.
TEST_P(ProcessTest, HugeAndNonFiniteSamplesGiveOnlyFiniteOutputOnEveryKernelSet) {
    const float odd[] = {kNaN, kInf, -kInf, 1e38f, -1e38f, 3.4e38f, -3.4e38f, 1e6f, kDenormal};
    const bool grand = std::string(GetParam()) == "grandpress";
    const std::vector<std::vector<std::pair<int, float>>> settings = {
        {},
        {{6, 0.0f}, {5, 1.0f}, {grand ? 11 : 16, 1.0f}, {grand ? 22 : 23, 1.0f}, {3, 1.0f}},
    };
    int cases = 0;
    for (const auto& values : settings)
        for (const float x : odd)
            onEveryKernelSet(GetParam(), [&](host::Plugin& plugin) {
                for (auto [i, v] : values) plugin.setParameter(i, v);
                plugin.resume();
                const Output out = run(plugin, kRate / 2, 512, [&](int i) {
                    return i % 97 == 50 || (i >= kRate / 4 && i < 3 * kRate / 8) ? x : sine(i);
                });
                ++cases;
                for (const auto& c : out.channels)
                    ASSERT_EQ(firstNonFinite(c), -1) << x << ", settings " << values.size();
            });
    RecordProperty("cases", cases);
}

// One stray sample of any size in a 0.25 sine, at the widest expansion (ratio step 0, the rest
// at the defaults): the gain it drives is over soon, no output sample from 10 ms after the spike
// on is above +12 dBFS. Sizes at 44.1 kHz; the largest also at the lowest rate (where one sample
// weighs most in the envelope) and at 96 kHz.
TEST_P(ProcessTest, OneStraySpikeAtTheWidestExpansionIsOverWithinTenMilliseconds) {
    struct Spike {
        float rate, size;
    };
    const Spike spikes[] = {{44100, 4.0f},    {44100, 100.0f},  {44100, 1e5f},    {44100, 1e6f},
                            {44100, -1e6f},   {44100, 1e38f},   {44100, 3.4e38f}, {44100, -3.4e38f},
                            {22050, 3.4e38f}, {96000, -3.4e38f}};
    int cases = 0;
    for (const Spike& spike : spikes)
        onEveryKernelSet(GetParam(), [&](host::Plugin& plugin) {
            plugin.setSampleRate(spike.rate);
            plugin.setParameter(6, 0.0f);
            plugin.resume();
            const int at = static_cast<int>(spike.rate / 4);
            const Output out = run(plugin, static_cast<int>(spike.rate), 512, [&](int i) {
                return i == at ? spike.size : sine(i, 997.0, 0.25, spike.rate);
            });
            ++cases;
            const auto after =
                static_cast<std::size_t>(at + plugin.initialDelay() + spike.rate / 100);
            for (const auto& c : out.channels) {
                int above = 0;
                for (std::size_t i = after; i < c.size(); ++i) above += std::fabs(c[i]) > 4.0f;
                EXPECT_EQ(above, 0) << "spike " << spike.size << " at " << spike.rate
                                    << " Hz, peak after 10 ms " << peak(c, after, c.size());
            }
        });
    RecordProperty("cases", cases);
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, ProcessTest, ::testing::Values("grandpress", "tinypress"));

}  // namespace
}  // namespace hostile
