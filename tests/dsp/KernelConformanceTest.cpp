// The dsp kernel table against its plain references: every kernel of each built table (baseline
// SSE2, and AVX2+FMA where the processor has it) at every length and misaligned start, with guard
// words around every buffer. A kernel passes when it gives its reference's values within the
// stated tolerance, writes nothing outside its buffers, and gives the same bits whatever the
// guards hold. The Reference case runs the references themselves through the same checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/Kernels.h"
#include "support/KernelHarness.h"

namespace qrx::dsp {
namespace {

using testsupport::GuardedBuffer;
using testsupport::KernelCase;
using testsupport::kernelRunName;
using testsupport::kKernelLengths;
using testsupport::kKernelOffsets;

constexpr double kGuards[] = {GuardedBuffer::kGuardA, GuardedBuffer::kGuardB};

std::vector<double> signal(int n, double step) {
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = std::sin(step * i) + 0.01 * (i % 7);
    return x;
}

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The runs of the second guard value (or way of calling) against the first: bit for bit.
::testing::AssertionResult sameRuns(const std::vector<double>& a, const std::vector<double>& b,
                                    const char* what = "the guards") {
    for (size_t i = 0; i < a.size(); ++i)
        if (!sameBits(a[i], b[i]))
            return ::testing::AssertionFailure() << "value " << i << " depends on " << what;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult near(const std::vector<double>& got, const std::vector<double>& want,
                                const std::vector<double>& tolerance) {
    for (size_t i = 0; i < want.size(); ++i)
        if (!(std::fabs(got[i] - want[i]) <= tolerance[i]))
            return ::testing::AssertionFailure() << "value " << i << ": " << got[i] << ", expected "
                                                 << want[i] << " within " << tolerance[i];
    return ::testing::AssertionSuccess();
}

// Runs `once(guard)` (which returns every value the kernel gave, after checking its buffers'
// guards) with both guard values: the same bits either way, and within `tolerance` of `want`.
template <class Once>
void expectConforms(const std::string& where, const std::vector<double>& want,
                    const std::vector<double>& tolerance, Once once) {
    SCOPED_TRACE(where);
    const std::vector<double> first = once(kGuards[0]);
    ASSERT_EQ(first.size(), want.size());
    ASSERT_TRUE(sameRuns(first, once(kGuards[1])));
    ASSERT_TRUE(near(first, want, tolerance));
}

// ---- the reference table ----

void referenceInterleaved(const halfband::PhaseTaps& taps, const double* x, const double* direct,
                          double* out2n, int count) noexcept {
    for (int i = 0; i < count; ++i) {
        halfband::referencePhaseSums(taps, x + i, out2n + 2 * i, 1);
        out2n[2 * i + 1] = direct[i];
    }
}
void referenceWithDirect(const halfband::PhaseTaps& taps, const double* x, const double* direct,
                         double directTap, double* out, int count) noexcept {
    halfband::referencePhaseSums(taps, x, out, count);
    for (int i = 0; i < count; ++i) out[i] += directTap * direct[i];
}
void referenceSplit(const double* pairs, double* even, double* odd, int count) noexcept {
    for (int i = 0; i < count; ++i) {
        even[i] = pairs[2 * i];
        odd[i] = pairs[2 * i + 1];
    }
}
void referenceInterleavedTwo(const halfband::PhaseTaps& taps, const double* const x[2],
                             const double* const direct[2], double* const out2n[2], int count,
                             halfband::PhaseHistory*, std::int64_t) noexcept {
    for (int s = 0; s < 2; ++s) referenceInterleaved(taps, x[s], direct[s], out2n[s], count);
}
void referenceWithDirectTwo(const halfband::PhaseTaps& taps, const double* const x[2],
                            const double* const direct[2], double directTap, double* const out[2],
                            int count, halfband::PhaseHistory*, std::int64_t) noexcept {
    for (int s = 0; s < 2; ++s)
        referenceWithDirect(taps, x[s], direct[s], directTap, out[s], count);
}
void referenceFiniteFloats(const float* from, double* to, int n, double hold) noexcept {
    for (int i = 0; i < n; ++i) to[i] = finiteInput(static_cast<double>(from[i]), hold);
}
void referenceFiniteDoubles(const double* from, double* to, int n, double hold) noexcept {
    for (int i = 0; i < n; ++i) to[i] = finiteInput(from[i], hold);
}
void referenceToFloats(const double* from, float* to, int n) noexcept {
    for (int i = 0; i < n; ++i) to[i] = static_cast<float>(from[i]);
}

const Kernels kReference = {
    referenceHilbertSums,
    {referenceNoiseValues, referenceNoiseFrames},
    {halfband::referencePhaseSums, referenceInterleaved, referenceWithDirect, referenceSplit,
     referenceInterleavedTwo, referenceWithDirectTwo},
    {referenceFiniteFloats, referenceFiniteDoubles, referenceToFloats}};

class DspKernelConformance : public ::testing::TestWithParam<KernelCase> {
  protected:
    void SetUp() override { QRX_SKIP_UNLESS_RUNNABLE(GetParam()); }
    const Kernels& table() const {
        return GetParam() == KernelCase::Reference
                   ? kReference
                   : kernelsFor(testsupport::instructionSetOf(GetParam()));
    }
    // The tolerance of a kernel that sums in another order (or fused) than its reference: a
    // factor of the sum of the terms' magnitudes; 0 where it must give the reference's bits.
    double roundingOf(bool baselineExact, double relative) const {
        if (GetParam() == KernelCase::Reference) return 0.0;
        if (GetParam() == KernelCase::Baseline && baselineExact) return 0.0;
        return relative;
    }
};

// ---- Hilbert sums ----

TEST(HilbertKernel, KernelHasOddTapsAndZeroPadding) {
    double h[8];
    fillHilbertKernel(h, 5, 8);
    EXPECT_DOUBLE_EQ(h[0], 2.0 / std::numbers::pi);
    EXPECT_DOUBLE_EQ(h[4], 2.0 / (9.0 * std::numbers::pi));
    EXPECT_EQ(h[5], 0.0);
    EXPECT_EQ(h[7], 0.0);
}

TEST_P(DspKernelConformance, HilbertSums) {
    // Odd and even tap counts (the AVX2 kernel takes taps in pairs), one tap, the shortest and
    // longest the baseline's fast FIR takes (8, 257), and the 44.1 kHz length. AVX2: two partial
    // sums, each rounding once per tap, added once: below (taps + 2) eps of the terms'
    // magnitudes, 57 eps ~ 6.3e-15 at 55 taps. Baseline: the plain sum's bits below 8 taps and
    // above 257; between, the fast FIR, whose sub-sums round on sums of up to eight terms of the
    // same window: measured below 6 eps of the magnitudes, held to 1e-14 there as well.
    for (const int taps : {1, 2, 3, 7, 8, 22, 55, 60, 129, 257, 258}) {
        const double relative = roundingOf(!hilbertFastFirFits(taps), 1e-14);
        std::vector<double> h(static_cast<size_t>(hilbertKernelSize(taps)));
        fillHilbertKernel(h.data(), taps, hilbertKernelSize(taps));
        for (const int n : kKernelLengths) {
            const int quads = (n + 3) / 4, outputs = 4 * quads;
            const int window =
                outputs + 4 * taps - 2;  // centre[-2 taps + 1 .. outputs + 2 taps - 2]
            const std::vector<double> x = signal(window, 0.37);
            const double* centre = x.data() + 2 * taps - 1;
            std::vector<double> want(static_cast<size_t>(outputs)), tolerance(want.size());
            referenceHilbertSums(centre, h.data(), taps, quads, want.data(), nullptr, 0);
            for (int k = 0; k < outputs; ++k) {
                double magnitude = 0.0;
                for (int i = 0; i < taps; ++i)
                    magnitude += h[i] * (std::fabs(centre[k + 2 * i + 1]) +
                                         std::fabs(centre[k - 2 * i - 1]));
                tolerance[static_cast<size_t>(k)] = relative * magnitude;
            }
            for (const int offset : kKernelOffsets) {
                const std::string where =
                    std::to_string(taps) + " taps, " + kernelRunName(n, offset);
                expectConforms(where, want, tolerance, [&](double guard) {
                    GuardedBuffer in(window, offset, guard), out(outputs, (offset + 1) % 4, guard);
                    in.fill(x);
                    table().hilbertSums(in.data() + 2 * taps - 1, h.data(), taps, quads, out.data(),
                                        nullptr, 0);
                    EXPECT_TRUE(in.guardsHold(guard));
                    EXPECT_TRUE(out.guardsHold(guard));
                    return out.values();
                });
            }
        }
    }
}

TEST_P(DspKernelConformance, HilbertSumsDoNotDependOnWhereTheRunStarts) {
    // The detectors call with runs of any length from any position: the same sample's output
    // must come out with the same bits from a long run and from runs cut at odd quads.
    constexpr int taps = 55;
    double h[hilbertKernelSize(taps)];
    fillHilbertKernel(h, taps, hilbertKernelSize(taps));
    const std::vector<double> x = signal(4 * 17 + 4 * taps, 0.37);
    const double* centre = x.data() + 2 * taps;
    std::vector<double> whole(4 * 17), pieces(4 * 17);
    table().hilbertSums(centre, h, taps, 17, whole.data(), nullptr, 0);
    int start = 0;
    for (const int quads : {1, 3, 2, 5, 1, 4, 1}) {
        table().hilbertSums(centre + 4 * start, h, taps, quads, pieces.data() + 4 * start, nullptr,
                            0);
        start += quads;
    }
    ASSERT_EQ(start, 17);
    EXPECT_TRUE(sameRuns(whole, pieces, "where the run starts"));
}

TEST_P(DspKernelConformance, HilbertSumsGoOnWithTheirHistory) {
    // A detector lends each channel's sums a history and calls chunk after chunk: whole rows
    // from a 64-byte boundary go on from the call before, any other call starts afresh. Every
    // output must keep the bits of one call over the whole run, through runs of one and of two
    // passes, odd runs in between, a restart at a new index, a kernel of another length, and a
    // line whose samples move by 64 bytes between calls.
    constexpr int kLongest = 60, kOutputs = 1024;
    std::vector<double> h55(static_cast<size_t>(hilbertKernelSize(55)));
    std::vector<double> h60(static_cast<size_t>(hilbertKernelSize(kLongest)));
    fillHilbertKernel(h55.data(), 55, hilbertKernelSize(55));
    fillHilbertKernel(h60.data(), kLongest, hilbertKernelSize(kLongest));
    const int window = kOutputs + 4 * kLongest + 16;
    const std::vector<double> x = signal(window, 0.37);
    // Two copies 64 bytes apart, each with output 0's sample + 1 on a 64-byte boundary.
    std::vector<double> storage(static_cast<size_t>(window + 32));
    double* first =
        storage.data() + (8 - (reinterpret_cast<std::uintptr_t>(storage.data()) / 8) % 8) % 8;
    std::copy(x.begin(), x.end(), first);
    std::vector<double> moved(static_cast<size_t>(window + 32));
    double* second =
        moved.data() + (8 - (reinterpret_cast<std::uintptr_t>(moved.data()) / 8) % 8) % 8 + 8;
    std::copy(x.begin(), x.end(), second);
    for (const int taps : {55, kLongest}) {
        SCOPED_TRACE(std::to_string(taps) + " taps");
        const double* h = taps == 55 ? h55.data() : h60.data();
        const int centreAt = 2 * kLongest + 7;  // centre + 1 of output 0 on a boundary
        std::vector<double> whole(kOutputs), pieces(kOutputs, -1.0);
        table().hilbertSums(first + centreAt, h, taps, kOutputs / 4, whole.data(), nullptr, 0);
        HilbertHistory history;
        // Whole rows (64, 128, 8), rows of two passes (128 = 16 rows), an odd run, a
        // restart 128 outputs back, and runs on the moved copy.
        const int runs[] = {64, 64, 128, 8, 64, 72, 20, 64, 64, 128, 64, 64, 4, 64, 64};
        int k = 0, step = 0;
        std::int64_t index = 1000;
        for (const int run : runs) {
            const double* line = step++ % 3 == 2 ? second : first;
            if (run == 72) k -= 128, index += 5000;  // back, the caller counting afresh
            table().hilbertSums(line + centreAt + k, h, taps, (run + 3) / 4, pieces.data() + k,
                                &history, index);
            k += run;
            index += run;
        }
        ASSERT_LE(k, kOutputs);
        pieces.resize(static_cast<size_t>(k));
        whole.resize(static_cast<size_t>(k));
        EXPECT_TRUE(sameRuns(whole, pieces, "the calls"));
    }
}

TEST_P(DspKernelConformance, HilbertSumsReadOnlyTheirOwnWindow) {
    // The detectors' lines hold older and not yet relevant samples around a window: an output
    // must keep its bits whatever lies outside centre[k - 2 taps + 1 .. k + 2 taps - 1], also
    // where the baseline's fast FIR shares sub-sums between neighbouring outputs (odd and even
    // counts of taps, every position in its groups of eight).
    constexpr int quads = 16, outputs = 4 * quads;
    for (const int taps : {8, 55, 60}) {
        std::vector<double> h(static_cast<size_t>(hilbertKernelSize(taps)));
        fillHilbertKernel(h.data(), taps, hilbertKernelSize(taps));
        const int window = outputs + 4 * taps - 2;
        const std::vector<double> x = signal(window, 0.37), loud = signal(window, 0.91);
        // One buffer throughout: the baseline's rounding follows each sample's address.
        std::vector<double> in = x, want(outputs), got(outputs);
        const double* centre = in.data() + 2 * taps - 1;
        table().hilbertSums(centre, h.data(), taps, quads, want.data(), nullptr, 0);
        for (int k = 0; k < outputs; k += 3) {
            for (int i = 0; i < window; ++i)  // output k's window is in[k .. k + 4 taps - 2]
                in[i] = i >= k && i < k + 4 * taps - 1 ? x[i] : 1e3 * loud[i];
            table().hilbertSums(centre, h.data(), taps, quads, got.data(), nullptr, 0);
            ASSERT_EQ(got[static_cast<size_t>(k)], want[static_cast<size_t>(k)])
                << taps << " taps, output " << k;
        }
    }
}

// ---- noise runs ----

std::vector<double> wordsOf(const DenormalNoise::Words& w) {
    return {static_cast<double>(w.s1), static_cast<double>(w.s2), static_cast<double>(w.s3)};
}

TEST_P(DspKernelConformance, NoiseValues) {
    // The generator's own values to the bit, and the words left where it leaves them. Beyond the
    // common lengths: the longest runs the engines ask for, which the AVX2 kernel splits in two.
    std::vector<int> lengths(std::begin(kKernelLengths), std::end(kKernelLengths));
    lengths.insert(lengths.end(), {192, 383, kNoiseRunMax});
    for (const double scale : {1e-12, 1.0}) {
        const DenormalNoise::Words start{0x9E3779B9u, 153768u, 0xDEADBEEFu};
        for (const int n : lengths) {
            std::vector<double> want(static_cast<size_t>(n));
            DenormalNoise::Words end = start;
            referenceNoiseValues(end, scale, n, want.data());
            const std::vector<double> wantWords = wordsOf(end);
            want.insert(want.end(), wantWords.begin(), wantWords.end());
            const std::vector<double> exact(want.size(), 0.0);
            for (const int offset : kKernelOffsets) {
                expectConforms(kernelRunName(n, offset), want, exact, [&](double guard) {
                    GuardedBuffer out(n, offset, guard);
                    DenormalNoise::Words words = start;
                    table().noise.values(words, scale, n, out.data());
                    EXPECT_TRUE(out.guardsHold(guard));
                    std::vector<double> got = out.values();
                    const std::vector<double> w = wordsOf(words);
                    got.insert(got.end(), w.begin(), w.end());
                    return got;
                });
            }
        }
    }
}

TEST_P(DspKernelConformance, NoiseFramesInEveryLayout) {
    // Two generators stepped together, the first 2 or 3 times a frame, its run in order or one
    // stream per step: each value and both generators' words as the plain loops give them.
    const DenormalNoise::Words startA = DenormalNoise(1.0).words();
    const DenormalNoise::Words startB{12345u, 678910u, 0xCAFEF00Du};
    for (const int perFrame : {2, 3}) {
        for (const int streams : {1, perFrame}) {
            const int runLength = streams == 1 ? perFrame : 1;  // a's values per frame per buffer
            for (const int n : kKernelLengths) {
                std::vector<std::vector<double>> wantA(static_cast<size_t>(streams));
                for (auto& v : wantA) v.resize(static_cast<size_t>(runLength * n));
                std::vector<double> wantB(static_cast<size_t>(n));
                double* toA[3] = {};
                for (int j = 0; j < streams; ++j) toA[j] = wantA[static_cast<size_t>(j)].data();
                DenormalNoise::Words a = startA, b = startB;
                referenceNoiseFrames(a, 1e-12, perFrame, streams, toA, b, 1e-13, wantB.data(), n);
                std::vector<double> want;
                for (const auto& v : wantA) want.insert(want.end(), v.begin(), v.end());
                want.insert(want.end(), wantB.begin(), wantB.end());
                for (const auto& w : {wordsOf(a), wordsOf(b)})
                    want.insert(want.end(), w.begin(), w.end());
                const std::vector<double> exact(want.size(), 0.0);
                for (const int offset : kKernelOffsets) {
                    const std::string where = std::to_string(perFrame) + " per frame in " +
                                              std::to_string(streams) + " streams, " +
                                              kernelRunName(n, offset);
                    expectConforms(where, want, exact, [&](double guard) {
                        std::vector<GuardedBuffer> outA;
                        for (int j = 0; j < streams; ++j)
                            outA.emplace_back(runLength * n, (offset + j) % 4, guard);
                        GuardedBuffer outB(n, offset, guard);
                        double* to[3] = {};
                        for (int j = 0; j < streams; ++j)
                            to[j] = outA[static_cast<size_t>(j)].data();
                        DenormalNoise::Words wa = startA, wb = startB;
                        table().noise.frames(wa, 1e-12, perFrame, streams, to, wb, 1e-13,
                                             outB.data(), n);
                        std::vector<double> got;
                        for (const GuardedBuffer& o : outA) {
                            EXPECT_TRUE(o.guardsHold(guard));
                            const std::vector<double> v = o.values();
                            got.insert(got.end(), v.begin(), v.end());
                        }
                        EXPECT_TRUE(outB.guardsHold(guard));
                        const std::vector<double> vb = outB.values();
                        got.insert(got.end(), vb.begin(), vb.end());
                        for (const auto& w : {wordsOf(wa), wordsOf(wb)})
                            got.insert(got.end(), w.begin(), w.end());
                        return got;
                    });
                }
            }
        }
    }
}

// ---- half-band tap sums ----

// Random symmetric taps (as every half-band phase is) and signals in [-1, 1]. Against the plain
// sum within 1e-14: each output sums 128 products of at most 1 (the AVX2 kernel fuses, rounding
// 128 times at about 1e-16; the baseline combines nine 32-term sub-sums shared by four outputs,
// HalfBandFastFir.h, and rounds about as often, on partial sums a few times larger).
class HalfBandRuns {
  public:
    static constexpr int kTaps = halfband::kPhaseTaps;
    static constexpr double kDirectTap = 0.5;

    HalfBandRuns() {
        const std::vector<double> side = signal(kTaps / 2, 1.3);
        double taps[kTaps];
        for (int j = 0; j < kTaps / 2; ++j)
            taps[kTaps / 2 - 1 - j] = taps[kTaps / 2 + j] = 0.5 * side[static_cast<size_t>(j)];
        phase = halfband::phaseOf(taps);
    }
    // Stream s's samples x[-128 .. n - 1] and its direct samples.
    static std::vector<double> samples(int n, int s) { return signal(kTaps + n, 0.61 + 0.2 * s); }
    static std::vector<double> direct(int n, int s) { return signal(n, 2.1 + 0.3 * s); }

    halfband::PhaseTaps phase;
};

enum class PhaseRun { Sums, Interleaved, WithDirect, InterleavedTwo, WithDirectTwo };

// One kernel of the phase table on guarded buffers: every output, after checking the guards.
std::vector<double> runPhase(const halfband::PhaseKernels& k, PhaseRun run,
                             const halfband::PhaseTaps& taps, int n, int offset, double guard) {
    const bool two = run == PhaseRun::InterleavedTwo || run == PhaseRun::WithDirectTwo;
    const bool interleaved = run == PhaseRun::Interleaved || run == PhaseRun::InterleavedTwo;
    const int streams = two ? 2 : 1;
    std::vector<GuardedBuffer> x, direct, out;
    for (int s = 0; s < streams; ++s) {
        // Two streams lie apart on odd offsets, alike on even ones: the resampler pairs' case, in
        // which the baseline sinks whole rows straight to the outputs.
        x.emplace_back(HalfBandRuns::kTaps + n, (offset + s * (offset % 2)) % 4, guard);
        x.back().fill(HalfBandRuns::samples(n, s));
        direct.emplace_back(n, (offset + 2) % 4, guard);
        direct.back().fill(HalfBandRuns::direct(n, s));
        out.emplace_back(interleaved ? 2 * n : n, (offset + 3 - s) % 4, guard);
    }
    const double* xs[2] = {};
    const double* ds[2] = {};
    double* os[2] = {};
    for (int s = 0; s < streams; ++s) {
        xs[s] = x[static_cast<size_t>(s)].data() + HalfBandRuns::kTaps;
        ds[s] = direct[static_cast<size_t>(s)].data();
        os[s] = out[static_cast<size_t>(s)].data();
    }
    constexpr double kTap = HalfBandRuns::kDirectTap;
    switch (run) {
        case PhaseRun::Sums:
            k.sums(taps, xs[0], os[0], n);
            break;
        case PhaseRun::Interleaved:
            k.interleaved(taps, xs[0], ds[0], os[0], n);
            break;
        case PhaseRun::WithDirect:
            k.withDirect(taps, xs[0], ds[0], kTap, os[0], n);
            break;
        case PhaseRun::InterleavedTwo:
            k.interleavedTwo(taps, xs, ds, os, n, nullptr, -1);
            break;
        case PhaseRun::WithDirectTwo:
            k.withDirectTwo(taps, xs, ds, kTap, os, n, nullptr, -1);
            break;
    }
    std::vector<double> got;
    for (int s = 0; s < streams; ++s) {
        EXPECT_TRUE(x[static_cast<size_t>(s)].guardsHold(guard));
        EXPECT_TRUE(direct[static_cast<size_t>(s)].guardsHold(guard));
        EXPECT_TRUE(out[static_cast<size_t>(s)].guardsHold(guard));
        const std::vector<double> v = out[static_cast<size_t>(s)].values();
        got.insert(got.end(), v.begin(), v.end());
    }
    return got;
}

TEST_P(DspKernelConformance, HalfBandPhaseSums) {
    const HalfBandRuns runs;
    const double tolerance = roundingOf(false, 1e-14);
    for (const PhaseRun run : {PhaseRun::Sums, PhaseRun::Interleaved, PhaseRun::WithDirect,
                               PhaseRun::InterleavedTwo, PhaseRun::WithDirectTwo}) {
        for (const int n : kKernelLengths) {
            // The direct samples pass the interleaved kernels untouched: exact there.
            const std::vector<double> want =
                runPhase(kReference.halfBand, run, runs.phase, n, 0, GuardedBuffer::kGuardA);
            std::vector<double> within(want.size(), tolerance);
            if (run == PhaseRun::Interleaved || run == PhaseRun::InterleavedTwo)
                for (size_t i = 1; i < within.size(); i += 2) within[i] = 0.0;
            for (const int offset : kKernelOffsets) {
                const std::string where = "run " + std::to_string(static_cast<int>(run)) + ", " +
                                          kernelRunName(n, offset);
                expectConforms(where, want, within, [&](double guard) {
                    return runPhase(table().halfBand, run, runs.phase, n, offset, guard);
                });
            }
        }
    }
}

TEST_P(DspKernelConformance, HalfBandPairSumsGoOnWithTheirHistory) {
    // A pair of resamplers lends its tap sums a history and calls block after block: runs that
    // start where the run before ended on a whole row of four go on from it, any other starts
    // afresh. Every output must keep the bits of one call over the whole run, through runs of one
    // and of two passes, runs off a row in between, a restart at a new index and a line whose
    // samples move by 32 bytes between calls.
    const HalfBandRuns runs;
    constexpr int kOutputs = 1024, kTaps = HalfBandRuns::kTaps;
    // Two copies of each stream 32 bytes apart, each with x[0] on a 32-byte boundary.
    std::vector<double> storage[2][2];
    const double* x[2][2];
    std::vector<double> direct[2];
    for (int s = 0; s < 2; ++s) {
        const std::vector<double> samples = HalfBandRuns::samples(kOutputs, s);
        direct[s] = HalfBandRuns::direct(kOutputs, s);
        for (int copy = 0; copy < 2; ++copy) {
            std::vector<double>& v = storage[s][copy];
            v.resize(static_cast<size_t>(kTaps + kOutputs + 16));
            const int skew =
                (4 - static_cast<int>(reinterpret_cast<std::uintptr_t>(v.data()) / 8 % 4)) % 4;
            std::copy(samples.begin(), samples.end(), v.begin() + skew + 4 * copy);
            x[s][copy] = v.data() + skew + 4 * copy + kTaps;
        }
    }
    const double* const ds[2] = {direct[0].data(), direct[1].data()};
    for (const bool interleaved : {true, false}) {
        SCOPED_TRACE(interleaved ? "interleaved" : "with direct samples");
        const int width = interleaved ? 2 : 1;
        const auto call = [&](const double* const xs[2], const double* const dir[2], double* o0,
                              double* o1, int n, halfband::PhaseHistory* h, std::int64_t at) {
            double* const os[2] = {o0, o1};
            if (interleaved)
                table().halfBand.interleavedTwo(runs.phase, xs, dir, os, n, h, at);
            else
                table().halfBand.withDirectTwo(runs.phase, xs, dir, HalfBandRuns::kDirectTap, os, n,
                                               h, at);
        };
        std::vector<double> whole[2], pieces[2];
        for (int s = 0; s < 2; ++s) {
            whole[s].assign(static_cast<size_t>(width * kOutputs), 0.0);
            pieces[s].assign(static_cast<size_t>(width * kOutputs), -1.0);
        }
        const double* const firsts[2] = {x[0][0], x[1][0]};
        call(firsts, ds, whole[0].data(), whole[1].data(), kOutputs, nullptr, -1);
        halfband::PhaseHistory history;
        // Whole rows (64, 128, 16), two passes (128), runs off a row (7, 61), a restart 128
        // samples back (the caller counts afresh) and runs on the moved copies.
        const int lengths[] = {64, 64, 128, 16, 7, 61, 64, 64, 72, 128, 64, 64, 4, 64, 64};
        int k = 0, step = 0;
        std::int64_t index = 1000;
        for (const int n : lengths) {
            const int copy = step++ % 3 == 2 ? 1 : 0;
            if (n == 72) k -= 128, index += 5000;
            const double* const xs[2] = {x[0][copy] + k, x[1][copy] + k};
            const double* const dir[2] = {ds[0] + k, ds[1] + k};
            call(xs, dir, pieces[0].data() + width * k, pieces[1].data() + width * k, n, &history,
                 index);
            k += n;
            index += n;
        }
        ASSERT_LE(k, kOutputs);
        for (int s = 0; s < 2; ++s) {
            whole[s].resize(static_cast<size_t>(width * k));
            pieces[s].resize(static_cast<size_t>(width * k));
            EXPECT_TRUE(sameRuns(whole[s], pieces[s], "the calls")) << "stream " << s;
        }
    }
}
TEST_P(DspKernelConformance, HalfBandSplit) {
    for (const int n : kKernelLengths) {
        const std::vector<double> pairs = signal(2 * n, 0.9);
        std::vector<double> want(static_cast<size_t>(2 * n));
        referenceSplit(pairs.data(), want.data(), want.data() + n, n);
        for (const int offset : kKernelOffsets) {
            expectConforms(kernelRunName(n, offset), want, std::vector<double>(want.size(), 0.0),
                           [&](double guard) {
                               GuardedBuffer in(2 * n, offset, guard),
                                   even(n, (offset + 1) % 4, guard),
                                   odd(n, (offset + 3) % 4, guard);
                               in.fill(pairs);
                               table().halfBand.split(in.data(), even.data(), odd.data(), n);
                               EXPECT_TRUE(in.guardsHold(guard));
                               EXPECT_TRUE(even.guardsHold(guard));
                               EXPECT_TRUE(odd.guardsHold(guard));
                               std::vector<double> got = even.values();
                               const std::vector<double> o = odd.values();
                               got.insert(got.end(), o.begin(), o.end());
                               return got;
                           });
        }
    }
}

// ---- host samples ----

// Floats in a guarded run of doubles: two floats a double, the run `offset` (< 8) floats from a
// 64-byte boundary; the floats around it in its first and last double hold the guard's low half.
class GuardedFloats {
  public:
    GuardedFloats(int length, int offset, double guard)
        : length_(length), offset_(offset), words_((offset + length + 1) / 2, 0, guard) {
        std::memcpy(&guard_, &guard, sizeof guard_);
        for (int i = -offset_; i < 0; ++i) data()[i] = guard_;
        for (int i = length_; i < spareEnd(); ++i) data()[i] = guard_;
    }
    float* data() { return reinterpret_cast<float*>(words_.data()) + offset_; }
    ::testing::AssertionResult guardsHold(double guard) {
        for (int i = -offset_; i < 0; ++i)
            if (!sameFloat(data()[i])) return ::testing::AssertionFailure() << "written before";
        for (int i = length_; i < spareEnd(); ++i)
            if (!sameFloat(data()[i])) return ::testing::AssertionFailure() << "written after";
        return words_.guardsHold(guard);
    }

  private:
    int spareEnd() const { return 2 * words_.size() - offset_; }
    bool sameFloat(float f) const { return std::memcmp(&f, &guard_, sizeof f) == 0; }

    int length_, offset_;
    GuardedBuffer words_;
    float guard_ = 0.0f;
};

// Host samples: ordinary ones inside +-4 with a few that must be held or zeroed among them.
std::vector<double> hostSamples(int n) {
    std::vector<double> x = signal(n, 0.3);
    const double odd[] = {NAN, INFINITY, -1e30, 70.0, -3e6, 2e6};
    for (int i = 5; i < n; i += 11) x[static_cast<size_t>(i)] = odd[(i / 11) % 6];
    return x;
}

TEST_P(DspKernelConformance, HostSamplesIn) {
    // Exact: each sample as finiteInput gives it, on a main stream and a side-chain one, from
    // floats and from doubles.
    for (const int stream : {0, 2}) {
        const double hold = inputHoldOf(stream);
        for (const int n : kKernelLengths) {
            const std::vector<double> x = hostSamples(n);
            std::vector<float> xf(x.begin(), x.end());
            std::vector<double> want(static_cast<size_t>(n)), wantFloats(want.size());
            referenceFiniteDoubles(x.data(), want.data(), n, hold);
            referenceFiniteFloats(xf.data(), wantFloats.data(), n, hold);
            const std::vector<double> exact(want.size(), 0.0);
            for (const int offset : kKernelOffsets) {
                expectConforms(
                    "doubles, " + kernelRunName(n, offset), want, exact, [&](double guard) {
                        GuardedBuffer in(n, offset, guard), out(n, (offset + 1) % 4, guard);
                        in.fill(x);
                        finiteInputs(table().hostSamples, stream, in.data(), out.data(), n);
                        EXPECT_TRUE(in.guardsHold(guard));
                        EXPECT_TRUE(out.guardsHold(guard));
                        return out.values();
                    });
                expectConforms(
                    "floats, " + kernelRunName(n, offset), wantFloats, exact, [&](double guard) {
                        GuardedFloats in(n, 3 * offset % 8, guard);
                        GuardedBuffer out(n, (offset + 2) % 4, guard);
                        std::copy(xf.begin(), xf.end(), in.data());
                        finiteInputs(table().hostSamples, stream, in.data(), out.data(), n);
                        EXPECT_TRUE(in.guardsHold(guard));
                        EXPECT_TRUE(out.guardsHold(guard));
                        return out.values();
                    });
            }
        }
    }
}

TEST_P(DspKernelConformance, HostSamplesOut) {
    // Exact: each double rounded to float as a plain cast rounds it.
    for (const int n : kKernelLengths) {
        std::vector<double> x(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            x[static_cast<size_t>(i)] = (i % 2 ? -1.0 : 1.0) / (3.0 + i) * (1 + i % 7 * 1e3);
        std::vector<double> want(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            want[static_cast<size_t>(i)] = static_cast<float>(x[static_cast<size_t>(i)]);
        for (const int offset : kKernelOffsets) {
            expectConforms(kernelRunName(n, offset), want, std::vector<double>(want.size(), 0.0),
                           [&](double guard) {
                               GuardedBuffer in(n, offset, guard);
                               GuardedFloats out(n, (3 * offset + 1) % 8, guard);
                               in.fill(x);
                               table().hostSamples.toFloats(in.data(), out.data(), n);
                               EXPECT_TRUE(in.guardsHold(guard));
                               EXPECT_TRUE(out.guardsHold(guard));
                               return std::vector<double>(out.data(), out.data() + n);
                           });
        }
    }
}

INSTANTIATE_TEST_SUITE_P(KernelCases, DspKernelConformance,
                         ::testing::ValuesIn(testsupport::kKernelCases),
                         testsupport::kernelCaseTestName);

}  // namespace
}  // namespace qrx::dsp
