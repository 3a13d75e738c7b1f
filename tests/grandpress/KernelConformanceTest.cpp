// The engine's kernel table (grandpress/Kernels.h) against the plain per-frame code, for the
// reference itself, the plain x86-64 table and the AVX2 table: every kernel at every length and
// misaligned start, with guard words around every buffer (run twice with different guards:
// nothing is written outside a buffer, and nothing read outside one changes a result).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "dsp/PlainBiquad.h"
#include "grandpress/Kernels.h"
#include "grandpress/Meters.h"
#include "grandpress/OutputStage.h"
#include "grandpress/Parameters.h"
#include "support/KernelHarness.h"

namespace {

namespace gp = grandpress;
using testsupport::GuardedBuffer;
using testsupport::KernelCase;
using testsupport::kernelRunName;
using testsupport::kKernelLengths;
using testsupport::kKernelOffsets;

gp::EngineSettings settingsAt(double rate, float meters = 1.0f, float overIndicator = 0.0f) {
    float p[gp::kNumParams] = {};
    p[gp::kPower] = 1.0f;
    p[gp::kLimiter] = 1.0f;
    p[gp::kRatio] = 0.3f;
    p[gp::kMix] = 1.0f;
    p[gp::kMeters] = meters;
    p[gp::kVuIntegration] = 0.1f;
    p[gp::kPpmIntegration] = 0.2f;
    p[gp::kPpmReturn] = 0.3f;
    p[gp::kOverIndicator] = overIndicator;
    gp::EngineSettings s;
    gp::applyAll(s, p, rate);
    return s;
}

// A test signal: sines with steps, sign changes and, every so often, values far above 1.
double signalAt(int i, int seed) {
    const double t = i + 37.0 * seed;
    const double loud = (i + seed) % 13 < 3 ? 4.0 : 0.7;
    return loud * std::sin(0.21 * t + 0.3 * seed) * std::cos(0.013 * t);
}

std::vector<double> signalOf(int n, int seed) {
    std::vector<double> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = signalAt(i, seed);
    return v;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// The guarded buffers of one run of a kernel, all at one start offset.
class Buffers {
  public:
    Buffers(int offset, double guard) : offset_(offset), guard_(guard) {}
    double* add(int length, const std::vector<double>& values = {}) {
        GuardedBuffer& b = buffers_.emplace_back(length, offset_, guard_);
        if (!values.empty()) b.fill(values);
        for (int i = 0; values.empty() && i < length; ++i) b[i] = 0.0;
        return b.data();
    }
    ::testing::AssertionResult guardsHold() const {
        for (const GuardedBuffer& b : buffers_)
            if (::testing::AssertionResult r = b.guardsHold(guard_); !r) return r;
        return ::testing::AssertionSuccess();
    }
    std::vector<double> values(int k) const { return buffers_[static_cast<size_t>(k)].values(); }

  private:
    int offset_;
    double guard_;
    std::deque<GuardedBuffer> buffers_;
};

// Runs `once(buffers, n)` at every length and offset with both guards; it returns the results
// of the run (its output buffers' values and any state it carries). Checks the guards, that
// both guards gave the same results bit for bit, and that `check(results, n)` holds.
template <class Once, class Check>
void everyRun(Once once, Check check) {
    for (const int n : kKernelLengths)
        for (const int offset : kKernelOffsets) {
            SCOPED_TRACE(kernelRunName(n, offset));
            std::vector<double> results[2];
            int k = 0;
            for (const double guard : {GuardedBuffer::kGuardA, GuardedBuffer::kGuardB}) {
                Buffers buffers(offset, guard);
                results[k++] = once(buffers, n);
                ASSERT_TRUE(buffers.guardsHold());
            }
            ASSERT_TRUE(sameBits(results[0], results[1])) << "a guard word changed a result";
            check(results[0], n);
            if (::testing::Test::HasFatalFailure()) return;
        }
}

void expectNear(const std::vector<double>& got, const std::vector<double>& want, double relative) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        if (relative == 0.0)
            ASSERT_TRUE(sameBits({got[i]}, {want[i]}))
                << "value " << i << ": " << got[i] << " against " << want[i];
        else
            ASSERT_NEAR(got[i], want[i], relative * std::max(1.0, std::fabs(want[i])))
                << "value " << i;
    }
}

void append(std::vector<double>& to, const double* from, int n) {
    to.insert(to.end(), from, from + n);
}

class GrandPressKernels : public ::testing::TestWithParam<KernelCase> {
  protected:
    void SetUp() override { QRX_SKIP_UNLESS_RUNNABLE(GetParam()); }
    bool reference() const { return GetParam() == KernelCase::Reference; }
    const gp::Kernels& table() const {
        return gp::kernelsFor(testsupport::instructionSetOf(GetParam()));
    }
};

}  // namespace

namespace {

// The mix: nine streams in, both channels out.
std::vector<double> runMix(const gp::Kernels* k, Buffers& b, int n) {
    const double* s[9];
    for (int q = 0; q < 9; ++q) s[q] = b.add(n, signalOf(n, q));
    const gp::MixStreams in = {s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], 1.25};
    double* left = b.add(n);
    double* right = b.add(n);
    if (k) {
        k->mix.mix(in, n, left, right);
    } else {
        for (int i = 0; i < n; ++i) {  // the plain formula
            const double makeup = s[6][i] * in.autoMakeup;
            const double wL = s[0][i] * s[4][i] * makeup;
            const double wR = s[1][i] * s[5][i] * makeup;
            left[i] = s[7][i] * (s[2][i] + s[8][i] * (wL - s[2][i]));
            right[i] = s[7][i] * (s[3][i] + s[8][i] * (wR - s[3][i]));
        }
    }
    std::vector<double> out;
    append(out, left, n);
    append(out, right, n);
    return out;
}

TEST_P(GrandPressKernels, MixIsThePlainFormulaBitForBit) {
    everyRun([&](Buffers& b, int n) { return runMix(reference() ? nullptr : &table(), b, n); },
             [&](const std::vector<double>& got, int n) {
                 Buffers plain(0, 0.0);
                 expectNear(got, runMix(nullptr, plain, n), 0.0);
             });
}

// The glides of makeup, output gain and mix from 1 towards 16, 1/8 and 1/2, with noise of either
// sign read at every frame (shift 0) or every second one (shift 1).
std::vector<double> runGlide(const gp::Kernels* k, Buffers& b, int n, int shift) {
    gp::EngineSettings s = settingsAt(44100.0);
    s.makeupGain = 16.0;
    s.outputGain = 0.125;
    s.mixAmount = 0.5;
    const gp::GlidingGains::Pulls pulls = gp::GlidingGains::pullsOf(s);
    std::vector<double> noiseValues(static_cast<size_t>((n + shift) >> shift));
    for (size_t i = 0; i < noiseValues.size(); ++i)
        noiseValues[i] = (i % 3 == 0 ? -1e-18 : 1e-18) * static_cast<double>(1 + i);
    const double* noise = b.add(static_cast<int>(noiseValues.size()), noiseValues);
    double* const glided[3] = {b.add(n), b.add(n), b.add(n)};
    std::vector<double> out;
    if (k) {
        gp::GlideRun run = {
            {1.0, 1.0, 1.0}, {pulls.makeup, pulls.output, pulls.mix}, gp::GlidingGains::kKeep};
        k->mix.glide(run, noise, shift, n, glided);
        for (double* g : glided) append(out, g, n);
        append(out, run.value, 3);
        return out;
    }
    gp::GlidingGains frame;  // makeup, output and mix start at 1
    for (int i = 0; i < n; ++i) {
        frame.glide(pulls, noise[i >> shift]);
        glided[0][i] = frame.makeup;
        glided[1][i] = frame.output;
        glided[2][i] = frame.mix;
    }
    for (double* g : glided) append(out, g, n);
    const double last[3] = {frame.makeup, frame.output, frame.mix};
    append(out, last, 3);
    return out;
}

TEST_P(GrandPressKernels, GlidesFollowTheFrameByFrameGlide) {
    // The kernels' steps of four or eight frames round otherwise than GlidingGains' steps, a few
    // ulps per step, and the glide forgets old errors (0.999 per frame): below 1e-13 relative.
    const double tolerance = GetParam() == KernelCase::Reference ? 0.0 : 1e-13;
    for (const int shift : {0, 1}) {
        SCOPED_TRACE(shift);
        everyRun([&](Buffers& b,
                     int n) { return runGlide(reference() ? nullptr : &table(), b, n, shift); },
                 [&](const std::vector<double>& got, int n) {
                     Buffers plain(0, 0.0);
                     expectNear(got, runGlide(nullptr, plain, n, shift), tolerance);
                 });
    }
}

// The limiter's peak measure of each frame.
std::vector<double> runPeaks(const gp::Kernels* k, Buffers& b, int n) {
    const double* left = b.add(n, signalOf(n, 1));
    const double* right = b.add(n, signalOf(n, 2));
    double* peak = b.add(n);
    if (k) {
        k->limiter.peaks(left, right, n, peak);
    } else {
        for (int i = 0; i < n; ++i)
            peak[i] = std::min(std::max(std::fabs(left[i] * 1.005773063) + 0.011,
                                        std::fabs(right[i] * 1.005773063) + 0.011),
                               1000.0);
    }
    std::vector<double> out;
    append(out, peak, n);
    return out;
}

TEST_P(GrandPressKernels, LimiterPeaksAreThePlainMeasureBitForBit) {
    everyRun([&](Buffers& b, int n) { return runPeaks(reference() ? nullptr : &table(), b, n); },
             [&](const std::vector<double>& got, int n) {
                 Buffers plain(0, 0.0);
                 expectNear(got, runPeaks(nullptr, plain, n), 0.0);
             });
}

// The window maxima over the peak line, for windows of every size the limiter meets (1 kHz to
// 192 kHz, and the sizes around the passes' widths), starting anywhere on the line (runs that
// wrap), with the noise at every frame or every second one.
std::vector<double> runWindows(const gp::Kernels* k, Buffers& b, int n) {
    std::vector<double> line = signalOf(gp::kLimiterRing, 3);
    for (double& v : line) v = std::fabs(v) + 0.011;
    const double* ring = b.add(gp::kLimiterRing, line);
    const double* noise = b.add(2 * n, signalOf(2 * n, 4));
    double* m = b.add(n);
    std::vector<double> out;
    for (const int span : {1, 2, 3, 4, 5, 15, 16, 17, 62, 63, 64, 65, 269, 385})
        for (const unsigned first : {0u, 100u, 480u, 509u, 511u})
            for (const int step : {1, 2}) {
                if (span + n - 1 > gp::kLimiterRing) continue;
                if (k) {
                    k->limiter.windowMaxima(ring, first, span, n, noise, step, m);
                } else {
                    for (int i = 0; i < n; ++i) {
                        double largest = 0.0;
                        for (int j = 0; j < span; ++j)
                            largest = std::max(largest, ring[(first + i + j) & 511u]);
                        m[i] = largest + 0.0009766 + noise[i * step];
                    }
                }
                append(out, m, n);
            }
    return out;
}

TEST_P(GrandPressKernels, LimiterWindowMaximaAreTheLargestPeaksBitForBit) {
    everyRun([&](Buffers& b, int n) { return runWindows(reference() ? nullptr : &table(), b, n); },
             [&](const std::vector<double>& got, int n) {
                 Buffers plain(0, 0.0);
                 expectNear(got, runWindows(nullptr, plain, n), 0.0);
             });
}

// The envelope over window peaks that rise above it and fall below it, from a carried state,
// and the frames it scales on lines that start anywhere (runs that wrap).
std::vector<double> runEnvelope(const gp::Kernels* k, Buffers& b, int n, unsigned first) {
    const gp::EngineSettings s = settingsAt(44100.0);
    const gp::LimiterLaw law = {s.limiterFast, s.limiterSlow, s.limiterRelease, s.limiterAttack};
    std::vector<double> peaks = signalOf(n, 5);
    for (double& v : peaks) v = std::fabs(v) + 0.2;
    const double* m = b.add(n, peaks);
    double* left = b.add(gp::kLimiterRing, signalOf(gp::kLimiterRing, 6));
    double* right = b.add(gp::kLimiterRing, signalOf(gp::kLimiterRing, 7));
    double lanes[2][5] = {{0.9, 0.8, 0.9, 0.8, 1e-13}, {0.7, 0.7, 0.7, 0.7, -1e-13}};
    double e = 1.3;
    if (k) {
        e = k->limiter.envelope(m, n, law, lanes, e, left, right, first);
    } else {
        qrx::dsp::BiquadMemories fast{lanes[0][0], lanes[0][1], lanes[0][2], lanes[0][3]};
        qrx::dsp::BiquadMemories slow{lanes[1][0], lanes[1][1], lanes[1][2], lanes[1][3]};
        for (int i = 0; i < n; ++i) {
            const double f = qrx::dsp::plainBiquadStep(m[i], law.fast, fast, lanes[0][4]);
            const double sl = qrx::dsp::plainBiquadStep(m[i], law.slow, slow, lanes[1][4]);
            if (m[i] > e) {
                e += (m[i] - e) * law.attack;
            } else {
                const double t = 0.2 * f / std::max(sl, 1e-6);
                e += (4.0 * t / (t + 1.0) + 0.1) * (m[i] - e) * law.release;
            }
            const double g = e <= 1.0 ? 1.0 : 1.0 / e;
            const unsigned p = (first + static_cast<unsigned>(i)) & 511u;
            left[p] = std::min(std::max(left[p] * g * 0.999, -0.999), 0.999);
            right[p] = std::min(std::max(right[p] * g * 0.999, -0.999), 0.999);
        }
        const double carried[2][5] = {{fast.x1, fast.x2, fast.y1, fast.y2, lanes[0][4]},
                                      {slow.x1, slow.x2, slow.y1, slow.y2, lanes[1][4]}};
        std::memcpy(lanes, carried, sizeof lanes);
    }
    std::vector<double> out;
    append(out, left, gp::kLimiterRing);
    append(out, right, gp::kLimiterRing);
    append(out, &lanes[0][0], 10);
    out.push_back(e);
    return out;
}

TEST_P(GrandPressKernels, LimiterEnvelopeFollowsTheFrameByFrameEnvelope) {
    // The envelope's steps are arranged differently (one division per two frames, a fused
    // product in the AVX2 build): rounding apart, the same.
    for (const unsigned first : {0u, 37u, 450u, 511u}) {
        SCOPED_TRACE(first);
        everyRun([&](Buffers& b,
                     int n) { return runEnvelope(reference() ? nullptr : &table(), b, n, first); },
                 [&](const std::vector<double>& got, int n) {
                     Buffers plain(0, 0.0);
                     expectNear(got, runEnvelope(nullptr, plain, n, first), 1e-12);
                 });
    }
}

// A meter state's values as the editor would read them.
std::vector<double> readingsOf(const gp::MeterState& m) {
    std::vector<double> out;
    for (const gp::MeterChannel& c : m.ch)
        out.insert(out.end(),
                   {c.vu, c.ppm, c.vuHold, c.ppmHold, c.overCount, static_cast<double>(c.vuHoldAge),
                    static_cast<double>(c.ppmHoldAge)});
    return out;
}

// A meter state loaded from a feed with readings, holds, ages and an over run under way.
void loadMeters(gp::MeterState& m, const gp::EngineSettings& s, double hold) {
    MeterFeed feed;
    for (MeterChannelFeed& c : feed.channel) {
        c.mainLevel = 0.3;
        c.secondLevel = 0.4;
        c.peakA = hold;
        c.peakB = hold;
        c.peakAAge = 100;
        c.peakBAge = 200;
        c.overCount = 2.0;
    }
    m.load(feed, s);
}

// Pre and Post: signal frames through the meters, with bursts past full scale (level 1) or none
// (level 0.2), the over lamp after one sample or after several.
std::vector<double> runSignals(const gp::Kernels* k, Buffers& b, int n, float overIndicator,
                               double level, int step) {
    const gp::EngineSettings s = settingsAt(44100.0, 1.0f, overIndicator);
    std::vector<double> l = signalOf(n, 8), r = signalOf(n, 9), z(static_cast<size_t>(step * n));
    for (double& v : l) v *= level;
    for (double& v : r) v *= level;
    for (size_t i = 0; i < z.size(); ++i) z[i] = (i % 2 ? 1e-12 : -1e-12) * (1 + i % 3);
    const double* left = b.add(n, l);
    const double* right = b.add(n, r);
    const double* noise = b.add(step * n, z);
    gp::MeterState m;
    loadMeters(m, s, 0.5);
    if (k)
        m.feedSignals(k->meters, left, right, n, noise, step);
    else
        for (int i = 0; i < n; ++i) m.feedSignal(left[i], right[i], noise[i * step]);
    return readingsOf(m);
}

TEST_P(GrandPressKernels, SignalMetersReadAsTheFrameByFrameFeedBitForBit) {
    for (const float overIndicator : {0.0f, 0.6f})
        for (const double level : {1.0, 0.2})
            for (const int step : {1, 2}) {
                SCOPED_TRACE(testing::Message() << "over indicator " << overIndicator << ", level "
                                                << level << ", noise step " << step);
                everyRun(
                    [&](Buffers& b, int n) {
                        return runSignals(reference() ? nullptr : &table(), b, n, overIndicator,
                                          level, step);
                    },
                    [&](const std::vector<double>& got, int n) {
                        Buffers plain(0, 0.0);
                        expectNear(got, runSignals(nullptr, plain, n, overIndicator, level, step),
                                   0.0);
                    });
            }
}

// GainRed: gain factors through the meters, compressing and expanding, the noise at the gain
// stage's rate or at half of it (FAT); readings that only reduce (inside (0.01, 1]: the holds
// from the chunk's extremes) or that also expand and drop below 0.01; the PPM's attack faster or
// slower than its return (the PPM's step picks its way by a min or by a max).
std::vector<double> runGains(const gp::Kernels* k, Buffers& b, int n, bool expanding, int shift,
                             bool reducing, bool slowAttack) {
    gp::EngineSettings s = settingsAt(44100.0, 0.5f);
    s.expanding = expanding ? 1 : 0;
    if (slowAttack) std::swap(s.ppmAttack, s.ppmReturn);
    std::vector<double> l(static_cast<size_t>(n)), r(l.size());
    std::vector<double> z(static_cast<size_t>((n + shift) >> shift));
    for (int i = 0; i < n; ++i) {
        l[static_cast<size_t>(i)] = reducing
                                        ? 0.6 + 0.35 * std::sin(0.1 * i)
                                        : 1.0 + 0.9 * std::sin(0.07 * i) + (i % 9 == 4 ? 0.6 : 0.0);
        r[static_cast<size_t>(i)] =
            reducing ? 0.4 + 0.3 * std::cos(0.2 * i) : 0.006 + 0.005 * std::cos(0.3 * i);
    }
    for (size_t i = 0; i < z.size(); ++i) z[i] = i % 2 ? 1e-12 : -1e-12;
    const double* gainLeft = b.add(n, l);
    const double* gainRight = b.add(n, r);
    const double* noise = b.add(static_cast<int>(z.size()), z);
    const double limiterGain = reducing ? 1.0 : 0.7;
    gp::MeterState m;
    loadMeters(m, s, 0.5);
    if (k)
        m.feedGains(k->meters, gainLeft, gainRight, n, limiterGain, noise, shift);
    else
        for (int i = 0; i < n; ++i)
            m.feedGain(gainLeft[i], gainRight[i], limiterGain, noise[i >> shift]);
    return readingsOf(m);
}

TEST_P(GrandPressKernels, GainMetersReadAsTheFrameByFrameFeedBitForBit) {
    for (const bool expanding : {false, true})
        for (const int shift : {0, 1})
            for (const bool reducing : {false, true})
                for (const bool slowAttack : {false, true}) {
                    SCOPED_TRACE(testing::Message()
                                 << (expanding ? "expanding" : "compressing") << ", noise shift "
                                 << shift << (reducing ? ", reducing only" : "")
                                 << (slowAttack ? ", attack slower than the return" : ""));
                    everyRun(
                        [&](Buffers& b, int n) {
                            return runGains(reference() ? nullptr : &table(), b, n, expanding,
                                            shift, reducing, slowAttack);
                        },
                        [&](const std::vector<double>& got, int n) {
                            Buffers plain(0, 0.0);
                            expectNear(
                                got,
                                runGains(nullptr, plain, n, expanding, shift, reducing, slowAttack),
                                0.0);
                        });
                }
}

INSTANTIATE_TEST_SUITE_P(Sets, GrandPressKernels, ::testing::ValuesIn(testsupport::kKernelCases),
                         testsupport::kernelCaseTestName);

}  // namespace
