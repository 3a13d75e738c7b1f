// Every kernel of the chunk kernel table (ChunkKernels.h) against the plain per-frame code it
// replaces, for the reference itself, the baseline build and the AVX2 build, at every length and
// start offset of support/KernelHarness.h, on buffers with guard words around them: the values
// agree within the kernel's stated tolerance, no guard word is written, and the values do not
// depend on what the guards hold. Each run goes three chunks from a state the plain code warmed
// up, so the carried state is held to the reference too.
//
// The kernels meet the signal path's chunk buffers, which fixes what they may assume: those
// marked "chunk" take at most kChunk frames, aligned buffers where they say so, and may read and
// write up to whole vectors of four frames past n (the buffers are padded here, and the guards
// sit after the padding).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "dsp/DenormalNoise.h"
#include "dsp/GlidingBiquad.h"
#include "support/KernelHarness.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/GainComputer.h"
#include "tinypress/Meters.h"
#include "tinypress/SignalPath.h"

namespace tinypress {
namespace {

using testsupport::GuardedBuffer;
using testsupport::KernelCase;

constexpr int kRounds = 3;  // chunks per run
constexpr int kAnyOffset[] = {0, 1, 2, 3};
constexpr int kAligned[] = {0};

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Frames rounded up to whole vectors of four (what a chunk kernel may touch).
int padded(int n) {
    return (n + 3) / 4 * 4;
}

// What a run leaves: its values (outputs, then the carried state) and whether its guards held.
struct Outcome {
    std::vector<double> values;
    ::testing::AssertionResult guards = ::testing::AssertionSuccess();

    void take(const GuardedBuffer& b, double guard, int count) {
        for (int i = 0; i < count; ++i) values.push_back(b[i]);
        if (guards && !b.guardsHold(guard)) guards = b.guardsHold(guard);
    }
    void add(std::initializer_list<double> v) { values.insert(values.end(), v); }
};

// A guarded buffer of `length` (plus padding) at `offset`, filled by `value(i)`.
GuardedBuffer filled(int length, int offset, double guard,
                     const std::function<double(int)>& value) {
    GuardedBuffer b(length, offset, guard);
    for (int i = 0; i < length; ++i) b[i] = value(i);
    return b;
}

const ChunkKernels& built(KernelCase c) {
    return tinypress::kernelsFor(testsupport::instructionSetOf(c));
}

class TinyPressKernelConformance : public ::testing::TestWithParam<KernelCase> {
  protected:
    void SetUp() override { QRX_SKIP_UNLESS_RUNNABLE(GetParam()); }

    // Runs `run` at every length (up to `longest`) and offset, with both guard values, against
    // the reference's run. `tolerance`: relative, absolute below 1.
    template <class Run, std::size_t N>
    void conform(const char* what, const Run& run, double tolerance, const int (&offsets)[N],
                 int longest = 1 << 20) {
        for (const int n : testsupport::kKernelLengths) {
            if (n > longest) continue;
            for (const int offset : offsets) {
                const std::string at =
                    std::string(what) + ", " + testsupport::kernelRunName(n, offset);
                const Outcome a = run(GetParam(), n, offset, GuardedBuffer::kGuardA);
                const Outcome b = run(GetParam(), n, offset, GuardedBuffer::kGuardB);
                const Outcome e = run(KernelCase::Reference, n, offset, GuardedBuffer::kGuardA);
                EXPECT_TRUE(a.guards) << at;
                EXPECT_TRUE(b.guards) << at;
                ASSERT_EQ(a.values.size(), e.values.size()) << at;
                ASSERT_EQ(b.values.size(), e.values.size()) << at;
                EXPECT_TRUE(agree(a, b, e, tolerance)) << at;
            }
        }
    }

    static ::testing::AssertionResult agree(const Outcome& a, const Outcome& b, const Outcome& e,
                                            double tolerance) {
        for (std::size_t i = 0; i < e.values.size(); ++i) {
            if (!sameBits(a.values[i], b.values[i]))
                return ::testing::AssertionFailure() << "value " << i << " depends on the guards";
            const double limit = tolerance * std::max(1.0, std::fabs(e.values[i]));
            if (!(std::fabs(a.values[i] - e.values[i]) <= limit) &&
                !sameBits(a.values[i], e.values[i]))
                return ::testing::AssertionFailure()
                       << "value " << i << ": " << a.values[i] << ", reference " << e.values[i];
        }
        return ::testing::AssertionSuccess();
    }
};

// ---- noise ----

qrx::dsp::DenormalNoise advanced(double scale, int steps) {
    qrx::dsp::DenormalNoise g(scale);
    for (int k = 0; k < steps; ++k) g.next();
    return g;
}

void addWords(Outcome& o, const std::uint32_t w[3]) {
    o.add({double(w[0]), double(w[1]), double(w[2])});
}

// `count` (up to 2 kChunk) values of a generator.
Outcome runNoise(KernelCase c, int n, int offset, double guard) {
    qrx::dsp::DenormalNoise g = advanced(1e-12, 5);
    std::uint32_t w[3] = {g.words().s1, g.words().s2, g.words().s3};
    GuardedBuffer to(n, offset, guard);
    Outcome o;
    for (int round = 0; round < kRounds; ++round) {
        if (c == KernelCase::Reference) {
            for (int k = 0; k < n; ++k) to[k] = g.next();
            w[0] = g.words().s1, w[1] = g.words().s2, w[2] = g.words().s3;
        } else {
            built(c).noise(w, 1e-12, n, to.data());
        }
        o.take(to, guard, n);
        addWords(o, w);
    }
    return o;
}

// 2n values of the engine's generator and n of a shelf's (chunk).
Outcome runNoisePair(KernelCase c, int n, int offset, double guard) {
    qrx::dsp::DenormalNoise a = advanced(1e-12, 0), b = advanced(1e-13, 7);
    std::uint32_t wa[3] = {a.words().s1, a.words().s2, a.words().s3};
    std::uint32_t wb[3] = {b.words().s1, b.words().s2, b.words().s3};
    GuardedBuffer toA(2 * n, offset, guard), toB(n, 3 - offset, guard);
    Outcome o;
    for (int round = 0; round < kRounds; ++round) {
        if (c == KernelCase::Reference) {
            for (int k = 0; k < 2 * n; ++k) toA[k] = a.next();
            for (int k = 0; k < n; ++k) toB[k] = b.next();
            wa[0] = a.words().s1, wa[1] = a.words().s2, wa[2] = a.words().s3;
            wb[0] = b.words().s1, wb[1] = b.words().s2, wb[2] = b.words().s3;
        } else {
            built(c).noisePair(wa, 1e-12, toA.data(), wb, 1e-13, toB.data(), n);
        }
        o.take(toA, guard, 2 * n);
        o.take(toB, guard, n);
        addWords(o, wa);
        addWords(o, wb);
    }
    return o;
}

TEST_P(TinyPressKernelConformance, Noise) {
    conform("noise", runNoise, 1e-15, kAnyOffset);
    conform("noise pair", runNoisePair, 1e-15, kAnyOffset, kChunk);
}

// The engine's two values per sample: the first onto both main channels, the second the offset.
Outcome runSpreadNoise(KernelCase c, int n, int offset, double guard) {
    const GuardedBuffer values =
        filled(2 * n, offset, guard, [](int i) { return (i % 2 ? -1e-12 : 1e-12) * (i + 1); });
    GuardedBuffer left = filled(n, 3 - offset, guard, [](int i) { return 0.25 * i; });
    GuardedBuffer right = filled(n, offset, guard, [](int i) { return -0.5 * i; });
    GuardedBuffer offsets = filled(n, (offset + 1) % 4, guard, [](int) { return 7.0; });
    Outcome o;
    for (int round = 0; round < kRounds; ++round) {
        if (c == KernelCase::Reference) {
            for (int k = 0; k < n; ++k) {
                left[k] += values[2 * k];
                right[k] += values[2 * k];
                offsets[k] = values[2 * k + 1];
            }
        } else {
            built(c).spreadNoise(values.data(), n, left.data(), right.data(), offsets.data());
        }
        o.take(left, guard, n);
        o.take(right, guard, n);
        o.take(offsets, guard, n);
    }
    return o;
}

TEST_P(TinyPressKernelConformance, SpreadNoise) {
    conform("spread noise", runSpreadNoise, 0.0, kAnyOffset);
}

// ---- plain per-sample maps ----

// Engine samples out as their nearest floats (guards in floats around the output).
Outcome runWriteFloats(KernelCase c, int n, int offset, double guard) {
    constexpr int kGuards = GuardedBuffer::kGuardWords;
    const GuardedBuffer from = filled(
        n, offset, guard, [n](int k) { return std::sin(0.37 * (k + n)) * (1.0 + 1e-9 * k); });
    const float floatGuard = static_cast<float>(guard);
    std::vector<float> to(static_cast<std::size_t>(n + 2 * kGuards + 4), floatGuard);
    float* const out = to.data() + kGuards + offset;
    if (c == KernelCase::Reference)
        for (int k = 0; k < n; ++k) out[k] = static_cast<float>(from[k]);
    else
        built(c).writeFloats(from.data(), n, out);
    Outcome o;
    for (int k = 0; k < n; ++k) o.add({out[k]});
    for (const float* g = to.data(); g < to.data() + to.size(); ++g) {
        if (g >= out && g < out + n) continue;
        if (std::memcmp(g, &floatGuard, sizeof floatGuard) != 0)
            o.guards = ::testing::AssertionFailure() << "float written at " << g - out;
    }
    return o;
}

// to = factor * from, anywhere in a run.
Outcome runScale(KernelCase c, int n, int offset, double guard) {
    const GuardedBuffer from =
        filled(n, offset, guard, [](int k) { return std::sin(0.71 * k) * 3.0; });
    GuardedBuffer to(n, 3 - offset, guard);
    if (c == KernelCase::Reference)
        for (int k = 0; k < n; ++k) to[k] = 0.37 * from[k];
    else
        built(c).scale(from.data(), n, 0.37, to.data());
    Outcome o;
    o.take(to, guard, n);
    return o;
}

// The stereo link, sqrt(l^2 + r^2) * 0.7071, on aligned chunk buffers.
Outcome runLink(KernelCase c, int n, int offset, double guard) {
    const GuardedBuffer left =
        filled(n, offset, guard, [n](int k) { return std::sin(0.3 * k + n); });
    const GuardedBuffer right =
        filled(n, offset, guard, [](int k) { return 0.5 * std::cos(0.17 * k); });
    GuardedBuffer linked(n, offset, guard);
    if (c == KernelCase::Reference)
        for (int k = 0; k < n; ++k)
            linked[k] = std::sqrt(left[k] * left[k] + right[k] * right[k]) * 0.7071;
    else
        built(c).link(left.data(), right.data(), n, linked.data());
    Outcome o;
    o.take(linked, guard, n);
    return o;
}

TEST_P(TinyPressKernelConformance, PlainMaps) {
    conform("floats out", runWriteFloats, 0.0, kAnyOffset);
    conform("scale", runScale, 0.0, kAnyOffset);
    conform("link", runLink, 1e-15, kAligned);
}

// ---- side-chain shelves ----

struct ShelfDesigns {
    qrx::dsp::BiquadCoefficients lowFrom, highFrom, lowTo, highTo;
};

const ShelfDesigns& shelfDesigns() {
    using qrx::dsp::designBiquad;
    static const ShelfDesigns d{
        designBiquad(qrx::dsp::kBiquadLowShelf, 110.0, 1.0, 12.0, 44100.0),
        designBiquad(qrx::dsp::kBiquadHighShelf, 4500.0, 1.2, 20.0, 44100.0),
        designBiquad(qrx::dsp::kBiquadLowShelf, 150.0, 0.35, -9.0, 44100.0),
        designBiquad(qrx::dsp::kBiquadHighShelf, 6000.0, 0.35, -9.0, 44100.0)};
    return d;
}

double sideSignal(int lane, int at) {
    return lane == 0 ? std::sin(0.07 * at) + 0.3 * std::sin(1.9 * at)
                     : 0.5 * std::cos(0.031 * at) - 0.2 * std::sin(2.7 * at);
}

// One frame of a lane's two shelves by the plain gliding biquad, on their own generators.
double referenceShelves(double x, ShelfState& low, ShelfState& high) {
    const ShelfDesigns& d = shelfDesigns();
    const double y =
        qrx::dsp::glidingBiquadStep(x, d.lowTo, low.current, low.memories, 0.001, low.noise);
    return qrx::dsp::glidingBiquadStep(y, d.highTo, high.current, high.memories, 0.001, high.noise);
}

constexpr int kWarmFrames = 40;

// How the shelves of the two lanes stand: their generators all alike (one noise run) and so
// their running designs, alike but with the right lane's low or high shelf gliding from another
// design, or each generator at its own point of the run.
enum class ShelfStart { Alike, LowApart, HighApart, OwnNoise };

// Shelves [low, high][lane] gliding from the reset designs, warmed up by the plain code. Their
// noise is loud enough to show a value taken for the wrong shelf or frame.
void warmShelves(ShelfState (&s)[2][2], ShelfStart start) {
    const ShelfDesigns& d = shelfDesigns();
    for (int f = 0; f < 4; ++f) {
        ShelfState& st = s[f / 2][f % 2];
        st.snap(f / 2 ? d.highFrom : d.lowFrom);
        st.noise = advanced(1e-5, start == ShelfStart::OwnNoise ? 3 * f + 1 : 0);
    }
    if (start == ShelfStart::LowApart) s[0][1].snap(d.highFrom);
    if (start == ShelfStart::HighApart) s[1][1].snap(d.lowFrom);
    for (int at = 0; at < kWarmFrames; ++at)
        for (int c = 0; c < 2; ++c) referenceShelves(sideSignal(c, at), s[0][c], s[1][c]);
}

// Lane c's side chain through its shelves; the built kernels get the runs of the generators
// (one run for all four where they agree), as the signal path makes them.
Outcome runShelves(KernelCase c, int n, int offset, double guard, ShelfStart start) {
    const bool shared = start != ShelfStart::OwnNoise;
    ShelfState s[2][2];
    warmShelves(s, start);
    Outcome o;
    for (int round = 0; round < kRounds; ++round) {
        const int at = kWarmFrames + round * n;
        GuardedBuffer side[2] = {
            filled(n, offset, guard, [at](int k) { return sideSignal(0, at + k); }),
            filled(n, 3 - offset, guard, [at](int k) { return sideSignal(1, at + k); })};
        if (c == KernelCase::Reference) {
            for (int lane = 0; lane < 2; ++lane)
                for (int k = 0; k < n; ++k)
                    side[lane][k] = referenceShelves(side[lane][k], s[0][lane], s[1][lane]);
        } else {
            std::vector<GuardedBuffer> runs;
            for (int f = 0; f < 4; ++f)
                runs.push_back(filled(n, (offset + f) % 4, guard,
                                      [&](int) { return s[f % 2][f / 2].noise.next(); }));
            // runs: low left, high left, low right, high right
            ShelfJob job(n, 0.001, shelfDesigns().lowTo, shelfDesigns().highTo);
            for (int lane = 0; lane < 2; ++lane)
                job.lane(lane, s[0][lane], s[1][lane], runs[shared ? 0 : 2 * lane].data(),
                         runs[shared ? 0 : 2 * lane + 1].data(), side[lane].data());
            built(c).shelves(job);
            for (const GuardedBuffer& r : runs) o.take(r, guard, 0);
        }
        o.take(side[0], guard, n);
        o.take(side[1], guard, n);
    }
    for (const auto& pair : s) {
        for (const ShelfState& st : pair) {
            const qrx::dsp::BiquadCoefficients& k = st.current;
            const qrx::dsp::BiquadMemories& m = st.memories;
            o.add({k.b0, k.b1, k.b2, k.a1, k.a2, m.x1, m.x2, m.y1, m.y2});
        }
    }
    return o;
}

// Outputs and memories are signal values about 1; the fused and reordered sums round apart.
TEST_P(TinyPressKernelConformance, Shelves) {
    for (const ShelfStart start :
         {ShelfStart::Alike, ShelfStart::LowApart, ShelfStart::HighApart, ShelfStart::OwnNoise}) {
        const std::string what = "shelves, start " + std::to_string(int(start));
        conform(
            what.c_str(),
            [start](KernelCase c, int n, int offset, double guard) {
                return runShelves(c, n, offset, guard, start);
            },
            1e-10, kAnyOffset);
    }
}

// ---- envelope, gain curve and output ----

// Detector levels from far below to far above the threshold, signed as the "Draft" detector
// gives them.
double levelAt(int lane, int at) {
    const double swell = std::exp(6.0 * std::sin(0.01 * at));  // 0.0025 .. 400
    return lane == 0 ? 0.05 * swell * std::sin(0.3 * at) : 0.1 * swell * std::cos(0.11 * at);
}
double mainAt(int lane, int at) {
    return lane == 0 ? 0.5 * std::sin(0.05 * at) : -0.25;
}
double offsetAt(int at) {
    return at % 2 ? 1e-12 : -1e-12;
}

// The plain per-frame dynamics: glides, envelope and gain curve of both lanes.
struct ReferenceDynamics {
    const EngineSettings& s;
    EnvelopeState (&states)[2];
    double &makeup, &output;

    // Frame k's gains, outputs and output state.
    void frame(const double* const level[2], const double* const main[2], double noise,
               double* const gain[2], double* const out[2], double& outGain) const {
        makeup = makeup + (s.makeupTarget - makeup) * 0.001 + noise;
        output = output + (s.outputTarget - output) * 0.001 + noise;
        const double autoMakeup = s.autoMakeup ? s.autoMakeupGain : 1.0;
        const bool rms = s.rms != 0;
        for (int c = 0; c < 2; ++c) {
            const double v = states[c].step(normalisedLevel(*level[c], s.thresholdGain, rms), s);
            *gain[c] = gainOfEnvelope(v, s.inverseRatio, s.softKnee, s.kneeLowY, s.kneeHighY);
            *out[c] = *main[c] * *gain[c] * makeup * autoMakeup * output;
        }
        outGain = output;
    }
};

// `agree`: both lanes see the left lane's levels from the same state, and the built kernels are
// told so (as the signal path does for linked lanes).
Outcome runDynamics(KernelCase c, int n, int offset, double guard, const EngineSettings& s,
                    bool agree) {
    const int right = agree ? 0 : 1;
    EnvelopeState states[2];
    double makeup = 0.3, output = 3.0;  // far from their targets
    const ReferenceDynamics reference{s, states, makeup, output};
    for (int at = 0; at < kWarmFrames; ++at) {
        const double level[2] = {levelAt(0, at), levelAt(right, at)}, main[2] = {};
        double gain[2], out[2], outGain;
        const double* const l[2] = {&level[0], &level[1]};
        const double* const m[2] = {&main[0], &main[1]};
        double* const g[2] = {&gain[0], &gain[1]};
        double* const y[2] = {&out[0], &out[1]};
        reference.frame(l, m, offsetAt(at), g, y, outGain);
    }
    Outcome o;
    for (int round = 0; round < kRounds; ++round) {
        const int at = kWarmFrames + round * n, whole = padded(n);
        // Levels and offsets anywhere; main, gains and outputs in aligned chunk buffers.
        GuardedBuffer level[2] = {
            filled(whole, offset, guard, [at](int k) { return levelAt(0, at + k); }),
            filled(whole, 3 - offset, guard, [=](int k) { return levelAt(right, at + k); })};
        const GuardedBuffer main[2] = {
            filled(whole, 0, guard, [at](int k) { return mainAt(0, at + k); }),
            filled(whole, 0, guard, [at](int k) { return mainAt(1, at + k); })};
        const GuardedBuffer noise =
            filled(n, offset, guard, [at](int k) { return offsetAt(at + k); });
        GuardedBuffer gain[2] = {GuardedBuffer(whole, 0, guard), GuardedBuffer(whole, 0, guard)};
        GuardedBuffer out[2] = {GuardedBuffer(whole, 0, guard), GuardedBuffer(whole, 0, guard)};
        GuardedBuffer outGain(whole, 0, guard);
        if (c == KernelCase::Reference) {
            for (int k = 0; k < n; ++k) {
                const double* const l[2] = {level[0].data() + k, level[1].data() + k};
                const double* const m[2] = {main[0].data() + k, main[1].data() + k};
                double* const g[2] = {gain[0].data() + k, gain[1].data() + k};
                double* const y[2] = {out[0].data() + k, out[1].data() + k};
                reference.frame(l, m, noise[k], g, y, outGain[k]);
            }
        } else {
            qrx::dsp::PowerTables powers;
            powers.design(s.inverseRatio);
            DynamicsJob job(n, s, powers, noise.data(), makeup, output, outGain.data());
            for (int lane = 0; lane < 2; ++lane)
                job.lane(lane, states[lane], level[lane].data(), main[lane].data(),
                         gain[lane].data(), out[lane].data());
            job.lanesAgree = agree;
            built(c).dynamics(job);
            // Agreeing lanes share the left lane's gains.
            if (job.gain[1] != gain[1].data())
                for (int k = 0; k < n; ++k) gain[1][k] = job.gain[1][k];
            makeup = job.makeup;
            output = job.output;
        }
        for (int lane = 0; lane < 2; ++lane) {
            o.take(level[lane], guard, 0);
            o.take(main[lane], guard, 0);
            o.take(gain[lane], guard, n);
            o.take(out[lane], guard, n);
        }
        o.take(noise, guard, 0);
        o.take(outGain, guard, n);
    }
    for (const EnvelopeState& e : states)
        o.add({e.envelope, e.fast.x1, e.fast.x2, e.fast.y1, e.fast.y2, e.slow.x1, e.slow.x2,
               e.slow.y1, e.slow.y2, e.fastOffset, e.slowOffset});
    o.add({makeup, output});
    return o;
}

// Every exponent p = 1/R the ratios give (expanding too), both knees and detectors, with and
// without auto release, lanes apart and agreeing, an attack faster and one slower than the
// release (chunk).
TEST_P(TinyPressKernelConformance, Dynamics) {
    for (const double p : {1.0, 1.0 / 1.5, 0.25, 1.0 / 64.0, 2.0}) {
        for (int variant = 0; variant < 32; ++variant) {
            EngineSettings s =
                tinypress_test::dynamicsSettings(p, variant & 1, variant & 2, variant & 4);
            const bool agree = (variant & 8) != 0;
            if (variant & 16) s.attackCoefficient = attackCoefficientOf(300.0, 44100.0, s.rms != 0);
            const std::string what =
                "dynamics, p " + std::to_string(p) + ", variant " + std::to_string(variant);
            conform(
                what.c_str(),
                [&s, agree](KernelCase c, int n, int offset, double guard) {
                    return runDynamics(c, n, offset, guard, s, agree);
                },
                1e-11, kAnyOffset, kChunk);
        }
    }
}

// ---- meters ----

enum class MeterRun { Signal, Gain, GainReduction, LinkedGain };

double meterValue(MeterRun run, int lane, int at) {
    if (run == MeterRun::GainReduction)  // every gain in (0.01, 1)
        return lane == 0 ? 0.5 + 0.45 * std::sin(0.02 * at)
                         : 0.9 - 0.3 * std::fabs(std::sin(0.005 * at));
    if (run == MeterRun::LinkedGain) lane = 0;
    // Runs at and above full scale, and gains on both sides of 1.
    return lane == 0 ? 1.2 * std::sin(0.01 * at) * (at % 50 < 10 ? 1.0 : 0.5)
                     : 0.6 + 0.9 * std::fabs(std::cos(0.013 * at));
}

// Frame `at` of both channels' meters by the plain per-sample feeders.
void referenceMeters(Meters& m, MeterRun run, const double value[2], double noise) {
    for (int c = 0; c < 2; ++c) {
        if (run == MeterRun::Signal)
            m.signal(c, std::fabs(value[c]), noise);
        else
            m.gain(c, value[c], noise);
    }
}

Outcome runMeters(KernelCase c, int n, int offset, double guard, MeterRun run, bool compressing,
                  bool slowAttack) {
    EngineSettings s;
    s.vu = qrx::dsp::designBiquad(qrx::dsp::kBiquadLowPass, 350.0, kVuQuality, 0.0, 44100.0);
    s.ppmAttack = slowAttack ? 0.0004 : 0.3;
    s.ppmReturn = 0.001;
    s.meterScale = 0.8;
    s.meterMix = 0.7;
    s.compressing = compressing;
    s.overSamples = 3;
    MeterFeed feed;
    Meters m;
    m.load(feed, s);
    for (int at = 0; at < kWarmFrames; ++at) {
        const double value[2] = {meterValue(run, 0, at), meterValue(run, 1, at)};
        referenceMeters(m, run, value, offsetAt(at));
    }
    Outcome o;
    for (int round = 0; round < kRounds; ++round) {
        const int at = kWarmFrames + round * n;
        // Ages as the end of a call leaves them, so a hold taken in this chunk shows as 0; now
        // and then the editor lets the holds fall back to 1.
        for (MeterChannel& ch : m.ch) {
            ch.vuHoldAge = ch.ppmHoldAge = 100;
            if (round == 1) ch.vuHold = ch.ppmHold = 1.0;
        }
        const GuardedBuffer value[2] = {
            filled(padded(n), offset, guard, [&](int k) { return meterValue(run, 0, at + k); }),
            filled(padded(n), 3 - offset, guard,
                   [&](int k) { return meterValue(run, 1, at + k); })};
        const GuardedBuffer noise =
            filled(n, offset, guard, [at](int k) { return offsetAt(at + k); });
        if (c == KernelCase::Reference) {
            for (int k = 0; k < n; ++k) {
                const double v[2] = {value[0][k], value[1][k]};
                referenceMeters(m, run, v, noise[k]);
            }
        } else {
            const double* right = run == MeterRun::LinkedGain ? value[0].data() : value[1].data();
            const MeterJob job(n, m.constants(), m.ch[0], m.ch[1], value[0].data(), right,
                               noise.data());
            if (run == MeterRun::Signal)
                built(c).signalMeters(job);
            else
                built(c).gainMeters(job);
        }
        for (const GuardedBuffer& v : value) o.take(v, guard, 0);
        o.take(noise, guard, 0);
        for (const MeterChannel& ch : m.ch)
            o.add({ch.vu, ch.ppm, ch.vuHold, ch.ppmHold, double(ch.vuHoldAge),
                   double(ch.ppmHoldAge), ch.overCount, ch.vuMemories.x1, ch.vuMemories.x2,
                   ch.vuMemories.y1, ch.vuMemories.y2, ch.vuOffset});
    }
    return o;
}

// Signal readings, gains on both sides of 1, gain reduction only (the fast path of the holds),
// and linked lanes reading one gain buffer (gain meters: chunk), with a PPM attack faster and one
// slower than its return.
TEST_P(TinyPressKernelConformance, Meters) {
    for (const bool compressing : {false, true}) {
        for (const bool slowAttack : {false, true}) {
            for (const MeterRun run : {MeterRun::Signal, MeterRun::Gain, MeterRun::GainReduction,
                                       MeterRun::LinkedGain}) {
                const std::string what = "meters, run " + std::to_string(int(run)) +
                                         (compressing ? ", compressing" : ", expanding") +
                                         (slowAttack ? ", slow attack" : "");
                conform(
                    what.c_str(),
                    [=](KernelCase c, int n, int offset, double guard) {
                        return runMeters(c, n, offset, guard, run, compressing, slowAttack);
                    },
                    1e-12, kAnyOffset, run == MeterRun::Signal ? 1 << 20 : kChunk);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(KernelSets, TinyPressKernelConformance,
                         ::testing::ValuesIn(testsupport::kKernelCases),
                         testsupport::kernelCaseTestName);

}  // namespace
}  // namespace tinypress
