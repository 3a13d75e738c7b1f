// The chunk kernels of both instruction sets against the plain per-sample code they replace
// (noise generator, envelope and gain curve, meters), and the whole effect on its baseline
// kernels against its fastest ones through every path a host can switch on.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "EngineRig.h"
#include "dsp/DenormalNoise.h"
#include "dsp/GlidingBiquad.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/GainComputer.h"
#include "tinypress/Mappings.h"
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

void expectClose(double actual, double expected, double relative, const char* what, const char* set,
                 int at) {
    EXPECT_NEAR(actual, expected, relative * std::fabs(expected) + 1e-300)
        << what << " on " << set << " at " << at;
}

TEST(TinyPressKernels, NoiseFollowsTheGenerator) {
    for (const auto& [kernels, name] : kernelSets()) {
        for (const double scale : {1e-12, 1e-13}) {
            qrx::dsp::DenormalNoise reference(scale);
            qrx::dsp::DenormalNoise::Words w = reference.words();
            std::uint32_t words[3] = {w.s1, w.s2, w.s3};
            double values[128];
            for (int round = 0; round < 20; ++round) {
                const int count = round % 3 == 0 ? 128 : 37;
                kernels->noise(words, scale, count, values);
                for (int k = 0; k < count; ++k)
                    expectClose(values[k], reference.next(), 1e-15, "noise", name, k);
            }
            w = reference.words();
            EXPECT_EQ(words[0], w.s1) << name;
            EXPECT_EQ(words[1], w.s2) << name;
            EXPECT_EQ(words[2], w.s3) << name;
        }
        // Two generators in one pass: the engine's (two values per sample) and a shelf's.
        qrx::dsp::DenormalNoise engine(1e-12), shelf(1e-13);
        for (int k = 0; k < 5; ++k) shelf.next();
        std::uint32_t a[3] = {engine.words().s1, engine.words().s2, engine.words().s3};
        std::uint32_t b[3] = {shelf.words().s1, shelf.words().s2, shelf.words().s3};
        double toA[2 * kChunk], toB[kChunk];
        for (const int n : {kChunk, 3}) {
            kernels->noisePair(a, 1e-12, toA, b, 1e-13, toB, n);
            for (int k = 0; k < 2 * n; ++k)
                expectClose(toA[k], engine.next(), 1e-15, "engine noise", name, k);
            for (int k = 0; k < n; ++k)
                expectClose(toB[k], shelf.next(), 1e-15, "shelf noise", name, k);
        }
        EXPECT_EQ(a[0], engine.words().s1) << name;
        EXPECT_EQ(b[2], shelf.words().s3) << name;
    }
}

// The engine's two values per sample: the first rides on both main channels, the second is
// the sample's offset, for every chunk length (whole vectors and the rest).
TEST(TinyPressKernels, EngineNoiseGoesToMainAndOffset) {
    for (const auto& [kernels, name] : kernelSets()) {
        for (int n = 1; n <= kChunk; ++n) {
            alignas(64) double values[2 * kChunk], left[kChunk], right[kChunk], offsets[kChunk];
            for (int k = 0; k < kChunk; ++k) {
                values[2 * k] = 1e-12 * (k + 1);
                values[2 * k + 1] = -1e-12 * (k + 1);
                left[k] = 0.25 * k;
                right[k] = -0.5 * k;
                offsets[k] = 7.0;
            }
            kernels->spreadNoise(values, n, left, right, offsets);
            for (int k = 0; k < kChunk; ++k) {
                const bool in = k < n;
                EXPECT_EQ(left[k], 0.25 * k + (in ? 1e-12 * (k + 1) : 0.0)) << name << " " << n;
                EXPECT_EQ(right[k], -0.5 * k + (in ? 1e-12 * (k + 1) : 0.0)) << name << " " << n;
                EXPECT_EQ(offsets[k], in ? -1e-12 * (k + 1) : 7.0) << name << " " << n;
            }
        }
    }
}

// Engine samples leave as their nearest floats, for every chunk length; nothing after n is
// written.
TEST(TinyPressKernels, SamplesLeaveAsFloats) {
    for (const auto& [kernels, name] : kernelSets()) {
        for (int n = 1; n <= kChunk; ++n) {
            alignas(64) double from[kChunk];
            float to[kChunk + 1];
            for (int k = 0; k < kChunk; ++k) from[k] = std::sin(0.37 * (k + n)) * (1.0 + 1e-9 * k);
            for (float& f : to) f = 5.0f;
            kernels->writeFloats(from, n, to);
            for (int k = 0; k <= kChunk; ++k)
                EXPECT_EQ(to[k], k < n ? static_cast<float>(from[k]) : 5.0f) << name << " " << n;
        }
    }
}

// The side chain's plain stages against their formulas, over lengths around every vector width
// and chunk size: the "Draft" levels (to = factor * from, from and to anywhere in a run, so at
// any alignment) and the stereo link (chunk buffers, so aligned and at most kChunk). Guard
// words around the output show a write outside [0, n).
TEST(TinyPressKernels, LinkAndScaleFollowTheirFormulas) {
    constexpr double kGuard = -777.0;
    const int lengths[] = {0, 1, 2, 3, 4, 7, 8, 15, 16, 17, 63, 64, 65, 127, 128};
    for (const auto& [kernels, name] : kernelSets()) {
        for (const int n : lengths) {
            for (int start = 0; start < 4; ++start) {
                alignas(64) double from[2 * kChunk + 8], to[2 * kChunk + 16];
                for (int k = 0; k < 2 * kChunk + 8; ++k) from[k] = std::sin(0.71 * k) * 3.0;
                for (double& v : to) v = kGuard;
                double* const out = to + 4 + start;
                kernels->scale(from + start, n, 0.37, out);
                for (int k = 0; k < n; ++k)
                    EXPECT_EQ(out[k], 0.37 * from[start + k]) << name << " n " << n << " at " << k;
                for (double* g = to; g < out; ++g) EXPECT_EQ(*g, kGuard) << name << " n " << n;
                for (double* g = out + n; g < to + 2 * kChunk + 16; ++g)
                    EXPECT_EQ(*g, kGuard) << name << " n " << n;
            }
            if (n > kChunk) continue;
            alignas(64) double left[kChunk], right[kChunk], linked[kChunk + 8];
            for (int k = 0; k < kChunk; ++k) {
                left[k] = std::sin(0.3 * k + n);
                right[k] = 0.5 * std::cos(0.17 * k);
            }
            for (double& v : linked) v = kGuard;
            kernels->link(left, right, n, linked);
            for (int k = 0; k < n; ++k)
                expectClose(linked[k], std::sqrt(left[k] * left[k] + right[k] * right[k]) * 0.7071,
                            1e-15, "link", name, k);
            for (int k = n; k < kChunk + 8; ++k) EXPECT_EQ(linked[k], kGuard) << name << " " << n;
        }
    }
}

// The side-chain shelves of both lanes against the plain gliding biquad: gliding from the
// reset designs toward new targets, with one noise run for all four shelves or a run of their
// own each, in chunks of every length (the AVX2 build runs the high shelf frames behind the low
// one, so the first and last frames of a chunk are where it can go wrong).
TEST(TinyPressKernels, ShelvesFollowTheGlidingBiquad) {
    using qrx::dsp::designBiquad;
    const double rate = 44100.0;
    const qrx::dsp::BiquadCoefficients lowFrom =
        designBiquad(qrx::dsp::kBiquadLowShelf, 110.0, 1.0, 12.0, rate);
    const qrx::dsp::BiquadCoefficients highFrom =
        designBiquad(qrx::dsp::kBiquadHighShelf, 4500.0, 1.2, 20.0, rate);
    const qrx::dsp::BiquadCoefficients lowTo =
        designBiquad(qrx::dsp::kBiquadLowShelf, 150.0, 0.35, -9.0, rate);
    const qrx::dsp::BiquadCoefficients highTo =
        designBiquad(qrx::dsp::kBiquadHighShelf, 6000.0, 0.35, -9.0, rate);
    for (const auto& [kernels, name] : kernelSets()) {
        for (const bool shared : {true, false}) {
            ShelfState reference[2][2], kernel[2][2];  // [low, high][lane]
            for (int c = 0; c < 2; ++c) {
                for (ShelfState* st : {&reference[0][c], &kernel[0][c]}) st->snap(lowFrom);
                for (ShelfState* st : {&reference[1][c], &kernel[1][c]}) st->snap(highFrom);
            }
            // Four generators at different points of their run, or all at one; the reference
            // shelves run copies of them. Their noise is loud enough here to show a value taken
            // for the wrong shelf or frame.
            const qrx::dsp::DenormalNoise fresh(1e-5);
            qrx::dsp::DenormalNoise generators[2][2] = {{fresh, fresh}, {fresh, fresh}};
            for (int f = 0; f < 4; ++f) {
                for (int k = 0; k < (shared ? 0 : 3 * f + 1); ++k) generators[f / 2][f % 2].next();
                reference[f / 2][f % 2].noise = generators[f / 2][f % 2];
            }
            int at = 0;
            for (int n = 1; at < 3000; n = (7 * n + 3) % kChunk + 1) {
                alignas(64) double side[2][kChunk], expected[2][kChunk];
                alignas(64) double noise[2][2][kChunk];
                for (int k = 0; k < n; ++k, ++at) {
                    side[0][k] = std::sin(0.07 * at) + 0.3 * std::sin(1.9 * at);
                    side[1][k] = 0.5 * std::cos(0.031 * at) - 0.2 * std::sin(2.7 * at);
                    for (int b = 0; b < 2; ++b)
                        for (int c = 0; c < 2; ++c) noise[b][c][k] = generators[b][c].next();
                }
                for (int c = 0; c < 2; ++c) {
                    for (int k = 0; k < n; ++k) {
                        ShelfState &low = reference[0][c], &high = reference[1][c];
                        const double x = qrx::dsp::glidingBiquadStep(
                            side[c][k], lowTo, low.current, low.memories, 0.001, low.noise);
                        expected[c][k] = qrx::dsp::glidingBiquadStep(
                            x, highTo, high.current, high.memories, 0.001, high.noise);
                    }
                }
                ShelfJob job;
                job.n = n;
                job.rate = 0.001;
                job.lowTarget = &lowTo;
                job.highTarget = &highTo;
                for (int c = 0; c < 2; ++c) {
                    job.low[c] = &kernel[0][c];
                    job.high[c] = &kernel[1][c];
                    job.lowNoise[c] = shared ? noise[0][0] : noise[0][c];
                    job.highNoise[c] = shared ? noise[0][0] : noise[1][c];
                    job.side[c] = side[c];
                }
                kernels->shelves(job);
                for (int c = 0; c < 2; ++c)
                    for (int k = 0; k < n; ++k)
                        // Fused and reordered sums round apart; the outputs are about 1.
                        EXPECT_NEAR(side[c][k], expected[c][k], 1e-10)
                            << "shelf output on " << name << " at " << at - n + k;
            }
            for (int b = 0; b < 2; ++b) {
                for (int c = 0; c < 2; ++c) {
                    const ShelfState &r = reference[b][c], &k = kernel[b][c];
                    expectClose(k.current.b0, r.current.b0, 1e-12, "b0", name, at);
                    expectClose(k.current.a1, r.current.a1, 1e-12, "a1", name, at);
                    expectClose(k.current.a2, r.current.a2, 1e-12, "a2", name, at);
                    // The memories are signal values, as the outputs.
                    EXPECT_NEAR(k.memories.x1, r.memories.x1, 1e-10) << name;
                    EXPECT_NEAR(k.memories.x2, r.memories.x2, 1e-10) << name;
                    EXPECT_NEAR(k.memories.y1, r.memories.y1, 1e-10) << name;
                    EXPECT_NEAR(k.memories.y2, r.memories.y2, 1e-10) << name;
                }
            }
            // The coefficients have left the reset designs and not yet reached the targets.
            EXPECT_GT(std::fabs(kernel[0][0].current.b0 - lowFrom.b0), 1e-4) << name;
            EXPECT_GT(std::fabs(kernel[0][0].current.b0 - lowTo.b0), 1e-4) << name;
        }
    }
}

// Settings of the envelope and gain curve at 44.1 kHz for exponent p = 1/R.
EngineSettings dynamicsSettings(double p, bool soft, bool rms, bool autoRelease) {
    EngineSettings s;
    s.inverseRatio = p;
    s.kneeLowY = kneeLowYOf(p);
    s.kneeHighY = kneeHighYOf(p);
    s.softKnee = soft;
    s.rms = rms;
    s.autoRelease = autoRelease;
    s.thresholdGain = 1.3;
    s.attackCoefficient = attackCoefficientOf(2.0, 44100.0, rms);
    s.releaseCoefficient = releaseCoefficientOf(0.05, 44100.0, rms);
    s.releaseFast = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, kReleaseFastHz,
                                           kReleaseQuality, 0.0, 44100.0);
    s.releaseSlow = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, kReleaseSlowHz,
                                           kReleaseQuality, 0.0, 44100.0);
    s.autoMakeup = 1;
    s.autoMakeupGain = 1.7;
    s.makeupTarget = 2.0;
    s.outputTarget = 0.5;
    return s;
}

// The buffers of one chunk of the dynamics kernel.
struct DynamicsChunk {
    alignas(64) double level[2][kChunk] = {}, main[2][kChunk] = {}, noise[kChunk] = {};
    alignas(64) double gain[2][kChunk] = {}, out[2][kChunk] = {}, outGain[kChunk] = {};

    // The kernel over the first n frames, from the envelope states in `states` and the make-up
    // and output states given, which it carries on. Returns gain[1] as the kernel leaves it.
    const double* run(const ChunkKernels& kernels, const EngineSettings& s, EnvelopeState* states,
                      int n, double& makeup, double& output, bool lanesAgree = false) {
        DynamicsJob job;
        job.n = n;
        job.settings = &s;
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

// Detector levels from far below to far above the threshold, signed as the "Draft" detector
// gives them, with chunks of every length.
TEST(TinyPressKernels, EnvelopeAndGainCurveFollowThePlainCode) {
    const double exponents[] = {1.0, 1.0 / 1.5, 0.25, 1.0 / 64.0, 2.0};
    for (const auto& [kernels, name] : kernelSets()) {
        for (const double p : exponents) {
            for (const int variant : {0, 1, 2, 3}) {
                const bool soft = variant & 1, rms = variant & 2;
                const EngineSettings s = dynamicsSettings(p, soft, rms, p < 0.5);
                EnvelopeState reference[2], kernel[2];
                double kernelMakeup = 1.0, kernelOutput = 1.0;
                int at = 0;
                for (int n = 1; at < 4000; n = n % (kChunk - 8) + 9) {
                    DynamicsChunk chunk;
                    for (int k = 0; k < n; ++k, ++at) {
                        const double swell = std::exp(6.0 * std::sin(0.002 * at));  // 0.0025 .. 400
                        chunk.level[0][k] = 0.05 * swell * std::sin(0.3 * at);
                        chunk.level[1][k] = 0.1 * swell * std::cos(0.11 * at);
                        chunk.main[0][k] = 0.5 * std::sin(0.05 * at);
                        chunk.main[1][k] = -0.25;
                        chunk.noise[k] = (at % 2 ? 1e-12 : -1e-12);
                    }
                    // The plain code goes on from the states the kernel carried.
                    double makeup = kernelMakeup, output = kernelOutput;
                    chunk.run(*kernels, s, kernel, n, kernelMakeup, kernelOutput);
                    for (int k = 0; k < n; ++k) {
                        makeup = makeup + (s.makeupTarget - makeup) * 0.001 + chunk.noise[k];
                        output = output + (s.outputTarget - output) * 0.001 + chunk.noise[k];
                        for (int c = 0; c < 2; ++c) {
                            const double v = reference[c].step(
                                normalisedLevel(chunk.level[c][k], s.thresholdGain, rms), s);
                            const double g = gainOfEnvelope(v, p, soft, s.kneeLowY, s.kneeHighY);
                            expectClose(chunk.gain[c][k], g, 1e-11, "gain", name, at);
                            expectClose(chunk.out[c][k],
                                        chunk.main[c][k] * g * makeup * 1.7 * output, 1e-11,
                                        "output", name, at);
                        }
                        expectClose(chunk.outGain[k], output, 1e-14, "output state", name, at);
                    }
                }
                for (int c = 0; c < 2; ++c)
                    expectClose(kernel[c].envelope, reference[c].envelope, 1e-11, "envelope", name,
                                at);
            }
        }
    }
}

// Linked lanes from equal states run one gain curve: both lanes' gains (gain[1] as the kernel
// leaves it) and outputs are those of separate lanes.
TEST(TinyPressKernels, AgreeingLanesShareOneGainCurve) {
    for (const auto& [kernels, name] : kernelSets()) {
        const EngineSettings s = dynamicsSettings(0.25, true, true, false);
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
            const EngineSettings s = dynamicsSettings(0.25, variant & 1, variant & 2, variant < 2);
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

// The meters fed chunk by chunk against the plain per-sample feeders of Meters.
TEST(TinyPressKernels, MetersFollowThePlainCode) {
    for (const auto& [kernels, name] : kernelSets()) {
        // Variant 2: gain reduction only (every gain in (0.01, 1)), with holds the editor lets
        // fall back to 1 now and then. Variant 3: linked lanes, both reading one gain buffer.
        for (const int variant : {0, 1, 2, 3}) {
            const bool gainReduction = variant > 0, reductionOnly = variant == 2;
            const bool shared = variant == 3;
            for (const bool compressing : {false, true}) {
                EngineSettings s;
                s.vu = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, 350.0, kVuQuality, 0.0,
                                              44100.0);
                s.ppmAttack = 0.3;
                s.ppmReturn = 0.001;
                s.meterScale = 0.8;
                s.meterMix = 0.7;
                s.compressing = compressing;
                s.overSamples = 3;
                MeterFeed feed;
                Meters reference, kernel;
                reference.load(feed, s);
                kernel.load(feed, s);
                int at = 0;
                for (int n = 1, round = 0; n <= kChunk; n += 7, ++round) {
                    alignas(64) double value[2][kChunk], noise[kChunk];
                    // Ages as the end of a call leaves them, so a hold taken in this chunk
                    // shows as 0.
                    for (int c = 0; c < 2; ++c) {
                        kernel.ch[c].vuHoldAge = kernel.ch[c].ppmHoldAge = 100;
                        reference.ch[c].vuHoldAge = reference.ch[c].ppmHoldAge = 100;
                        if (reductionOnly && round % 3 == 0)
                            for (Meters* m : {&kernel, &reference})
                                m->ch[c].vuHold = m->ch[c].ppmHold = 1.0;
                    }
                    for (int k = 0; k < n; ++k, ++at) {
                        // Runs at and above full scale, and gains on both sides of 1.
                        value[0][k] = 1.2 * std::sin(0.01 * at) * (at % 50 < 10 ? 1.0 : 0.5);
                        value[1][k] = 0.6 + 0.9 * std::fabs(std::cos(0.013 * at));
                        if (reductionOnly) {
                            value[0][k] = 0.5 + 0.45 * std::sin(0.02 * at);
                            value[1][k] = 0.9 - 0.3 * std::fabs(std::sin(0.005 * at));
                        }
                        if (shared) value[1][k] = value[0][k];
                        noise[k] = at % 2 ? 1e-12 : -1e-12;
                        for (int c = 0; c < 2; ++c) {
                            if (gainReduction)
                                reference.gain(c, value[c][k], noise[k]);
                            else
                                reference.signal(c, std::fabs(value[c][k]), noise[k]);
                        }
                    }
                    MeterJob job;
                    job.n = n;
                    job.constants = &kernel.constants();
                    job.channel[0] = &kernel.ch[0];
                    job.channel[1] = &kernel.ch[1];
                    job.value[0] = value[0];
                    job.value[1] = shared ? value[0] : value[1];
                    job.noise = noise;
                    if (gainReduction)
                        kernels->gainMeters(job);
                    else
                        kernels->signalMeters(job);
                    for (int c = 0; c < 2; ++c) {
                        const MeterChannel &r = reference.ch[c], &k = kernel.ch[c];
                        expectClose(k.vu, r.vu, 1e-12, "VU", name, at);
                        expectClose(k.ppm, r.ppm, 1e-12, "PPM", name, at);
                        expectClose(k.vuHold, r.vuHold, 1e-12, "VU hold", name, at);
                        expectClose(k.ppmHold, r.ppmHold, 1e-12, "PPM hold", name, at);
                        EXPECT_EQ(k.vuHoldAge, r.vuHoldAge) << name << " at " << at;
                        EXPECT_EQ(k.ppmHoldAge, r.ppmHoldAge) << name << " at " << at;
                        EXPECT_EQ(k.overCount, r.overCount) << name << " at " << at;
                    }
                }
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
