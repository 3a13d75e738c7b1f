// The parameter table on its own: names, display texts, read-out values and host properties,
// with every expected figure worked out by hand from the mappings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "tinypress/Mappings.h"
#include "tinypress/Parameters.h"

namespace tinypress {
namespace {

std::string display(int index, float v) {
    char text[32] = "garbage";
    Params::formatParamDisplay(index, v, text);
    return text;
}

TEST(TinyPressParameterTable, NamesKeepTheirBlanks) {
    const char* const expected[kNumParams] = {
        " Power ",    " - ",       " Soft ",      " RMS ",       " - ",        "Threshold ",
        "Ratio ",     " - ",       "Attack ",     " - ",         "Release ",   "AutoRel ",
        " LowSCF ",   " - ",       " HighSCF ",   " - ",         "Makeup ",    "AutoMakeup",
        " - ",        " - ",       " Link",       " - ",         "Mix ",       "Output ",
        "Meters ",    "Classic ",  "S.C.Ext",     "Smooth",      "Stereo",     " - ",
        " - ",        " - ",       " - ",         " - ",         "",           "S.C.Monit",
        "VU Integr ", "VU Refer ", "PPM Integr ", "PPM Return ", "OverIndic ",
    };
    for (int i = 0; i < kNumParams; ++i) EXPECT_STREQ(Params::paramSpec(i).name, expected[i]) << i;
    for (int i : {-1, 41, 54, 55, 1000}) EXPECT_STREQ(Params::paramSpec(i).name, " - ") << i;
}

TEST(TinyPressParameterTable, HiddenIndicesHaveNoText) {
    for (int i : {1, 4, 7, 9, 13, 15, 18, 19, 21, 25, 29, 30, 31, 32, 33, 34, 41, -3})
        for (float v : {0.0f, 0.5f, 1.0f}) EXPECT_EQ(display(i, v), "") << i << " at " << v;
}

TEST(TinyPressParameterTable, RatioTextsUseTheSinglePrecisionStep) {
    EXPECT_EQ(display(kRatio, 0.3f), "1.00 : 1");  // k = 6
    EXPECT_EQ(display(kRatio, 1.0f), "64.00 : 1");
    EXPECT_EQ(display(kRatio, 0.0f), "0.50 : 1");
    // 0.7f * 20 is 13.99999976 in double but rounds to 14 in float.
    EXPECT_EQ(ratioStepOf(0.7f), 14);
    EXPECT_EQ(display(kRatio, 0.7f), "2.80 : 1");
    EXPECT_EQ(ratioStepOf(0.9f), 18);
    EXPECT_EQ(display(kRatio, 0.9f), "8.00 : 1");
    EXPECT_EQ(display(kRatio, 0.05f), "0.59 : 1");  // 2^-0.75 = 0.5946, cut not rounded
    EXPECT_EQ(display(kRatio, 0.55f), "1.68 : 1");  // k = 11: 2^0.75 = 1.6818
    // Factory ratio values and their steps.
    const struct {
        float v;
        int k;
    } steps[] = {{0.0f, 0},  {0.1f, 2},  {0.3f, 6},  {0.4f, 8},
                 {0.7f, 14}, {0.8f, 16}, {0.9f, 18}, {1.0f, 20}};
    for (const auto& s : steps) EXPECT_EQ(ratioStepOf(s.v), s.k) << s.v;
    EXPECT_DOUBLE_EQ(ratioOfStep(-1), 1.0);
    EXPECT_DOUBLE_EQ(ratioOfStep(17), 5.6);
    EXPECT_NEAR(ratioOfStep(13), 2.378414230005442, 1e-15);
}

TEST(TinyPressParameterTable, SwitchesAndSelectorsRoundInSinglePrecision) {
    EXPECT_EQ(switchOf(0.5f), 1);
    EXPECT_EQ(switchOf(0.49f), 0);
    EXPECT_EQ(switchOf(0.51f), 1);
    EXPECT_EQ(selectorOf(0.0f), 0);
    EXPECT_EQ(selectorOf(0.24f), 0);
    EXPECT_EQ(selectorOf(0.25f), 1);
    EXPECT_EQ(selectorOf(0.333f), 1);
    EXPECT_EQ(selectorOf(0.5f), 1);
    EXPECT_EQ(selectorOf(0.74f), 1);
    EXPECT_EQ(selectorOf(0.75f), 2);
    EXPECT_EQ(selectorOf(1.0f), 2);
    EXPECT_EQ(overCountOf(0.2222222f), 2);  // 1.9999998 + 0.5 truncates to 2
    EXPECT_EQ(overCountOf(0.25f), 2);
    EXPECT_EQ(overSamplesOf(1.0f), 10);
}

TEST(TinyPressParameterTable, LevelTexts) {
    // 20 log10(1 / (0.5 * 64^0.1667)) = -0.0012 dB: the sign of an all-zero negative stays.
    EXPECT_EQ(display(kThreshold, 0.1667f), "-0.00dB");
    EXPECT_EQ(display(kThreshold, 0.0f), "6.02dB");
    EXPECT_EQ(display(kThreshold, 1.0f), "-30.10dB");
    EXPECT_EQ(display(kMakeup, 0.0f), "-12.04dB");
    EXPECT_EQ(display(kMakeup, 0.33333334f), "0.00dB");  // 0.25 * 64^(1/3) = 1
    EXPECT_EQ(display(kMakeup, 1.0f), "24.08dB");
    EXPECT_EQ(display(kOutput, 0.5f), "-3.00dB");  // 18 v - 12
    EXPECT_EQ(display(kOutput, 0.665f), "-0.03dB");
    EXPECT_EQ(display(kOutput, 1.0f), "6.00dB");
    EXPECT_EQ(display(kMix, 1.0f), "100%");
    EXPECT_EQ(display(kMix, 0.555f), "55%");  // 55.5 is cut, not rounded
}

TEST(TinyPressParameterTable, TimeTexts) {
    EXPECT_EQ(display(kAttack, 0.5f), "3.16ms");  // 0.01 * sqrt(1e5) = 3.1623
    EXPECT_EQ(display(kAttack, 0.0f), "0.01ms");
    EXPECT_EQ(display(kAttack, 1.0f), "1000.00ms");
    EXPECT_EQ(display(kRelease, 0.5f), "0.33s");  // 0.0333 * 10
    EXPECT_EQ(display(kRelease, 0.0f), "0.03s");
    EXPECT_EQ(display(kRelease, 1.0f), "3.33s");
}

TEST(TinyPressParameterTable, MeterSettingTexts) {
    EXPECT_EQ(display(kVuIntegration, 0.5f), "300.0ms");
    EXPECT_EQ(display(kVuIntegration, 0.0f), "30.0ms");
    EXPECT_EQ(display(kVuReference, 1.0f), "0.00dBFS");
    EXPECT_EQ(display(kVuReference, 0.41f), "-14.31dBFS");  // 0.59 * 20 log10(0.06125)
    EXPECT_EQ(display(kVuReference, 0.0f), "-24.25dBFS");   // -24.258, cut
    EXPECT_EQ(display(kPpmIntegration, 0.0f), "0.0ms");
    EXPECT_EQ(display(kPpmIntegration, 0.52f), "10.0ms");  // 101^0.52 - 1 = 10.02
    EXPECT_EQ(display(kPpmIntegration, 1.0f), "100.0ms");
    EXPECT_EQ(display(kPpmReturn, 0.5f), "1000ms");
    EXPECT_EQ(display(kPpmReturn, 0.72365f), "2800ms");  // 2800.9
    EXPECT_EQ(display(kOverIndicator, 0.2222222f), "3smps");
    EXPECT_EQ(display(kOverIndicator, 0.0f), "1smps");
    EXPECT_EQ(display(kOverIndicator, 1.0f), "10smps");
}

TEST(TinyPressParameterTable, ChoiceTexts) {
    EXPECT_EQ(display(kPower, 0.5f), "On");
    EXPECT_EQ(display(kPower, 0.49f), "Off");
    EXPECT_EQ(display(kSoft, 1.0f), "Soft");
    EXPECT_EQ(display(kSoft, 0.0f), "Hard");
    EXPECT_EQ(display(kRms, 1.0f), "RMS");
    EXPECT_EQ(display(kRms, 0.0f), "Peak");
    EXPECT_EQ(display(kAutoRelease, 0.51f), "On");
    EXPECT_EQ(display(kAutoRelease, 0.0f), "Off");
    EXPECT_EQ(display(kAutoMakeup, 1.0f), "AutoMakeup");
    EXPECT_EQ(display(kAutoMakeup, 0.0f), "Off");
    EXPECT_EQ(display(kLink, 0.5f), "Linked");
    EXPECT_EQ(display(kLink, 0.0f), "Off");
    EXPECT_EQ(display(kScExt, 1.0f), "S.C.Ext");
    EXPECT_EQ(display(kScExt, 0.0f), "Off");
    EXPECT_EQ(display(kSmooth, 1.0f), "Smooth");
    EXPECT_EQ(display(kSmooth, 0.0f), "Draft");
    EXPECT_EQ(display(kStereo, 0.51f), "Stereo");
    EXPECT_EQ(display(kStereo, 0.0f), "Mono");
    EXPECT_EQ(display(kScMonitor, 1.0f), "S.C.Monit");
    EXPECT_EQ(display(kScMonitor, 0.0f), "Off");
    EXPECT_EQ(display(kMeters, 0.24f), "Pre");
    EXPECT_EQ(display(kMeters, 0.3f), "GainRed");  // once shown as "Pre"
    EXPECT_EQ(display(kMeters, 0.7f), "GainRed");  // once shown as "Post"
    EXPECT_EQ(display(kMeters, 0.75f), "Post");
    // The filter selectors name the position the editor's switch lights: modes 0, 1 and 2.
    EXPECT_EQ(display(kLowScf, 0.0f), "LoCut");
    EXPECT_EQ(display(kLowScf, 0.24f), "LoCut");
    EXPECT_EQ(display(kLowScf, 0.5f), "LoFlat");
    EXPECT_EQ(display(kLowScf, 0.74f), "LoFlat");
    EXPECT_EQ(display(kLowScf, 1.0f), "LoBoost");
    EXPECT_EQ(display(kHighScf, 0.0f), "HiCut");
    EXPECT_EQ(display(kHighScf, 0.5f), "HiFlat");
    EXPECT_EQ(display(kHighScf, 1.0f), "HiBoost");
}

TEST(TinyPressParameterTable, EditorReadOuts) {
    EXPECT_FLOAT_EQ(Params::editorValueOf(kThreshold, 0.5f), -12.0f);  // 6 - 36 v
    EXPECT_FLOAT_EQ(Params::editorValueOf(kAttack, 0.5f), 3.1622777f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kRelease, 0.5f), 333.333f);  // 33.3333 * 100^v ms
    EXPECT_FLOAT_EQ(Params::editorValueOf(kLowCorner, 0.5f), 100.0f);  // 25 * 16^v
    EXPECT_FLOAT_EQ(Params::editorValueOf(kHighCorner, 0.5f), 4000.0f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kMakeup, 0.5f), 6.0f);  // 36 v - 12
    EXPECT_FLOAT_EQ(Params::editorValueOf(kHidden21, 0.7f), 20.0f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kMix, 0.25f), 25.0f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kOutput, 0.5f), -3.0f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kRatio, 0.7f), 2.8f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kLowScf, 0.5f), 1.0f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kHighScf, 1.0f), 2.0f);
    for (int i : {1, 2, 3, 4, 11, 17, 18, 19, 20, 25, 26, 28, 35}) {
        EXPECT_FLOAT_EQ(Params::editorValueOf(i, 0.6f), 1.0f) << i;
        EXPECT_FLOAT_EQ(Params::editorValueOf(i, 0.4f), 0.0f) << i;
    }
    EXPECT_FLOAT_EQ(Params::editorValueOf(kVuIntegration, 0.5f), 300.0f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kVuReference, 0.0f), 0.06125f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kPpmReturn, 0.0f), 100.0f);
    EXPECT_FLOAT_EQ(Params::editorValueOf(kOverIndicator, 1.0f), 10.0f);
    for (int i : {0, 7, 9, 24, 27, 29, 33, 34, 41})
        EXPECT_EQ(Params::editorValueOf(i, 0.8f), 0.0f) << i;
}

TEST(TinyPressParameterTable, HostPropertiesForSwitchesAndSelectors) {
    const std::set<int> switches = {0, 1, 2, 3, 4, 11, 17, 18, 19, 20, 25, 26, 27, 28, 35};
    const std::set<int> selectors = {12, 14, 24};
    for (int i = -1; i <= 60; ++i) {
        VstParameterProperties p;
        std::memset(&p, 0x5A, sizeof p);
        const bool answered = Params::fillParamProperties(i, &p);
        if (switches.count(i)) {
            ASSERT_TRUE(answered) << i;
            EXPECT_EQ(p.flags, kVstParameterIsSwitch | kVstParameterUsesFloatStep) << i;
            EXPECT_EQ(p.stepFloat, 1.0f);
            EXPECT_EQ(p.smallStepFloat, 1.0f);
            EXPECT_EQ(p.largeStepFloat, 1.0f);
        } else if (selectors.count(i)) {
            ASSERT_TRUE(answered) << i;
            EXPECT_EQ(p.flags, kVstParameterUsesFloatStep) << i;
            EXPECT_EQ(p.stepFloat, 0.5f);
            EXPECT_EQ(p.smallStepFloat, 0.5f);
            EXPECT_EQ(p.largeStepFloat, 0.5f);
        } else {
            EXPECT_FALSE(answered) << i;
            continue;
        }
        EXPECT_STREQ(p.label, Params::paramSpec(i).name);
        EXPECT_EQ(std::string(p.shortLabel), std::string(Params::paramSpec(i).name).substr(0, 7));
    }
    VstParameterProperties p;
    ASSERT_TRUE(Params::fillParamProperties(kAutoMakeup, &p));
    EXPECT_STREQ(p.shortLabel, "AutoMak");
}

TEST(TinyPressMappings, WorkingQuantities) {
    EXPECT_DOUBLE_EQ(thresholdGainOf(0.5f), 4.0);
    EXPECT_DOUBLE_EQ(thresholdGainOf(0.0f), 0.5);
    EXPECT_DOUBLE_EQ(thresholdGainOf(1.0f), 32.0);
    EXPECT_DOUBLE_EQ(makeupGainOf(0.5f), 2.0);
    EXPECT_DOUBLE_EQ(outputGainOf(0.0f), 0.25);
    EXPECT_DOUBLE_EQ(outputGainOf(1.0f), 2.0);
    EXPECT_DOUBLE_EQ(lowCornerHzOf(0.0f), 17.5);
    EXPECT_DOUBLE_EQ(lowCornerHzOf(1.0f), 280.0);
    EXPECT_DOUBLE_EQ(highCornerHzOf(0.0f), 1375.0);
    EXPECT_DOUBLE_EQ(highCornerHzOf(1.0f), 22000.0);
    EXPECT_DOUBLE_EQ(releaseSecondsOf(1.0f), 3.33);
    EXPECT_DOUBLE_EQ(attackMsOf(1.0f), 1000.0);
    // g_T = 4, R = 2: A = (2.2 / sqrt(2.2))^0.8 = 2.2^0.4.
    EXPECT_NEAR(autoMakeupGainOf(4.0, 0.5), 1.370784144222729, 1e-12);
    // R = 1: the gain computer changes nothing, so neither does A.
    EXPECT_DOUBLE_EQ(autoMakeupGainOf(4.0, 1.0), 1.0);
    EXPECT_NEAR(kneeLowYOf(0.5), 1.224744871391589, 1e-12);
    EXPECT_NEAR(kneeHighYOf(0.5), 1.5811388300841898, 1e-12);
    EXPECT_NEAR(vuCornerHzOf(300.0), 2.3333333333, 1e-9);
    EXPECT_EQ(hilbertLengthOf(44100.0), 44);
    EXPECT_EQ(hilbertLengthOf(192000.0), 192);
}

TEST(TinyPressMappings, LatencyIsTheDelayAtTheProcessingRate) {
    EXPECT_EQ(latencySamplesOf(44100.0), 977);  // 1021 - 44
    EXPECT_EQ(latencySamplesOf(48000.0), 973);
    EXPECT_EQ(latencySamplesOf(96000.0), 925);
    EXPECT_EQ(latencySamplesOf(22050.0), 999);
    EXPECT_EQ(latencySamplesOf(192000.0), 829);
    // Outside 22050..192000 Hz (and for rates no host should report) processing runs as at
    // 44100 Hz, and so does the delay.
    for (const double rate : {999.0, 8000.0, 22049.0, 192001.0, 384000.0, 5.0e6, -48000.0,
                              static_cast<double>(NAN), static_cast<double>(INFINITY)}) {
        EXPECT_EQ(processingRateOf(rate), 44100.0) << rate;
        EXPECT_EQ(latencySamplesOf(rate), 977) << rate;
    }
}

}  // namespace
}  // namespace tinypress
