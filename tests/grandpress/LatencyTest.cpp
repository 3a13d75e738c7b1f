// Every routine delays the main signal by exactly the announced 1660 samples at every supported
// rate, in both host precisions.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "grandpress/EngineRig.h"

namespace {

using grandpress::Routine;
using testsupport::EngineRig;
using testsupport::peakIndex;
namespace gp = grandpress;

constexpr float kRates[] = {22050, 44100, 48000, 88200, 96000, 176400, 192000};

struct Variant {
    const char* name;
    float power, fat, smooth;
    Routine routine;
};
constexpr Variant kVariants[] = {
    {"pass-through", 0, 0, 0, Routine::PassThrough},
    {"normal", 1, 0, 0, Routine::Normal},
    {"FAT", 1, 1, 0, Routine::Fat},
    {"Smooth", 1, 0, 1, Routine::Smooth},
    {"FAT+Smooth", 1, 1, 1, Routine::FatSmooth},
};

// Impulse at sample 100 of a silent signal; returns the output.
template <typename Sample>
void impulseThrough(EngineRig& rig, std::vector<double>& outL, std::vector<double>& outR) {
    std::vector<double> in(4096, 0.0);
    in[100] = 1.0;
    rig.run<Sample>(in, in, outL, outR, 512);
}

TEST(GrandPressLatency, ImpulseLeavesAt1660ForEveryRoutineRateAndMix) {
    for (float rate : kRates) {
        for (const Variant& v : kVariants) {
            for (float mix : {0.0f, 1.0f}) {
                EngineRig rig(rate);  // program "Default": ratio 1:1, limiter off
                rig.set(gp::kPower, v.power);
                rig.set(gp::kFat, v.fat);
                rig.set(gp::kSmooth, v.smooth);
                rig.set(gp::kMix, mix);
                rig.restart(rate);
                ASSERT_EQ(rig.effect->getAeffect()->initialDelay, 1660);
                std::vector<double> outL, outR;
                impulseThrough<double>(rig, outL, outR);
                ASSERT_EQ(rig.settings().layout.routine, static_cast<int>(v.routine));
                SCOPED_TRACE(testing::Message() << v.name << " at " << rate << " Hz, mix " << mix);
                EXPECT_EQ(peakIndex(outL), 100u + 1660u);
                EXPECT_EQ(peakIndex(outR), 100u + 1660u);
                // Mix 0 is the dry signal; at 1:1 the gain is level/(level + 1e-6), so within
                // 1e-3. The resampled routines band-limit the impulse: its peak keeps > 0.9.
                const bool resampled = v.fat && v.power;
                EXPECT_NEAR(outL[1760], 1.0, resampled ? 0.1 : 1e-3);
                if (!resampled) {
                    // Nothing else leaves: the rest is noise-level.
                    double rest = 0.0;
                    for (size_t i = 0; i < outL.size(); ++i)
                        if (i != 1760) rest = std::max(rest, std::abs(outL[i]));
                    EXPECT_LT(rest, 1e-6);
                }
            }
        }
    }
}

TEST(GrandPressLatency, SinglePrecisionTakesTheSamePath) {
    for (const Variant& v : kVariants) {
        EngineRig rig(48000);
        rig.set(gp::kPower, v.power);
        rig.set(gp::kFat, v.fat);
        rig.set(gp::kSmooth, v.smooth);
        rig.restart(48000);
        std::vector<double> fl, fr, dl, dr;
        impulseThrough<float>(rig, fl, fr);
        rig.restart(48000);
        impulseThrough<double>(rig, dl, dr);
        SCOPED_TRACE(v.name);
        EXPECT_EQ(peakIndex(fl), 1760u);
        for (size_t i = 0; i < fl.size(); ++i) ASSERT_NEAR(fl[i], dl[i], 1e-6) << i;
    }
}

TEST(GrandPressLatency, PowerSwitchKeepsTheTiming) {
    EngineRig rig(44100);
    std::vector<double> in(8192, 0.0), outL, outR;
    in[100] = 1.0;
    in[3000] = 0.5;
    in[3000 + 2048] = 0.25;
    // Power goes off after the first block and on again after the sixth.
    std::vector<double> part, pr, ol(in.size()), orr(in.size());
    size_t pos = 0;
    for (int block = 0; block < 16; ++block) {
        if (block == 1) rig.set(gp::kPower, 0.0f);
        if (block == 6) rig.set(gp::kPower, 1.0f);
        std::vector<double> chunk(in.begin() + pos, in.begin() + pos + 512);
        rig.run(chunk, chunk, part, pr, 512);
        std::copy(part.begin(), part.end(), ol.begin() + pos);
        pos += 512;
    }
    EXPECT_NEAR(ol[1760], 1.0, 1e-3);  // entered with Power on, left with it off
    EXPECT_NEAR(ol[4660], 0.5, 1e-3);  // entered off, left on
    EXPECT_NEAR(ol[3000 + 2048 + 1660], 0.25, 1e-3);
}

// Switching " FAT " or "Smooth" during playback, or " Power " while FAT is on, changes the rate
// or the delays inside the main path: the output must stay the input delayed by 1660 samples,
// with no step larger than the sine's own (program "Default": ratio 1:1, limiter off).
TEST(GrandPressLatency, SwitchingRoutinesDuringPlaybackKeepsASineWhole) {
    struct Switch {
        const char* name;
        int index;          // the switch toggled off/on during playback
        float fat, smooth;  // the other switches
    };
    constexpr Switch kSwitches[] = {
        {"FAT", gp::kFat, 0, 0},
        {"FAT with Smooth", gp::kFat, 0, 1},
        {"Power with FAT", gp::kPower, 1, 0},
        {"Power with FAT+Smooth", gp::kPower, 1, 1},
        {"Smooth", gp::kSmooth, 0, 0},
        {"Smooth with FAT", gp::kSmooth, 1, 0},
    };
    constexpr int kBlock = 512;
    for (const float rate : {44100.0f, 96000.0f}) {
        const double step = 2.0 * std::numbers::pi * 997.0 / rate;
        std::vector<double> in(26 * kBlock);
        for (size_t i = 0; i < in.size(); ++i) in[i] = 0.5 * std::sin(step * i);
        const double sineStep = 0.5 * 2.0 * std::sin(step / 2.0);  // largest step of the sine
        for (const Switch& sw : kSwitches) {
            SCOPED_TRACE(testing::Message() << sw.name << " at " << rate << " Hz");
            EngineRig rig(rate);
            rig.set(gp::kPower, 1.0f);
            rig.set(gp::kFat, sw.fat);
            rig.set(gp::kSmooth, sw.smooth);
            rig.set(sw.index, sw.index == gp::kPower ? 1.0f : 0.0f);
            rig.restart(rate);
            // Toggled at these samples; the last two only 200 samples apart.
            const size_t toggles[] = {8 * kBlock, 16 * kBlock, 20 * kBlock, 20 * kBlock + 200,
                                      in.size()};
            std::vector<double> out(in.size()), part, partR;
            size_t at = 0;
            for (const size_t next : toggles) {
                std::vector<double> segment(in.begin() + at, in.begin() + next);
                rig.run(segment, segment, part, partR, kBlock);
                std::copy(part.begin(), part.end(), out.begin() + at);
                at = next;
                rig.set(sw.index, rig.effect->getParameter(sw.index) > 0.5f ? 0.0f : 1.0f);
            }
            // Toggled four times: back in the routine it started with, not the pass-through.
            ASSERT_NE(rig.settings().layout.routine, static_cast<int>(Routine::PassThrough));
            double worstError = 0.0, worstStep = 0.0;
            for (size_t i = 3 * kBlock + 1660; i < out.size(); ++i) {
                worstError = std::max(worstError, std::abs(out[i] - in[i - 1660]));
                worstStep = std::max(worstStep, std::abs(out[i] - out[i - 1]));
            }
            EXPECT_LT(worstError, 2e-3);
            EXPECT_LT(worstStep, sineStep * 1.01);
        }
    }
}

}  // namespace
