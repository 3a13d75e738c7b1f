// Every routine delays the main signal by exactly the announced 1660 samples at every supported
// rate, in both host precisions.
#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
