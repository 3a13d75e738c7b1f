// The power of PowerTables.h on xsimd vectors of two (SSE2) or four (AVX2) doubles, for the
// engines' curve kernels. Everything here has internal linkage (an unnamed namespace), so each
// build keeps its own code.
//
// A vector takes two passes: levelsTo() puts its values, raised to at least 1 and held at the
// largest double, into memory as bits; operator() reads the tables' entries lane by lane from
// those bits (loads and shuffles: the grandpress curve took 1.8 ns a level on SSE2 and 0.9 on
// AVX2 so, against 4.5 and 2.2 with the library's gathers) and gives v^p.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <limits>
#include <xsimd/xsimd.hpp>

#include "dsp/PowerTables.h"

namespace qrx::dsp {
namespace {

template <class Arch>
struct TablePower {
    using Batch = xsimd::batch<double, Arch>;
    using Bits = xsimd::batch<std::uint64_t, Arch>;
    static_assert(Batch::size == 2 || Batch::size == 4);

    const PowerTables& tables;
    Batch b1, b2, b3, b4, b5;

    explicit TablePower(const PowerTables& t)
        : tables(t),
          b1(t.binomial[0]),
          b2(t.binomial[1]),
          b3(t.binomial[2]),
          b4(t.binomial[3]),
          b5(t.binomial[4]) {}

    // The values v^p takes from x: at least 1 and at most the largest double (a NaN gives 1: the
    // instruction returns its second operand), as bits at `bits` (aligned to the vector).
    [[gnu::always_inline]] static void levelsTo(Batch x, std::uint64_t* bits) {
        const Batch held =
            xsimd::min(xsimd::max(x, Batch(1.0)), Batch(std::numeric_limits<double>::max()));
        xsimd::bitwise_cast<Bits>(held).store_aligned(bits);
    }

    // v^p of the values levelsTo() left at `bits`: 2^(p e) c^p (1 + t)^p, t = m / c - 1.
    [[gnu::always_inline]] Batch operator()(const std::uint64_t* bits) const {
        const Entries e = entriesOf(bits);
        const Bits fraction(0x000FFFFFFFFFFFFFull), oneBits(0x3FF0000000000000ull);
        const Batch m = xsimd::bitwise_cast<Batch>((Bits::load_aligned(bits) & fraction) | oneBits);
        const Batch t = xsimd::fms(m, e.inverse, Batch(1.0));
        const Batch q =
            xsimd::fma(xsimd::fma(xsimd::fma(xsimd::fma(b5, t, b4), t, b3), t, b2), t, b1);
        const Batch s = e.octave * e.power;
        return xsimd::fma(s * t, q, s);
    }

  private:
    struct Entries {
        Batch octave, power, inverse;
    };

    [[gnu::always_inline]] Entries entriesOf(const std::uint64_t* bits) const {
        const auto octave = [&](int l) { return tables.octave + PowerTables::octaveOf(bits[l]); };
        // (c^p, 1 / c) of lane l in one load.
        const auto step = [&](int l) {
            return _mm_load_pd(&tables.step[PowerTables::stepOf(bits[l])].power);
        };
        if constexpr (Batch::size == 2) {
            const __m128d s0 = step(0), s1 = step(1);
            return {Batch(_mm_loadh_pd(_mm_load_sd(octave(0)), octave(1))),
                    Batch(_mm_unpacklo_pd(s0, s1)), Batch(_mm_unpackhi_pd(s0, s1))};
        } else {
            const __m128d o01 = _mm_loadh_pd(_mm_load_sd(octave(0)), octave(1));
            const __m128d o23 = _mm_loadh_pd(_mm_load_sd(octave(2)), octave(3));
            const __m256d s02 = _mm256_set_m128d(step(2), step(0));
            const __m256d s13 = _mm256_set_m128d(step(3), step(1));
            return {Batch(_mm256_set_m128d(o23, o01)), Batch(_mm256_unpacklo_pd(s02, s13)),
                    Batch(_mm256_unpackhi_pd(s02, s13))};
        }
    }
};

}  // namespace
}  // namespace qrx::dsp
