// The static curve of the chunk kernels' dynamics (ChunkKernels.h): envelope levels v into gains
// y(v) / (v + 1e-6), hard or soft knee, over whole vectors of the chunk. The per-frame reference
// is gainOfEnvelope (GainComputer.h). A template on the xsimd architectures (KernelLanes.h).
#pragma once

#include <cstdint>
#include <type_traits>

#include "tinypress/EngineSettings.h"
#include "tinypress/KernelLanes.h"

namespace tinypress {
namespace {

template <class PairArch, class WideArch>
struct GainCurveKernels {
    using Wide = Lanes<WideArch>;
    static constexpr int kWide = static_cast<int>(Wide::size);

    static constexpr double kRounder = 6755399441055744.0;  // 1.5 2^52
    // Vectors the power takes side by side: eight in the plain build; one in the AVX2 build,
    // whose shorter fused chains gain less than grouping costs in instructions.
    static constexpr int kGroup = kWide == 2 ? 8 : 1;

    // x rounded to the nearest integer (ties to even) for |x| <= 2^51. Plain SSE2 has no
    // rounding instruction (xsimd's nearbyint takes a dozen there): adding and taking away
    // 1.5 2^52 rounds the same way.
    [[gnu::always_inline]] static Wide nearest(const Wide& x) noexcept {
        if constexpr (std::is_same_v<WideArch, xsimd::sse2>)
            return (x + Wide(kRounder)) - Wide(kRounder);
        else
            return xsimd::nearbyint(x);
    }

    // a[0] + a[1] x + ... + a[N-1] x^(N-1) of G vectors side by side. The plain build takes
    // Estrin's scheme: pairs a[2j] + a[2j+1] x, then pairs of those with x^2, and so on; a few
    // more operations than Horner's rule, but a chain of about log2(N) steps instead of N. The
    // AVX2 build keeps Horner's rule, whose fused steps already halve the chain, with the fewest
    // instructions.
    template <int G, int N>
    [[gnu::always_inline]] static void polynomials(const Wide (&x)[G], const double (&a)[N],
                                                   Wide (&to)[G]) noexcept {
        if constexpr (kWide == 4)
            horner(x, a, to);
        else
            estrin(x, a, to);
    }

    template <int G, int N>
    [[gnu::always_inline]] static void horner(const Wide (&x)[G], const double (&a)[N],
                                              Wide (&to)[G]) noexcept {
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) to[g] = Wide(a[N - 1]);
#pragma GCC unroll 16
        for (int k = N - 2; k >= 0; --k) {
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) to[g] = xsimd::fma(to[g], x[g], Wide(a[k]));
        }
    }

    template <int G, int N>
    [[gnu::always_inline]] static void estrin(const Wide (&x)[G], const double (&a)[N],
                                              Wide (&to)[G]) noexcept {
        constexpr int kPairs = (N + 1) / 2;
        Wide t[G][kPairs], power[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
#pragma GCC unroll 16
            for (int j = 0; j < kPairs; ++j)
                t[g][j] = 2 * j + 1 < N ? xsimd::fma(Wide(a[2 * j + 1]), x[g], Wide(a[2 * j]))
                                        : Wide(a[2 * j]);
            power[g] = x[g] * x[g];
        }
#pragma GCC unroll 8
        for (int m = kPairs; m > 1; m = (m + 1) / 2) {
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) {
#pragma GCC unroll 16
                for (int j = 0; j < m / 2; ++j)
                    t[g][j] = xsimd::fma(t[g][2 * j + 1], power[g], t[g][2 * j]);
                if (m % 2) t[g][m / 2] = t[g][m - 1];
                if (m > 2) power[g] = power[g] * power[g];
            }
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) to[g] = t[g][0];
    }

    // v^p of G vectors side by side, for v >= 1e-4 (the envelope floor) and p = 1/R in
    // [1/64, 2]: 2^(p log2 v), with shorter series than the general exp2 and log2 of
    // dsp/VectorMath.h. Each value takes a long chain of dependent steps; G of them in turn keep
    // the processor's units busy where one alone would wait on each step. log2 v: v sqrt(2) =
    // w 2^e with w in [1, 2), so v = (w / sqrt(2)) 2^e and ln(w / sqrt(2)) = 2 (s + s^3/3 + ... +
    // s^13/13) in s = (w - sqrt(2))/(w + sqrt(2)), |s| < 0.1716 (remainder below 5e-13, so
    // p log2 v is off by less than 2e-12; the product v sqrt(2) adds one rounding). 2^x: x = n + f
    // with |f| <= 0.5, 2^f from its Taylor series in f ln 2 to degree 10 (remainder below 3e-13).
    // The power is off by less than 3e-12 of itself.
    template <int G>
    [[gnu::always_inline]] static void powers(const Wide (&v)[G], const Wide& p,
                                              Wide (&to)[G]) noexcept {
        using U = xsimd::batch<std::uint64_t, WideArch>;
        const Wide root2(1.4142135623730950488);
        Wide s[G], e[G], s2[G], series[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const U bits = xsimd::bitwise_cast<U>(v[g] * root2);
            // w: the mantissa with the exponent of 1.0; e through the bits of 2^52 + e.
            const Wide w = xsimd::bitwise_cast<Wide>((bits & U(0x000FFFFFFFFFFFFFull)) |
                                                     U(0x3FF0000000000000ull));
            e[g] = xsimd::bitwise_cast<Wide>((bits >> 52) | U(0x4330000000000000ull)) -
                   Wide(4503599627370496.0 + 1023.0);
            s[g] = (w - root2) / (w + root2);
            s2[g] = s[g] * s[g];
        }
        // 1/(2k + 1) for k = 0 .. 6.
        constexpr double kSeries[] = {1.0,       1.0 / 3.0,  1.0 / 5.0, 1.0 / 7.0,
                                      1.0 / 9.0, 1.0 / 11.0, 1.0 / 13.0};
        polynomials(s2, kSeries, series);
        Wide n[G], f[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const Wide log2v = xsimd::fma(s[g] * series[g], Wide(2.8853900817779268147), e[g]);
            const Wide x = xsimd::min(xsimd::max(p * log2v, Wide(-1020.0)), Wide(1020.0));
            n[g] = nearest(x);
            f[g] = (x - n[g]) * Wide(0.6931471805599453094);
        }
        // 1/k! for k = 0 .. 10.
        constexpr double kTaylor[] = {
            1.0,         1.0,          0.5,           1.0 / 6.0,      1.0 / 24.0,     1.0 / 120.0,
            1.0 / 720.0, 1.0 / 5040.0, 1.0 / 40320.0, 1.0 / 362880.0, 1.0 / 3628800.0};
        polynomials(f, kTaylor, to);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            // 2^n straight into the exponent bits (n + 1023 in the low bits of a double near
            // 1.5 2^52).
            const U scale = xsimd::bitwise_cast<U>(n[g] + Wide(1023.0 + kRounder)) << 52;
            to[g] = to[g] * xsimd::bitwise_cast<Wide>(scale);
        }
    }

    // Whether any of n values (a whole number of vectors) reaches `from`.
    static bool reaches(const double* v, int n, double from) noexcept {
        Wide m = Wide::load_aligned(v);
        for (int k = kWide; k < n; k += kWide) m = xsimd::max(m, Wide::load_aligned(v + k));
        return xsimd::any(m >= Wide(from));
    }

    // g = y(v) / (v + 1e-6) over the chunk, in place (n: whole vectors). The power runs over the
    // whole chunk when any value reaches its range (one decision per chunk, not one per vector),
    // and not at all at ratio 1, where v^1 is v.
    static void gainCurve(const EngineSettings& s, double* v, int n) noexcept {
        if (s.softKnee)
            softKnee(s, v, n);
        else
            hardKnee(s.inverseRatio, v, n);
    }

    // The curve of `knee` (gains<G>(v): G vectors in place) over n values, in groups of kGroup
    // vectors, the rest a vector at a time.
    template <class Knee>
    [[gnu::always_inline]] static void inGroups(const Knee& knee, double* v, int n) noexcept {
        int k = 0;
        for (; k + kGroup * kWide <= n; k += kGroup * kWide) knee.template gains<kGroup>(v + k);
        if constexpr (kGroup > 1)
            for (; k < n; k += kWide) knee.template gains<1>(v + k);
    }

    static void hardKnee(double p, double* v, int n) noexcept {
        if (p == 1.0 || !reaches(v, n, 1.0)) {
            const Wide tiny(1e-6);
            for (int k = 0; k < n; k += kWide) {
                const Wide x = Wide::load_aligned(v + k);
                (x / (x + tiny)).store_aligned(v + k);
            }
            return;
        }
        inGroups(HardKnee{Wide(p)}, v, n);
    }

    // The hard knee's gains with the power where v is above 1.
    struct HardKnee {
        Wide p;

        template <int G>
        [[gnu::always_inline]] void gains(double* v) const noexcept {
            Wide x[G], y[G];
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) x[g] = Wide::load_aligned(v + g * kWide);
            powers(x, p, y);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                (xsimd::select(x[g] > Wide(1.0), y[g], x[g]) / (x[g] + Wide(1e-6)))
                    .store_aligned(v + g * kWide);
        }
    };

    // Catmull-Rom through (-0.5, 0.5, 1.5^p, 2.5^p) at t = v - 0.5 between 0.5 and 1.5, the
    // power from 1.5 on (where `withPowers`; v itself otherwise).
    struct SoftKnee {
        Wide p, c0, c1, c2, c3;
        bool withPowers;

        SoftKnee(const EngineSettings& s, bool powersNeeded) noexcept
            : p(s.inverseRatio), withPowers(powersNeeded) {
            constexpr double p0 = -0.5, p1 = 0.5;
            const double p2 = s.kneeLowY, p3 = s.kneeHighY;
            c0 = Wide(p1);
            c1 = Wide(0.5 * p2 - 0.5 * p0);
            c2 = Wide(p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3);
            c3 = Wide(0.5 * p3 + 1.5 * p1 - 0.5 * p0 - 1.5 * p2);
        }

        template <int G>
        [[gnu::always_inline]] void gains(double* v) const noexcept {
            const Wide half(0.5), kneeTop(1.5);
            Wide x[G], y[G];
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) y[g] = x[g] = Wide::load_aligned(v + g * kWide);
            if (withPowers) powers(x, p, y);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) {
                const Wide t = x[g] - half;
                const Wide t2 = t * t;
                // c0 + t c1 + t^2 c2 + t^3 c3, summed in that order (fused in the AVX2 build).
                Wide knee = xsimd::fma(t2 * t, c3, xsimd::fma(t2, c2, xsimd::fma(t, c1, c0)));
                knee = xsimd::select(x[g] >= kneeTop, y[g], knee);
                knee = xsimd::select(x[g] <= half, x[g], knee);
                (knee / (x[g] + Wide(1e-6))).store_aligned(v + g * kWide);
            }
        }
    };

    static void softKnee(const EngineSettings& s, double* v, int n) noexcept {
        inGroups(SoftKnee(s, s.inverseRatio != 1.0 && reaches(v, n, 1.5)), v, n);
    }
};

}  // namespace
}  // namespace tinypress
