// The meter settings 36..40 shared through the per-user store: read at construction (with the
// defaults for missing and out-of-range values) and written back at destruction. Each test runs
// on its own fresh store folder.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "TestSupport.h"
#include "editor/MeterSettingsStore.h"
#include "tinypress/TinyPress.h"

namespace tinypress {
namespace {

class TinyPressMeterSettings : public ::testing::Test {
  protected:
    testsupport::TemporaryConfigHome home;
};

TEST_F(TinyPressMeterSettings, MissingKeyGivesTheDefaults) {
    ASSERT_TRUE(std::filesystem::is_empty(home.folder()));
    TinyPress fx(testsupport::CallbackRecorder::callback);
    EXPECT_EQ(fx.getParameter(kVuIntegration), 0.5f);
    EXPECT_EQ(fx.getParameter(kVuReference), 0.41f);
    EXPECT_EQ(fx.getParameter(kPpmIntegration), 0.5f);
    EXPECT_EQ(fx.getParameter(kPpmReturn), 0.5f);
    EXPECT_EQ(fx.getParameter(kOverIndicator), 2.0f / 9.0f);  // 0.2222222 -> step 2
    const EngineSettings s = fx.settingsNow();
    EXPECT_EQ(s.overSamples, 3);
    EXPECT_DOUBLE_EQ(s.vuOnePole, vuOnePoleOf(300.0, s.rateHz));
    EXPECT_NEAR(1.0 / s.meterScale, std::pow(0.06125, 0.59), 1e-7);
    char text[32];
    fx.getParameterDisplay(kVuReference, text);
    EXPECT_STREQ(text, "-14.31dBFS");
    fx.getParameterDisplay(kOverIndicator, text);
    EXPECT_STREQ(text, "3smps");
}

TEST_F(TinyPressMeterSettings, OutOfRangeValuesAreReplaced) {
    meter_settings::write(kVuIntegration, 2.0f);
    meter_settings::write(kVuReference, -0.5f);
    meter_settings::write(kPpmIntegration, NAN);
    meter_settings::write(kPpmReturn, 1.0001f);
    meter_settings::write(kOverIndicator, -1.0f);
    TinyPress fx(testsupport::CallbackRecorder::callback);
    EXPECT_EQ(fx.getParameter(kVuIntegration), 0.5f);
    EXPECT_EQ(fx.getParameter(kVuReference), 0.5f);
    EXPECT_EQ(fx.getParameter(kPpmIntegration), 0.52f);
    EXPECT_EQ(fx.getParameter(kPpmReturn), 0.72365f);
    EXPECT_EQ(fx.getParameter(kOverIndicator), 2.0f / 9.0f);  // 0.25 -> step 2
}

TEST_F(TinyPressMeterSettings, StoredValuesAreUsedAndWrittenBackAtDestruction) {
    meter_settings::write(kVuIntegration, 0.0f);
    meter_settings::write(kPpmReturn, 1.0f);
    {
        TinyPress fx(testsupport::CallbackRecorder::callback);
        EXPECT_EQ(fx.getParameter(kVuIntegration), 0.0f);
        EXPECT_EQ(fx.getParameter(kPpmReturn), 1.0f);
        EXPECT_DOUBLE_EQ(fx.settingsNow().ppmReturn, ppmReturnOf(10000.0, fx.processingRate()));
        fx.setParameter(kVuReference, 0.75f);
        fx.setParameter(kPpmIntegration, 0.125f);
        fx.setParameter(kOverIndicator, 0.6f);  // 5.4 + 0.5 -> step 5
        // Nothing is written before destruction.
        EXPECT_EQ(meter_settings::read(kVuReference), 0.41f);
    }
    EXPECT_EQ(meter_settings::read(kVuIntegration), 0.0f);
    EXPECT_EQ(meter_settings::read(kVuReference), 0.75f);
    EXPECT_EQ(meter_settings::read(kPpmIntegration), 0.125f);
    EXPECT_EQ(meter_settings::read(kPpmReturn), 1.0f);
    EXPECT_EQ(meter_settings::read(kOverIndicator), 5.0f / 9.0f);

    TinyPress next(testsupport::CallbackRecorder::callback);
    EXPECT_EQ(next.getParameter(kVuReference), 0.75f);
    EXPECT_EQ(next.settingsNow().overSamples, 6);
}

TEST_F(TinyPressMeterSettings, DefaultsAreWrittenWhenNothingWasStored) {
    { TinyPress fx(testsupport::CallbackRecorder::callback); }
#ifndef _WIN32  // on Windows the store is the registry, not files
    EXPECT_FALSE(std::filesystem::is_empty(home.folder()));
#endif
    EXPECT_EQ(meter_settings::read(kVuReference), 0.41f);
    EXPECT_EQ(meter_settings::read(kOverIndicator), 2.0f / 9.0f);
    EXPECT_EQ(meter_settings::read(kPpmIntegration), 0.5f);
}

}  // namespace
}  // namespace tinypress
