#include "grandpress/GainCurve.h"

#include <algorithm>
#include <cmath>

#include "grandpress/GainComputer.h"

namespace grandpress {
namespace {

// 2^(r e) to the last place: r e as the exact sum hi + lo (r split into halves of 26 and 27 bits,
// each times e exactly), then 2^hi (1 + lo ln 2).
double twoToTheProduct(double r, int e) noexcept {
    const double split = 134217729.0 * r;  // 2^27 + 1
    const double rHigh = split - (split - r);
    const double a = rHigh * e, b = (r - rHigh) * e;
    const double hi = a + b, lo = (a - hi) + b;
    return std::exp2(hi) * (1.0 + lo * 0.69314718055994530942);
}

}  // namespace

void CurvePowers::design(double r) noexcept {
    inverseRatio = r;
    double c = 1.0;
    for (int k = 1; k <= 5; ++k) {
        c *= (r - (k - 1)) / k;
        binomial[k - 1] = c;
    }
    for (int e = 0; e < kOctaves; ++e) octave[e] = std::min(twoToTheProduct(r, e), 0x1p1020);
    for (int j = 0; j < kSteps; ++j) {
        const double centre = 1.0 + (j + 0.5) / kSteps;
        step[j] = {std::pow(centre, r), 1.0 / centre};
    }
}

CurveShape curveShapeOf(const EngineSettings& s) noexcept {
    CurveShape c;
    c.soft = s.soft != 0;
    const double p0 = s.kneeP0, p1 = s.kneeP1, p2 = s.kneeP2, p3 = s.kneeP3;
    c.c0 = p1;
    c.c1 = 0.5 * (p2 - p0);
    c.c2 = p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3;
    c.c3 = 1.5 * (p1 - p2) + 0.5 * (p3 - p0);
    return c;
}

void curveGains(const GainCurveKernels& kernels, const EngineSettings& s, CurvePowers& powers,
                const double* level, int n, double* gain) noexcept {
    if (!(powers.inverseRatio == s.inverseRatio)) powers.design(s.inverseRatio);
    CurveShape shape = curveShapeOf(s);
    shape.powers = &powers;
    kernels.gains(shape, level, n, gain);
}

void referenceCurveGains(const EngineSettings& s, const double* level, int n,
                         double* gain) noexcept {
    for (int k = 0; k < n; ++k) gain[k] = GainComputer::gainOf(level[k], s);
}

}  // namespace grandpress
