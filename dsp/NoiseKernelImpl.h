// The noise runs (NoiseKernel.h) as one template on the xsimd architecture, for the dsp kernel
// table (KernelsImpl.h). Everything here has internal linkage (an unnamed namespace), so each
// build keeps its own code.
//
// The portable form (NoiseQuartersImpl.h, SSE2) steps four places of a run side by side, one
// vector per word, since SSE2 cannot shift lane by lane. With AVX2 (the `if constexpr` branch,
// intrinsics): one step of the generator works on its three words side by side in the low three
// lanes of a 128-bit vector (shifts by a different count per lane; the fourth lane stays 0). The
// step loop only stores each step's words; a second pass takes eight steps at a time, transposes
// them so that s1, s2 and s3 of the eight steps lie in three vectors, xors those, and converts the
// eight 32-bit results to doubles through the 2^52 trick (a word in the low mantissa bits of 2^52
// is the word plus 2^52, exactly).
//
// Runs of the usual chunk lengths go twice as fast again: each half of the run goes in one
// 128-bit half of a 256-bit vector. The generator is linear over bits, so the state half a run
// ahead is a fixed 32 x 32 bit matrix per word applied to the state; the matrices of the few
// distances the engines use are worked out at compile time.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <type_traits>
#include <xsimd/xsimd.hpp>

#include "dsp/NoiseJumps.h"
#include "dsp/NoiseKernel.h"
#include "dsp/NoiseQuartersImpl.h"

namespace qrx::dsp {
namespace {

// The AVX2 form; its members are compiled only where the AVX2 build uses them (Arch is that
// build's architecture).
template <class Arch>
struct Avx2Noise {
    struct Step {
        __m128i up = _mm_setr_epi32(13, 20, 17, 0);
        __m128i down1 = _mm_setr_epi32(6, 7, 8, 0);
        __m128i down2 = _mm_setr_epi32(15, 9, 14, 0);
        __m128i mask = _mm_setr_epi32(0x1FFF, 0xFFFFF, 0x1FFFF, 0);

        [[gnu::always_inline]] __m128i operator()(__m128i s) const {
            const __m128i low = _mm_and_si128(
                _mm_xor_si128(_mm_srlv_epi32(s, down1), _mm_srlv_epi32(s, down2)), mask);
            return _mm_xor_si128(_mm_sllv_epi32(s, up), low);
        }
    };

    static __m128i load(const DenormalNoise::Words& w) {
        return _mm_setr_epi32(static_cast<int>(w.s1), static_cast<int>(w.s2),
                              static_cast<int>(w.s3), 0);
    }

    static void save(__m128i s, DenormalNoise::Words& w) {
        w.s1 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
        w.s2 = static_cast<std::uint32_t>(_mm_extract_epi32(s, 1));
        w.s3 = static_cast<std::uint32_t>(_mm_extract_epi32(s, 2));
    }

    // The generator's value of each word: scale (2 (r / 2^32) - 1), rounded as the plain form. With
    // the word in 2^52's mantissa (exactly r + 2^52), u = (r + 2^52) unit - 2^52 unit in one fused
    // operation is r unit rounded once (2^52 unit is exact); 2u is exact, so the fused 2u - 1
    // rounds once, as the plain subtraction does.
    struct Convert {
        __m256i twoTo52Bits = _mm256_set1_epi64x(0x4330000000000000ll);
        __m256d unit = _mm256_set1_pd(DenormalNoise::kWordToUnit);
        __m256d twoTo52Units = _mm256_set1_pd(4503599627370496.0 * DenormalNoise::kWordToUnit);
        __m256d two = _mm256_set1_pd(2.0), one = _mm256_set1_pd(1.0);
        __m256d scale;

        explicit Convert(double s) : scale(_mm256_set1_pd(s)) {}

        [[gnu::always_inline]] void operator()(__m128i words, double* to) const {
            const __m256i wide = _mm256_or_si256(_mm256_cvtepu32_epi64(words), twoTo52Bits);
            const __m256d u = _mm256_fmsub_pd(_mm256_castsi256_pd(wide), unit, twoTo52Units);
            _mm256_storeu_pd(to, _mm256_mul_pd(scale, _mm256_fmsub_pd(two, u, one)));
        }
    };

    // The values of `count` stored steps.
    static void values(const __m128i* raw, int count, double scale, double* to) {
        const Convert convert(scale);
        const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        int k = 0;
        for (; k + 8 <= count; k += 8) {
            // Two steps per vector: steps k, k+2, k+4, k+6 in the low halves, the odd ones high.
            const __m256i* r = reinterpret_cast<const __m256i*>(raw + k);
            const __m256i a = _mm256_loadu_si256(r), b = _mm256_loadu_si256(r + 1),
                          c = _mm256_loadu_si256(r + 2), d = _mm256_loadu_si256(r + 3);
            const __m256i ab12 = _mm256_unpacklo_epi32(a, b), ab3 = _mm256_unpackhi_epi32(a, b);
            const __m256i cd12 = _mm256_unpacklo_epi32(c, d), cd3 = _mm256_unpackhi_epi32(c, d);
            const __m256i x = _mm256_xor_si256(_mm256_xor_si256(_mm256_unpacklo_epi64(ab12, cd12),
                                                                _mm256_unpackhi_epi64(ab12, cd12)),
                                               _mm256_unpacklo_epi64(ab3, cd3));
            const __m256i w = _mm256_permutevar8x32_epi32(x, order);  // steps k .. k+7 in order
            convert(_mm256_castsi256_si128(w), to + k);
            convert(_mm256_extracti128_si256(w, 1), to + k + 4);
        }
        for (; k < count; ++k) {
            alignas(16) std::uint32_t w[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(w), raw[k]);
            const double u = static_cast<double>(w[0] ^ w[1] ^ w[2]) * DenormalNoise::kWordToUnit;
            to[k] = scale * (2.0 * u - 1.0);
        }
    }

    // n frames of two generators (states sa, sb): a steps perFrame times per frame, b once. Each
    // step's words are stored: b's in order, a's in order (one stream) or stream j's from j stride
    // on.
    template <int perFrame, int streams, class Vector, class Stepper>
    static void stepFrames(const Stepper& step, Vector& sa, Vector* rawA, int stride, Vector& sb,
                           Vector* rawB, int n) {
        for (int i = 0; i < n; ++i) {
            sa = step(sa);
            rawA[streams == 1 ? perFrame * i : i] = sa;
            sb = step(sb);
            rawB[i] = sb;
            for (int j = 1; j < perFrame; ++j) {
                sa = step(sa);
                rawA[streams == 1 ? perFrame * i + j : j * stride + i] = sa;
            }
        }
    }

    template <int perFrame, int streams>
    static void frames(DenormalNoise::Words& a, double scaleA, double* const toA[],
                       DenormalNoise::Words& b, double scaleB, double* toB, int n) {
        const Step step;
        __m128i sa = load(a), sb = load(b);
        alignas(32) __m128i rawA[kNoiseRunMax], rawB[kNoiseFramesMax];
        // Stream j's steps lie from j kNoiseFramesMax on.
        constexpr int kStride = streams == 1 ? 1 : kNoiseFramesMax;
        stepFrames<perFrame, streams>(step, sa, rawA, kStride, sb, rawB, n);
        save(sa, a);
        save(sb, b);
        if constexpr (streams == 1)
            values(rawA, perFrame * n, scaleA, toA[0]);
        else
            for (int j = 0; j < perFrame; ++j) values(rawA + j * kStride, n, scaleA, toA[j]);
        values(rawB, n, scaleB, toB);
    }

    // ---- two halves of a run side by side ----

    using Jump = noise::Jump;

    // Half runs of 64- and 128-frame chunks: one value per frame (32, 64), two (64), three (96,
    // 192).
    static constexpr Jump kJumps[] = {noise::jumpOf(32), noise::jumpOf(64), noise::jumpOf(96),
                                      noise::jumpOf(192)};

    static const Jump* jumpFor(int steps) { return noise::jumpFor(kJumps, steps); }

    // The word `steps` steps on: the xor of the columns of its set bits, eight bits per vector.
    static std::uint32_t jumpWord(const std::uint32_t column[32], std::uint32_t word) {
        const __m256i w = _mm256_set1_epi32(static_cast<int>(word));
        __m256i sum = _mm256_setzero_si256();
        for (int g = 0; g < 4; ++g) {
            // Lane l: bit 8g + l of the word moved to the sign, spread over the lane.
            const int top = 31 - 8 * g;
            const __m256i shift = _mm256_setr_epi32(top, top - 1, top - 2, top - 3, top - 4,
                                                    top - 5, top - 6, top - 7);
            const __m256i set = _mm256_srai_epi32(_mm256_sllv_epi32(w, shift), 31);
            const __m256i c = _mm256_load_si256(reinterpret_cast<const __m256i*>(column + 8 * g));
            sum = _mm256_xor_si256(sum, _mm256_and_si256(set, c));
        }
        __m128i x = _mm_xor_si128(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        x = _mm_xor_si128(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)));
        x = _mm_xor_si128(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)));
        return static_cast<std::uint32_t>(_mm_cvtsi128_si32(x));
    }

    // The state now (low half) and `t.steps` steps on (high half).
    static __m256i withJump(const DenormalNoise::Words& w, const Jump& t) {
        const DenormalNoise::Words ahead{jumpWord(t.column[0], w.s1), jumpWord(t.column[1], w.s2),
                                         jumpWord(t.column[2], w.s3)};
        return _mm256_inserti128_si256(_mm256_castsi128_si256(load(w)), load(ahead), 1);
    }

    struct WideStep {
        __m256i up = _mm256_setr_epi32(13, 20, 17, 0, 13, 20, 17, 0);
        __m256i down1 = _mm256_setr_epi32(6, 7, 8, 0, 6, 7, 8, 0);
        __m256i down2 = _mm256_setr_epi32(15, 9, 14, 0, 15, 9, 14, 0);
        __m256i mask = _mm256_setr_epi32(0x1FFF, 0xFFFFF, 0x1FFFF, 0, 0x1FFF, 0xFFFFF, 0x1FFFF, 0);

        [[gnu::always_inline]] __m256i operator()(__m256i s) const {
            const __m256i low = _mm256_and_si256(
                _mm256_xor_si256(_mm256_srlv_epi32(s, down1), _mm256_srlv_epi32(s, down2)), mask);
            return _mm256_xor_si256(_mm256_sllv_epi32(s, up), low);
        }
    };

    // The values of `count` (a multiple of 4) stored double steps: the low halves' to `first`, the
    // high halves' to `second`.
    static void halfValues(const __m256i* raw, int count, double scale, double* first,
                           double* second) {
        const Convert convert(scale);
        for (int k = 0; k < count; k += 4) {
            // Steps k .. k+3 of each half, transposed so that each half's s1, s2, s3 lie in one
            // vector each.
            const __m256i a = _mm256_load_si256(raw + k), b = _mm256_load_si256(raw + k + 1),
                          c = _mm256_load_si256(raw + k + 2), d = _mm256_load_si256(raw + k + 3);
            const __m256i ab12 = _mm256_unpacklo_epi32(a, b), ab3 = _mm256_unpackhi_epi32(a, b);
            const __m256i cd12 = _mm256_unpacklo_epi32(c, d), cd3 = _mm256_unpackhi_epi32(c, d);
            const __m256i w = _mm256_xor_si256(_mm256_xor_si256(_mm256_unpacklo_epi64(ab12, cd12),
                                                                _mm256_unpackhi_epi64(ab12, cd12)),
                                               _mm256_unpacklo_epi64(ab3, cd3));
            convert(_mm256_castsi256_si128(w), first + k);
            convert(_mm256_extracti128_si256(w, 1), second + k);
        }
    }

    static void saveHigh(__m256i s, DenormalNoise::Words& w) {
        save(_mm256_extracti128_si256(s, 1), w);
    }

    // frames() with each generator's run in two halves side by side; false (nothing done) where the
    // run has no table or the halves are no multiple of 4.
    template <int perFrame, int streams>
    static bool halvedFrames(DenormalNoise::Words& a, double scaleA, double* const toA[],
                             DenormalNoise::Words& b, double scaleB, double* toB, int n) {
        const int half = n / 2;
        if (n % 8 != 0) return false;
        const Jump* jumpA = jumpFor(perFrame * half);
        const Jump* jumpB = jumpFor(half);
        if (jumpA == nullptr || jumpB == nullptr) return false;
        const WideStep step;
        __m256i sa = withJump(a, *jumpA), sb = withJump(b, *jumpB);
        alignas(32) __m256i rawA[kNoiseRunMax / 2], rawB[kNoiseFramesMax / 2];
        constexpr int kStride = streams == 1 ? 1 : kNoiseFramesMax / 2;
        stepFrames<perFrame, streams>(step, sa, rawA, kStride, sb, rawB, half);
        saveHigh(sa, a);
        saveHigh(sb, b);
        if constexpr (streams == 1) {
            const int run = perFrame * half;
            halfValues(rawA, run, scaleA, toA[0], toA[0] + run);
        } else {
            for (int j = 0; j < perFrame; ++j)
                halfValues(rawA + j * kStride, half, scaleA, toA[j], toA[j] + half);
        }
        halfValues(rawB, half, scaleB, toB, toB + half);
        return true;
    }

    // noiseValues in two halves; false where the run has no table or its halves are no multiple
    // of 4.
    static bool halvedValues(DenormalNoise::Words& words, double scale, int count, double* to) {
        const int half = count / 2;
        if (count % 8 != 0) return false;
        const Jump* jump = jumpFor(half);
        if (jump == nullptr) return false;
        const WideStep step;
        __m256i s = withJump(words, *jump);
        alignas(32) __m256i raw[kNoiseRunMax / 2];
        for (int k = 0; k < half; ++k) raw[k] = s = step(s);
        saveHigh(s, words);
        halfValues(raw, half, scale, to, to + half);
        return true;
    }

    // The entry points.
    static void runValues(DenormalNoise::Words& words, double scale, int count,
                          double* to) noexcept {
        if (halvedValues(words, scale, count, to)) return;
        const Step step;
        __m128i s = load(words);
        alignas(32) __m128i raw[kNoiseRunMax];
        for (int k = 0; k < count; ++k) raw[k] = s = step(s);
        save(s, words);
        values(raw, count, scale, to);
    }

    static void runFrames(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                          double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                          int n) noexcept {
        if (perFrame == 3) {
            if (streams == 1) {
                if (!halvedFrames<3, 1>(a, scaleA, toA, b, scaleB, toB, n))
                    frames<3, 1>(a, scaleA, toA, b, scaleB, toB, n);
            } else if (!halvedFrames<3, 3>(a, scaleA, toA, b, scaleB, toB, n)) {
                frames<3, 3>(a, scaleA, toA, b, scaleB, toB, n);
            }
        } else if (streams == 1) {
            if (!halvedFrames<2, 1>(a, scaleA, toA, b, scaleB, toB, n))
                frames<2, 1>(a, scaleA, toA, b, scaleB, toB, n);
        } else if (!halvedFrames<2, 2>(a, scaleA, toA, b, scaleB, toB, n)) {
            frames<2, 2>(a, scaleA, toA, b, scaleB, toB, n);
        }
    }
};

template <class Arch>
void noiseValuesKernel(DenormalNoise::Words& words, double scale, int count, double* to) noexcept {
    if constexpr (std::is_base_of_v<xsimd::avx2, Arch>)
        Avx2Noise<Arch>::runValues(words, scale, count, to);
    else
        NoiseQuarters<Arch>::values(words, scale, count, to);
}

template <class Arch>
void noiseFramesKernel(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                       double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                       int n) noexcept {
    if constexpr (std::is_base_of_v<xsimd::avx2, Arch>)
        Avx2Noise<Arch>::runFrames(a, scaleA, perFrame, streams, toA, b, scaleB, toB, n);
    else
        NoiseQuarters<Arch>::frames(a, scaleA, perFrame, streams, toA, b, scaleB, toB, n);
}

template <class Arch>
constexpr NoiseKernels noiseKernelsFor() noexcept {
    return {noiseValuesKernel<Arch>, noiseFramesKernel<Arch>};
}

}  // namespace
}  // namespace qrx::dsp
