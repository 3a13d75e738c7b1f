// AVX2+FMA build of the static curve (compiled with -mavx2 -mfma; called only on processors that
// have both): four levels at a time, level^inverseRatio as 2^(inverseRatio log2 level) from the
// vector polynomials, computed only for quads that have a level above the knee. Everything but
// the entry function is in the anonymous namespace or instantiated on the AVX2 batch type.
#include "dsp/VectorMath.h"
#include "grandpress/GainCurve.h"

namespace grandpress {
namespace {

using Batch = xsimd::batch<double, xsimd::fma3<xsimd::avx2>>;

Batch powerOf(Batch level, Batch inverseRatio) {
    return qrx::dsp::vmath::exp2(inverseRatio * qrx::dsp::vmath::log2(level));
}

Batch hardKnee(Batch level, Batch inverseRatio) {
    const auto above = level > Batch(1.0);
    if (!xsimd::any(above)) return level;
    return xsimd::select(above, powerOf(level, inverseRatio), level);
}

Batch softKnee(Batch level, const CurveShape& c, Batch inverseRatio) {
    const auto low = level <= Batch(0.5);
    if (xsimd::all(low)) return level;
    const auto high = level >= Batch(1.5);
    const Batch t = level - Batch(0.5);
    Batch spline = xsimd::fma(Batch(c.c3), t, Batch(c.c2));
    spline = xsimd::fma(spline, t, Batch(c.c1));
    spline = xsimd::fma(spline, t, Batch(c.c0));
    Batch out = xsimd::select(low, level, spline);
    if (xsimd::any(high)) out = xsimd::select(high, powerOf(level, inverseRatio), out);
    return out;
}

}  // namespace

void curveGainsAvx2(const CurveShape& shape, const double* level, int n, double* gain) noexcept {
    const Batch inverseRatio(shape.inverseRatio);
    int k = 0;
    for (; k + static_cast<int>(Batch::size) <= n; k += Batch::size) {
        const Batch x = Batch::load_unaligned(level + k);
        const Batch out = shape.soft ? softKnee(x, shape, inverseRatio) : hardKnee(x, inverseRatio);
        (out / (x + Batch(1e-6))).store_unaligned(gain + k);
    }
    if (k < n) {
        // The last one to three levels, through a padded quad (levels of 1 give no NaN).
        alignas(32) double x[Batch::size] = {1.0, 1.0, 1.0, 1.0};
        alignas(32) double y[Batch::size];
        for (int j = 0; k + j < n; ++j) x[j] = level[k + j];
        const Batch v = Batch::load_unaligned(x);
        const Batch out = shape.soft ? softKnee(v, shape, inverseRatio) : hardKnee(v, inverseRatio);
        (out / (v + Batch(1e-6))).store_unaligned(y);
        for (int j = 0; k + j < n; ++j) gain[k + j] = y[j];
    }
}

}  // namespace grandpress
