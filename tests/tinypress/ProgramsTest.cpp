// The sixteen factory programs and how parameter writes reach them: Power is common to every
// program, loading a program records nothing, and the construction defaults never leak into the
// factory values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "TestSupport.h"
#include "tinypress/FactoryPrograms.h"
#include "tinypress/Mappings.h"
#include "tinypress/TinyPress.h"

namespace tinypress {
namespace {

using tinypress_test::shelvesAre;

TEST(TinyPressFactoryPrograms, CommonColumns) {
    for (int p = 0; p < kNumPrograms; ++p) {
        const double* v = kFactoryPrograms[p].values;
        EXPECT_EQ(v[0], 1.0) << p;
        EXPECT_EQ(v[14], 0.5) << p;
        EXPECT_EQ(v[21], 0.5) << p;
        EXPECT_EQ(v[24], 0.5) << p;
        EXPECT_EQ(v[28], 1.0) << p;
        for (int i : {1, 7, 18, 19, 25, 26, 27, 29, 30, 31, 32, 33})
            EXPECT_EQ(v[i], 0.0) << p << ":" << i;
    }
}

TEST(TinyPressFactoryPrograms, StoreHoldsNamesAndSinglePrecisionValues) {
    TinyPress fx(testsupport::CallbackRecorder::callback);
    ProgramStore* store = fx.programStore();
    ASSERT_NE(store, nullptr);
    char name[32];
    const struct {
        int program;
        const char* name;
    } names[] = {{0, "Default"},
                 {1, "Gentle Master"},
                 {5, "A Kind of Freshness"},
                 {7, "Damp it!"},
                 {15, "KickPump"}};
    for (const auto& n : names) {
        ASSERT_TRUE(fx.getProgramNameIndexed(0, n.program, name));
        EXPECT_STREQ(name, n.name);
    }
    // A few values of the varying columns, as the floats nearest the listed decimals.
    EXPECT_EQ(store->value(0, 5), 0.1667f);
    EXPECT_EQ(store->value(0, 6), 0.3f);
    EXPECT_EQ(store->value(0, 23), 0.665f);
    EXPECT_EQ(store->value(1, 16), 0.41333f);
    EXPECT_EQ(store->value(2, 20), 0.65f);
    EXPECT_EQ(store->value(3, 8), 0.95f);
    EXPECT_EQ(store->value(6, 16), 0.3633f);
    EXPECT_EQ(store->value(7, 13), 0.333f);
    EXPECT_EQ(store->value(7, 15), 0.19f);
    EXPECT_EQ(store->value(11, 5), 0.24995f);
    EXPECT_EQ(store->value(12, 3), 0.0f);
    EXPECT_EQ(store->value(14, 8), 0.0f);
    EXPECT_EQ(store->value(14, 22), 0.55f);
    EXPECT_EQ(store->value(15, 12), 0.0f);
    EXPECT_EQ(store->value(15, 13), 0.0f);
    EXPECT_EQ(store->value(15, 16), 0.333f);
}

TEST(TinyPressFactoryPrograms, ConstructionAppliesDefaultProgramWithoutChangingIt) {
    TinyPress fx(testsupport::CallbackRecorder::callback);
    EXPECT_EQ(fx.getCurrentProgramIndex(), 0);
    // The construction default of the ratio is 0.5; program 0 has 0.3, and must keep it.
    EXPECT_EQ(fx.programStore()->value(0, kRatio), 0.3f);
    for (int i = 0; i < kNumHostParams; ++i)
        EXPECT_EQ(fx.getParameter(i), static_cast<float>(kFactoryPrograms[0].values[i])) << i;
    const EngineSettings s = fx.settingsNow();
    EXPECT_EQ(s.power, 1);
    EXPECT_EQ(s.inverseRatio, 1.0);  // "Default" does not compress
    EXPECT_EQ(s.meterSource, 1);
    EXPECT_EQ(s.stereo, 1);
    // Both selectors on their flat mode; index 13 = 1 (set after the selector) moves the corner.
    EXPECT_TRUE(shelvesAre(s, {280.0, 0.7, 0.0}, {1375.0, 0.7, 0.0}));
    char text[32];
    fx.getParameterDisplay(kThreshold, text);
    EXPECT_STREQ(text, "-0.00dB");
    fx.getParameterDisplay(kRatio, text);
    EXPECT_STREQ(text, "1.00 : 1");
    fx.getParameterDisplay(kOutput, text);
    EXPECT_STREQ(text, "-0.03dB");
    // Values no program holds keep their construction defaults.
    EXPECT_EQ(fx.getParameter(kScMonitor), 0.0f);
    EXPECT_EQ(fx.getParameter(34), 0.0f);
}

TEST(TinyPressFactoryPrograms, SelectingAProgramDerivesItsSteps) {
    TinyPress fx(testsupport::CallbackRecorder::callback);
    const struct {
        int program;
        int ratioStep;
        int lowMode;
        int autoMakeup;
    } rows[] = {
        {1, 8, 2, 0},    // Gentle Master: 0.4, low selector 1
        {3, 14, 2, 1},   // Mezzo Leveler: 0.7f -> 14 in single precision
        {4, 16, 1, 1},   // Una Corda
        {6, 0, 0, 1},    // Peak Restore
        {7, 18, 1, 1},   // Damp it!: 0.9f -> 18
        {13, 20, 1, 1},  // HeavyDrumKit
        {15, 16, 0, 1},  // KickPump
    };
    for (const auto& r : rows) {
        fx.selectProgram(r.program);
        EXPECT_EQ(fx.getCurrentProgramIndex(), r.program);
        const EngineSettings s = fx.settingsNow();
        EXPECT_EQ(s.inverseRatio, 1.0 / ratioOfStep(r.ratioStep)) << r.program;
        EXPECT_EQ(s.autoMakeup, r.autoMakeup) << r.program;
        // The low shelf has the mode's shape with the corner of index 13 (set after it).
        ShelfShape low = shelfShapeOnSet(ShelfBand::Low, r.lowMode);
        low.cornerHz = lowCornerHzOf(fx.getParameter(kLowCorner));
        ShelfShape high = shelfShapeOnSet(ShelfBand::High, selectorOf(fx.getParameter(kHighScf)));
        high.cornerHz = highCornerHzOf(fx.getParameter(kHighCorner));
        EXPECT_TRUE(shelvesAre(s, low, high)) << r.program;
        for (int i = 0; i < kNumHostParams; ++i)
            EXPECT_EQ(fx.getParameter(i), fx.programStore()->value(r.program, i)) << i;
    }
    fx.selectProgram(3);
    char text[32];
    fx.getParameterDisplay(kRatio, text);
    EXPECT_STREQ(text, "2.80 : 1");
    fx.getParameterDisplay(kAttack, text);
    EXPECT_STREQ(text, "562.34ms");  // 0.01 * 1e5^0.95 = 562.341
    // Damp it!: index 13 = 0.333 -> 0.7 * 25 * 16^0.333 Hz.
    fx.selectProgram(7);
    EXPECT_NEAR(lowCornerHzOf(fx.getParameter(kLowCorner)),
                17.5 * std::pow(16.0, static_cast<double>(0.333f)), 1e-9);
}

TEST(TinyPressFactoryPrograms, PowerIsCommonToAllPrograms) {
    TinyPress fx(testsupport::CallbackRecorder::callback);
    ProgramStore* store = fx.programStore();
    fx.selectProgram(4);
    fx.setParameter(kPower, 0.0f);
    for (int p = 0; p < kNumPrograms; ++p) EXPECT_EQ(store->value(p, kPower), 0.0f) << p;
    EXPECT_EQ(fx.settingsNow().power, 0);
    fx.selectProgram(9);
    EXPECT_EQ(fx.getParameter(kPower), 0.0f);
    fx.setParameter(kPower, 1.0f);
    for (int p = 0; p < kNumPrograms; ++p) EXPECT_EQ(store->value(p, kPower), 1.0f) << p;

    // Other indices only reach the current program.
    fx.setParameter(kThreshold, 0.9f);
    EXPECT_EQ(store->value(9, kThreshold), 0.9f);
    EXPECT_EQ(store->value(8, kThreshold), 0.667f);
    EXPECT_EQ(store->value(10, kThreshold), 0.667f);
    // Hidden indices are stored like any other: they keep the layout of the family.
    fx.setParameter(kHidden7, 0.25f);
    EXPECT_EQ(store->value(9, kHidden7), 0.25f);
    EXPECT_EQ(fx.getParameter(kHidden7), 0.25f);
}

TEST(TinyPressFactoryPrograms, LoadingAProgramRecordsNothing) {
    TinyPress fx(testsupport::CallbackRecorder::callback);
    ProgramStore* store = fx.programStore();
    float before[kNumPrograms][kNumProgramParams];
    for (int p = 0; p < kNumPrograms; ++p)
        for (int i = 0; i < kNumProgramParams; ++i) before[p][i] = store->value(p, i);
    for (int p = kNumPrograms - 1; p >= 0; --p) fx.selectProgram(p);
    for (int p = 0; p < kNumPrograms; ++p)
        for (int i = 0; i < kNumProgramParams; ++i) EXPECT_EQ(store->value(p, i), before[p][i]);
}

}  // namespace
}  // namespace tinypress
