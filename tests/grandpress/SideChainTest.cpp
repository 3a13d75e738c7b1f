// The side chain's equaliser and link: the kernels' cascade (both shelves as one four-lane
// recursion, the link band beside it) against the per-frame reference, while the shelves glide to
// a new design and after they have arrived, in chunks of every length the engine uses, on silence
// (the filters' noise alone) and with the kernel set changing between chunks; and the chain
// against independent gliding filters across a long settled stretch and a shelf mode change.
// (CompressorKernelsConformanceTest holds the kernel to the reference at every length and start.)
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "dsp/GlidingBiquad.h"
#include "dsp/InstructionSet.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/Kernels.h"
#include "grandpress/Parameters.h"
#include "grandpress/SideChain.h"
#include "grandpress/StageSettings.h"
#include "support/KernelSets.h"

namespace {

namespace gp = grandpress;
using qrx::dsp::InstructionSet;

gp::EngineSettings settings(float low, float high, float link, bool linkHighCut,
                            float shelfMode = 1.0f) {
    return testsupport::sideChainSettings(low, high, link, linkHighCut, shelfMode);
}

// Main and side inputs (four streams) of frames pos .. pos + n, times `level`; the right side
// input falls silent on every third pass.
void sideInputs(int pos, int n, int pass, double level, double (&in)[4][128]) {
    for (int i = 0; i < n; ++i) {
        const double t = pos + i;
        in[0][i] = level * 0.5 * std::sin(0.031 * t);
        in[1][i] = level * (0.4 * std::sin(0.0021 * t) + 0.1 * std::sin(1.3 * t));
        in[2][i] = in[0][i] + level * 0.2 * std::sin(2.1 * t);
        in[3][i] = in[1][i] * (pass % 3 == 0 ? 0.0 : 1.0);
    }
}

// Runs a side chain on setOf(pass) over chunks of the given lengths (20 passes each) from the
// `before` settings while they are `after`, and one on the reference beside it; asserts the
// same noise and the equalised and linked streams within `tolerance`. The inputs have peaks
// near `level`.
template <typename SetOf>
void followsThePlainLoop(std::initializer_list<int> lengths, SetOf setOf, double tolerance,
                         double level = 1.0) {
    const gp::EngineSettings before = settings(0.2f, 0.3f, 0.0f, false);
    const gp::EngineSettings after = settings(0.8f, 0.9f, 1.0f, true);
    gp::SideChain plain, chain;
    plain.reset(before);
    chain.reset(before);
    int pos = 0;
    for (int n : lengths) {
        for (int pass = 0; pass < 20; ++pass, pos += n) {
            double in[4][128];
            sideInputs(pos, n, pass, level, in);
            double a[4][128], b[4][128], outA[5][128], outB[5][128];
            for (int k = 0; k < 4; ++k)
                for (int i = 0; i < n; ++i) a[k][i] = b[k][i] = in[k][i];
            plain.process({gp::referenceShelves}, qrx::dsp::kernelsFor(InstructionSet::Baseline),
                          after, n, a[0], a[1], a[2], a[3], outA[0], outA[1], outA[2], outA[3],
                          outA[4]);
            const InstructionSet set = setOf(pass);
            chain.process(gp::kernelsFor(set).sideChain, qrx::dsp::kernelsFor(set), after, n, b[0],
                          b[1], b[2], b[3], outB[0], outB[1], outB[2], outB[3], outB[4]);
            for (int i = 0; i < n; ++i) {
                for (int k = 0; k < 4; ++k) ASSERT_EQ(a[k][i], b[k][i]);  // the same noise
                ASSERT_EQ(outA[4][i], outB[4][i]);
                for (int k = 0; k < 4; ++k)
                    ASSERT_NEAR(outB[k][i], outA[k][i], tolerance)
                        << "stream " << k << ", frame " << pos + i << ", pass " << pass;
            }
        }
    }
}

// The kernels' cascade rounds differently from the reference (the noise the memories take goes in
// as a feed-forward term instead; fused multiply-adds in the AVX2 build): about 1e-16 per frame,
// which the low shelf's poles near 1 gather into differences up to about 4e-13 on these signals
// (peaks near 1). A wrong frame, lane or memory hand-over shows at 1e-4 and more.
constexpr double kFastTolerance = 1e-12;

// Chunk lengths below, at and just past the frames the high shelf runs behind the low one, and
// the engine's usual ones.
TEST(GrandPressSideChain, FastCascadeFollowsThePlainLoopWhileTheShelvesGlideAndOnceArrived) {
    for (InstructionSet set : testsupport::kernelSetsHere())
        followsThePlainLoop(
            {64,  1,   2,   63,  128, 64,  3,   7,   8,   9,   64, 64, 128, 17, 64,
             128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 64, 37, 8,   9,  7},
            [set](int) { return set; }, kFastTolerance);
}

// On silence the filters carry nothing but their noise (outputs about 1e-12), while the shelves
// glide and once they have arrived (after about 21000 frames): the fast cascade must take the same
// noise at the same places. Rounding alone leaves differences below 1e-22 here (the same relative
// error as with a signal); a noise value lost, doubled or taken on the wrong frame moves the
// outputs by 1e-14 and more.
TEST(GrandPressSideChain, FastCascadeCarriesThePlainLoopsNoiseOnSilence) {
    followsThePlainLoop(
        {64, 1, 2, 9, 128, 7, 64, 3, 128, 128, 128, 128, 128, 64, 8, 128, 37},
        [](int) { return InstructionSet::Baseline; }, 1e-21, 0.0);
    if (qrx::dsp::bestInstructionSet() != InstructionSet::Avx2Fma)
        GTEST_SKIP() << "no AVX2+FMA on this processor";
    for (auto set : {+[](int) { return InstructionSet::Avx2Fma; },
                     +[](int pass) {
                         return pass % 2 == 1 ? InstructionSet::Baseline : InstructionSet::Avx2Fma;
                     }})
        followsThePlainLoop({64,  1,   2,  9, 128, 7,   64,  3,   128, 128, 128,
                             128, 128, 64, 8, 128, 128, 128, 128, 128, 128, 37},
                            set, 1e-21, 0.0);
}

// Hosts and tools may switch the kernel set from one block to the next: the filter memories
// each set leaves (the noise folded back in) must carry on in the other, while the shelves
// glide and after.
TEST(GrandPressSideChain, KernelSetsTakeOverEachOthersFilterStateBetweenChunks) {
    if (qrx::dsp::bestInstructionSet() != InstructionSet::Avx2Fma)
        GTEST_SKIP() << "no AVX2+FMA on this processor";
    followsThePlainLoop(
        {64, 1, 2, 9, 128, 7, 64, 3, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 64, 8},
        [](int pass) { return pass % 3 == 1 ? InstructionSet::Baseline : InstructionSet::Avx2Fma; },
        kFastTolerance);
}

// Once the shelves have reached their design the chain stops gliding them; after a long settled
// stretch in cut mode, a switch to boost must still glide and sound like two channels of plain
// gliding filters (low, then high shelf) that glided all along. The filters' own noise moves
// their coefficients by about 1e-12, which the low shelf's poles near 1 turn into output
// differences of up to about 1e-7 on this signal (peaks near 2): hence 5e-7.
TEST(GrandPressSideChain, SettledShelvesFollowAlwaysGlidingFiltersThroughAModeChange) {
    const gp::EngineSettings cut = settings(0.3f, 0.4f, 0.5f, false, 0.0f);
    const gp::EngineSettings boost = settings(0.3f, 0.4f, 0.5f, false, 1.0f);
    constexpr int kSettled = 60000, kTotal = 110000;  // the glide takes about 21000 frames
    for (InstructionSet set : testsupport::kernelSetsHere()) {
        gp::SideChain chain;
        chain.reset(cut);
        qrx::dsp::BiquadCoefficients current[2][2];  // [shelf low/high][channel]
        qrx::dsp::BiquadMemories memories[2][2];
        qrx::dsp::DenormalNoise noise[2][2] = {
            {qrx::dsp::DenormalNoise{qrx::dsp::kBiquadNoiseScale},
             qrx::dsp::DenormalNoise{qrx::dsp::kBiquadNoiseScale}},
            {qrx::dsp::DenormalNoise{qrx::dsp::kBiquadNoiseScale},
             qrx::dsp::DenormalNoise{qrx::dsp::kBiquadNoiseScale}}};
        for (int c = 0; c < 2; ++c) {
            current[0][c] = cut.lowShelf;
            current[1][c] = cut.highShelf;
        }
        int pos = 0;
        for (int chunk = 0; pos < kTotal; ++chunk) {
            const int n = chunk % 5 == 4 ? 37 : 64;
            const gp::EngineSettings& s = pos < kSettled ? cut : boost;
            // The main inputs equal the side inputs, so they come back with the noise the side
            // chain takes.
            double io[4][64], out[5][64];
            for (int i = 0; i < n; ++i) {
                const double t = pos + i;
                io[0][i] = io[2][i] = 0.5 * std::sin(0.013 * t) + 0.2 * std::sin(0.9 * t);
                io[1][i] = io[3][i] = 0.3 * std::sin(0.0041 * t) + 0.3 * std::sin(2.3 * t);
            }
            chain.process(gp::kernelsFor(set).sideChain, qrx::dsp::kernelsFor(set), s, n, io[0],
                          io[1], io[2], io[3], out[0], out[1], out[2], out[3], out[4]);
            const double tilt[2] = {s.tiltGainLeft, s.tiltGainRight};
            for (int i = 0; i < n; ++i, ++pos) {
                for (int c = 0; c < 2; ++c) {
                    double y = io[c][i] * tilt[c];
                    y = qrx::dsp::glidingBiquadStep(y, s.lowShelf, current[0][c], memories[0][c],
                                                    s.filterGlideRate, noise[0][c]);
                    y = qrx::dsp::glidingBiquadStep(y, s.highShelf, current[1][c], memories[1][c],
                                                    s.filterGlideRate, noise[1][c]);
                    ASSERT_NEAR(out[c][i], y, 5e-7) << qrx::dsp::instructionSetName(set)
                                                    << ", channel " << c << ", frame " << pos;
                }
            }
        }
        // The boost has arrived: the filters hold the new design.
        for (int k = 0; k < 2; ++k) {
            const qrx::dsp::BiquadCoefficients& t = k == 0 ? boost.lowShelf : boost.highShelf;
            EXPECT_NEAR(current[k][0].a1, t.a1, 1e-9);
            EXPECT_NEAR(current[k][0].b0, t.b0, 1e-9);
        }
    }
}

}  // namespace
