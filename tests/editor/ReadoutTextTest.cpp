// Read-out texts for hover, host update and open, typed-number reading, and the setting-display
// converters. Expected texts are
// derived by hand from the rules: offset by half a unit of the last digit, then truncate.
#include <gtest/gtest.h>

#include <string>

#include "editor/ReadoutText.h"

namespace {

using readout::Kind;
using readout::Occasion;

std::string text(Kind kind, Occasion occasion, double v) {
    char out[readout::kTextSize];
    readout::format(kind, occasion, v, out);
    return out;
}

struct Case {
    Kind kind;
    Occasion occasion;
    double value;
    const char* expected;
};

TEST(ReadoutText, DecibelReadoutsRoundHalfAUnitAwayFromZero) {
    const Case cases[] = {
        {Kind::Threshold, Occasion::Hover, -12.345, "-12.35dB"},  // -12.345 - 0.005
        {Kind::Threshold, Occasion::Hover, 0.0, "0.00dB"},
        {Kind::Threshold, Occasion::Hover, -0.002, "0.00dB"},   // rounds up from -0.0025
        {Kind::Threshold, Occasion::Hover, -0.0025, "0.00dB"},  // inclusive for Threshold
        {Kind::Gain, Occasion::Hover, -0.0025, "-0.00dB"},      // exclusive for Makeup/Output
        {Kind::Gain, Occasion::HostUpdate, 5.996, "6.00dB"},
        {Kind::Gain, Occasion::HostUpdate, -11.999, "-12.00dB"},
        {Kind::Threshold, Occasion::Open, -12.349, "-12.34dB"},  // open: no offset
        {Kind::Gain, Occasion::Open, 24.0, "24.00dB"},
    };
    for (const Case& c : cases) EXPECT_EQ(text(c.kind, c.occasion, c.value), c.expected) << c.value;
}

TEST(ReadoutText, RatioReadsInfiniteFromTenOnHoverAndFromTwentyOnUpdate) {
    EXPECT_EQ(text(Kind::Ratio, Occasion::Hover, 12.0), "oo : 1");
    EXPECT_EQ(text(Kind::Ratio, Occasion::HostUpdate, 12.0), "12.00 : 1");
    EXPECT_EQ(text(Kind::Ratio, Occasion::HostUpdate, 64.0), "oo : 1");
    EXPECT_EQ(text(Kind::Ratio, Occasion::Open, 12.0), "oo : 1");
    EXPECT_EQ(text(Kind::Ratio, Occasion::Hover, 10.0), "10.00 : 1");
    EXPECT_EQ(text(Kind::Ratio, Occasion::Hover, 1.2968), "1.30 : 1");  // 1.2968 + 0.005
    EXPECT_EQ(text(Kind::Ratio, Occasion::Open, 2.8), "2.8 : 1");       // 2.8 + 0.05 -> 2.85
    EXPECT_EQ(text(Kind::Ratio, Occasion::Open, 0.5), "0.5 : 1");
}

TEST(ReadoutText, AttackAndReleaseChangeDecimalsAndUnits) {
    const Case cases[] = {
        {Kind::Attack, Occasion::Hover, 0.5, "0.500ms"},
        {Kind::Attack, Occasion::Hover, 0.9996, "1.000ms"},  // still below 1: 3 decimals
        {Kind::Attack, Occasion::Hover, 5.123, "5.12ms"},
        {Kind::Attack, Occasion::Hover, 50.0, "50.0ms"},
        {Kind::Attack, Occasion::Hover, 500.0, "500ms"},
        {Kind::Attack, Occasion::Hover, 1000.0, "1000ms"},
        {Kind::Attack, Occasion::Open, 0.0123, "0.012ms"},
        {Kind::Attack, Occasion::Open, 1000.0, "1.00s"},
        {Kind::Release, Occasion::Hover, 999.4, "999ms"},
        {Kind::Release, Occasion::Hover, 999.6, "1000ms"},
        {Kind::Release, Occasion::HostUpdate, 1500.0, "1.50s"},
        {Kind::Release, Occasion::Hover, 10000.0, "10.00s"},
        {Kind::Release, Occasion::Open, 250.7, "250ms"},
        {Kind::Release, Occasion::Open, 2509.0, "2.50s"},
    };
    for (const Case& c : cases) EXPECT_EQ(text(c.kind, c.occasion, c.value), c.expected) << c.value;
}

TEST(ReadoutText, FilterPercentAndTiltTexts) {
    const Case cases[] = {
        {Kind::High, Occasion::Hover, 16000.0, "16.0kHz"},
        {Kind::High, Occasion::Open, 1000.0, "1.0kHz"},
        {Kind::High, Occasion::HostUpdate, 2960.0, "3.0kHz"},  // 2.96 + 0.05
        {Kind::Low, Occasion::Hover, 25.0, "25Hz"},
        {Kind::Low, Occasion::Hover, 99.7, "100Hz"},
        {Kind::Low, Occasion::Open, 99.7, "99Hz"},
        {Kind::Percent, Occasion::Hover, 49.6, "50%"},
        {Kind::Percent, Occasion::Open, 49.6, "49%"},
        {Kind::Tilt, Occasion::Hover, -10.0, "10L"},  // 0.5 - (-10)
        {Kind::Tilt, Occasion::Hover, 10.0, "10R"},
        {Kind::Tilt, Occasion::Open, -50.0, "50L"},
        {Kind::Tilt, Occasion::Hover, 0.4, "C"},
        {Kind::Tilt, Occasion::Hover, -0.5, "C"},
        {Kind::Tilt, Occasion::HostUpdate, 0.51, "1R"},
    };
    for (const Case& c : cases) EXPECT_EQ(text(c.kind, c.occasion, c.value), c.expected) << c.value;
}

TEST(ParseTypedNumber, ReadsSeparatorsThousandsAndStopsAtTheFirstStranger) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"2,5", 2.5},   {"2.5", 2.5},       {"2k5", 2500}, {"2k05", 2050},
        {"10k", 10000}, {"-3.25dB", -3.25}, {"12", 12},    {"1.05", 1.05},
        {"-0,5", -0.5}, {"0.5k", 0.5},      {"abc", 0},    {" 5", 0},
        {"-", 0},       {"k5", 0},          {".5", 0},     {"", 0},
        {"7ms", 7},     {"007", 7},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(readout::parseTypedNumber(c.text), c.value, 1e-9) << '"' << c.text << '"';
    EXPECT_EQ(readout::parseTypedNumber(nullptr), 0.0);
}

std::string converted(void (*convert)(float, char*), float v) {
    char out[256];
    convert(v, out);
    return out;
}

TEST(SettingConverters, MillisecondsDecibelsSamplesAndIntegers) {
    using namespace readout;
    EXPECT_EQ(converted(millisecondsText, 0.00005f), "0ms");
    EXPECT_EQ(converted(millisecondsText, 0.5f), "0.500ms");
    EXPECT_EQ(converted(millisecondsText, 9.04f), "9.04ms");
    EXPECT_EQ(converted(millisecondsText, 37.64f), "37.6ms");
    EXPECT_EQ(converted(millisecondsText, 300.0f), "300ms");
    EXPECT_EQ(converted(millisecondsText, 1000.0f), "1.000s");
    EXPECT_EQ(converted(dbfsText, 0.5f), "-6.0dBFS");
    EXPECT_EQ(converted(dbfsText, 0.9f), "-0.9dBFS");  // -0.91: whole 0, sign written apart
    EXPECT_EQ(converted(dbfsText, 0.2f), "-13.9dBFS");
    EXPECT_EQ(converted(dbfsText, 1.0f), "0.0dBFS");
    EXPECT_EQ(converted(dbfsText, 2.0f), "6.0dBFS");
    EXPECT_EQ(converted(dbfsText, 1e-9f), "-oo dBFS");
    EXPECT_EQ(converted(samplesText, 0.5f), "0smps");
    EXPECT_EQ(converted(samplesText, 1660.9f), "1660smps");
    EXPECT_EQ(converted(integerText, 3.9f), "3");
}

}  // namespace
