#include "dsp/PowerTables.h"

#include <algorithm>
#include <cmath>

namespace qrx::dsp {
namespace {

// 2^(p e) to the last place: p e as the exact sum hi + lo (p split into halves of 26 and 27 bits,
// each times e exactly), then 2^hi (1 + lo ln 2).
double twoToTheProduct(double p, int e) noexcept {
    const double split = 134217729.0 * p;  // 2^27 + 1
    const double pHigh = split - (split - p);
    const double a = pHigh * e, b = (p - pHigh) * e;
    const double hi = a + b, lo = (a - hi) + b;
    return std::exp2(hi) * (1.0 + lo * 0.69314718055994530942);
}

}  // namespace

void PowerTables::design(double p) noexcept {
    exponent = p;
    double c = 1.0;
    for (int k = 1; k <= 5; ++k) {
        c *= (p - (k - 1)) / k;
        binomial[k - 1] = c;
    }
    for (int e = 0; e < kOctaves; ++e) octave[e] = std::min(twoToTheProduct(p, e), 0x1p1020);
    for (int j = 0; j < kSteps; ++j) {
        const double centre = 1.0 + (j + 0.5) / kSteps;
        step[j] = {std::pow(centre, p), 1.0 / centre};
    }
}

}  // namespace qrx::dsp
