// AVX2+FMA build of the static curve (compiled with -mavx2 -mfma; called only on processors that
// have both): four levels at a time, level^inverseRatio as 2^(inverseRatio log2 level) from the
// short series below, computed only for quads that have a level above the knee. Everything but
// the entry function is in the anonymous namespace or instantiated on the AVX2 batch type.
#include "dsp/VectorMath.h"
#include "grandpress/GainCurve.h"

namespace grandpress {
namespace {

using Batch = xsimd::batch<double, xsimd::fma3<xsimd::avx2>>;

// level^inverseRatio as 2^(inverseRatio log2 level), with shorter series than the general
// vector maths: ln m = 2 (s + s^3/3 + ... + s^13/13), |s| < 0.1716 (remainder below 5e-13), and
// 2^f = e^(f ln 2) to degree 10, |f| <= 0.5 (remainder below 3e-13). The curve's gain is then
// within 1e-12 of the exact power; at the output that is far below anything audible or stored.
[[gnu::always_inline]] inline Batch powerOf(Batch level, Batch inverseRatio) {
    using U = xsimd::batch<std::uint64_t, Batch::arch_type>;
    // log2: level = m 2^e, m in [sqrt(1/2), sqrt(2)).
    const U bits = xsimd::bitwise_cast<U>(level);
    Batch m =
        xsimd::bitwise_cast<Batch>((bits & U(0x000FFFFFFFFFFFFFull)) | U(0x3FF0000000000000ull));
    Batch e = xsimd::bitwise_cast<Batch>((bits >> 52) | U(0x4330000000000000ull)) -
              Batch(4503599627370496.0 + 1023.0);
    const auto high = m > Batch(1.4142135623730950488);
    m = xsimd::select(high, m * Batch(0.5), m);
    e = xsimd::select(high, e + Batch(1.0), e);
    const Batch s = (m - Batch(1.0)) / (m + Batch(1.0));
    constexpr double kLog[] = {1.0 / 13.0, 1.0 / 11.0, 1.0 / 9.0, 1.0 / 7.0,
                               1.0 / 5.0,  1.0 / 3.0,  1.0};
    const Batch p = qrx::dsp::vmath::polynomial(s * s, kLog);
    // 2 s p / ln 2 + e, times the exponent.
    Batch x = inverseRatio * xsimd::fma(s * p, Batch(2.8853900817779268147), e);
    // exp2: x = n + f, |f| <= 0.5; 2^n into the exponent bits.
    x = xsimd::min(xsimd::max(x, Batch(-1020.0)), Batch(1020.0));
    const Batch n = xsimd::nearbyint(x);
    const Batch f = (x - n) * Batch(0.6931471805599453094);
    constexpr double kExp[] = {
        1.0 / 3628800.0, 1.0 / 362880.0, 1.0 / 40320.0, 1.0 / 5040.0, 1.0 / 720.0, 1.0 / 120.0,
        1.0 / 24.0,      1.0 / 6.0,      0.5,           1.0,          1.0};
    const Batch q = qrx::dsp::vmath::polynomial(f, kExp);
    const U scale = xsimd::bitwise_cast<U>(n + Batch(1023.0 + 6755399441055744.0)) << 52;
    return q * xsimd::bitwise_cast<Batch>(scale);
}

[[gnu::always_inline]] inline Batch hardKnee(Batch level, Batch inverseRatio) {
    const auto above = level > Batch(1.0);
    if (!xsimd::any(above)) return level;
    return xsimd::select(above, powerOf(level, inverseRatio), level);
}

[[gnu::always_inline]] inline Batch softKnee(Batch level, const CurveShape& c, Batch inverseRatio) {
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

// The gains of one chunk, the knee chosen at compile time.
template <bool Soft>
void gainsOf(const CurveShape& shape, const double* level, int n, double* gain) {
    const Batch inverseRatio(shape.inverseRatio);
    const auto curve = [&](Batch x) {
        const Batch out = Soft ? softKnee(x, shape, inverseRatio) : hardKnee(x, inverseRatio);
        return out / (x + Batch(1e-6));
    };
    int k = 0;
    for (; k + static_cast<int>(Batch::size) <= n; k += Batch::size)
        curve(Batch::load_unaligned(level + k)).store_unaligned(gain + k);
    if (k < n) {
        // The last one to three levels, through a padded quad (levels of 1 give no NaN).
        alignas(32) double x[Batch::size] = {1.0, 1.0, 1.0, 1.0};
        alignas(32) double y[Batch::size];
        for (int j = 0; k + j < n; ++j) x[j] = level[k + j];
        curve(Batch::load_aligned(x)).store_aligned(y);
        for (int j = 0; k + j < n; ++j) gain[k + j] = y[j];
    }
}

}  // namespace

void curveGainsAvx2(const CurveShape& shape, const double* level, int n, double* gain) noexcept {
    if (shape.soft)
        gainsOf<true>(shape, level, n, gain);
    else
        gainsOf<false>(shape, level, n, gain);
}

}  // namespace grandpress
