// The static curve of the chunk kernels' dynamics (ChunkKernels.h): envelope levels v into gains
// y(v) / (v + 1e-6), hard or soft knee, over whole vectors of the chunk. The per-frame reference
// is gainOfEnvelope (GainComputer.h). A template on the xsimd architectures (KernelLanes.h).
#pragma once

#include <cstdint>
#include <type_traits>

#include "dsp/VectorMath.h"
#include "tinypress/EngineSettings.h"
#include "tinypress/KernelLanes.h"

namespace tinypress {
namespace {

template <class PairArch, class WideArch>
struct GainCurveKernels {
    using Wide = Lanes<WideArch>;
    static constexpr int kWide = static_cast<int>(Wide::size);

    static constexpr double kRounder = 6755399441055744.0;  // 1.5 2^52

    // x rounded to the nearest integer (ties to even) for |x| <= 2^51. Plain SSE2 has no
    // rounding instruction (xsimd's nearbyint takes a dozen there): adding and taking away
    // 1.5 2^52 rounds the same way.
    [[gnu::always_inline]] static Wide nearest(const Wide& x) noexcept {
        if constexpr (std::is_same_v<WideArch, xsimd::sse2>)
            return (x + Wide(kRounder)) - Wide(kRounder);
        else
            return xsimd::nearbyint(x);
    }

    // v^p for v >= 1e-4 (the envelope floor) and p = 1/R in [1/64, 2]: 2^(p log2 v), with
    // shorter series than the general exp2 and log2 of dsp/VectorMath.h. log2 v: v sqrt(2) =
    // w 2^e with w in [1, 2), so v = (w / sqrt(2)) 2^e and ln(w / sqrt(2)) = 2 (s + s^3/3 + ... +
    // s^13/13) in s = (w - sqrt(2))/(w + sqrt(2)), |s| < 0.1716 (remainder below 5e-13, so
    // p log2 v is off by less than 2e-12; the product v sqrt(2) adds one rounding). 2^x: x = n + f
    // with |f| <= 0.5, 2^f from its Taylor series in f ln 2 to degree 10 (remainder below 3e-13).
    // The gain is off by less than 3e-12 of itself.
    static Wide power(const Wide& v, const Wide& p) noexcept {
        using U = xsimd::batch<std::uint64_t, WideArch>;
        const Wide root2(1.4142135623730950488);
        const U bits = xsimd::bitwise_cast<U>(v * root2);
        // w: the mantissa with the exponent of 1.0; e through the bits of 2^52 + e.
        const Wide w =
            xsimd::bitwise_cast<Wide>((bits & U(0x000FFFFFFFFFFFFFull)) | U(0x3FF0000000000000ull));
        const Wide e = xsimd::bitwise_cast<Wide>((bits >> 52) | U(0x4330000000000000ull)) -
                       Wide(4503599627370496.0 + 1023.0);
        const Wide s = (w - root2) / (w + root2);
        // 1/(2k + 1) for k = 6 .. 0.
        constexpr double kSeries[] = {1.0 / 13.0, 1.0 / 11.0, 1.0 / 9.0, 1.0 / 7.0,
                                      1.0 / 5.0,  1.0 / 3.0,  1.0};
        const Wide log2v = xsimd::fma(s * qrx::dsp::vmath::polynomial(s * s, kSeries),
                                      Wide(2.8853900817779268147), e);

        const Wide x = xsimd::min(xsimd::max(p * log2v, Wide(-1020.0)), Wide(1020.0));
        const Wide n = nearest(x);
        const Wide f = (x - n) * Wide(0.6931471805599453094);
        // 1/k! for k = 10 .. 0.
        constexpr double kTaylor[] = {
            1.0 / 3628800.0, 1.0 / 362880.0, 1.0 / 40320.0, 1.0 / 5040.0, 1.0 / 720.0, 1.0 / 120.0,
            1.0 / 24.0,      1.0 / 6.0,      0.5,           1.0,          1.0};
        // 2^n straight into the exponent bits (n + 1023 in the low bits of a double near
        // 1.5 2^52).
        const U scale = xsimd::bitwise_cast<U>(n + Wide(1023.0 + kRounder)) << 52;
        return qrx::dsp::vmath::polynomial(f, kTaylor) * xsimd::bitwise_cast<Wide>(scale);
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

    static void hardKnee(double p, double* v, int n) noexcept {
        const Wide pw(p), tiny(1e-6), one(1.0);
        if (p == 1.0 || !reaches(v, n, 1.0)) {
            for (int k = 0; k < n; k += kWide) {
                const Wide x = Wide::load_aligned(v + k);
                (x / (x + tiny)).store_aligned(v + k);
            }
            return;
        }
        for (int k = 0; k < n; k += kWide) {
            const Wide x = Wide::load_aligned(v + k);
            const Wide y = xsimd::select(x > one, power(x, pw), x);
            (y / (x + tiny)).store_aligned(v + k);
        }
    }

    // Catmull-Rom through (-0.5, 0.5, 1.5^p, 2.5^p) at t = v - 0.5 between 0.5 and 1.5.
    static void softKnee(const EngineSettings& s, double* v, int n) noexcept {
        const double p = s.inverseRatio;
        const Wide pw(p), tiny(1e-6);
        constexpr double p0 = -0.5, p1 = 0.5;
        const double p2 = s.kneeLowY, p3 = s.kneeHighY;
        const Wide c0(p1), c1(0.5 * p2 - 0.5 * p0), c2(p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3),
            c3(0.5 * p3 + 1.5 * p1 - 0.5 * p0 - 1.5 * p2);
        const Wide half(0.5), kneeTop(1.5);
        const bool powers = p != 1.0 && reaches(v, n, 1.5);
        for (int k = 0; k < n; k += kWide) {
            const Wide x = Wide::load_aligned(v + k);
            const Wide t = x - half;
            const Wide t2 = t * t;
            // c0 + t c1 + t^2 c2 + t^3 c3, summed in that order (fused in the AVX2 build).
            Wide y = xsimd::fma(t2 * t, c3, xsimd::fma(t2, c2, xsimd::fma(t, c1, c0)));
            y = xsimd::select(x >= kneeTop, powers ? power(x, pw) : x, y);
            y = xsimd::select(x <= half, x, y);
            (y / (x + tiny)).store_aligned(v + k);
        }
    }
};

}  // namespace
}  // namespace tinypress
