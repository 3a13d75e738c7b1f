// The static curve of the gain computer over a whole chunk, as one template on the xsimd
// architecture (instantiated in Kernels.cpp for SSE2 and Kernels_avx2.cpp for AVX2+FMA): levels
// -> gains out(level) / (level + 1e-6), level^inverseRatio as 2^(inverseRatio log2 level) from the
// short series below. Whether a stretch of levels needs the power (or the soft knee's segment) is
// decided once per stretch from its highest level, so the vectors inside run without branches and
// overlap in the processor. The per-frame reference is referenceCurveGains (GainCurve.h); the
// kernels differ from it by rounding only. Everything here has internal linkage, so each build
// keeps its own code.
#pragma once

#include <bit>
#include <cstdint>
#include <type_traits>
#include <xsimd/xsimd.hpp>

#include "grandpress/GainCurve.h"

namespace grandpress {
namespace {
namespace curve {

// A constant in four lanes (the SSE2 build reads the first two), kept in memory: the products and
// sums below read their constants as memory operands instead of broadcasting each one anew for
// every vector.
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
    Quad rootHalf = bitsQuad(0x3FE6A09E667F3BCDull), one = quad(1.0);
    Quad exponentBase = bitsQuad(0x4330000000000000ull), twoTo52 = quad(4503599627370496.0);
    // 1/(2k + 1) for k = 0 .. 7.
    Quad log[8] = {quad(1.0),       quad(1.0 / 3.0),  quad(1.0 / 5.0),  quad(1.0 / 7.0),
                   quad(1.0 / 9.0), quad(1.0 / 11.0), quad(1.0 / 13.0), quad(1.0 / 15.0)};
    Quad low = quad(-1020.0), high = quad(1020.0);
    Quad exponentShift = quad(1023.0 + 6755399441055744.0);  // 1023 + 1.5 * 2^52
    Quad roundingShift = quad(6755399441055744.0);           // 1.5 * 2^52
    // (ln 2)^k / k! for k = 0 .. 11.
    Quad exp[12] = {quad(1.0),
                    quad(0.69314718055994530942),
                    quad(0.24022650695910071233),
                    quad(0.055504108664821579953),
                    quad(0.0096181291076284771620),
                    quad(0.0013333558146428443423),
                    quad(1.5403530393381609954e-4),
                    quad(1.5252733804059840280e-5),
                    quad(1.3215486790144309489e-6),
                    quad(1.0178086009239699728e-7),
                    quad(7.0549116208011233298e-9),
                    quad(4.4455382718708114975e-10)};
    Quad offset = quad(1e-6);
};

constexpr PowerConstants kPowerConstants;

// The constants through a pointer the compiler knows nothing about (so it keeps them in memory).
const PowerConstants* powerConstants() {
    const PowerConstants* c = &kPowerConstants;
    asm("" : "+r"(c));
    return c;
}

// How much of the curve a stretch of levels reaches.
enum class Reach { Straight, Segment, Power };

// Levels per decision: long enough for the vectors inside to overlap, short enough that a level
// above the knee does not put many below it through the power.
constexpr int kStretch = 32;

template <class Arch>
struct Kernel {
    using Batch = xsimd::batch<double, Arch>;
    using Bits = xsimd::batch<std::uint64_t, Arch>;

    [[gnu::always_inline]] static Batch load(const Quad& q) { return Batch::load_aligned(q.v); }

    [[gnu::always_inline]] static Bits bitsOf(Batch b) { return xsimd::bitwise_cast<Bits>(b); }

    [[gnu::always_inline]] static Batch realOf(Bits u) { return xsimd::bitwise_cast<Batch>(u); }

    // The exponent of the power, and the exponent times 2 / ln 2.
    struct Exponent {
        Batch ratio, ratioTwoOverLn2;
    };

    // log2 level for levels of at least 1 and 2^y for |y| <= 1020, with shorter series than the
    // general vector maths: ln m = 2 (s + s^3/3 + ... + s^15/15), |s| < 0.1716 (remainder below
    // 2e-14), and 2^f to degree 11 in f ln 2, |f| <= 0.5 (remainder below 7e-15). Both series are
    // summed in halves (Estrin's scheme: a few more products, half the chain).
    [[gnu::always_inline]] static Batch exponentOf(Batch level, const Exponent& r,
                                                   const PowerConstants& c) {
        // level = m 2^e, m in [sqrt(1/2), sqrt(2)): e is the exponent of level / sqrt(1/2).
        const Bits x0 = bitsOf(level);
        const Bits k = (x0 - bitsOf(load(c.rootHalf))) >> 52;
        const Batch m = realOf(x0 - (k << 52));
        const Batch e = realOf(k | bitsOf(load(c.exponentBase))) - load(c.twoTo52);
        const Batch s = (m - load(c.one)) / (m + load(c.one));
        const Batch z = s * s;
        const Batch z2 = z * z;
        const Batch z4 = z2 * z2;
        const Batch p01 = xsimd::fma(load(c.log[1]), z, load(c.log[0]));
        const Batch p23 = xsimd::fma(load(c.log[3]), z, load(c.log[2]));
        const Batch p45 = xsimd::fma(load(c.log[5]), z, load(c.log[4]));
        const Batch p67 = xsimd::fma(load(c.log[7]), z, load(c.log[6]));
        const Batch p = xsimd::fma(xsimd::fma(p67, z2, p45), z4, xsimd::fma(p23, z2, p01));
        // ratio log2 level = ratio e + ratio (2 / ln 2) s p, within the exponents doubles have.
        const Batch y = xsimd::fma(p, s * r.ratioTwoOverLn2, r.ratio * e);
        return xsimd::min(xsimd::max(y, load(c.low)), load(c.high));
    }

    [[gnu::always_inline]] static Batch twoTo(Batch y, const PowerConstants& c) {
        // y = n + f, |f| <= 0.5; n + 1023 into the exponent bits through the low bits of n + 1.5
        // 2^52.
        Batch n;
        if constexpr (std::is_same_v<Arch, xsimd::sse2>) {
            // No rounding instruction: y + 1.5 2^52 rounds y to the nearest integer (ties to
            // even, as nearbyint) for |y| < 2^51.
            n = (y + load(c.roundingShift)) - load(c.roundingShift);
        } else {
            n = xsimd::nearbyint(y);
        }
        const Batch f = y - n;
        const Batch f2 = f * f;
        const Batch f4 = f2 * f2;
        const Batch f8 = f4 * f4;
        Batch b[6];
#pragma GCC unroll 8
        for (int j = 0; j < 6; ++j)
            b[j] = xsimd::fma(load(c.exp[2 * j + 1]), f, load(c.exp[2 * j]));
        const Batch d0 = xsimd::fma(b[1], f2, b[0]);
        const Batch d1 = xsimd::fma(b[3], f2, b[2]);
        const Batch d2 = xsimd::fma(b[5], f2, b[4]);
        const Batch q = xsimd::fma(d2, f8, xsimd::fma(d1, f4, d0));
        return q * realOf(bitsOf(n + load(c.exponentShift)) << 52);
    }

    // The soft knee's segment c0 + c1 t + c2 t^2 + c3 t^3 (t = level - 0.5), in registers.
    struct Spline {
        Batch c0, c1, c2, c3;

        [[gnu::always_inline]] Batch at(Batch level) const {
            const Batch t = level - Batch(0.5);
            return xsimd::fma(xsimd::fma(xsimd::fma(c3, t, c2), t, c1), t, c0);
        }
    };

    // The gains of one chunk, the knee chosen at compile time.
    template <bool Soft>
    static void gainsOf(const CurveShape& shape, const double* level, int n, double* gain) {
        const PowerConstants& c = *powerConstants();
        const Exponent r = {Batch(shape.inverseRatio),
                            Batch(shape.inverseRatio * 2.8853900817779268147)};
        const Spline spline = {Batch(shape.c0), Batch(shape.c1), Batch(shape.c2), Batch(shape.c3)};
        // The gain of a quad whose levels reach no further than R, given the power's exponent y.
        const auto curve = [&]<Reach R>(Batch x, Batch y) {
            Batch out = x;
            if constexpr (R != Reach::Straight && Soft)
                out = xsimd::select(x <= Batch(0.5), x, spline.at(x));
            if constexpr (R == Reach::Power)
                out = Soft ? xsimd::select(x >= Batch(1.5), twoTo(y, c), out)
                           : xsimd::select(x > load(c.one), twoTo(y, c), x);
            return out / (x + load(c.offset));
        };
        // Two passes over a stretch that reaches the power: the exponents, then the gains. Each
        // pass has half the chain of the whole, so twice as many quads fit in the processor at
        // once.
        const auto run = [&]<Reach R>(int from, int to) {
            alignas(32) double y[kStretch];
            if constexpr (R == Reach::Power)
                for (int k = from; k < to; k += Batch::size)
                    exponentOf(xsimd::max(Batch::load_unaligned(level + k), load(c.one)), r, c)
                        .store_aligned(y + (k - from));
            for (int k = from; k < to; k += Batch::size) {
                const Batch x = Batch::load_unaligned(level + k);
                const Batch exponent = R == Reach::Power ? Batch::load_aligned(y + (k - from)) : x;
                curve.template operator()<R>(x, exponent).store_unaligned(gain + k);
            }
        };
        const int whole = n - n % static_cast<int>(Batch::size);
        for (int k = 0; k < whole; k += kStretch) {
            const int end = k + kStretch < whole ? k + kStretch : whole;
            Batch top = Batch::load_unaligned(level + k);
            for (int j = k + Batch::size; j < end; j += Batch::size)
                top = xsimd::max(top, Batch::load_unaligned(level + j));
            if (!xsimd::any(top > Batch(Soft ? 0.5 : 1.0)))
                run.template operator()<Reach::Straight>(k, end);
            else if (Soft && !xsimd::any(top >= Batch(1.5)))
                run.template operator()<Reach::Segment>(k, end);
            else
                run.template operator()<Reach::Power>(k, end);
        }
        if (whole < n) {
            // The last one to three levels, through a padded quad (levels of 1 give no NaN).
            alignas(32) double x[Batch::size];
            for (double& v : x) v = 1.0;
            alignas(32) double y[Batch::size];
            for (int j = 0; whole + j < n; ++j) x[j] = level[whole + j];
            const Batch xs = Batch::load_aligned(x);
            curve
                .template operator()<Reach::Power>(xs,
                                                   exponentOf(xsimd::max(xs, load(c.one)), r, c))
                .store_aligned(y);
            for (int j = 0; whole + j < n; ++j) gain[whole + j] = y[j];
        }
    }

    static void gains(const CurveShape& shape, const double* level, int n, double* gain) noexcept {
        if (shape.soft)
            gainsOf<true>(shape, level, n, gain);
        else
            gainsOf<false>(shape, level, n, gain);
    }
};

}  // namespace curve

template <class Arch>
constexpr GainCurveKernels gainCurveKernelsFor() noexcept {
    return {curve::Kernel<Arch>::gains};
}

}  // namespace
}  // namespace grandpress
