// The needle law of the analogue meters: the angle of the needle for a meter level. The meter
// control draws its needles with it and the skin generator prints the face's scale with it, so
// the marks sit where the needle points. Plain arithmetic, callable from any thread.
#pragma once

#include <cmath>

namespace needle {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRestRadians = 5.0 * kPi / 6.0;  // level 0: lower left
constexpr double kSweepRadians = 2.0 * kPi / 3.0;
constexpr double kFullScaleLevel = 1.44;  // where the sweep ends, upper right
constexpr double kLawExponent = 1.2;

// Angle in radians, counter-clockwise from the positive x axis (screen y up).
inline double angleRadians(double level) {
    return kRestRadians - std::pow(level / kFullScaleLevel, kLawExponent) * kSweepRadians;
}

// The meter level of a VU mark: 0 VU is level 1.
inline double levelOfVu(double vu) {
    return std::pow(10.0, vu / 20.0);
}

}  // namespace needle
