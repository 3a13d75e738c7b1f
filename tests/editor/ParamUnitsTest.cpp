// Parameters in physical units, as both engines describe them from their own tables: round trips
// through the physical value keep every factory value's display text, the declared curves are
// those of the mappings, steps are found by their values and texts, and typed values with units
// become the nearest value the parameter takes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "editor/ParamUnits.h"
#include "grandpress/FactoryPrograms.h"
#include "grandpress/Parameters.h"
#include "tinypress/FactoryPrograms.h"
#include "tinypress/Parameters.h"

namespace {

struct Engine {
    const char* name;
    const units::Param& (*param)(int);
    void (*display)(int, float, char*);
    float (*editorValue)(int, float);
    float (*fromEditorValue)(int, double);
    const FactoryProgram* programs;
};

const Engine kEngines[] = {
    {"grandpress", grandpress::unitParam, grandpress::formatParamDisplay, grandpress::editorValueOf,
     grandpress::normalisedOfEditorValue, grandpress::kFactoryPrograms},
    {"tinypress", tinypress::unitParam, tinypress::formatParamDisplay, tinypress::editorValueOf,
     tinypress::normalisedOfEditorValue, tinypress::kFactoryPrograms},
};

std::string display(const Engine& e, int index, float v) {
    char text[32];
    e.display(index, v, text);
    return text;
}

// The index of a parameter by its name without padding blanks.
int indexOf(const Engine& e, const std::string& name) {
    for (int i = 0; i < 34; ++i) {
        std::string n = e.param(i).name;
        n.erase(0, n.find_first_not_of(' '));
        n.erase(n.find_last_not_of(' ') + 1);
        if (n == name) return i;
    }
    ADD_FAILURE() << "no parameter " << name;
    return 0;
}

TEST(ParamUnits, EveryFactoryValueSurvivesTheRoundTripThroughItsPhysicalValue) {
    for (const Engine& e : kEngines) {
        for (int program = 0; program < kNumPrograms; ++program) {
            for (int i = 0; i < 34; ++i) {
                const units::Param& p = e.param(i);
                const auto v = static_cast<float>(e.programs[program].values[i]);
                const double x = units::physicalOf(p, v);
                const float back = units::normalisedOf(p, x);
                EXPECT_EQ(display(e, i, back), display(e, i, v))
                    << e.name << " program " << program << " index " << i << ": " << v << " -> "
                    << x << " -> " << back;
                if (p.kind == units::Kind::Continuous) {
                    EXPECT_NEAR(back, v, 1e-6);
                }
            }
        }
    }
}

TEST(ParamUnits, ContinuousValuesRunAsTheirDeclaredCurvesOnBothScales) {
    for (const Engine& e : kEngines) {
        for (int i = 0; i < 34; ++i) {
            const units::Param& p = e.param(i);
            if (p.kind != units::Kind::Continuous || !p.value) continue;
            SCOPED_TRACE(std::string(e.name) + " " + p.name);
            for (const float v : {0.0f, 0.13f, 0.5f, 0.77f, 1.0f}) {
                // Physical -> normalised inverts normalised -> physical everywhere, so the curve
                // the row declares is the mapping's.
                EXPECT_NEAR(units::normalisedOf(p, units::physicalOf(p, v)), v, 1e-6) << v;
                // The editor's read-out scale inverts alike (the straight-line dB knobs too).
                EXPECT_NEAR(e.fromEditorValue(i, e.editorValue(i, v)), v, 1e-5) << v;
            }
        }
    }
}

TEST(ParamUnits, RangesUnitsAndDefaultsComeFromTheTables) {
    const Engine& grand = kEngines[0];
    const Engine& tiny = kEngines[1];
    const units::Param& threshold = grand.param(5);
    EXPECT_EQ(threshold.unit, units::Unit::Decibel);
    EXPECT_EQ(threshold.kind, units::Kind::Continuous);
    EXPECT_NEAR(units::rangeOf(threshold).min, -30.103, 1e-3);
    EXPECT_NEAR(units::rangeOf(threshold).max, 6.0206, 1e-3);
    EXPECT_NEAR(units::defaultOf(threshold), 0.0, 0.01);  // "Default": 0.1667, just below 0 dB

    const units::Param& ratio = grand.param(6);
    EXPECT_EQ(ratio.kind, units::Kind::Stepped);
    EXPECT_EQ(ratio.steps, 21);
    EXPECT_EQ(units::rangeOf(ratio).min, 0.5);
    EXPECT_EQ(units::rangeOf(ratio).max, 64.0);
    EXPECT_EQ(units::defaultOf(ratio), 1.0);  // "Default" runs at 1:1

    EXPECT_EQ(grand.param(9).unit, units::Unit::Second);
    EXPECT_EQ(grand.param(14).unit, units::Unit::Kilohertz);
    EXPECT_EQ(grand.param(16).unit, units::Unit::Hertz);
    EXPECT_EQ(grand.param(20).unit, units::Unit::Balance);
    EXPECT_EQ(grand.param(21).unit, units::Unit::Percent);
    EXPECT_EQ(grand.param(0).kind, units::Kind::Switch);
    EXPECT_EQ(grand.param(23).kind, units::Kind::Stepped);
    EXPECT_TRUE(grand.param(30).hidden);

    const units::Param& release = tiny.param(10);
    EXPECT_EQ(release.unit, units::Unit::Second);
    EXPECT_NEAR(units::rangeOf(release).min, 0.0333, 1e-9);
    EXPECT_NEAR(units::rangeOf(release).max, 3.33, 1e-9);
    EXPECT_EQ(tiny.param(12).steps, 3);
    EXPECT_TRUE(tiny.param(13).hidden);
    for (const Engine& e : kEngines)
        for (int i = 0; i < 34; ++i)
            EXPECT_EQ(e.param(i).defaultValue, static_cast<float>(e.programs[0].values[i]))
                << e.name << " " << i;
}

TEST(ParamUnits, EveryStepIsReachedByItsValueAndText) {
    for (const Engine& e : kEngines) {
        for (int i = 0; i < 34; ++i) {
            const units::Param& p = e.param(i);
            if (p.kind == units::Kind::Continuous) continue;
            for (int k = 0; k < p.steps; ++k) {
                const float v = units::stepValue(p, k);
                EXPECT_EQ(p.step(v), k) << e.name << " " << i << " step " << k;
                EXPECT_EQ(units::normalisedOf(p, units::physicalOf(p, v)), v);
                if (k < 3 && p.texts[k] && p.texts[k][0]) {
                    EXPECT_EQ(units::stepOfText(p, p.texts[k]), k) << p.texts[k];
                }
            }
        }
    }
    // Ratios between steps go to the nearer one as quotients (3.0 is nearer 2.8 than 3.36).
    const units::Param& ratio = kEngines[0].param(6);
    const auto stepOf = [&](double x) { return ratio.step(units::normalisedOf(ratio, x)); };
    EXPECT_EQ(stepOf(3.0), 14);
    EXPECT_EQ(stepOf(2.5), 13);
    EXPECT_EQ(stepOf(20.0), 19);
    EXPECT_EQ(stepOf(30.0), 20);
    EXPECT_EQ(stepOf(0.4), 0);
}

TEST(ParamUnits, TypedValuesWithUnitsBecomeTheNearestValue) {
    const Engine& grand = kEngines[0];
    const Engine& tiny = kEngines[1];
    struct Case {
        const Engine& engine;
        const char* param;
        const char* text;
        const char* shows;  // the display text after setting it
    };
    const Case cases[] = {
        {grand, "Threshold", "-12dB", "-12.00dB"},
        {grand, "Threshold", "+3 dB", "3.00dB"},
        {grand, "Threshold", "-12.04dB", "-12.04dB"},  // a display text
        {grand, "Ratio", "4:1", "4.00 : 1"},
        {grand, "Ratio", "2.80 : 1", "2.80 : 1"},
        {grand, "Ratio", "oo", "64.00 : 1"},
        {grand, "Attack", "10ms", "10.00ms"},
        {grand, "Release", "0.5s", "0.5s"},
        {grand, "Release", "2500ms", "2.5s"},
        {grand, "High", "2k5", "2.50kHz"},
        {grand, "High", "2.5kHz", "2.50kHz"},
        {grand, "High", "8000 Hz", "8.00kHz"},
        {grand, "Low", "100Hz", "100Hz"},
        {grand, "Mix", "60%", "60%"},
        {grand, "Tilt", "25L", "25L"},
        {grand, "Tilt", "C", "C"},
        {grand, "Power", "off", " Off "},
        {grand, "HighSCF", "HighBoost", " HighBoost "},
        {grand, "Meters", "post", " Post "},
        {grand, "Ratio", "0.7", "2.80 : 1"},  // a bare number stays normalised
        {tiny, "Release", "0.5s", "0.50s"},
        {tiny, "Output", "-3dB", "-3.00dB"},
        {tiny, "LowSCF", "LoBoost", "LoBoost"},
        {tiny, "Smooth", "Draft", "Draft"},
        {tiny, "Attack", "1.00s", "1000.00ms"},
    };
    for (const Case& c : cases) {
        const int index = indexOf(c.engine, c.param);
        const units::Setting s = units::readSetting(c.engine.param(index), c.text);
        ASSERT_EQ(s.status, units::Status::Ok) << c.param << "=" << c.text;
        EXPECT_EQ(display(c.engine, index, s.normalised), c.shows) << c.param << "=" << c.text;
    }
    const struct {
        const char* param;
        const char* text;
        units::Status status;
    } refused[] = {
        {"Threshold", "-40dB", units::Status::OutOfRange},
        {"Threshold", "-12", units::Status::NormalisedRange},
        {"Threshold", "5ms", units::Status::WrongUnit},
        {"Threshold", "loud", units::Status::NotAValue},
        {"Threshold", "-12dBs", units::Status::NotAValue},
        {"Ratio", "100:1", units::Status::OutOfRange},
        {"Power", "5dB", units::Status::WrongUnit},
        {"Release", "20s", units::Status::OutOfRange},
    };
    for (const auto& r : refused) {
        const units::Param& p = grand.param(indexOf(grand, r.param));
        EXPECT_EQ(units::readSetting(p, r.text).status, r.status) << r.param << "=" << r.text;
    }
}

TEST(ParamUnits, QuantitiesReadAsTheReadOutsReadNumbers) {
    units::Quantity q;
    ASSERT_TRUE(units::readQuantity("2,5", &q));
    EXPECT_EQ(q.value, 2.5);
    EXPECT_EQ(q.unit, units::Unit::None);
    ASSERT_TRUE(units::readQuantity(" 10kHz ", &q));
    EXPECT_EQ(q.value, 10000.0);  // "10k" then "Hz"
    EXPECT_EQ(q.unit, units::Unit::Hertz);
    for (const char* bad : {"", "-", "dB", ".5", "1e3", "--1", "+-1", "3 d B"})
        EXPECT_FALSE(units::readQuantity(bad, &q)) << '"' << bad << '"';
    double out = 0;
    EXPECT_TRUE(units::convert({2.5, units::Unit::Second, false}, units::Unit::Millisecond, &out));
    EXPECT_EQ(out, 2500.0);
    EXPECT_FALSE(units::convert({2.5, units::Unit::Second, false}, units::Unit::Hertz, &out));

    char text[32];
    units::formatPhysical(kEngines[0].param(5), -30.103, text, sizeof text);
    EXPECT_STREQ(text, "-30.10 dB");
    units::formatPhysical(kEngines[0].param(6), 4.0, text, sizeof text);
    EXPECT_STREQ(text, "4.00:1");
    units::formatPhysical(kEngines[0].param(13), 1.0, text, sizeof text);
    EXPECT_STREQ(text, "HighBoost");
}

}  // namespace
