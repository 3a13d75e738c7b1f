// AVX2+FMA build of the noise runs (compiled with -mavx2 -mfma; called only on processors that
// have both). Everything but the entry functions stays in this file's anonymous namespace, so no
// helper compiled here can stand in for the baseline build's.
//
// One step of the generator works on its three words side by side in the low three lanes of a
// 128-bit vector (shifts by a different count per lane; the fourth lane stays 0). The step loop
// only stores each step's words; a second pass takes eight steps at a time, transposes them so
// that s1, s2 and s3 of the eight steps lie in three vectors, xors those, and converts the eight
// 32-bit results to doubles through the 2^52 trick (a word in the low mantissa bits of 2^52 is
// the word plus 2^52, exactly).
#include <immintrin.h>

#include <cstdint>

#include "dsp/NoiseKernel.h"

namespace qrx::dsp {
namespace {

struct Step {
    __m128i up = _mm_setr_epi32(13, 20, 17, 0);
    __m128i down1 = _mm_setr_epi32(6, 7, 8, 0);
    __m128i down2 = _mm_setr_epi32(15, 9, 14, 0);
    __m128i mask = _mm_setr_epi32(0x1FFF, 0xFFFFF, 0x1FFFF, 0);

    [[gnu::always_inline]] __m128i operator()(__m128i s) const {
        const __m128i low =
            _mm_and_si128(_mm_xor_si128(_mm_srlv_epi32(s, down1), _mm_srlv_epi32(s, down2)), mask);
        return _mm_xor_si128(_mm_sllv_epi32(s, up), low);
    }
};

__m128i load(const DenormalNoise::Words& w) {
    return _mm_setr_epi32(static_cast<int>(w.s1), static_cast<int>(w.s2), static_cast<int>(w.s3),
                          0);
}

void save(__m128i s, DenormalNoise::Words& w) {
    w.s1 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(s));
    w.s2 = static_cast<std::uint32_t>(_mm_extract_epi32(s, 1));
    w.s3 = static_cast<std::uint32_t>(_mm_extract_epi32(s, 2));
}

// The generator's value of each word: scale (2 (r / 2^32) - 1), rounded as the plain form (2u is
// exact, so the fused 2u - 1 rounds once, as the plain subtraction does).
struct Convert {
    __m256i twoTo52Bits = _mm256_set1_epi64x(0x4330000000000000ll);
    __m256d twoTo52 = _mm256_set1_pd(4503599627370496.0);
    __m256d unit = _mm256_set1_pd(DenormalNoise::kWordToUnit);
    __m256d two = _mm256_set1_pd(2.0), one = _mm256_set1_pd(1.0);
    __m256d scale;

    explicit Convert(double s) : scale(_mm256_set1_pd(s)) {}

    [[gnu::always_inline]] void operator()(__m128i words, double* to) const {
        const __m256i wide = _mm256_or_si256(_mm256_cvtepu32_epi64(words), twoTo52Bits);
        const __m256d w = _mm256_sub_pd(_mm256_castsi256_pd(wide), twoTo52);
        const __m256d u = _mm256_mul_pd(w, unit);
        _mm256_storeu_pd(to, _mm256_mul_pd(scale, _mm256_fmsub_pd(two, u, one)));
    }
};

// The values of `count` stored steps.
void values(const __m128i* raw, int count, double scale, double* to) {
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
        const __m256i x = _mm256_xor_si256(
            _mm256_xor_si256(_mm256_unpacklo_epi64(ab12, cd12), _mm256_unpackhi_epi64(ab12, cd12)),
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

template <int perFrame, int streams>
void frames(DenormalNoise::Words& a, double scaleA, double* const toA[], DenormalNoise::Words& b,
            double scaleB, double* toB, int n) {
    const Step step;
    __m128i sa = load(a), sb = load(b);
    alignas(32) __m128i rawA[kNoiseRunMax], rawB[kNoiseFramesMax];
    // Stream j's steps lie from j kNoiseFramesMax on.
    constexpr int kStride = streams == 1 ? 1 : kNoiseFramesMax;
    for (int i = 0; i < n; ++i) {
        sa = step(sa);
        rawA[streams == 1 ? perFrame * i : i] = sa;
        sb = step(sb);
        rawB[i] = sb;
        for (int j = 1; j < perFrame; ++j) {
            sa = step(sa);
            rawA[streams == 1 ? perFrame * i + j : j * kStride + i] = sa;
        }
    }
    save(sa, a);
    save(sb, b);
    if constexpr (streams == 1)
        values(rawA, perFrame * n, scaleA, toA[0]);
    else
        for (int j = 0; j < perFrame; ++j) values(rawA + j * kStride, n, scaleA, toA[j]);
    values(rawB, n, scaleB, toB);
}

}  // namespace

void noiseValuesAvx2(DenormalNoise::Words& words, double scale, int count, double* to) noexcept {
    const Step step;
    __m128i s = load(words);
    alignas(32) __m128i raw[kNoiseRunMax];
    for (int k = 0; k < count; ++k) raw[k] = s = step(s);
    save(s, words);
    values(raw, count, scale, to);
}

void noiseFramesAvx2(DenormalNoise::Words& a, double scaleA, int perFrame, int streams,
                     double* const toA[], DenormalNoise::Words& b, double scaleB, double* toB,
                     int n) noexcept {
    if (perFrame == 3)
        streams == 1 ? frames<3, 1>(a, scaleA, toA, b, scaleB, toB, n)
                     : frames<3, 3>(a, scaleA, toA, b, scaleB, toB, n);
    else
        streams == 1 ? frames<2, 1>(a, scaleA, toA, b, scaleB, toB, n)
                     : frames<2, 2>(a, scaleA, toA, b, scaleB, toB, n);
}

}  // namespace qrx::dsp
