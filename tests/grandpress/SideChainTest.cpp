// The side chain's equaliser and link: the AVX2+FMA cascade (both shelves as one four-lane
// recursion, the link band beside it) against the plain pair loop, while the shelves glide to a
// new design and after they have arrived, in chunks of every length the engine uses; and the chain
// against independent gliding filters across a long settled stretch and a shelf mode change.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/GlidingBiquad.h"
#include "dsp/InstructionSet.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/Parameters.h"
#include "grandpress/SideChain.h"

namespace {

namespace gp = grandpress;
using qrx::dsp::InstructionSet;

gp::EngineSettings settings(float low, float high, float link, bool linkHighCut,
                            float shelfMode = 1.0f) {
    float p[gp::kNumParams] = {};
    p[gp::kPower] = 1.0f;
    p[gp::kLow] = low;
    p[gp::kHigh] = high;
    p[gp::kLowScf] = shelfMode;
    p[gp::kHighScf] = shelfMode;
    p[gp::kLink] = link;
    p[gp::kLinkHighCut] = linkHighCut ? 1.0f : 0.0f;
    p[gp::kTilt] = 0.3f;
    gp::EngineSettings s;
    gp::applyAll(s, p, 44100.0);
    return s;
}

TEST(GrandPressSideChain, FastCascadeFollowsThePlainLoopWhileTheShelvesGlideAndOnceArrived) {
    if (qrx::dsp::bestInstructionSet() != InstructionSet::Avx2Fma)
        GTEST_SKIP() << "no AVX2+FMA on this processor";
    const gp::EngineSettings before = settings(0.2f, 0.3f, 0.0f, false);
    const gp::EngineSettings after = settings(0.8f, 0.9f, 1.0f, true);
    gp::SideChain plain, fast;
    plain.reset(before);
    fast.reset(before);
    int pos = 0;
    for (int n : {64,  1,   2,   63,  128, 64,  3,   64,  64,  128, 17, 64,
                  128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 64, 37}) {
        for (int pass = 0; pass < 20; ++pass, pos += n) {
            double in[4][128];
            for (int i = 0; i < n; ++i) {
                const double t = pos + i;
                in[0][i] = 0.5 * std::sin(0.031 * t);
                in[1][i] = 0.4 * std::sin(0.0021 * t) + 0.1 * std::sin(1.3 * t);
                in[2][i] = in[0][i] + 0.2 * std::sin(2.1 * t);
                in[3][i] = in[1][i] * (pass % 3 == 0 ? 0.0 : 1.0);
            }
            double a[4][128], b[4][128], outA[5][128], outB[5][128];
            for (int k = 0; k < 4; ++k)
                for (int i = 0; i < n; ++i) a[k][i] = b[k][i] = in[k][i];
            plain.process(InstructionSet::Baseline, after, n, a[0], a[1], a[2], a[3], outA[0],
                          outA[1], outA[2], outA[3], outA[4]);
            fast.process(InstructionSet::Avx2Fma, after, n, b[0], b[1], b[2], b[3], outB[0],
                         outB[1], outB[2], outB[3], outB[4]);
            for (int i = 0; i < n; ++i) {
                for (int k = 0; k < 4; ++k) ASSERT_EQ(a[k][i], b[k][i]);  // the same noise
                ASSERT_EQ(outA[4][i], outB[4][i]);
                for (int k = 0; k < 4; ++k)
                    ASSERT_NEAR(outB[k][i], outA[k][i], 1e-12)
                        << "stream " << k << ", frame " << pos + i;
            }
        }
    }
}

// Once the shelves have reached their design the chain stops gliding them; after a long settled
// stretch in cut mode, a switch to boost must still glide and sound like two channels of plain
// gliding filters (low, then high shelf) that glided all along. The filters' own noise moves
// their coefficients by about 1e-12, which the low shelf's poles near 1 turn into output
// differences of up to about 1e-7 on this signal (peaks near 2): hence 5e-7.
TEST(GrandPressSideChain, SettledShelvesFollowAlwaysGlidingFiltersThroughAModeChange) {
    std::vector<InstructionSet> sets = {InstructionSet::Baseline};
    if (qrx::dsp::bestInstructionSet() == InstructionSet::Avx2Fma)
        sets.push_back(InstructionSet::Avx2Fma);
    const gp::EngineSettings cut = settings(0.3f, 0.4f, 0.5f, false, 0.0f);
    const gp::EngineSettings boost = settings(0.3f, 0.4f, 0.5f, false, 1.0f);
    constexpr int kSettled = 60000, kTotal = 110000;  // the glide takes about 21000 frames
    for (InstructionSet set : sets) {
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
            chain.process(set, s, n, io[0], io[1], io[2], io[3], out[0], out[1], out[2], out[3],
                          out[4]);
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
