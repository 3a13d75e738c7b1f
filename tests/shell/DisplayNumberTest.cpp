#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "shell/DisplayNumber.h"

namespace {

std::string text(double value, int decimals, const char* unit = "") {
    char out[32];
    formatDisplayValue(value, decimals, unit, out);
    return out;
}

TEST(DisplayNumber, CutsInsteadOfRounding) {
    EXPECT_EQ(text(3.169, 2, "ms"), "3.16ms");
    EXPECT_EQ(text(0.01 * std::pow(100000.0, 0.5), 2, "ms"), "3.16ms");  // 3.1622777
    EXPECT_EQ(text(25.999, 0, "L"), "25L");
    EXPECT_EQ(text(1.96, 1, "s"), "1.9s");
}

TEST(DisplayNumber, FloatJustBelowADecimalReadsAsThatDecimal) {
    // 2.8f is 2.7999999523...; a cut of its exact digits would show 2.79.
    EXPECT_EQ(text(2.8f, 2, " : 1"), "2.80 : 1");
    // The tilt at 0.52f: (0.52f - 0.5) * 100 = 1.99999809.
    EXPECT_EQ(text((0.52f - 0.5) * 100.0, 0, "R"), "2R");
}

TEST(DisplayNumber, NegativeValueWithZeroDigitsKeepsItsSign) {
    EXPECT_EQ(text(-0.0012, 2, "dB"), "-0.00dB");
    EXPECT_EQ(text(-0.0, 2, "dB"), "0.00dB");
    EXPECT_EQ(text(0.0, 2, "dB"), "0.00dB");
}

TEST(DisplayNumber, EightCharactersAtMost) {
    EXPECT_EQ(text(123456.78, 2), "123456.7");
    EXPECT_EQ(text(1234567.0, 2), "1234567");
    EXPECT_EQ(text(-123456.0, 2), "-123456");
    EXPECT_EQ(text(-12345.25, 3), "-12345.2");
    EXPECT_EQ(text(99999992.0, 1), "99999992");
    EXPECT_EQ(text(-9999999.0, 0), "-9999999");
}

TEST(DisplayNumber, OutOfRangeAndNonFiniteGiveNoDigits) {
    EXPECT_EQ(text(100000000.0, 0, "Hz"), "Hz");
    EXPECT_EQ(text(-10000000.0, 0, "Hz"), "Hz");
    EXPECT_EQ(text(std::numeric_limits<double>::quiet_NaN(), 2, "dB"), "dB");
    EXPECT_EQ(text(std::numeric_limits<double>::infinity(), 2, "dB"), "dB");
}

TEST(DisplayNumber, NoDecimalsDropsThePoint) {
    EXPECT_EQ(text(400.0, 0, "Hz"), "400Hz");
    EXPECT_EQ(text(6.0, 0, "smps"), "6smps");
    EXPECT_EQ(text(16.0, 2, "kHz"), "16.00kHz");
}

}  // namespace
