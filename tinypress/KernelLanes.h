// What every stage of the chunk kernels (ChunkKernels.h) shares: the two stereo channels side by
// side in the lanes of one vector, and the biquad on such pairs. Each stage is a template on two
// xsimd architectures, PairArch for the two-lane vectors of the recursive stages and WideArch
// for the widest vectors of the build, and is instantiated once per instruction set by
// ChunkKernelsImpl.h. Everything here has internal linkage (an unnamed namespace), so each build
// keeps its own code.
//
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <type_traits>
#include <xsimd/xsimd.hpp>

#include "dsp/BiquadDesign.h"

namespace tinypress {
namespace {

template <class Arch>
using Lanes = xsimd::batch<double, Arch>;

// Whether the pairs fuse multiply and add: in the build for FMA (the AVX2 build), where the sums
// are also ordered to keep the recursions' chains short, which rounds differently. xsimd 8.1
// offers no fused two-lane vectors in a build for AVX (its fma3<sse4_2> is for SSE-only builds),
// so the fused pairs take the intrinsics.
#ifdef __FMA__
inline constexpr bool kFusedPairs = true;
#else
inline constexpr bool kFusedPairs = false;
#endif

template <class Arch>
[[gnu::always_inline]] inline Lanes<Arch> pairOf(double left, double right) noexcept {
    static_assert(Lanes<Arch>::size == 2, "one lane per channel");
    return Lanes<Arch>({left, right});
}

// a b + c and c - a b.
template <class Arch>
[[gnu::always_inline]] inline Lanes<Arch> mulAdd(const Lanes<Arch>& a, const Lanes<Arch>& b,
                                                 const Lanes<Arch>& c) noexcept {
    if constexpr (kFusedPairs && Lanes<Arch>::size == 2) return Lanes<Arch>(_mm_fmadd_pd(a, b, c));
    return xsimd::fma(a, b, c);
}
template <class Arch>
[[gnu::always_inline]] inline Lanes<Arch> mulSub(const Lanes<Arch>& a, const Lanes<Arch>& b,
                                                 const Lanes<Arch>& c) noexcept {
    if constexpr (kFusedPairs && Lanes<Arch>::size == 2) return Lanes<Arch>(_mm_fnmadd_pd(a, b, c));
    return c - a * b;
}

template <class Arch>
[[gnu::always_inline]] inline void store(const Lanes<Arch>& v, double& left,
                                         double& right) noexcept {
    alignas(16) double lanes[2];
    v.store_aligned(lanes);
    left = lanes[0];
    right = lanes[1];
}

// Frames in whole vectors of `width` (the chunk buffers hold kChunk samples).
constexpr int wholeVectors(int n, int width) noexcept {
    return (n + width - 1) / width * width;
}

// The lanes of a 256-bit vector as (0, 2, 1, 3): what puts the halves of xsimd's zips, which stay
// within 128-bit halves, in order (narrower vectors need nothing).
template <class Arch>
[[gnu::always_inline]] inline Lanes<Arch> halvesInOrder(const Lanes<Arch>& v) noexcept {
    if constexpr (Lanes<Arch>::size == 4) {
        using Order = xsimd::batch_constant<xsimd::batch<std::uint64_t, Arch>, 0, 2, 1, 3>;
        return xsimd::swizzle(v, Order());
    } else {
        return v;
    }
}

// Two vectors of one channel each as 2 width values with the channels side by side.
template <class Arch>
void interleave(const Lanes<Arch>& a, const Lanes<Arch>& b, double* to) noexcept {
    const Lanes<Arch> x = halvesInOrder(a), y = halvesInOrder(b);
    xsimd::zip_lo(x, y).store_aligned(to);
    xsimd::zip_hi(x, y).store_aligned(to + Lanes<Arch>::size);
}

// The reverse: 2 width values of two channels side by side (a, then b) into one vector of each.
template <class Arch>
[[gnu::always_inline]] inline void deinterleave(const Lanes<Arch>& a, const Lanes<Arch>& b,
                                                Lanes<Arch>& first, Lanes<Arch>& second) noexcept {
    first = halvesInOrder(xsimd::zip_lo(a, b));
    second = halvesInOrder(xsimd::zip_hi(a, b));
}

// Biquad state of both lanes in registers.
template <class Arch>
struct PairCoefficients {
    Lanes<Arch> b0, b1, b2, a1, a2;

    PairCoefficients(const qrx::dsp::BiquadCoefficients& l,
                     const qrx::dsp::BiquadCoefficients& r) noexcept
        : b0(pairOf<Arch>(l.b0, r.b0)),
          b1(pairOf<Arch>(l.b1, r.b1)),
          b2(pairOf<Arch>(l.b2, r.b2)),
          a1(pairOf<Arch>(l.a1, r.a1)),
          a2(pairOf<Arch>(l.a2, r.a2)) {}

    void storeTo(qrx::dsp::BiquadCoefficients& l, qrx::dsp::BiquadCoefficients& r) const noexcept {
        store(b0, l.b0, r.b0);
        store(b1, l.b1, r.b1);
        store(b2, l.b2, r.b2);
        store(a1, l.a1, r.a1);
        store(a2, l.a2, r.a2);
    }
};

template <class Arch>
struct PairMemories {
    Lanes<Arch> x1, x2, y1, y2;

    PairMemories(const qrx::dsp::BiquadMemories& l, const qrx::dsp::BiquadMemories& r) noexcept
        : x1(pairOf<Arch>(l.x1, r.x1)),
          x2(pairOf<Arch>(l.x2, r.x2)),
          y1(pairOf<Arch>(l.y1, r.y1)),
          y2(pairOf<Arch>(l.y2, r.y2)) {}

    void storeTo(qrx::dsp::BiquadMemories& l, qrx::dsp::BiquadMemories& r) const noexcept {
        store(x1, l.x1, r.x1);
        store(x2, l.x2, r.x2);
        store(y1, l.y1, r.y1);
        store(y2, l.y2, r.y2);
    }
};

// y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, summed in that order.
// The fused build takes the newest output last, which shortens the chain from one sample's
// output to the next to a single fused operation.
template <class Arch>
[[gnu::always_inline]] inline Lanes<Arch> biquad(const PairCoefficients<Arch>& c,
                                                 const PairMemories<Arch>& m,
                                                 const Lanes<Arch>& x) noexcept {
    const Lanes<Arch> forward = mulAdd(c.b2, m.x2, mulAdd(c.b1, m.x1, c.b0 * x));
    if constexpr (kFusedPairs) return mulSub(c.a1, m.y1, mulSub(c.a2, m.y2, forward));
    return mulSub(c.a2, m.y2, mulSub(c.a1, m.y1, forward));
}

// One biquad sample on input x (with its offset), storing the output plus `after`.
template <class Arch>
[[gnu::always_inline]] inline Lanes<Arch> biquadStep(const PairCoefficients<Arch>& c,
                                                     PairMemories<Arch>& m, const Lanes<Arch>& x,
                                                     const Lanes<Arch>& after) noexcept {
    const Lanes<Arch> y = biquad(c, m, x);
    m.x2 = m.x1;
    m.x1 = x;
    m.y2 = m.y1;
    m.y1 = y + after;
    return y;
}

}  // namespace
}  // namespace tinypress
