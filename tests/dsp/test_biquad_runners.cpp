#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/GlidingBiquad.h"
#include "dsp/PlainBiquad.h"

namespace qrx::dsp {
namespace {

constexpr double kPi = std::numbers::pi;

double responseGain(const BiquadCoefficients& c, double fHz, double fs) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * fHz / fs);
    return std::abs((c.b0 + c.b1 * z1 + c.b2 * z1 * z1) / (1.0 + c.a1 * z1 + c.a2 * z1 * z1));
}

// Runs a sine through a filter and returns the output amplitude measured over whole cycles
// after the transient has died away.
template <class Filter>
double measuredGain(Filter& f, double fHz, double fs) {
    const int settle = 48000;
    const int cycles = 50;
    const int len = static_cast<int>(std::lround(cycles * fs / fHz));
    const double w = 2.0 * kPi * fHz / fs;
    for (int i = 0; i < settle; ++i) f.process(std::sin(w * i));
    double s = 0.0, c = 0.0;
    for (int i = settle; i < settle + len; ++i) {
        const double y = f.process(std::sin(w * i));
        s += y * std::sin(w * i);
        c += y * std::cos(w * i);
    }
    return 2.0 * std::hypot(s, c) / len;
}

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Number of memories that are zero or subnormal (a state that reached either has decayed past
// the point where the noise should have held it).
int notNormal(const BiquadMemories& m) {
    int n = 0;
    for (double v : {m.x1, m.x2, m.y1, m.y2}) n += std::fpclassify(v) != FP_NORMAL;
    return n;
}

TEST(Biquads, TypeZeroIsBitExactWithoutNoise) {
    GlidingBiquad g(44100.0, kBiquadBypass, 1000.0, 0.7, 0.0);
    PlainBiquad p(44100.0, kBiquadBypass, 1000.0, 0.7, 0.0);
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> in = {
        0.0, -0.0, 1e-310, -1e-320, 1.0, -1.0, std::numeric_limits<double>::max()};
    for (int i = 0; i < 1000; ++i) in.push_back(dist(rng));
    std::vector<double> block = in;
    g.processBlock(block.data(), static_cast<int>(block.size()));
    for (std::size_t i = 0; i < in.size(); ++i) {
        ASSERT_TRUE(sameBits(g.process(in[i]), in[i])) << i;
        ASSERT_TRUE(sameBits(p.process(in[i]), in[i])) << i;
        ASSERT_TRUE(sameBits(block[i], in[i])) << i;
    }
}

TEST(GlidingBiquad, StartsFromAllOnesAndGlidesForThousandsOfSamples) {
    GlidingBiquad g(44100.0, kBiquadPeaking, 1000.0, 1.0, 9.0);
    const BiquadCoefficients t = g.designRecord().target;
    EXPECT_EQ(g.current().b0, 1.0);
    EXPECT_EQ(g.current().a1, 1.0);
    EXPECT_EQ(g.current().a2, 1.0);
    EXPECT_EQ(g.glideRate(), 0.001);

    auto distance = [&] {
        const BiquadCoefficients& c = g.current();
        return std::fabs(c.a1 - t.a1) + std::fabs(c.a2 - t.a2) + std::fabs(c.b0 - t.b0) +
               std::fabs(c.b1 - t.b1) + std::fabs(c.b2 - t.b2);
    };
    const double d0 = distance();
    for (int i = 0; i < 100; ++i) g.process(0.1);
    // 0.999^100 = 0.905 of the way still to go.
    EXPECT_NEAR(distance() / d0, std::pow(0.999, 100), 1e-6);
    for (int i = 100; i < 3000; ++i) g.process(0.1);
    EXPECT_NEAR(distance() / d0, std::pow(0.999, 3000), 1e-6);  // ~5 % left
    EXPECT_GT(distance() / d0, 0.04);
    for (int i = 3000; i < 20000; ++i) g.process(0.1);
    EXPECT_LT(distance() / d0, 1e-8);
}

TEST(GlidingBiquad, ResetSnapsToTheDesignAndFiltersExactlyAtOnce) {
    GlidingBiquad g(44100.0, kBiquadLowShelf, 300.0, 0.7071, -8.0);
    g.process(0.5);
    g.reset();
    const BiquadCoefficients& t = g.designRecord().target;
    EXPECT_EQ(g.current().b0, t.b0);
    EXPECT_EQ(g.current().b1, t.b1);
    EXPECT_EQ(g.current().b2, t.b2);
    EXPECT_EQ(g.current().a1, t.a1);
    EXPECT_EQ(g.current().a2, t.a2);
    EXPECT_EQ(g.memories().x1, 0.0);
    EXPECT_EQ(g.memories().y2, 0.0);

    // First output of a reset filter: b0 * x plus noise terms of order 1e-13.
    const double y0 = g.process(1.0);
    EXPECT_NEAR(y0, t.b0, 1e-12);
    // The response matches the design (the noise glides coefficients by ~1e-12 at most).
    g.reset();
    EXPECT_NEAR(measuredGain(g, 100.0, 44100.0), responseGain(t, 100.0, 44100.0), 1e-6);
    EXPECT_NEAR(20.0 * std::log10(measuredGain(g, 30.0, 44100.0)), -8.0, 0.05);
}

TEST(GlidingBiquad, GlideRateDependsOnTheSampleRate) {
    EXPECT_EQ(GlidingBiquad(44100.0, 4, 1000.0, 1.0, 0.0).glideRate(), 0.001);
    EXPECT_EQ(GlidingBiquad(50000.0, 4, 1000.0, 1.0, 0.0).glideRate(), 0.001);
    EXPECT_EQ(GlidingBiquad(96000.0, 4, 1000.0, 1.0, 0.0).glideRate(), 0.0001);
    EXPECT_EQ(GlidingBiquad(192000.0, 4, 1000.0, 1.0, 0.0).glideRate(), 0.0001);
    // Implausible rates count as 44.1 kHz for the glide.
    EXPECT_EQ(GlidingBiquad(384000.0, 4, 1000.0, 1.0, 0.0).glideRate(), 0.001);
    EXPECT_EQ(GlidingBiquad(8000.0, 4, 1000.0, 1.0, 0.0).glideRate(), 0.001);

    GlidingBiquad g(44100.0, kBiquadLowPass, 30000.0, 1.0, 0.0);
    EXPECT_DOUBLE_EQ(g.designRecord().frequencyHz, 0.499 * 44100.0);
    g.setSampleRate(96000.0);
    EXPECT_EQ(g.glideRate(), 0.00035);
    EXPECT_EQ(g.designRecord().sampleRateHz, 96000.0);
    EXPECT_DOUBLE_EQ(g.designRecord().frequencyHz, 0.499 * 44100.0);  // cap was stored
    g.setSampleRate(16000.0);
    EXPECT_EQ(g.glideRate(), 0.001);
    EXPECT_DOUBLE_EQ(g.designRecord().frequencyHz, 0.499 * 16000.0);
    g.setSampleRate(48000.0);
    EXPECT_EQ(g.glideRate(), 0.001);
}

TEST(GlidingBiquad, SettersRedesignAndSetTypeClearsTheMemories) {
    GlidingBiquad g(48000.0, kBiquadPeaking, 1000.0, 1.0, 6.0);
    for (int i = 0; i < 10; ++i) g.process(0.3);
    g.setFrequency(2000.0);
    EXPECT_NE(g.memories().y1, 0.0);  // a redesign keeps the memories
    BiquadDesign ref;
    ref.sampleRateHz = 48000.0;
    ref.type = kBiquadPeaking;
    ref.frequencyHz = 2000.0;
    ref.quality = 1.0;
    ref.gainDb = 6.0;
    ref.design();
    EXPECT_EQ(g.designRecord().target.b0, ref.target.b0);
    g.setQuality(3.0);
    g.setGain(-4.0);
    ref.quality = 3.0;
    ref.gainDb = -4.0;
    ref.design();
    EXPECT_EQ(g.designRecord().target.a1, ref.target.a1);
    EXPECT_EQ(g.designRecord().target.b2, ref.target.b2);

    g.setType(kBiquadHighPass);
    EXPECT_EQ(g.memories().x1, 0.0);
    EXPECT_EQ(g.memories().y1, 0.0);
    ref.type = kBiquadHighPass;
    ref.design();
    EXPECT_EQ(g.designRecord().target.b1, ref.target.b1);

    g.setNoiseScale(1e-6);
    EXPECT_EQ(g.noiseScale(), 1e-6);
    g.setType(kBiquadLowPass);  // a low-pass design restores the usual noise
    EXPECT_EQ(g.noiseScale(), 1e-13);
}

TEST(GlidingBiquad, BlockFormMatchesPerSampleBitForBit) {
    GlidingBiquad a(44100.0, kBiquadHighShelf, 4000.0, 0.9, 5.0);
    GlidingBiquad b(44100.0, kBiquadHighShelf, 4000.0, 0.9, 5.0);
    std::vector<double> buf(5000);
    for (std::size_t i = 0; i < buf.size(); ++i)
        buf[i] = std::sin(0.05 * i) + 0.2 * std::cos(1.7 * i);
    std::vector<double> ref(buf.size());
    for (std::size_t i = 0; i < buf.size(); ++i) ref[i] = a.process(buf[i]);
    b.processBlock(buf.data(), 1234);
    b.processBlock(buf.data() + 1234, 0);
    b.processBlock(buf.data() + 1234, static_cast<int>(buf.size()) - 1234);
    for (std::size_t i = 0; i < buf.size(); ++i) ASSERT_TRUE(sameBits(buf[i], ref[i])) << i;
    EXPECT_EQ(a.current().b0, b.current().b0);
}

TEST(GlidingBiquad, SilenceNeverDecaysIntoSubnormals) {
    for (int type : {kBiquadLowPass, kBiquadHighPass, kBiquadPeaking, kBiquadAllPass}) {
        GlidingBiquad g(44100.0, type, 60.0, 0.7071, 6.0);
        for (int i = 0; i < 1000; ++i) g.process(1.0);
        int bad = 0;
        double late = 0.0;
        for (int i = 0; i < 1000000; ++i) {
            const double y = g.process(0.0);
            bad += notNormal(g.memories());
            if (i > 100000) late = std::fmax(late, std::fabs(y));
        }
        EXPECT_EQ(bad, 0) << type;
        EXPECT_LT(late, 1e-9) << type;
        // Only the noise is left: the state is of order 1e-13 or so.
        EXPECT_LT(std::fabs(g.memories().y1), 1e-10) << type;
    }
}

TEST(PlainBiquad, FollowsItsDesignImmediately) {
    PlainBiquad p(48000.0, kBiquadPeaking, 1500.0, 1.2, 10.0);
    const BiquadCoefficients& t = p.designRecord().target;
    // First sample: the offset flips from +1e-13 to -1e-13 before use.
    const double y0 = p.process(1.0);
    EXPECT_DOUBLE_EQ(y0, t.b0 * (1.0 - 1e-13));
    EXPECT_DOUBLE_EQ(p.memories().x1, 1.0 - 1e-13);
    EXPECT_DOUBLE_EQ(p.memories().y1, y0 + 1e-13);

    p.reset();
    EXPECT_NEAR(20.0 * std::log10(measuredGain(p, 1500.0, 48000.0)), 10.0, 1e-6);
    p.setFrequency(6000.0);
    p.reset();
    EXPECT_NEAR(20.0 * std::log10(measuredGain(p, 6000.0, 48000.0)), 10.0, 1e-6);
    p.setType(kBiquadLowPass);
    EXPECT_EQ(p.memories().x1, 0.0);
    EXPECT_NEAR(measuredGain(p, 12000.0, 48000.0),
                responseGain(p.designRecord().target, 12000.0, 48000.0), 1e-9);

    p.setSampleRate(44100.0);
    p.setFrequency(30000.0);
    EXPECT_DOUBLE_EQ(p.designRecord().frequencyHz, 22005.9);
}

TEST(PlainBiquad, AlternatingOffsetKeepsSilenceOutOfTheSubnormalRange) {
    for (int type : {kBiquadLowPass, kBiquadHighPass, kBiquadLowShelf, kBiquadBandPass}) {
        PlainBiquad p(44100.0, type, 60.0, 0.7071, 6.0);
        for (int i = 0; i < 1000; ++i) p.process(1.0);
        int bad = 0;
        for (int i = 0; i < 1000000; ++i) {
            p.process(0.0);
            bad += notNormal(p.memories());
        }
        EXPECT_EQ(bad, 0) << type;
        EXPECT_LT(std::fabs(p.memories().y1), 1e-11) << type;
    }
}

TEST(PlainBiquad, BlockFormMatchesPerSampleBitForBit) {
    PlainBiquad a(96000.0, kBiquadNotch, 50.0, 4.0, 0.0);
    PlainBiquad b(96000.0, kBiquadNotch, 50.0, 4.0, 0.0);
    std::vector<double> buf(3001);
    for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = std::sin(0.003 * i);
    std::vector<double> ref(buf.size());
    for (std::size_t i = 0; i < buf.size(); ++i) ref[i] = a.process(buf[i]);
    b.processBlock(buf.data(), 1000);
    b.processBlock(buf.data() + 1000, 2001);
    for (std::size_t i = 0; i < buf.size(); ++i) ASSERT_TRUE(sameBits(buf[i], ref[i])) << i;
}

}  // namespace
}  // namespace qrx::dsp
