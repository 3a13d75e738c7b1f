// The scale-factor rules the editors follow: the steps a factor snaps to, the order of the
// sources, and the system's factor read from X resources and the environment.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gui/ScaleFactor.h"

namespace {

using namespace qgui::scale;

TEST(ScaleFactor, FactorsSnapToTheNearestStepAndNonFactorsAreNone) {
    EXPECT_EQ(snap(1.0), 1.0);
    EXPECT_EQ(snap(1.1), 1.0);
    EXPECT_EQ(snap(1.125), 1.25);  // as near to both: the larger
    EXPECT_EQ(snap(1.4), 1.5);
    EXPECT_EQ(snap(2.2), 2.0);
    EXPECT_EQ(snap(2.3), 2.5);
    EXPECT_EQ(snap(0.5), 1.0);
    EXPECT_EQ(snap(8.0), 3.0);
    EXPECT_EQ(snap(0.0), 0.0);
    EXPECT_EQ(snap(-2.0), 0.0);
    EXPECT_EQ(snap(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_EQ(snap(std::numeric_limits<double>::infinity()), 0.0);
}

TEST(ScaleFactor, UserBeatsHostBeatsSystemElseOneHundredPercent) {
    EXPECT_EQ(choose(1.25, 2.0, 1.5), 1.25);
    EXPECT_EQ(choose(0, 2.0, 1.5), 2.0);
    EXPECT_EQ(choose(0, 0, 1.5), 1.5);
    EXPECT_EQ(choose(0, 0, 0), 1.0);
    EXPECT_EQ(choose(0, std::numeric_limits<double>::quiet_NaN(), 1.75), 1.75);
    EXPECT_EQ(choose(0, 1.6, 0), 1.5);
}

TEST(ScaleFactor, SystemFactorFromXftDpiOrTheEnvironment) {
#ifndef _WIN32
    EXPECT_EQ(fromXResources("Xft.antialias:\t1\nXft.dpi:\t144\nXft.rgba:\trgb\n"), 1.5);
    EXPECT_EQ(fromXResources("Xft.dpi: 192\n"), 2.0);
    EXPECT_EQ(fromXResources("*dpi:\t120\n"), 1.25);  // wildcards, as the server's database
    EXPECT_EQ(fromXResources("Xft.antialias:\t1\n"), 0.0);
    EXPECT_EQ(fromXResources("Xft.dpi:\tlots\n"), 0.0);
    EXPECT_EQ(fromXResources(""), 0.0);
#endif
    EXPECT_EQ(fromXResources(nullptr), 0.0);
    EXPECT_EQ(fromEnvironment("2", nullptr), 2.0);
    EXPECT_EQ(fromEnvironment(nullptr, "1.5"), 1.5);
    EXPECT_EQ(fromEnvironment("2", "1.5"), 2.0);
    EXPECT_EQ(fromEnvironment("1.5", "1.25"), 1.25);  // GDK_SCALE takes whole numbers only
    EXPECT_EQ(fromEnvironment("", ""), 0.0);
    EXPECT_EQ(fromEnvironment("0", "-1"), 0.0);
    EXPECT_EQ(fromEnvironment(nullptr, nullptr), 0.0);
    EXPECT_EQ(fromDpi(96), 1.0);
    EXPECT_EQ(fromDpi(144), 1.5);
    EXPECT_EQ(fromDpi(0), 0.0);
}

}  // namespace
