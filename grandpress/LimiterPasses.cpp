// The limiter's passes on plain x86-64: the shared passes, and the envelope as passes over the
// chunk (level averages, the steps of every frame, the serial envelope, the gains, the scaled
// frames).
#include "grandpress/LimiterPassesImpl.h"

namespace grandpress {
namespace {

void envelopeStepsPass(const double* fast, const double* slow, const double* m, int n,
                       double release, double attack, double* __restrict keepDown,
                       double* __restrict pullDown, double* __restrict pullUp) noexcept {
    for (int i = 0; i < n; ++i) {
        const double t = 0.2 * fast[i] / larger(slow[i], 1e-6);
        const double factor = (4.0 * t / (t + 1.0) + 0.1) * release;
        keepDown[i] = 1.0 - factor;
        pullDown[i] = m[i] * factor;
        pullUp[i] = m[i] * attack;
    }
}

// The level averages of n frames into fastLevel and slowLevel. Frames go in pairs: the offsets
// of the two frames are constants.
void levelAveragesPass(const double* m, int n, LevelLanes& f, double* __restrict fastLevel,
                       double* __restrict slowLevel) noexcept {
    const LanePair plus = f.offset, minus = -plus;
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const LanePair y0 = f.step(m[i], plus, minus);
        fastLevel[i] = y0[0];
        slowLevel[i] = y0[1];
        const LanePair y1 = f.step(m[i + 1], minus, plus);
        fastLevel[i + 1] = y1[0];
        slowLevel[i + 1] = y1[1];
    }
    if (i < n) {
        const LanePair y = f.step(m[i], plus, minus);
        fastLevel[i] = y[0];
        slowLevel[i] = y[1];
        f.offset = minus;
    }
}

// Both steps, then the one that applies (no branch that changes from frame to frame); each step
// e + (m - e) k as e (1 - k) + m k, one product and one sum on the recursion.
double envelopePass(double e, const double* m, const double* keepDown, const double* pullDown,
                    const double* pullUp, double keepUp, int n, double* g) noexcept {
    const __m128d kUp = _mm_set_sd(keepUp);
    __m128d ev = _mm_set_sd(e);
    for (int i = 0; i < n; ++i) {
        const __m128d up = _mm_add_pd(_mm_mul_pd(ev, kUp), _mm_load_sd(pullUp + i));
        const __m128d down =
            _mm_add_pd(_mm_mul_pd(ev, _mm_load_sd(keepDown + i)), _mm_load_sd(pullDown + i));
        const __m128d rising = _mm_cmplt_pd(ev, _mm_load_sd(m + i));  // all ones where m > e
        ev = _mm_or_pd(_mm_and_pd(rising, up), _mm_andnot_pd(rising, down));
        _mm_store_sd(g + i, ev);
    }
    return _mm_cvtsd_f64(ev);
}

void gainsPass(double* g, int n) noexcept {
    // 1 / 1 is exactly 1: always dividing (in a loop of its own) keeps the loops free of
    // branches.
    for (int i = 0; i < n; ++i) g[i] = larger(g[i], 1.0);
    for (int i = 0; i < n; ++i) g[i] = 1.0 / g[i];
}

void scaleToCeilingPass(double* x, const double* g, int n) noexcept {
    for (int i = 0; i < n; ++i)
        x[i] = smaller(larger(x[i] * g[i] * kPassCeiling, -kPassCeiling), kPassCeiling);
}

double envelopeOfPeaks(const double* m, int n, const LimiterLaw& law, double lanes[2][5], double e,
                       double* left, double* right, unsigned first) noexcept {
    alignas(64) double fastLevel[128], slowLevel[128], keepDown[128], pullDown[128], pullUp[128];
    alignas(64) double g[128];
    LevelLanes averages(law, lanes);
    levelAveragesPass(m, n, averages, fastLevel, slowLevel);
    averages.store(lanes);
    envelopeStepsPass(fastLevel, slowLevel, m, n, law.release, law.attack, keepDown, pullDown,
                      pullUp);
    e = envelopePass(e, m, keepDown, pullDown, pullUp, 1.0 - law.attack, n, g);
    gainsPass(g, n);
    // The frames up to the end of the lines, then those from their start.
    const unsigned at = first & (kLimiterRing - 1);
    const int head =
        kLimiterRing - static_cast<int>(at) < n ? kLimiterRing - static_cast<int>(at) : n;
    scaleToCeilingPass(left + at, g, head);
    scaleToCeilingPass(right + at, g, head);
    scaleToCeilingPass(left, g + head, n - head);
    scaleToCeilingPass(right, g + head, n - head);
    return e;
}

}  // namespace

const LimiterPasses kLimiterPassesBaseline = {peaksPass, windowMaximaPass, envelopeOfPeaks};

}  // namespace grandpress
