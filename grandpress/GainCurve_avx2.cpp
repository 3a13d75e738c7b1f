// AVX2+FMA build of the static curve (compiled with -mavx2 -mfma; called only on processors that
// have both): four levels at a time, level^inverseRatio as 2^(inverseRatio log2 level) from the
// short series below, computed only for quads that have a level above the knee. Everything but
// the entry function is in the anonymous namespace or instantiated on the AVX2 batch type.
#include <bit>
#include <cstdint>

#include "dsp/VectorMath.h"
#include "grandpress/GainCurve.h"

namespace grandpress {
namespace {

using Batch = xsimd::batch<double, xsimd::fma3<xsimd::avx2>>;

// A constant in all four lanes, kept in memory: the products and sums below read their constants
// as memory operands instead of broadcasting each one anew for every quad.
struct alignas(32) Quad {
    double v[4];
};

constexpr Quad quad(double x) {
    return {{x, x, x, x}};
}

constexpr Quad bitsQuad(std::uint64_t bits) {
    return quad(std::bit_cast<double>(bits));
}

struct PowerConstants {
    Quad mantissa = bitsQuad(0x000FFFFFFFFFFFFFull), one = quad(1.0);
    Quad exponentBase = bitsQuad(0x4330000000000000ull),
         exponentBias = quad(4503599627370496.0 + 1023.0);
    Quad root2 = quad(1.4142135623730950488), half = quad(0.5);
    // 1/(2k + 1) for k = 6 .. 0.
    Quad log[7] = {quad(1.0 / 13.0), quad(1.0 / 11.0), quad(1.0 / 9.0), quad(1.0 / 7.0),
                   quad(1.0 / 5.0),  quad(1.0 / 3.0),  quad(1.0)};
    Quad twoOverLn2 = quad(2.8853900817779268147), low = quad(-1020.0), high = quad(1020.0);
    Quad ln2 = quad(0.6931471805599453094);
    // 1/k! for k = 10 .. 0.
    Quad exp[11] = {quad(1.0 / 3628800.0),
                    quad(1.0 / 362880.0),
                    quad(1.0 / 40320.0),
                    quad(1.0 / 5040.0),
                    quad(1.0 / 720.0),
                    quad(1.0 / 120.0),
                    quad(1.0 / 24.0),
                    quad(1.0 / 6.0),
                    quad(0.5),
                    quad(1.0),
                    quad(1.0)};
    Quad exponentShift = quad(1023.0 + 6755399441055744.0);
};

constexpr PowerConstants kPowerConstants;

// The constants through a pointer the compiler knows nothing about (so it keeps them in memory).
const PowerConstants* powerConstants() {
    const PowerConstants* c = &kPowerConstants;
    asm("" : "+r"(c));
    return c;
}

[[gnu::always_inline]] inline Batch load(const Quad& q) {
    return Batch::load_aligned(q.v);
}

// level^inverseRatio as 2^(inverseRatio log2 level), with shorter series than the general
// vector maths: ln m = 2 (s + s^3/3 + ... + s^13/13), |s| < 0.1716 (remainder below 5e-13), and
// 2^f = e^(f ln 2) to degree 10, |f| <= 0.5 (remainder below 3e-13). The curve's gain is then
// within 1e-12 of the exact power; at the output that is far below anything audible or stored.
[[gnu::always_inline]] inline Batch powerOf(Batch level, Batch inverseRatio,
                                            const PowerConstants& c) {
    using U = xsimd::batch<std::uint64_t, Batch::arch_type>;
    const auto bits = [](Batch b) { return xsimd::bitwise_cast<U>(b); };
    const auto real = [](U u) { return xsimd::bitwise_cast<Batch>(u); };
    // log2: level = m 2^e, m in [sqrt(1/2), sqrt(2)).
    const U x0 = bits(level);
    Batch m = real((x0 & bits(load(c.mantissa))) | bits(load(c.one)));
    Batch e = real((x0 >> 52) | bits(load(c.exponentBase))) - load(c.exponentBias);
    const auto high = m > load(c.root2);
    m = xsimd::select(high, m * load(c.half), m);
    e = xsimd::select(high, e + load(c.one), e);
    const Batch s = (m - load(c.one)) / (m + load(c.one));
    const Batch s2 = s * s;
    Batch p = load(c.log[0]);
#pragma GCC unroll 16
    for (int k = 1; k < 7; ++k) p = xsimd::fma(p, s2, load(c.log[k]));
    // 2 s p / ln 2 + e, times the exponent.
    Batch x = inverseRatio * xsimd::fma(s * p, load(c.twoOverLn2), e);
    // exp2: x = n + f, |f| <= 0.5; 2^n into the exponent bits.
    x = xsimd::min(xsimd::max(x, load(c.low)), load(c.high));
    const Batch n = xsimd::nearbyint(x);
    const Batch f = (x - n) * load(c.ln2);
    Batch q = load(c.exp[0]);
#pragma GCC unroll 16
    for (int k = 1; k < 11; ++k) q = xsimd::fma(q, f, load(c.exp[k]));
    return q * real(bits(n + load(c.exponentShift)) << 52);
}

[[gnu::always_inline]] inline Batch hardKnee(Batch level, Batch inverseRatio,
                                             const PowerConstants& c) {
    const auto above = level > Batch(1.0);
    if (!xsimd::any(above)) return level;
    return xsimd::select(above, powerOf(level, inverseRatio, c), level);
}

// The soft knee's segment c0 + c1 t + c2 t^2 + c3 t^3 (t = level - 0.5), in registers.
struct Spline {
    Batch c0, c1, c2, c3;
};

[[gnu::always_inline]] inline Batch softKnee(Batch level, const Spline& c, Batch inverseRatio,
                                             const PowerConstants& pc) {
    const auto low = level <= Batch(0.5);
    if (xsimd::all(low)) return level;
    const auto high = level >= Batch(1.5);
    const Batch t = level - Batch(0.5);
    Batch spline = xsimd::fma(c.c3, t, c.c2);
    spline = xsimd::fma(spline, t, c.c1);
    spline = xsimd::fma(spline, t, c.c0);
    Batch out = xsimd::select(low, level, spline);
    if (xsimd::any(high)) out = xsimd::select(high, powerOf(level, inverseRatio, pc), out);
    return out;
}

// The gains of one chunk, the knee chosen at compile time.
template <bool Soft>
void gainsOf(const CurveShape& shape, const double* level, int n, double* gain) {
    const Batch inverseRatio(shape.inverseRatio);
    const Spline spline = {Batch(shape.c0), Batch(shape.c1), Batch(shape.c2), Batch(shape.c3)};
    const PowerConstants& c = *powerConstants();
    const auto curve = [&](Batch x) {
        const Batch out =
            Soft ? softKnee(x, spline, inverseRatio, c) : hardKnee(x, inverseRatio, c);
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
