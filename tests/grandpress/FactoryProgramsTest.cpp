// The factory programs as the engine applies them: single-precision values, the switch and
// step integers they produce, and the program names.
#include <gtest/gtest.h>

#include <cstring>

#include "grandpress/FactoryPrograms.h"
#include "grandpress/GrandPress.h"
#include "grandpress/Mappings.h"
#include "support/CallbackRecorder.h"

namespace {

using grandpress::EngineSettings;
using grandpress::GrandPress;
using grandpress::ratioOfStep;

TEST(GrandPressFactory, ValuesAreSinglePrecisionAndSparesZero) {
    testsupport::TemporaryConfigHome config;
    GrandPress effect(nullptr);
    ProgramStore& store = *effect.programStore();
    EXPECT_EQ(store.value(0, 5), 0.1667f);
    EXPECT_EQ(store.value(0, 11), 1.0f / 3.0f);
    EXPECT_EQ(store.value(11, 5), 0.24995f);
    EXPECT_EQ(store.value(14, 22), 0.65f);
    for (int p = 0; p < kNumPrograms; ++p) {
        EXPECT_EQ(store.value(p, 0), 1.0f) << p;
        for (int i = 27; i < 34; ++i) EXPECT_EQ(store.value(p, i), 0.0f) << p << "," << i;
    }
    char name[25];
    store.getName(7, name);
    EXPECT_STREQ(name, "Damp it!");
}

TEST(GrandPressFactory, ProgramsLandOnTheIntendedSteps) {
    testsupport::TemporaryConfigHome config;
    GrandPress effect(nullptr);
    struct Expect {
        int program;
        int ratioStep;
        int soft;
        int limiter;
    };
    // Mezzo Leveler and HeavyDrumKit sit on 0.7 and 1.0, Damp it! on 0.9.
    const Expect cases[] = {{0, 6, 0, 0},   {1, 8, 1, 0},   {3, 14, 1, 1}, {7, 18, 0, 1},
                            {13, 20, 0, 1}, {15, 16, 0, 0}, {5, 2, 1, 0}};
    for (const Expect& c : cases) {
        effect.selectProgram(c.program);
        const EngineSettings s = effect.settingsNow();
        EXPECT_DOUBLE_EQ(s.inverseRatio, 1.0 / ratioOfStep(c.ratioStep)) << c.program;
        EXPECT_EQ(s.soft, c.soft) << c.program;
        EXPECT_EQ(s.limiter, c.limiter) << c.program;
    }
    char text[32];
    effect.selectProgram(3);
    effect.getParameterDisplay(6, text);
    EXPECT_STREQ(text, "2.80 : 1");
}

TEST(GrandPressFactory, NewInstanceRunsProgramZero) {
    testsupport::TemporaryConfigHome config;
    GrandPress effect(nullptr);
    EXPECT_EQ(effect.getCurrentProgramIndex(), 0);
    for (int i = 0; i < 34; ++i)
        EXPECT_EQ(effect.getParameter(i),
                  static_cast<float>(grandpress::kFactoryPrograms[0].values[i]))
            << i;
}

}  // namespace
