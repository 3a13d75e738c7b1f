// What the chunk kernels owe beyond their conformance to the plain code (KernelConformanceTest):
// linked lanes sharing one gain curve, the same bits however frames are cut into chunks, and the
// whole effect on its baseline kernels against its fastest ones through every path a host can
// switch on.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "EngineRig.h"
#include "TestSupport.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/GainComputer.h"
#include "tinypress/Meters.h"
#include "tinypress/SignalPath.h"

namespace tinypress {
namespace {

using qrx::dsp::InstructionSet;
using tinypress_test::EngineRig;
using tinypress_test::noiseSignal;
using tinypress_test::Signal;

// The kernel sets this processor runs, with their names for messages.
std::vector<std::pair<const ChunkKernels*, const char*>> kernelSets() {
    std::vector<std::pair<const ChunkKernels*, const char*>> sets = {
        {&baselineChunkKernels(), "x86-64"}};
    if (qrx::dsp::bestInstructionSet() == InstructionSet::Avx2Fma)
        sets.push_back({&avx2ChunkKernels(), "AVX2+FMA"});
    return sets;
}

// The buffers of one chunk of the dynamics kernel.
struct DynamicsChunk {
    alignas(64) double level[2][kChunk] = {}, main[2][kChunk] = {}, noise[kChunk] = {};
    alignas(64) double gain[2][kChunk] = {}, out[2][kChunk] = {}, outGain[kChunk] = {};
    qrx::dsp::PowerTables powers;

    // The kernel over the first n frames, from the envelope states in `states` and the make-up
    // and output states given, which it carries on. Returns gain[1] as the kernel leaves it.
    const double* run(const ChunkKernels& kernels, const EngineSettings& s, EnvelopeState* states,
                      int n, double& makeup, double& output, bool lanesAgree = false) {
        powers.prepare(s.inverseRatio);
        DynamicsJob job;
        job.n = n;
        job.settings = &s;
        job.powers = &powers;
        job.lanesAgree = lanesAgree;
        job.noise = noise;
        job.makeup = makeup;
        job.output = output;
        job.outGain = outGain;
        for (int c = 0; c < 2; ++c) {
            job.envelope[c] = &states[c];
            job.level[c] = level[c];
            job.main[c] = main[c];
            job.gain[c] = gain[c];
            job.out[c] = out[c];
        }
        kernels.dynamics(job);
        makeup = job.makeup;
        output = job.output;
        return job.gain[1];
    }
};

// Linked lanes from equal states run one gain curve: both lanes' gains (gain[1] as the kernel
// leaves it) and outputs are those of separate lanes.
TEST(TinyPressKernels, AgreeingLanesShareOneGainCurve) {
    for (const auto& [kernels, name] : kernelSets()) {
        const EngineSettings s = tinypress_test::dynamicsSettings(0.25, true, true, false);
        EnvelopeState shared[2], separate[2];
        double makeup[2] = {1.0, 1.0}, output[2] = {1.0, 1.0};
        int at = 0;
        for (int round = 0; round < 40; ++round) {
            const int n = round % 2 ? kChunk : 29;
            DynamicsChunk chunk[2];  // [shared, separate]
            for (int k = 0; k < n; ++k, ++at) {
                for (DynamicsChunk& c : chunk) {
                    c.level[0][k] = c.level[1][k] =
                        0.4 * std::exp(4.0 * std::sin(0.003 * at)) * std::sin(0.2 * at);
                    c.main[0][k] = 0.5 * std::sin(0.05 * at);
                    c.main[1][k] = 0.3 * std::cos(0.07 * at);
                    c.noise[k] = at % 2 ? 1e-12 : -1e-12;
                }
            }
            ASSERT_EQ(chunk[0].run(*kernels, s, shared, n, makeup[0], output[0], true),
                      chunk[0].gain[0])
                << name;
            ASSERT_EQ(chunk[1].run(*kernels, s, separate, n, makeup[1], output[1]),
                      chunk[1].gain[1])
                << name;
            for (int k = 0; k < n; ++k) {
                EXPECT_EQ(chunk[0].gain[0][k], chunk[1].gain[0][k]) << name << " at " << at - n + k;
                EXPECT_EQ(chunk[0].gain[0][k], chunk[1].gain[1][k]) << name << " at " << at - n + k;
                EXPECT_EQ(chunk[0].out[1][k], chunk[1].out[1][k]) << name << " at " << at - n + k;
            }
        }
        EXPECT_EQ(shared[1].envelope, separate[1].envelope) << name;
    }
}

// However the frames are cut into chunks, the kernel gives the same bits: every frame's gains,
// output states and outputs, and the states it carries (envelopes, release smoothers, make-up and
// output glides), with make-up and output far from their targets.
TEST(TinyPressKernels, ChunkCutsLeaveTheSameBits) {
    constexpr int kFrames = 700;
    for (const auto& [kernels, name] : kernelSets()) {
        for (const int variant : {0, 1, 2, 3}) {
            const EngineSettings s =
                tinypress_test::dynamicsSettings(0.25, variant & 1, variant & 2, variant < 2);
            std::vector<double> first;  // gains, output states and outputs in chunks of kChunk
            for (const int cut : {kChunk, 1, 7, 29, 0}) {
                EnvelopeState states[2];
                double makeup = 0.3, output = 3.0;
                std::vector<double> frames;
                for (int at = 0, round = 0; at < kFrames; ++round) {
                    const int length = cut ? cut : 1 + (round * 37) % kChunk;
                    const int n = std::min(length, kFrames - at);
                    DynamicsChunk chunk;
                    for (int k = 0; k < n; ++k) {
                        const int i = at + k;
                        chunk.level[0][k] = 0.3 * std::exp(4.0 * std::sin(0.01 * i)) * std::sin(i);
                        chunk.level[1][k] = 0.2 * std::exp(3.0 * std::cos(0.02 * i));
                        chunk.main[0][k] = 0.5 * std::sin(0.05 * i);
                        chunk.main[1][k] = 0.3 * std::cos(0.07 * i);
                        chunk.noise[k] = i % 2 ? 1e-12 : -1e-12;
                    }
                    const double* rightGain = chunk.run(*kernels, s, states, n, makeup, output);
                    for (int k = 0; k < n; ++k)
                        frames.insert(frames.end(),
                                      {chunk.gain[0][k], rightGain[k], chunk.outGain[k],
                                       chunk.out[0][k], chunk.out[1][k]});
                    at += n;
                }
                for (const EnvelopeState& e : states)
                    frames.insert(frames.end(), {e.envelope, e.fast.x1, e.fast.x2, e.fast.y1,
                                                 e.fast.y2, e.slow.x1, e.slow.x2, e.slow.y1,
                                                 e.slow.y2, e.fastOffset, e.slowOffset});
                frames.insert(frames.end(), {makeup, output});
                if (first.empty()) {
                    first = frames;
                    continue;
                }
                ASSERT_EQ(frames.size(), first.size());
                for (std::size_t i = 0; i < frames.size(); ++i)
                    ASSERT_EQ(frames[i], first[i])
                        << name << ", variant " << variant << ", chunks of " << cut << ": value "
                        << i << " (five per frame, then the carried states)";
            }
        }
    }
}

// The effect on its baseline kernels and on the fastest this processor runs, through every
// routing, detector, knee and meter source, in blocks that cut chunks short: the outputs agree
// within 1e-6 and the meter feeds far inside display precision.
TEST(TinyPressKernels, BaselineAndFastAgreeOnEveryPath) {
    const std::vector<std::vector<std::pair<int, float>>> settings = {
        {},
        {{kStereo, 0.0f}},
        {{kLink, 1.0f}},
        {{kSmooth, 0.0f}},
        {{kRms, 1.0f}, {kSoft, 1.0f}},
        {{kAutoRelease, 1.0f}, {kAttack, 0.3f}, {kRelease, 0.2f}},
        {{kRatio, 0.1f}},  // expanding
        {{kScMonitor, 1.0f}},
        {{kMeters, 0.5f}},
        {{kMeters, 1.0f}, {kStereo, 0.0f}},
        {{kPower, 0.0f}},
    };
    const Signal left = noiseSignal(12000, 0.9f, 11), right = noiseSignal(12000, 0.3f, 12);
    for (const auto& setting : settings) {
        EngineRig fast, baseline;
        ASSERT_EQ(
            baseline.fx.vendorSpecific(CompressorEffect::kInstructionSetRequest, 0, nullptr, 0.0f),
            1);
        for (EngineRig* rig : {&fast, &baseline}) {
            rig->neutral();
            rig->set(kRatio, 0.7f);
            rig->set(kThreshold, 0.8f);
            rig->set(kAttack, 0.1f);
            for (const auto& [index, value] : setting) rig->set(index, value);
        }
        const auto row = &setting - settings.data();
        for (const int block : {300, 64, 1000}) {
            const tinypress_test::Stereo a = fast.run(left, right, block);
            const tinypress_test::Stereo b = baseline.run(left, right, block);
            double largest = 0.0;
            for (size_t i = 0; i < left.size(); ++i)
                largest = std::max({largest, std::fabs(double(a.left[i]) - b.left[i]),
                                    std::fabs(double(a.right[i]) - b.right[i])});
            EXPECT_LE(largest, 1e-6) << "setting " << row << ", block " << block;
            for (int c = 0; c < 2; ++c) {
                const MeterChannelFeed &fa = fast.meter(c), &fb = baseline.meter(c);
                EXPECT_NEAR(fa.mainLevel.load(), fb.mainLevel.load(), 1e-9) << row;
                EXPECT_NEAR(fa.secondLevel.load(), fb.secondLevel.load(), 1e-9) << row;
                EXPECT_NEAR(fa.peakA.load(), fb.peakA.load(), 1e-9) << row;
                EXPECT_NEAR(fa.peakB.load(), fb.peakB.load(), 1e-9) << row;
                EXPECT_EQ(fa.overload.load(), fb.overload.load()) << row;
            }
        }
    }
}

}  // namespace
}  // namespace tinypress
