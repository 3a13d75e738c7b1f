// exp2 and log2 on vectors of doubles, for the feed-forward parts of the engines' gain curves.
// Templates on the xsimd batch type, so every instruction set gets its own instantiation (the
// architecture is part of each instantiation's name: no baseline code ever runs a wider build's
// copy). Relative error below 1e-15 on the ranges the engines use (log2 of normal positive
// values, exp2 of -1000 .. 1000).
//
// Threads: pure functions.
#pragma once

#include <cstdint>
#include <xsimd/xsimd.hpp>

namespace qrx::dsp::vmath {

// c[0] x^(N-1) + c[1] x^(N-2) + ... + c[N-1], by Horner's rule with fused steps.
template <typename A, int N>
[[gnu::always_inline]] inline xsimd::batch<double, A> polynomial(xsimd::batch<double, A> x,
                                                                 const double (&c)[N]) noexcept {
    xsimd::batch<double, A> p(c[0]);
#pragma GCC unroll 16
    for (int k = 1; k < N; ++k) p = xsimd::fma(p, x, xsimd::batch<double, A>(c[k]));
    return p;
}

// 2^x: x = n + f with n an integer and |f| <= 0.5; 2^f from its Taylor series in f ln 2 (degree
// 12, remainder below 2e-16), 2^n put straight into the exponent bits.
template <typename A>
[[gnu::always_inline]] inline xsimd::batch<double, A> exp2(xsimd::batch<double, A> x) noexcept {
    using B = xsimd::batch<double, A>;
    using U = xsimd::batch<std::uint64_t, A>;
    x = xsimd::min(xsimd::max(x, B(-1020.0)), B(1020.0));
    const B n = xsimd::nearbyint(x);
    const B f = (x - n) * B(0.6931471805599453094);
    // 1/k! for k = 12 .. 0.
    constexpr double kTaylor[] = {1.0 / 479001600.0,
                                  1.0 / 39916800.0,
                                  1.0 / 3628800.0,
                                  1.0 / 362880.0,
                                  1.0 / 40320.0,
                                  1.0 / 5040.0,
                                  1.0 / 720.0,
                                  1.0 / 120.0,
                                  1.0 / 24.0,
                                  1.0 / 6.0,
                                  0.5,
                                  1.0,
                                  1.0};
    const B p = polynomial(f, kTaylor);
    // n + 1023 in the low bits of a double near 1.5 * 2^52; shifted into the exponent field.
    const B biased = n + B(1023.0 + 6755399441055744.0);
    const U bits = xsimd::bitwise_cast<U>(biased) << 52;
    return p * xsimd::bitwise_cast<B>(bits);
}

// log2(x) for normal positive x: x = m 2^e with m in [sqrt(1/2), sqrt(2)); ln m from the series
// 2 (s + s^3/3 + ... + s^21/21) in s = (m - 1)/(m + 1), |s| < 0.1716 (remainder below 1e-17).
template <typename A>
[[gnu::always_inline]] inline xsimd::batch<double, A> log2(xsimd::batch<double, A> x) noexcept {
    using B = xsimd::batch<double, A>;
    using U = xsimd::batch<std::uint64_t, A>;
    const U bits = xsimd::bitwise_cast<U>(x);
    // Mantissa with the exponent of 1.0: m in [1, 2).
    B m = xsimd::bitwise_cast<B>((bits & U(0x000FFFFFFFFFFFFFull)) | U(0x3FF0000000000000ull));
    // Biased exponent as a double, through the bits of 2^52 + e.
    B e = xsimd::bitwise_cast<B>((bits >> 52) | U(0x4330000000000000ull)) -
          B(4503599627370496.0 + 1023.0);
    const auto high = m > B(1.4142135623730950488);
    m = xsimd::select(high, m * B(0.5), m);
    e = xsimd::select(high, e + B(1.0), e);
    const B s = (m - B(1.0)) / (m + B(1.0));
    const B s2 = s * s;
    // 1/(2k + 1) for k = 10 .. 0.
    constexpr double kSeries[] = {1.0 / 21.0, 1.0 / 19.0, 1.0 / 17.0, 1.0 / 15.0,
                                  1.0 / 13.0, 1.0 / 11.0, 1.0 / 9.0,  1.0 / 7.0,
                                  1.0 / 5.0,  1.0 / 3.0,  1.0};
    const B p = polynomial(s2, kSeries);
    // 2 s p / ln 2
    return xsimd::fma(s * p, B(2.8853900817779268147), e);
}

}  // namespace qrx::dsp::vmath
