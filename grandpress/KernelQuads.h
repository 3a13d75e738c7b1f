// What the recursive kernels of the compressor add to the lanes every kernel shares
// (KernelLanes.h): four lanes of doubles (two stereo pairs, as the side chain's low and high
// shelves or the gain computer's fast and slow averages) in one 256-bit vector where the build has
// them, else in two 128-bit vectors, and the fused products of pairs. The AVX2 build's pairs are
// xsimd's SSE4.2 vectors, whose fused products take the FMA intrinsics (xsimd 8 offers no FMA on
// 128-bit vectors in a build with AVX). Everything here has internal linkage, so each build keeps
// its own code.
#pragma once

#include <immintrin.h>

#include <type_traits>
#include <xsimd/xsimd.hpp>

#include "grandpress/KernelLanes.h"

namespace grandpress {
namespace {
namespace lanes {

// Whether the build fuses products (the AVX2+FMA build).
template <class Arch>
inline constexpr bool kFused = xsimd::batch<double, Arch>::size == 4;

// Left and right channel side by side (KernelLanes.h).
using ::grandpress::Pair;
using ::grandpress::pairOf;

// a b + c, c - a b and a b - c on pairs, fused in the AVX2+FMA build.
template <class Arch>
[[gnu::always_inline]] inline Pair<Arch> fma(const Pair<Arch>& a, const Pair<Arch>& b,
                                             const Pair<Arch>& c) noexcept {
    if constexpr (kFused<Arch>)
        return Pair<Arch>(_mm_fmadd_pd(a, b, c));
    else
        return xsimd::fma(a, b, c);
}
template <class Arch>
[[gnu::always_inline]] inline Pair<Arch> fnma(const Pair<Arch>& a, const Pair<Arch>& b,
                                              const Pair<Arch>& c) noexcept {
    if constexpr (kFused<Arch>)
        return Pair<Arch>(_mm_fnmadd_pd(a, b, c));
    else
        return xsimd::fnma(a, b, c);
}
template <class Arch>
[[gnu::always_inline]] inline Pair<Arch> fms(const Pair<Arch>& a, const Pair<Arch>& b,
                                             const Pair<Arch>& c) noexcept {
    if constexpr (kFused<Arch>)
        return Pair<Arch>(_mm_fmsub_pd(a, b, c));
    else
        return xsimd::fms(a, b, c);
}

// Four lanes: low pair (lanes 0, 1) and high pair (lanes 2, 3).
template <class Arch>
struct Quad {
    using Wide = xsimd::batch<double, Arch>;
    using Half = Pair<Arch>;
    static constexpr bool kWide = Wide::size == 4;
    struct Halves {
        Half low, high;
    };
    std::conditional_t<kWide, Wide, Halves> v;

    [[gnu::always_inline]] static Quad of(const Half& low, const Half& high) noexcept {
        if constexpr (kWide)
            return {Wide(_mm256_set_m128d(high, low))};
        else
            return {{low, high}};
    }
    [[gnu::always_inline]] static Quad splat(double x) noexcept {
        if constexpr (kWide)
            return {Wide(x)};
        else
            return {{Half(x), Half(x)}};
    }
    // (low, low, high, high).
    [[gnu::always_inline]] static Quad pairs(double low, double high) noexcept {
        if constexpr (kWide)
            return {Wide({low, low, high, high})};
        else
            return {{Half(low), Half(high)}};
    }
    // (*low, *low, *high, *high) from memory.
    [[gnu::always_inline]] static Quad pairsAt(const double* low, const double* high) noexcept {
        if constexpr (kWide)
            return {
                Wide(_mm256_blend_pd(_mm256_broadcast_sd(low), _mm256_broadcast_sd(high), 0xC))};
        else
            return {{Half(*low), Half(*high)}};
    }
    // Four doubles at a 32-byte boundary.
    [[gnu::always_inline]] static Quad load(const double* p) noexcept {
        if constexpr (kWide)
            return {Wide::load_aligned(p)};
        else
            return {{Half::load_aligned(p), Half::load_aligned(p + 2)}};
    }
    [[gnu::always_inline]] static Quad loadUnaligned(const double* p) noexcept {
        if constexpr (kWide)
            return {Wide::load_unaligned(p)};
        else
            return {{Half::load_unaligned(p), Half::load_unaligned(p + 2)}};
    }
    [[gnu::always_inline]] void storeUnaligned(double* p) const noexcept {
        if constexpr (kWide) {
            v.store_unaligned(p);
        } else {
            v.low.store_unaligned(p);
            v.high.store_unaligned(p + 2);
        }
    }
    [[gnu::always_inline]] void store(double* p) const noexcept {
        if constexpr (kWide) {
            v.store_aligned(p);
        } else {
            v.low.store_aligned(p);
            v.high.store_aligned(p + 2);
        }
    }
    [[gnu::always_inline]] Half low() const noexcept {
        if constexpr (kWide)
            return Half(_mm256_castpd256_pd128(v));
        else
            return v.low;
    }
    [[gnu::always_inline]] Half high() const noexcept {
        if constexpr (kWide)
            return Half(_mm256_extractf128_pd(v, 1));
        else
            return v.high;
    }
    // (low, low) and (high, high) as four lanes.
    [[gnu::always_inline]] Quad lowTwice() const noexcept {
        if constexpr (kWide)
            return {Wide(_mm256_permute2f128_pd(v, v, 0x00))};
        else
            return {{v.low, v.low}};
    }
    [[gnu::always_inline]] Quad highTwice() const noexcept {
        if constexpr (kWide)
            return {Wide(_mm256_permute2f128_pd(v, v, 0x11))};
        else
            return {{v.high, v.high}};
    }
    // The low pair of this, the high pair of `other`; and the reverse.
    [[gnu::always_inline]] Quad withHighOf(const Quad& other) const noexcept {
        if constexpr (kWide)
            return {Wide(_mm256_blend_pd(v, other.v, 0xC))};
        else
            return {{v.low, other.v.high}};
    }
    [[gnu::always_inline]] Quad withLowOf(const Quad& other) const noexcept {
        if constexpr (kWide)
            return {Wide(_mm256_blend_pd(v, other.v, 0x3))};
        else
            return {{other.v.low, v.high}};
    }

    // Lane by lane.
    template <class F>
    [[gnu::always_inline]] static Quad map(F f, const Quad& a, const Quad& b) noexcept {
        if constexpr (kWide)
            return {f(a.v, b.v)};
        else
            return {{f(a.v.low, b.v.low), f(a.v.high, b.v.high)}};
    }
    template <class F>
    [[gnu::always_inline]] static Quad map(F f, const Quad& a, const Quad& b,
                                           const Quad& c) noexcept {
        if constexpr (kWide)
            return {f(a.v, b.v, c.v)};
        else
            return {{f(a.v.low, b.v.low, c.v.low), f(a.v.high, b.v.high, c.v.high)}};
    }
};

template <class Arch>
[[gnu::always_inline]] inline Quad<Arch> operator+(const Quad<Arch>& a,
                                                   const Quad<Arch>& b) noexcept {
    return Quad<Arch>::map([](const auto& x, const auto& y) { return x + y; }, a, b);
}
template <class Arch>
[[gnu::always_inline]] inline Quad<Arch> operator-(const Quad<Arch>& a,
                                                   const Quad<Arch>& b) noexcept {
    return Quad<Arch>::map([](const auto& x, const auto& y) { return x - y; }, a, b);
}
template <class Arch>
[[gnu::always_inline]] inline Quad<Arch> operator*(const Quad<Arch>& a,
                                                   const Quad<Arch>& b) noexcept {
    return Quad<Arch>::map([](const auto& x, const auto& y) { return x * y; }, a, b);
}
template <class Arch>
[[gnu::always_inline]] inline Quad<Arch> operator/(const Quad<Arch>& a,
                                                   const Quad<Arch>& b) noexcept {
    return Quad<Arch>::map([](const auto& x, const auto& y) { return x / y; }, a, b);
}
template <class Arch>
[[gnu::always_inline]] inline Quad<Arch> max(const Quad<Arch>& a, const Quad<Arch>& b) noexcept {
    return Quad<Arch>::map([](const auto& x, const auto& y) { return xsimd::max(x, y); }, a, b);
}
// a b + c and c - a b (fused where the build has FMA).
template <class Arch>
[[gnu::always_inline]] inline Quad<Arch> fma(const Quad<Arch>& a, const Quad<Arch>& b,
                                             const Quad<Arch>& c) noexcept {
    return Quad<Arch>::map(
        [](const auto& x, const auto& y, const auto& z) { return xsimd::fma(x, y, z); }, a, b, c);
}
template <class Arch>
[[gnu::always_inline]] inline Quad<Arch> fnma(const Quad<Arch>& a, const Quad<Arch>& b,
                                              const Quad<Arch>& c) noexcept {
    return Quad<Arch>::map(
        [](const auto& x, const auto& y, const auto& z) { return xsimd::fnma(x, y, z); }, a, b, c);
}

}  // namespace lanes
}  // namespace
}  // namespace grandpress
