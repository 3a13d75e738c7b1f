// The noise runs (NoiseKernel.h) with four lanes of 32 bits (SSE2), portable form. Everything here
// has internal linkage (an unnamed namespace), so each build keeps its own code.
//
// The generator's three words are serial chains, and SSE2 shifts every lane by the same count, so
// the lanes cannot hold the three words of one step. They hold four places of the run instead:
// lane l starts l quarters into it (the generator's jumps, NoiseJumps.h), and one vector per word
// steps all four at once with the same shifts. Two steps at a time are interleaved into pairs of
// neighbouring values of each quarter and turned into doubles through the 2^52 trick (a word in
// the low mantissa bits of 2^52 is the word plus 2^52, exactly), then scaled as the plain
// generator does, operation by operation: the values are the same to the bit. Lane 3 ends where
// the run ends, so its words are the generator's next state.
#pragma once

#include <cstdint>
#include <xsimd/xsimd.hpp>

#include "dsp/NoiseJumps.h"
#include "dsp/NoiseKernel.h"

namespace qrx::dsp {
namespace {

template <class Arch>
struct NoiseQuarters {
    using Words32 = xsimd::batch<std::uint32_t, Arch>;
    using Values = xsimd::batch<double, Arch>;
    static_assert(Words32::size == 4 && Values::size == 2);

    // Quarters of the runs the engines ask for: one value per frame of 64 or 128 frames (16, 32),
    // two of 64 (32), three of 64 or 128 (48, 96). Other runs go the plain way.
    static constexpr noise::Jump kJumps[] = {noise::jumpOf(16), noise::jumpOf(32),
                                             noise::jumpOf(48), noise::jumpOf(96)};

    // Bit b alone, for the jumps.
    struct Bits {
        alignas(16) std::uint32_t bit[32];
        constexpr Bits() : bit() {
            for (int b = 0; b < 32; ++b) bit[b] = 1u << b;
        }
    };
    static constexpr Bits kBits{};

    // The word `steps` steps on: the xor of the columns of its set bits, four bits a vector.
    static std::uint32_t jumpWord(const std::uint32_t column[32], std::uint32_t word) noexcept {
        const Words32 w(word), none(0u);
        Words32 sum = none;
        for (int b = 0; b < 32; b += 4) {
            const Words32 bit = Words32::load_aligned(kBits.bit + b);
            sum ^= xsimd::select((w & bit) == bit, Words32::load_aligned(column + b), none);
        }
        alignas(16) std::uint32_t lanes[4];
        sum.store_aligned(lanes);
        return lanes[0] ^ lanes[1] ^ lanes[2] ^ lanes[3];
    }

    // One vector per word, lane l holding the generator l quarters on.
    struct State {
        Words32 s1, s2, s3;

        State(const DenormalNoise::Words& w, const noise::Jump& quarter) noexcept {
            alignas(16) std::uint32_t lanes[3][4];
            DenormalNoise::Words at = w;
            for (int l = 0; l < 4; ++l) {
                lanes[0][l] = at.s1;
                lanes[1][l] = at.s2;
                lanes[2][l] = at.s3;
                at = {jumpWord(quarter.column[0], at.s1), jumpWord(quarter.column[1], at.s2),
                      jumpWord(quarter.column[2], at.s3)};
            }
            s1 = Words32::load_aligned(lanes[0]);
            s2 = Words32::load_aligned(lanes[1]);
            s3 = Words32::load_aligned(lanes[2]);
        }

        // One step of every lane (DenormalNoise::next); the xor of the three words.
        [[gnu::always_inline]] Words32 step() noexcept {
            s1 = (s1 << 13) ^ (((s1 >> 6) ^ (s1 >> 15)) & Words32(0x1FFFu));
            s2 = (s2 << 20) ^ (((s2 >> 7) ^ (s2 >> 9)) & Words32(0xFFFFFu));
            s3 = (s3 << 17) ^ (((s3 >> 8) ^ (s3 >> 14)) & Words32(0x1FFFFu));
            return s1 ^ s2 ^ s3;
        }

        // Lane 3's words.
        DenormalNoise::Words last() const noexcept {
            alignas(16) std::uint32_t lanes[3][4];
            s1.store_aligned(lanes[0]);
            s2.store_aligned(lanes[1]);
            s3.store_aligned(lanes[2]);
            return {lanes[0][3], lanes[1][3], lanes[2][3]};
        }
    };

    // Two words r0, r1 as the low halves of (r + 2^52) to the generator's values,
    // scale (2 (r unit) - 1), stored at `to`.
    struct Convert {
        Words32 high = Words32(0x43300000u);  // the high half of 2^52
        Values twoTo52 = Values(4503599627370496.0);
        Values unit = Values(DenormalNoise::kWordToUnit);
        Values scale;

        explicit Convert(double s) noexcept : scale(s) {}

        [[gnu::always_inline]] void operator()(const Words32& pairs, bool upper,
                                               double* to) const noexcept {
            const Words32 wide = upper ? xsimd::zip_hi(pairs, high) : xsimd::zip_lo(pairs, high);
            const Values r = xsimd::bitwise_cast<Values>(wide) - twoTo52;
            const Values u = r * unit;
            (scale * (Values(2.0) * u - Values(1.0))).store_unaligned(to);
        }
    };

    // The next `count` values in order, if count is a multiple of 8 whose quarter has a jump;
    // false (nothing done) otherwise.
    static bool run(DenormalNoise::Words& words, double scale, int count, double* to) noexcept {
        const int quarter = count / 4;
        const noise::Jump* jump = count % 8 == 0 ? noise::jumpFor(kJumps, quarter) : nullptr;
        if (jump == nullptr) return false;
        State s(words, *jump);
        const Convert convert(scale);
        double* const q[4] = {to, to + quarter, to + 2 * quarter, to + 3 * quarter};
        for (int k = 0; k < quarter; k += 2) {
            const Words32 first = s.step(), second = s.step();
            // (first, second) of quarters 0 and 1, then of quarters 2 and 3.
            const Words32 low = xsimd::zip_lo(first, second), high = xsimd::zip_hi(first, second);
            convert(low, false, q[0] + k);
            convert(low, true, q[1] + k);
            convert(high, false, q[2] + k);
            convert(high, true, q[3] + k);
        }
        words = s.last();
        return true;
    }

    static void values(DenormalNoise::Words& words, double scale, int count, double* to) noexcept {
        if (!run(words, scale, count, to)) referenceNoiseValues(words, scale, count, to);
    }

    static void frames(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                       double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                       int n) noexcept {
        const int runA = perFrame * n;
        if (streams == 1) {
            values(a, scaleA, runA, toA[0]);
        } else {
            alignas(16) double inOrder[kNoiseRunMax];
            values(a, scaleA, runA, inOrder);
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < perFrame; ++j) toA[j][i] = inOrder[perFrame * i + j];
        }
        values(b, scaleB, n, toB);
    }
};

}  // namespace
}  // namespace qrx::dsp
