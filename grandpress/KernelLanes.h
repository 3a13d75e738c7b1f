// What the engine's vector kernels share: each kernel is one template on an xsimd architecture,
// instantiated for xsimd::sse2 by Kernels.cpp (plain x86-64) and for xsimd::fma3<xsimd::avx2> by
// Kernels_avx2.cpp. The widest vectors of the build carry runs of frames; the recursive stages
// carry both channels (or two frames) side by side in two-lane pairs. Everything here has
// internal linkage (an unnamed namespace), so each build keeps its own code.
#pragma once

#include <immintrin.h>

#include <type_traits>
#include <xsimd/xsimd.hpp>

namespace grandpress {
namespace {

// The widest vectors of a build.
template <class Arch>
using Lanes = xsimd::batch<double, Arch>;

// The two-lane vectors of a build: SSE2 in the plain build, SSE4.2 beside AVX2 (xsimd fuses
// only the widest vectors of a build: fusedMulAdd fuses the pairs by hand).
template <class Arch>
using PairArch = std::conditional_t<std::is_same_v<Arch, xsimd::sse2>, xsimd::sse2, xsimd::sse4_2>;
template <class Arch>
using Pair = xsimd::batch<double, PairArch<Arch>>;
template <class Arch>
using PairMask = xsimd::batch_bool<double, PairArch<Arch>>;

// a b + c, fused in the AVX2 build (its pairs and its wide vectors); the plain build rounds the
// product and the sum apart (the library builds with contraction off).
template <class B>
[[gnu::always_inline]] inline B fusedMulAdd(const B& a, const B& b, const B& c) noexcept {
    if constexpr (std::is_same_v<typename B::arch_type, xsimd::sse4_2>)
        return B(_mm_fmadd_pd(a, b, c));
    else
        return xsimd::fma(a, b, c);
}

// A pair of two values (left or first in the low lane).
template <class Arch>
[[gnu::always_inline]] inline Pair<Arch> pairOf(double low, double high) noexcept {
    return Pair<Arch>(_mm_set_pd(high, low));
}
// The low lane of a pair.
template <class P>
[[gnu::always_inline]] inline double lowLane(const P& p) noexcept {
    return _mm_cvtsd_f64(p);
}

// Bit k set where lane k of a pair's mask is set.
template <class Mask>
[[gnu::always_inline]] inline int maskBits(const Mask& m) noexcept {
    return _mm_movemask_pd(m);
}

}  // namespace
}  // namespace grandpress
