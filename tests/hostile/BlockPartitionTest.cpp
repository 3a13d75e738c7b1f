// A host may cut the audio into blocks of any length. The same input with the same parameter
// changes at the same sample positions must give the same output however it was cut: blocks of
// 1, 7, 64 and 512 frames and random lengths, each also cut where a change falls, on both kernel
// sets, through every routine of both plug-ins. tinypress gives the same bits; grandpress (double
// precision in and out) stays within 1e-7.
#include <algorithm>
#include <cstdint>
#include <random>

#include "grandpress/Parameters.h"
#include "host/KernelChoice.h"
#include "hostile/HostileRig.h"
#include "tinypress/Parameters.h"

namespace hostile {
namespace {

constexpr int kFrames = 5000;

struct Change {
    int at;  // sample position (0: before the first block)
    int index;
    float value;
};

struct Routine {
    const char* name;
    std::vector<Change> changes;  // in order of position
    int startsAt[4] = {};         // each input is silent before its position
};

// Drums-like noise bursts over two tones, left and right apart, and a side chain of its own.
double inputAt(const Routine& routine, int channel, int i) {
    if (i < routine.startsAt[channel]) return 0.0;
    std::uint32_t x = static_cast<std::uint32_t>(i * 4 + channel) * 2654435761u;
    x ^= x >> 15;
    const double noise = static_cast<double>(x >> 8) / 8388608.0 - 1.0;
    const double burst = std::exp(-0.004 * (i % 1100));
    const double tone = std::sin(0.013 * (channel + 1) * i) + 0.4 * std::sin(0.21 * i);
    return (channel < 2 ? 0.45 : 0.7) * (0.6 * tone + burst * noise) * 0.8;
}

// `first`, then `more`.
std::vector<Change> then(std::vector<Change> first, const std::vector<Change>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

// The block lengths of one partition: `block` frames (0: random lengths from `seed`), cut where a
// change falls.
std::vector<int> partition(int block, const std::vector<Change>& changes, unsigned seed) {
    std::vector<int> lengths;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> length(1, 700);
    std::size_t next = 0;
    for (int at = 0; at < kFrames;) {
        while (next < changes.size() && changes[next].at <= at) ++next;
        int n = block > 0 ? block : length(random);
        n = std::min(n, kFrames - at);
        if (next < changes.size()) n = std::min(n, changes[next].at - at);
        lengths.push_back(n);
        at += n;
    }
    return lengths;
}

// Both outputs of one render, left then right.
template <typename Sample>
std::vector<Sample> render(const std::string& name, const Routine& routine, bool baseline,
                           const std::vector<int>& lengths) {
    auto plugin = loadPlugin(name);
    if (!plugin) return {};
    if (baseline) host::useBaselineKernels(*plugin);
    std::size_t next = 0;
    for (; next < routine.changes.size() && routine.changes[next].at == 0; ++next)
        plugin->setParameter(routine.changes[next].index, routine.changes[next].value);
    plugin->resume();
    host::AudioBuffers<Sample> in(4, kFrames), out(2, kFrames);
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < kFrames; ++i)
            in.channel(c)[i] = static_cast<Sample>(inputAt(routine, c, i));
    int at = 0;
    for (const int n : lengths) {
        for (; next < routine.changes.size() && routine.changes[next].at == at; ++next)
            plugin->setParameter(routine.changes[next].index, routine.changes[next].value);
        Sample* ins[4] = {in.channel(0) + at, in.channel(1) + at, in.channel(2) + at,
                          in.channel(3) + at};
        Sample* outs[2] = {out.channel(0) + at, out.channel(1) + at};
        if constexpr (sizeof(Sample) == sizeof(float))
            plugin->processReplacing(ins, outs, n);
        else
            plugin->processDoubleReplacing(ins, outs, n);
        at += n;
    }
    std::vector<Sample> both(out.channel(0), out.channel(0) + kFrames);
    both.insert(both.end(), out.channel(1), out.channel(1) + kFrames);
    return both;
}

// Renders every routine in every partition on both kernel sets; each render must match the one
// in blocks of one frame within `tolerance` (0: the same bits).
template <typename Sample>
void expectPartitionsAgree(const std::string& name, const std::vector<Routine>& routines,
                           double tolerance) {
    const int blocks[] = {7, 64, 512, 0, 0};
    for (const bool baseline : {true, false}) {
        for (const Routine& routine : routines) {
            const std::vector<Sample> single =
                render<Sample>(name, routine, baseline, partition(1, routine.changes, 0));
            ASSERT_EQ(single.size(), 2u * kFrames) << routine.name;
            double loudest = 0.0;
            for (const Sample x : single) loudest = std::max(loudest, std::fabs(double(x)));
            EXPECT_GT(loudest, 0.05) << routine.name << ": the render is silent";
            unsigned seed = 1;
            for (const int block : blocks) {
                const std::vector<Sample> other = render<Sample>(
                    name, routine, baseline, partition(block, routine.changes, seed++));
                ASSERT_EQ(other.size(), single.size());
                for (std::size_t i = 0; i < single.size(); ++i) {
                    const double a = single[i], b = other[i];
                    const bool same = tolerance == 0.0 ? a == b : std::fabs(a - b) <= tolerance;
                    if (same) continue;
                    ADD_FAILURE() << name << ", " << routine.name << (baseline ? ", baseline" : "")
                                  << ", blocks of "
                                  << (block ? std::to_string(block) : "random lengths") << ": "
                                  << (i < kFrames ? "left" : "right") << " sample " << i % kFrames
                                  << " is " << b << ", in blocks of 1 " << a;
                    break;  // the first difference of each render
                }
            }
        }
    }
}

TEST(BlockPartition, TinyPressGivesTheSameBitsInEveryMode) {
    namespace tp = tinypress;
    // Fast attack, high ratio, low threshold: the gain moves all the time.
    const std::vector<Change> loud = {{0, tp::kPower, 1.0f},      {0, tp::kRatio, 0.8f},
                                      {0, tp::kThreshold, 0.7f},  {0, tp::kAttack, 0.1f},
                                      {0, tp::kRelease, 0.2f},    {0, tp::kStereo, 1.0f},
                                      {0, tp::kAutoRelease, 0.0f}};
    const std::vector<Routine> routines = {
        // Both lanes agree through the silence. The right channel starts while the left stays
        // silent, and Link comes on when its first samples have reached the detector (the side
        // chain is read 933 samples late at 44.1 kHz) but not yet the detector's centre (88
        // samples later).
        {"Draft, Link switched on while the right detector holds unlinked samples",
         then(loud, {{0, tp::kSmooth, 0.0f}, {0, tp::kLink, 0.0f}, {2000, tp::kLink, 1.0f}}),
         {3000, 1040, 3000, 1040}},
        {"Draft, Link switched on, make-up and output moved", then(loud, {{0, tp::kSmooth, 0.0f},
                                                                          {0, tp::kLink, 0.0f},
                                                                          {1500, tp::kLink, 1.0f},
                                                                          {2600, tp::kMakeup, 0.6f},
                                                                          {3300, tp::kOutput, 0.3f},
                                                                          {4100, tp::kRms, 1.0f}})},
        {"Smooth, soft knee, auto release and make-up, Link off, mono and back",
         then(loud, {{0, tp::kSmooth, 1.0f},
                     {0, tp::kSoft, 1.0f},
                     {0, tp::kAutoRelease, 1.0f},
                     {0, tp::kAutoMakeup, 1.0f},
                     {0, tp::kLink, 1.0f},
                     {1300, tp::kLink, 0.0f},
                     {2500, tp::kStereo, 0.0f},
                     {3700, tp::kStereo, 1.0f},
                     {4300, tp::kRatio, 0.2f}})},
        {"external side chain, monitor, shelves, reset", then(loud, {{0, tp::kScExt, 1.0f},
                                                                     {0, tp::kLink, 1.0f},
                                                                     {1900, tp::kScMonitor, 1.0f},
                                                                     {2700, tp::kScMonitor, 0.0f},
                                                                     {3100, tp::kLowScf, 1.0f},
                                                                     {3100, tp::kHighCorner, 0.8f},
                                                                     {3600, tp::kClassic, 1.0f},
                                                                     {4000, tp::kReset, 1.0f}})},
        {"Power off, on and off", then(loud, {{0, tp::kPower, 0.0f},
                                              {1200, tp::kPower, 1.0f},
                                              {2100, tp::kMix, 0.5f},
                                              {3500, tp::kPower, 0.0f}})},
    };
    expectPartitionsAgree<float>("tinypress", routines, 0.0);
}

TEST(BlockPartition, GrandPressStaysWithinTenToTheMinusSevenInEveryRoutine) {
    namespace gp = grandpress;
    const std::vector<Change> loud = {{0, gp::kPower, 1.0f},
                                      {0, gp::kRatio, 0.8f},
                                      {0, gp::kThreshold, 0.7f},
                                      {0, gp::kAttack, 0.1f},
                                      {0, gp::kRelease, 0.1f}};
    const std::vector<Routine> routines = {
        {"normal, Link moved, make-up and output moved", then(loud, {{0, gp::kLink, 0.0f},
                                                                     {2000, gp::kLink, 1.0f},
                                                                     {2600, gp::kMakeup, 0.6f},
                                                                     {3300, gp::kOutput, 0.7f},
                                                                     {3900, gp::kTilt, 0.2f}})},
        {"FAT, limiter on and off", then(loud, {{0, gp::kFat, 1.0f},
                                                {0, gp::kLimiter, 1.0f},
                                                {0, gp::kOutput, 0.9f},
                                                {2500, gp::kLimiter, 0.0f},
                                                {3600, gp::kLimiter, 1.0f}})},
        {"Smooth, soft knee, RMS, auto attack and release, Classic",
         then(loud, {{0, gp::kSmooth, 1.0f},
                     {0, gp::kSoft, 1.0f},
                     {0, gp::kRms, 1.0f},
                     {0, gp::kAutoAttack, 1.0f},
                     {0, gp::kAutoRelease, 1.0f},
                     {0, gp::kClassic, 1.0f},
                     {0, gp::kAutoMakeup, 1.0f},
                     {2800, gp::kSoft, 0.0f},
                     {3500, gp::kMix, 0.4f}})},
        {"external side chain, monitor, shelves, link filters",
         then(loud, {{0, gp::kScExt, 1.0f},
                     {0, gp::kLink, 0.6f},
                     {0, gp::kLinkLowCut, 1.0f},
                     {1900, gp::kScMonitor, 1.0f},
                     {2700, gp::kScMonitor, 0.0f},
                     {3100, gp::kHighScf, 1.0f},
                     {3100, gp::kLow, 0.8f},
                     {3800, gp::kLinkHighCut, 1.0f}})},
        {"Power off, on and off, limiter on", then(loud, {{0, gp::kPower, 0.0f},
                                                          {0, gp::kLimiter, 1.0f},
                                                          {1800, gp::kPower, 1.0f},
                                                          {3400, gp::kPower, 0.0f}})},
    };
    expectPartitionsAgree<double>("grandpress", routines, 1e-7);
}

}  // namespace
}  // namespace hostile
