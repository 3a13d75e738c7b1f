// The noise runs (NoiseKernel.h) with four lanes of 32 bits (SSE2), portable form. Everything here
// has internal linkage (an unnamed namespace), so each build keeps its own code.
//
// The generator's three words are serial chains, and SSE2 shifts every lane by the same count, so
// the lanes cannot hold the three words of one step. They hold four places of the run instead:
// lane l starts l quarters into it, and one vector per word steps all four at once with the same
// shifts. The generator is linear over bits (NoiseJumps.h), so the four starts of a word are the
// xor of eight table entries, one per nibble of the word, worked out at compile time for the
// quarters the engines use. Two frames at a time, each stream's values of neighbouring frames are
// interleaved into pairs and turned into doubles through the 2^52 trick (a word in the low
// mantissa bits of 2^52 is the word plus 2^52, exactly), then scaled as the plain generator does:
// the values are the same to the bit, and they land in their streams without a second pass.
// Lane 3 ends where the run ends, so its words are the generator's next state.
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

    // Where each lane starts, for one quarter: entry [j][p][v] holds, in lane l, the nibble v at
    // place p of word j (bits 4p .. 4p+3) taken l quarters on. The xor of a word's eight entries
    // is that word in all four lanes (lane 0 the word itself).
    struct Starts {
        int quarter;
        alignas(16) std::uint32_t nibble[3][8][16][4];
    };

    static constexpr Starts startsOf(int quarter) noexcept {
        Starts t{quarter, {}};
        const noise::Jump one = noise::jumpOf(quarter), two = noise::composed(one, one);
        const noise::Jump ahead[3] = {one, two, noise::composed(one, two)};
        for (int j = 0; j < 3; ++j)
            for (int p = 0; p < 8; ++p)
                for (std::uint32_t v = 0; v < 16; ++v) {
                    t.nibble[j][p][v][0] = v << (4 * p);
                    for (int l = 1; l < 4; ++l)
                        t.nibble[j][p][v][l] = noise::jumped(ahead[l - 1].column[j], v << (4 * p));
                }
        return t;
    }

    // Quarters of the runs the engines ask for: one value per frame of 64 or 128 frames (16, 32),
    // two of 64 (32), three of 64 or 128 (48, 96). Other runs go the plain way. (One constant
    // each: a compiler bounds the work of each constant it works out.)
    static constexpr Starts kStarts16 = startsOf(16), kStarts32 = startsOf(32),
                            kStarts48 = startsOf(48), kStarts96 = startsOf(96);

    static const Starts* startsFor(int quarter) noexcept {
        switch (quarter) {
            case 16:
                return &kStarts16;
            case 32:
                return &kStarts32;
            case 48:
                return &kStarts48;
            case 96:
                return &kStarts96;
            default:
                return nullptr;
        }
    }

    // One vector per word, lane l holding the generator l quarters on.
    struct State {
        Words32 s1, s2, s3;

        static Words32 lanes(const std::uint32_t (&nibble)[8][16][4], std::uint32_t w) noexcept {
            Words32 sum = Words32::load_aligned(nibble[0][w & 15u]);
            for (int p = 1; p < 8; ++p)
                sum ^= Words32::load_aligned(nibble[p][(w >> (4 * p)) & 15u]);
            return sum;
        }

        State(const DenormalNoise::Words& w, const Starts& starts) noexcept
            : s1(lanes(starts.nibble[0], w.s1)),
              s2(lanes(starts.nibble[1], w.s2)),
              s3(lanes(starts.nibble[2], w.s3)) {}

        // One step of every lane (DenormalNoise::next); the xor of the three words.
        [[gnu::always_inline]] Words32 step() noexcept {
            s1 = DenormalNoise::step1(s1);
            s2 = DenormalNoise::step2(s2);
            s3 = DenormalNoise::step3(s3);
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
    // scale (2 (r unit) - 1), stored at `to`. r (2 unit) is 2 (r unit) to the bit: doubling
    // neither rounds nor changes how a product rounds.
    struct Convert {
        Words32 high = Words32(0x43300000u);  // the high half of 2^52
        Values twoTo52 = Values(4503599627370496.0);
        Values twoUnits = Values(2.0 * DenormalNoise::kWordToUnit);
        Values scale;

        explicit Convert(double s) noexcept : scale(s) {}

        [[gnu::always_inline]] void operator()(const Words32& pairs, bool upper,
                                               double* to) const noexcept {
            const Words32 wide = upper ? xsimd::zip_hi(pairs, high) : xsimd::zip_lo(pairs, high);
            const Values r = xsimd::bitwise_cast<Values>(wide) - twoTo52;
            (scale * (r * twoUnits - Values(1.0))).store_unaligned(to);
        }
    };

    // A run of `streams` values a frame, frames quarters x 4 of them (frames even): value j of
    // frame i to to[j][i]. Each lane steps through its quarter of the frames two frames at a
    // time, and stream j's pair of frames are its steps j and j + streams.
    template <int streams>
    static void steps(State& state, const Convert& conversion, int frames,
                      double* const to[]) noexcept {
        // Copies, so that the stores to `to` cannot change them: they stay in registers.
        State s = state;
        const Convert convert = conversion;
        double* out[streams];
        for (int j = 0; j < streams; ++j) out[j] = to[j];
        for (int f = 0; f < frames; f += 2) {
            Words32 w[2 * streams];
#pragma GCC unroll 6
            for (int t = 0; t < 2 * streams; ++t) w[t] = s.step();
#pragma GCC unroll 3
            for (int j = 0; j < streams; ++j) {
                // The pair of quarters 0 and 1, then of quarters 2 and 3.
                const Words32 low = xsimd::zip_lo(w[j], w[j + streams]);
                const Words32 high = xsimd::zip_hi(w[j], w[j + streams]);
                convert(low, false, out[j] + f);
                convert(low, true, out[j] + frames + f);
                convert(high, false, out[j] + 2 * frames + f);
                convert(high, true, out[j] + 3 * frames + f);
            }
        }
        state = s;
    }

    // n frames of `streams` values each, as steps() lays them out, if n is a multiple of 8 whose
    // quarter has starts; false (nothing done) otherwise.
    template <int streams>
    static bool run(DenormalNoise::Words& words, double scale, int n, double* const to[]) noexcept {
        const Starts* starts = n % 8 == 0 ? startsFor(streams * n / 4) : nullptr;
        if (starts == nullptr) return false;
        State s(words, *starts);
        steps<streams>(s, Convert(scale), n / 4, to);
        words = s.last();
        return true;
    }

    static void values(DenormalNoise::Words& words, double scale, int count, double* to) noexcept {
        double* const run1[1] = {to};
        if (!run<1>(words, scale, count, run1)) referenceNoiseValues(words, scale, count, to);
    }

    static void frames(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                       double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                       int n) noexcept {
        const bool done = streams == 1    ? run<1>(a, scaleA, perFrame * n, toA)
                          : perFrame == 2 ? run<2>(a, scaleA, n, toA)
                                          : run<3>(a, scaleA, n, toA);
        if (!done) {  // the plain way
            DenormalNoise g(scaleA);
            g.setWords(a);
            for (int v = 0; v < perFrame * n; ++v) toA[v % streams][v / streams] = g.next();
            a = g.words();
        }
        values(b, scaleB, n, toB);
    }
};

}  // namespace
}  // namespace qrx::dsp
