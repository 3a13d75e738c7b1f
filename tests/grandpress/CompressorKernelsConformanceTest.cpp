// Conformance of the compressor stages' kernels (grandpress/Kernels.h: the static curve, the gain
// computer's envelopes, the detector's levels and the side chain's shelves and link): each kernel
// set, at every length and misaligned start, against the plain per-frame reference within the
// stated tolerance, writing nothing outside its buffers and reading nothing there (the results do
// not change with the guard words).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "grandpress/Detector.h"
#include "grandpress/GainComputer.h"
#include "grandpress/GainCurve.h"
#include "grandpress/Kernels.h"
#include "grandpress/ShelfCascade.h"
#include "grandpress/StageSettings.h"
#include "support/KernelHarness.h"

namespace {

namespace gp = grandpress;
using testsupport::GuardedBuffer;
using testsupport::KernelCase;

class CompressorKernels : public ::testing::TestWithParam<KernelCase> {
  protected:
    void SetUp() override { QRX_SKIP_UNLESS_RUNNABLE(GetParam()); }

    // The case's table; null for the reference.
    const gp::Kernels* table() const {
        if (GetParam() == KernelCase::Reference) return nullptr;
        return &gp::kernelsFor(testsupport::instructionSetOf(GetParam()));
    }
};

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0);
}

// Calls run(n, offset, guard) at every length and start offset, once with each guard value; it
// checks the kernel against its reference and its guards, and returns what the kernel wrote,
// which must not depend on the guard words.
template <class Run>
void atEveryLengthAndOffset(Run run) {
    for (int n : testsupport::kKernelLengths) {
        for (int offset : testsupport::kKernelOffsets) {
            SCOPED_TRACE(testsupport::kernelRunName(n, offset));
            const std::vector<double> a = run(n, offset, GuardedBuffer::kGuardA);
            const std::vector<double> b = run(n, offset, GuardedBuffer::kGuardB);
            ASSERT_TRUE(sameBits(a, b)) << "the results depend on the guard words";
        }
    }
}

// --- The static curve -----------------------------------------------------------------------

// Levels across the whole range the envelope reaches, the knee joints and their neighbours.
std::vector<double> curveLevels() {
    std::vector<double> level;
    for (double x = 1e-4; x < 1e100; x *= 1.13) level.push_back(x);
    for (double x : {0.5, 0.5000001, 1.0, 1.0000001, 1.4999999, 1.5, 0.9999999}) level.push_back(x);
    return level;
}

void runCurve(const gp::Kernels* t, const gp::EngineSettings& s, const double* level, int n,
              double* gain) {
    if (t != nullptr) {
        qrx::dsp::PowerTables powers;
        gp::curveGains(t->gainCurve, s, powers, level, n, gain);
    } else
        gp::referenceCurveGains(s, level, n, gain);
}

TEST_P(CompressorKernels, CurveGivesTheFrameCurvesGains) {
    // The kernels' powers lie within a few units of the last place (their tables); the
    // reference's exp2(r log2 level) rounds r log2 level, some |r log2 level| eps ln 2 of the
    // gain: up to 5e-14 at levels of 1e100 under expansion (r = 2).
    constexpr double kClose = 1e-13;
    constexpr double kTables = 2e-15;
    const std::vector<double> levels = curveLevels();
    for (bool soft : {false, true}) {
        for (float ratio : {0.0f, 0.3f, 0.6f, 0.7f, 0.9f, 1.0f}) {
            SCOPED_TRACE(::testing::Message() << "soft " << soft << " ratio " << ratio);
            const gp::EngineSettings s = testsupport::stageSettings(ratio, soft);
            atEveryLengthAndOffset([&](int n, int offset, double guard) {
                GuardedBuffer level(n, offset, guard), gain(n, (offset + 1) % 4, guard);
                for (int k = 0; k < n; ++k)
                    level[k] = levels[(k * 37 + n + offset) % levels.size()];
                runCurve(table(), s, level.data(), n, gain.data());
                EXPECT_TRUE(level.guardsHold(guard));
                EXPECT_TRUE(gain.guardsHold(guard));
                for (int k = 0; k < n; ++k) {
                    const double frame = gp::GainComputer::gainOf(level[k], s);
                    EXPECT_NEAR(gain[k], frame, kClose * frame) << "level " << level[k];
                    // Above the knee the tables' power is closer still to std::pow's.
                    const double power = std::pow(level[k], s.inverseRatio) / (level[k] + 1e-6);
                    if (table() != nullptr && level[k] >= 1.5) {
                        EXPECT_NEAR(gain[k], power, kTables * power) << "level " << level[k];
                    }
                }
                return gain.values();
            });
        }
    }
}

TEST_P(CompressorKernels, CurveFollowsOneLevelOverTheKneeAnywhere) {
    // A chunk of both channels as the gain stage hands it over, levels just under the knee, soft
    // knee's segment or over it, with one of them far above at each place in turn: every gain is
    // still the frame curve's, whichever way its neighbours go through the curve.
    constexpr int kLevels = 128;
    for (bool soft : {false, true}) {
        const gp::EngineSettings s = testsupport::stageSettings(0.7f, soft);
        for (double base : {0.3, 0.99, 1.2}) {
            for (int place = 0; place < kLevels; ++place) {
                double level[kLevels], gain[kLevels];
                for (int k = 0; k < kLevels; ++k) level[k] = base * (1.0 + 1e-3 * (k % 7));
                level[place] = 40.0;
                runCurve(table(), s, level, kLevels, gain);
                for (int k = 0; k < kLevels; ++k) {
                    const double frame = gp::GainComputer::gainOf(level[k], s);
                    ASSERT_NEAR(gain[k], frame, 1e-13 * frame)
                        << "soft " << soft << " base " << base << " place " << place << " k " << k;
                }
            }
        }
    }
}

TEST_P(CompressorKernels, CurveTakesAnyLevelSafely) {
    // The power's table look-ups take the bits of every level, whatever it is: finite levels up to
    // the largest double give the reference's gains, an infinite one no gain, a NaN a NaN, and
    // no look-up reads outside the tables (the sanitizer build watches).
    if (table() == nullptr) GTEST_SKIP() << "the tables' look-ups only";
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const double level[] = {1e300, std::numeric_limits<double>::max(),        kInf, kNaN, -kNaN,
                            0.0,   std::numeric_limits<double>::denorm_min(), 3.0};
    constexpr int n = sizeof level / sizeof level[0];
    for (bool soft : {false, true}) {
        const gp::EngineSettings s = testsupport::stageSettings(0.7f, soft);  // 4:1
        double gain[n];
        runCurve(table(), s, level, n, gain);
        for (int k = 0; k < n; ++k) {
            SCOPED_TRACE(::testing::Message() << "soft " << soft << " level " << level[k]);
            if (std::isnan(level[k])) {
                EXPECT_TRUE(std::isnan(gain[k]));
            } else if (std::isinf(level[k])) {
                EXPECT_EQ(gain[k], 0.0);
            } else {
                const double frame = gp::GainComputer::gainOf(level[k], s);
                EXPECT_NEAR(gain[k], frame, 1e-13 * frame);
            }
        }
    }
}

// --- The gain computer's envelopes ------------------------------------------------------------

// Detector levels with bursts, slow swings and a channel falling to its floor.
double detectorLeft(int i) {
    return 0.5 + 0.45 * std::sin(0.013 * i) + (i % 97 < 5 ? 1.5 : 0.0) + (i > 2000 ? 8.0 : 0.0);
}
double detectorRight(int i) {
    return i < 300 ? 0.01 * i : (i < 1500 ? 0.002 : 3.0 * (i % 211) / 211.0);
}

// Law bits: RMS (1), auto attack (2), auto release (4), "Classic" (8), S.C.Monit (16), attack
// slower than the release (32).
constexpr int kLaws = 64;
gp::EngineSettings lawSettings(int law) {
    gp::EngineSettings s = testsupport::stageSettings(0.6f, law & 8, law & 1, false, 0.2f);
    s.autoAttack = (law & 2) != 0;
    s.autoRelease = (law & 4) != 0;
    s.classic = (law & 8) != 0;
    if (law & 32) std::swap(s.attackCoefficient, s.releaseCoefficient);
    return s;
}

void runLevels(const gp::Kernels* t, gp::GainComputer& g, const double* dL, const double* dR, int n,
               bool monitor, const gp::EngineSettings& s, double* level) {
    static const gp::ReleaseShape shape;
    if (t != nullptr)
        g.levels(t->gainComputer, dL, dR, n, monitor, s, shape, level);
    else
        g.referenceLevels(dL, dR, n, monitor, s, shape, level);
}

// The level averages' rounding shows in the auto factors at some 1e-12 of the level; a slow
// attack carries it over more frames (1.0e-11 seen with the AVX2 kernels).
constexpr double kEnvelopeClose = 2e-11;

TEST_P(CompressorKernels, EnvelopesAreTheFrameEnvelopesUnderEveryLaw) {
    constexpr int kWarmUp = 300;  // frames through the reference before the chunk
    std::vector<double> dL(kWarmUp + 128), dR(kWarmUp + 128);
    for (int i = 0; i < kWarmUp + 128; ++i) {
        dL[i] = detectorLeft(i * 7);
        dR[i] = detectorRight(i * 5);
    }
    for (int law = 0; law < kLaws; ++law) {
        SCOPED_TRACE(::testing::Message() << "law " << law);
        const gp::EngineSettings s = lawSettings(law);
        const bool monitor = (law & 16) != 0;
        gp::GainComputer warm;
        std::vector<double> discard(2 * kWarmUp);
        runLevels(nullptr, warm, dL.data(), dR.data(), kWarmUp, false, s, discard.data());
        atEveryLengthAndOffset([&](int n, int offset, double guard) {
            GuardedBuffer left(n, offset, guard), right(n, 3 - offset, guard);
            GuardedBuffer level(2 * n, (offset + 2) % 4, guard);
            left.fill({dL.begin() + kWarmUp, dL.end()});
            right.fill({dR.begin() + kWarmUp, dR.end()});
            gp::GainComputer kernel = warm, reference = warm;
            std::vector<double> expected(2 * n);
            runLevels(table(), kernel, left.data(), right.data(), n, monitor, s, level.data());
            runLevels(nullptr, reference, left.data(), right.data(), n, monitor, s,
                      expected.data());
            EXPECT_TRUE(left.guardsHold(guard));
            EXPECT_TRUE(right.guardsHold(guard));
            EXPECT_TRUE(level.guardsHold(guard));
            for (int k = 0; k < 2 * n; ++k)
                EXPECT_NEAR(level[k], expected[k], kEnvelopeClose * expected[k]) << "k " << k;
            for (int c = 0; c < 2; ++c)
                EXPECT_NEAR(kernel.envelope(c), reference.envelope(c),
                            kEnvelopeClose * reference.envelope(c));
            return level.values();
        });
    }
}

TEST_P(CompressorKernels, EnvelopesFollowTheReferenceOverManyUnevenChunks) {
    // Frame by frame over many chunks of uneven length, under every law: the kernels carry their
    // state from chunk to chunk as the reference does, and leave the level averages' memories
    // and offset as the reference does. The memories agree up to rounding: 1e-11 of them (the
    // slow average's poles near 1 gather some 1e-12), and 1e-20 where they hold no more than the
    // 1e-13 offsets (S.C.Monit), so that an offset left out of a memory, or taken twice, shows.
    constexpr int kFrames = 3000;
    std::vector<double> dL(kFrames), dR(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        dL[i] = detectorLeft(i);
        dR[i] = detectorRight(i);
    }
    for (int law = 0; law < kLaws; ++law) {
        const gp::EngineSettings s = lawSettings(law);
        const bool monitor = (law & 16) != 0;
        gp::GainComputer reference, kernel;
        double a[2 * 128], b[2 * 128];
        for (int start = 0, n = 1; start < kFrames; start += n, n = n % 106 + 23) {
            if (start + n > kFrames) n = kFrames - start;
            runLevels(nullptr, reference, &dL[start], &dR[start], n, monitor, s, a);
            runLevels(table(), kernel, &dL[start], &dR[start], n, monitor, s, b);
            for (int k = 0; k < 2 * n; ++k)
                ASSERT_NEAR(b[k], a[k], kEnvelopeClose * a[k])
                    << "law " << law << " frame " << start + k % n;
        }
        for (int c = 0; c < 2; ++c)
            EXPECT_NEAR(kernel.envelope(c), reference.envelope(c),
                        kEnvelopeClose * reference.envelope(c))
                << "law " << law;
        const gp::EnvelopeState& want = reference.envelopeState();
        const gp::EnvelopeState& got = kernel.envelopeState();
        EXPECT_EQ(got.offset, want.offset) << "law " << law;
        const auto expectMemories = [law](const double(&g)[4], const double(&w)[4], char name) {
            for (int k = 0; k < 4; ++k)
                EXPECT_NEAR(g[k], w[k], 1e-11 * std::fabs(w[k]) + 1e-20)
                    << "law " << law << " memory " << name << " lane " << k;
        };
        expectMemories(got.x1, want.x1, 'x');
        expectMemories(got.x2, want.x2, 'X');
        expectMemories(got.y1, want.y1, 'y');
        expectMemories(got.y2, want.y2, 'Y');
    }
}

// --- The detector's levels ---------------------------------------------------------------------

TEST_P(CompressorKernels, DetectorLevelsAreTheReferencesBits) {
    // Sums and centre samples over many decades, silence included. Every product and sum rounds
    // as in the reference, so the levels are the same bits, fast root or exact.
    for (const bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "exact root" : "fast root");
        atEveryLengthAndOffset([&](int n, int offset, double guard) {
            GuardedBuffer q0(n, offset, guard), q1(n, (offset + 1) % 4, guard);
            GuardedBuffer c0(n, (offset + 2) % 4, guard), c1(n, (offset + 3) % 4, guard);
            GuardedBuffer det0(n, offset, guard), det1(n, 3 - offset, guard);
            for (int k = 0; k < n; ++k) {
                const double size = std::pow(10.0, (k % 13) - 9.0);
                q0[k] = size * std::sin(0.37 * k);
                c0[k] = size * std::cos(1.1 * k);
                q1[k] = k % 7 == 0 ? 0.0 : 3.0 * std::sin(0.05 * k);
                c1[k] = k % 7 == 0 ? 0.0 : -std::cos(0.9 * k);
            }
            const double* const sums[2] = {q0.data(), q1.data()};
            const double* const centres[2] = {c0.data(), c1.data()};
            double* const levels[2] = {det0.data(), det1.data()};
            if (table() != nullptr)
                table()->detector.levels(sums, centres, n, 1.7, exact, levels);
            else
                gp::referenceDetectorLevels(sums, centres, n, 1.7, exact, levels);
            std::vector<double> expected0(n), expected1(n);
            double* const expected[2] = {expected0.data(), expected1.data()};
            gp::referenceDetectorLevels(sums, centres, n, 1.7, exact, expected);
            for (const GuardedBuffer* b : {&q0, &q1, &c0, &c1, &det0, &det1})
                EXPECT_TRUE(b->guardsHold(guard));
            EXPECT_TRUE(sameBits(det0.values(), expected0));
            EXPECT_TRUE(sameBits(det1.values(), expected1));
            std::vector<double> both = det0.values();
            both.insert(both.end(), expected1.begin(), expected1.end());
            return both;
        });
    }
}

// --- The side chain's shelves and link --------------------------------------------------------

// Filter state part-way through a glide from one shelf design to another (memories and running
// coefficients of a real signal), and an input chunk of n frames after it.
struct ShelfRun {
    gp::ShelfCascadeState state{};
    gp::EngineSettings target = testsupport::sideChainSettings(0.8f, 0.9f, 1.0f, true);

    explicit ShelfRun(bool arrived) {
        const gp::EngineSettings from = testsupport::sideChainSettings(0.2f, 0.3f, 0.0f, false);
        for (int lane = 0; lane < 4; ++lane) {
            const qrx::dsp::BiquadCoefficients& c = lane < 2 ? from.lowShelf : from.highShelf;
            state.b0[lane] = c.b0, state.b1[lane] = c.b1, state.b2[lane] = c.b2;
            state.a1[lane] = c.a1, state.a2[lane] = c.a2;
        }
        state.bandOffset = qrx::dsp::kBiquadNoiseScale;
        GuardedBuffer in[5] = {GuardedBuffer(300, 0), GuardedBuffer(300, 0), GuardedBuffer(300, 0),
                               GuardedBuffer(300, 0), GuardedBuffer(300, 0)};
        fill(in, 300, 1000);
        std::vector<double> out(4 * 300);
        gp::referenceShelves(state, input(in, 300, false), &out[0], &out[300], &out[600],
                             &out[900]);
        if (arrived) {
            target.lowShelf = coefficients(0);
            target.highShelf = coefficients(2);
        }
    }

    qrx::dsp::BiquadCoefficients coefficients(int lane) const {
        return {state.b0[lane], state.b1[lane], state.b2[lane], state.a1[lane], state.a2[lane]};
    }

    // Side chain L/R, its noise terms L/R and the shelves' noise of frames from .. from + n.
    static void fill(GuardedBuffer (&in)[5], int n, int from) {
        for (int i = 0; i < n; ++i) {
            const double t = from + i;
            in[0][i] = 0.5 * std::sin(0.031 * t) + 0.2 * std::sin(2.1 * t);
            in[1][i] = 0.4 * std::sin(0.0021 * t) + 0.1 * std::sin(1.3 * t);
            in[2][i] = 1e-12 * ((i * 7) % 5 - 2);
            in[3][i] = 1e-12 * ((i * 3) % 5 - 2);
            in[4][i] = 1e-13 * ((i * 5) % 7 - 3);
        }
    }

    gp::ShelfCascadeInput input(GuardedBuffer (&in)[5], int n, bool arrived) const {
        return {in[0].data(),
                in[1].data(),
                in[2].data(),
                in[3].data(),
                in[4].data(),
                n,
                0.9,
                1.1,
                target.lowShelf,
                target.highShelf,
                target.filterGlideRate,
                arrived,
                target.linkBand,
                target.linkAmount};
    }
};

TEST_P(CompressorKernels, ShelvesAndLinkFollowTheReferenceGlidingAndArrived) {
    // See SideChainTest: the cascade rounds differently from the reference by about 1e-16 per
    // frame, gathered by the low shelf's poles near 1 into differences up to some 4e-13 on
    // signals with peaks near 1. A wrong frame, lane or memory hand-over shows at 1e-4 and more.
    constexpr double kClose = 1e-12;
    for (const bool arrived : {false, true}) {
        SCOPED_TRACE(arrived ? "arrived" : "gliding");
        const ShelfRun start(arrived);
        atEveryLengthAndOffset([&](int n, int offset, double guard) {
            GuardedBuffer in[5] = {
                GuardedBuffer(n, offset, guard), GuardedBuffer(n, (offset + 1) % 4, guard),
                GuardedBuffer(n, (offset + 2) % 4, guard),
                GuardedBuffer(n, (offset + 3) % 4, guard), GuardedBuffer(n, 3 - offset, guard)};
            ShelfRun::fill(in, n, 0);
            GuardedBuffer out[4] = {GuardedBuffer(n, offset, guard),
                                    GuardedBuffer(n, (offset + 3) % 4, guard),
                                    GuardedBuffer(n, (offset + 2) % 4, guard),
                                    GuardedBuffer(n, (offset + 1) % 4, guard)};
            gp::ShelfCascadeState kernel = start.state, reference = start.state;
            const gp::ShelfCascadeInput input = start.input(in, n, arrived);
            const gp::SideChainKernels shelves = table() != nullptr
                                                     ? table()->sideChain
                                                     : gp::SideChainKernels{gp::referenceShelves};
            shelves.shelves(kernel, input, out[0].data(), out[1].data(), out[2].data(),
                            out[3].data());
            std::vector<double> expected(4 * n + 4);
            gp::referenceShelves(reference, input, &expected[0], &expected[n], &expected[2 * n],
                                 &expected[3 * n]);
            std::vector<double> written;
            for (int k = 0; k < 4; ++k) {
                EXPECT_TRUE(out[k].guardsHold(guard)) << "output " << k;
                for (int i = 0; i < n; ++i)
                    EXPECT_NEAR(out[k][i], expected[k * n + i], kClose)
                        << "output " << k << " frame " << i;
                const std::vector<double> v = out[k].values();
                written.insert(written.end(), v.begin(), v.end());
            }
            for (const GuardedBuffer& b : in) EXPECT_TRUE(b.guardsHold(guard));
            // The state goes on as the reference's does.
            EXPECT_EQ(kernel.bandOffset, reference.bandOffset);
            for (int lane = 0; lane < 4; ++lane) {
                EXPECT_NEAR(kernel.b0[lane], reference.b0[lane], 1e-15);
                EXPECT_NEAR(kernel.a1[lane], reference.a1[lane], 1e-15);
                EXPECT_NEAR(kernel.y1[lane], reference.y1[lane], kClose);
                EXPECT_NEAR(kernel.x2[lane], reference.x2[lane], kClose);
            }
            for (int c = 0; c < 2; ++c) EXPECT_NEAR(kernel.bandY2[c], reference.bandY2[c], kClose);
            return written;
        });
    }
}

INSTANTIATE_TEST_SUITE_P(GrandPress, CompressorKernels,
                         ::testing::ValuesIn(testsupport::kKernelCases),
                         testsupport::kernelCaseTestName);

}  // namespace
