// The master compressor's parameter table as the host sees it: names, display texts, values,
// properties, and the single-precision steps the factory programs sit on.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "grandpress/GrandPress.h"
#include "grandpress/Mappings.h"
#include "grandpress/Parameters.h"
#include "grandpress/SignalPath.h"
#include "support/CallbackRecorder.h"

namespace {

using grandpress::GrandPress;

class GrandPressParameters : public ::testing::Test {
  protected:
    std::string display(int index, float v) {
        effect.setParameter(index, v);
        char text[64] = {};
        effect.getParameterDisplay(index, text);
        return text;
    }
    std::string name(int index) {
        char text[64] = {};
        effect.getParameterName(index, text);
        return text;
    }
    testsupport::TemporaryConfigHome config;
    GrandPress effect{nullptr};
};

TEST_F(GrandPressParameters, NamesKeepTheirBlanks) {
    const char* expected[] = {
        " Power ",  " FAT ",     " Soft ",    " RMS ",      " Limiter ", " Threshold ", " Ratio ",
        " Attack ", "AutoAttck", " Release ", " AutoRel ",  " Makeup ",  "AutoMakeup",  " HighSCF ",
        " High ",   " LowSCF ",  " Low ",     "LnkHighCut", "LnkLowCut", " Link",       " Tilt ",
        " Mix ",    " Output ",  " Meters ",  " Classic ",  "S.C.Ext",   "Smooth"};
    for (int i = 0; i < 27; ++i) EXPECT_EQ(name(i), expected[i]) << i;
    for (int i = 27; i <= 34; ++i) EXPECT_EQ(name(i), " - ") << i;
    EXPECT_EQ(name(35), "S.C.Monit");
    EXPECT_EQ(name(36), " VU Integr ");
    EXPECT_EQ(name(40), " OverIndic ");
    EXPECT_EQ(name(41), " - ");
    EXPECT_EQ(name(-1), " - ");
    char label[8] = "x";
    effect.getParameterLabel(5, label);
    EXPECT_STREQ(label, "");
}

TEST_F(GrandPressParameters, SwitchTexts) {
    EXPECT_EQ(display(0, 1.0f), " On ");
    EXPECT_EQ(display(0, 0.49f), " Off ");
    EXPECT_EQ(display(12, 1.0f), " AutoMakeup ");
    EXPECT_EQ(display(13, 0.0f), " HighCut ");
    EXPECT_EQ(display(13, 1.0f), " HighBoost ");
    EXPECT_EQ(display(15, 0.0f), " LowCut ");
    EXPECT_EQ(display(15, 1.0f), " LowBoost ");
    EXPECT_EQ(display(17, 1.0f), " HighCut ");
    EXPECT_EQ(display(18, 1.0f), " LowCut ");
    EXPECT_EQ(display(18, 0.0f), " Off ");
    EXPECT_EQ(display(25, 1.0f), "S.C.Ext");
    EXPECT_EQ(display(35, 1.0f), "S.C.Monit");
    EXPECT_EQ(display(35, 0.0f), " Off     ");
    EXPECT_EQ(display(23, 0.2f), " Pre ");
    EXPECT_EQ(display(23, 0.5f), " GainRed ");
    EXPECT_EQ(display(23, 0.75f), " Post ");
    EXPECT_EQ(display(30, 0.7f), "");
}

// " Meters " shows the source the engine meters, for every value automation may send (the
// engine switches at 0.25 and 0.75).
TEST_F(GrandPressParameters, MetersTextFollowsTheMeteredSource) {
    static const char* const kSources[] = {" Pre ", " GainRed ", " Post "};
    float in[2] = {}, out[2] = {};
    float* ins[4] = {&in[0], &in[1], &in[0], &in[1]};
    float* outs[2] = {&out[0], &out[1]};
    for (int step = 0; step <= 100; ++step) {
        const float v = step / 100.0f;
        const std::string text = display(grandpress::kMeters, v);
        effect.processReplacing(ins, outs, 1);  // the engine takes the value
        const int source = effect.signalPath()->settings().meterSource;
        ASSERT_TRUE(source >= 0 && source <= 2) << v;
        EXPECT_EQ(text, kSources[source]) << v;
    }
    EXPECT_EQ(display(grandpress::kMeters, 0.3f), " GainRed ");  // once shown as " Pre "
    EXPECT_EQ(display(grandpress::kMeters, 0.7f), " GainRed ");  // once shown as " Post "
}

TEST_F(GrandPressParameters, NumberTextsAreCut) {
    EXPECT_EQ(display(5, 0.1667f), "-0.00dB");  // scale 1.000139, just above 1
    EXPECT_EQ(display(5, 0.0f), "6.02dB");
    EXPECT_EQ(display(5, 1.0f), "-30.10dB");
    EXPECT_EQ(display(7, 0.5f), "3.16ms");
    EXPECT_EQ(display(7, 1.0f), "1000.00ms");
    EXPECT_EQ(display(9, 0.5f), "1.0s");
    EXPECT_EQ(display(9, 1.0f), "10.0s");
    EXPECT_EQ(display(11, 1.0f / 3.0f), "0.00dB");
    EXPECT_EQ(display(11, 1.0f), "24.08dB");
    EXPECT_EQ(display(14, 1.0f), "16.00kHz");
    EXPECT_EQ(display(16, 1.0f), "400Hz");
    EXPECT_EQ(display(19, 0.5f), "50%");
    EXPECT_EQ(display(21, 1.0f), "100%");
    EXPECT_EQ(display(22, 0.0f), "-12.04dB");
    EXPECT_EQ(display(22, 0.5f), "0.00dB");
    EXPECT_EQ(display(36, 0.5f), "300.0ms");
    EXPECT_EQ(display(37, 1.0f), "0.00dBFS");
    EXPECT_EQ(display(37, 0.0f), "-24.25dBFS");  // 20*log10(0.06125) = -24.2579
    EXPECT_EQ(display(38, 1.0f), "100.0ms");
    EXPECT_EQ(display(39, 0.5f), "1000ms");
}

TEST_F(GrandPressParameters, TiltText) {
    EXPECT_EQ(display(20, 0.505f), "C");
    EXPECT_EQ(display(20, 0.52f), "2R");
    EXPECT_EQ(display(20, 0.25f), "25L");
    EXPECT_EQ(display(20, 1.0f), "50R");
}

TEST_F(GrandPressParameters, RatioStepsInSinglePrecision) {
    EXPECT_EQ(display(6, 1.0f), "64.00 : 1");
    EXPECT_DOUBLE_EQ(1.0 / effect.settingsNow().inverseRatio, grandpress::ratioOfStep(20));
    EXPECT_EQ(display(6, 0.3f), "1.00 : 1");
    EXPECT_DOUBLE_EQ(1.0 / effect.settingsNow().inverseRatio, grandpress::ratioOfStep(6));
    EXPECT_EQ(display(6, 0.7f), "2.80 : 1");
    EXPECT_DOUBLE_EQ(1.0 / effect.settingsNow().inverseRatio, grandpress::ratioOfStep(14));
    EXPECT_EQ(display(6, 0.9f), "8.00 : 1");
    EXPECT_DOUBLE_EQ(1.0 / effect.settingsNow().inverseRatio, grandpress::ratioOfStep(18));
    EXPECT_EQ(display(6, 0.1f), "0.70 : 1");  // 0.7071 itself
    EXPECT_EQ(display(6, 0.0f), "0.50 : 1");
    EXPECT_DOUBLE_EQ(effect.settingsNow().inverseRatio, 2.0);
    EXPECT_DOUBLE_EQ(grandpress::ratioOfStep(13), std::pow(2.0, 1.25));
    EXPECT_DOUBLE_EQ(grandpress::ratioOfStep(2), 0.7071);
}

TEST_F(GrandPressParameters, OverIndicatorSnapsToNinths) {
    EXPECT_EQ(display(40, 0.5f), "6smps");
    EXPECT_FLOAT_EQ(effect.getParameter(40), 5.0f / 9.0f);
    EXPECT_EQ(effect.settingsNow().overSamples, 6);
    EXPECT_EQ(display(40, 0.0f), "1smps");
    EXPECT_EQ(display(40, 1.0f), "10smps");
}

TEST_F(GrandPressParameters, HostValuesAreSanitised) {
    effect.setParameter(5, 0.25f);
    effect.setParameter(5, NAN);
    EXPECT_EQ(effect.getParameter(5), 0.25f);
    effect.setParameter(5, INFINITY);
    EXPECT_EQ(effect.getParameter(5), 0.25f);
    effect.setParameter(5, 7.0f);
    EXPECT_EQ(effect.getParameter(5), 1.0f);
    // The detector scale is the threshold scale (32 at the top) times the detector constant.
    EXPECT_DOUBLE_EQ(effect.settingsNow().detectorScale, 32.0 * 1.4142 * 0.582 * 1.005773063);
    effect.setParameter(22, -3.0f);
    EXPECT_EQ(effect.getParameter(22), 0.0f);
    EXPECT_EQ(effect.programStore()->value(0, 22), 0.0f);
    effect.setParameter(6, 1e30f);
    EXPECT_DOUBLE_EQ(1.0 / effect.settingsNow().inverseRatio, grandpress::ratioOfStep(20));
}

TEST_F(GrandPressParameters, EmptySlotAndOutOfRangeIndices) {
    effect.setParameter(34, 0.8f);
    EXPECT_EQ(effect.getParameter(34), 0.0f);
    EXPECT_EQ(effect.getParameter(41), 0.0f);
    EXPECT_EQ(effect.getParameter(-5), 0.0f);
    effect.setParameter(30, 0.8f);  // spare slots are stored and returned
    EXPECT_EQ(effect.getParameter(30), 0.8f);
}

TEST_F(GrandPressParameters, TiltSidesFollowTheRatioStep) {
    effect.setParameter(20, 0.75f);
    effect.setParameter(6, 0.5f);  // compression: left gets g2
    EXPECT_DOUBLE_EQ(effect.settingsNow().tiltGainLeft, 0.5 * std::pow(4.0, 0.75));
    EXPECT_DOUBLE_EQ(effect.settingsNow().tiltGainRight, 0.5 * std::pow(4.0, 0.25));
    effect.setParameter(6, 0.1f);  // expansion: sides swap
    EXPECT_DOUBLE_EQ(effect.settingsNow().tiltGainLeft, 0.5 * std::pow(4.0, 0.25));
}

TEST_F(GrandPressParameters, EditorValues) {
    effect.setParameter(5, 0.5f);
    EXPECT_FLOAT_EQ(effect.getDisplayValue(5), 6.0f - 18.0f);
    effect.setParameter(9, 0.5f);
    EXPECT_FLOAT_EQ(effect.getDisplayValue(9), 1000.0f);
    effect.setParameter(22, 0.75f);
    EXPECT_FLOAT_EQ(effect.getDisplayValue(22), 6.0f);
    effect.setParameter(13, 1.0f);
    EXPECT_FLOAT_EQ(effect.getDisplayValue(13), 1.0f);
    effect.setParameter(37, 1.0f);
    EXPECT_FLOAT_EQ(effect.getDisplayValue(37), 1.0f);
    EXPECT_FLOAT_EQ(effect.getDisplayValue(23), 0.0f);
    EXPECT_FLOAT_EQ(effect.getDisplayValue(0), 0.0f);
    EXPECT_FLOAT_EQ(effect.getDisplayValue(99), 0.0f);
}

TEST_F(GrandPressParameters, HostProperties) {
    VstParameterProperties p{};
    const int switches[] = {0, 1, 2, 3, 4, 8, 10, 12, 13, 15, 17, 18, 24, 25, 26, 35};
    for (int i : switches) {
        ASSERT_TRUE(effect.getParameterProperties(i, &p)) << i;
        EXPECT_EQ(p.flags, kVstParameterIsSwitch | kVstParameterUsesFloatStep);
        EXPECT_EQ(p.stepFloat, 1.0f);
        EXPECT_EQ(p.largeStepFloat, 1.0f);
    }
    ASSERT_TRUE(effect.getParameterProperties(23, &p));
    EXPECT_EQ(p.flags, kVstParameterUsesFloatStep);
    EXPECT_EQ(p.smallStepFloat, 0.5f);
    EXPECT_STREQ(p.label, " Meters ");
    EXPECT_STREQ(p.shortLabel, " Meters");
    ASSERT_TRUE(effect.getParameterProperties(17, &p));
    EXPECT_STREQ(p.shortLabel, "LnkHigh");
    for (int i : {5, 6, 7, 9, 11, 14, 16, 19, 20, 21, 22, 27, 34, 36, 40, 41})
        EXPECT_FALSE(effect.getParameterProperties(i, &p)) << i;
}

}  // namespace
