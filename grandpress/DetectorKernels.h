// The detector's levels as one template on the xsimd architecture (instantiated in Kernels.cpp
// for SSE2 and Kernels_avx2.cpp for AVX2+FMA): from the Hilbert sums q and the centre samples c
// of a chunk, level = detectorScale * sqrt(q^2 + c^2) + floor, the root exact or the fast
// single-precision one, step for step as fastSquareRoot. Every product and sum rounds as in the
// reference (referenceDetectorLevels, Detector.h): the results are the same bits. Everything here
// has internal linkage, so each build keeps its own code.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <xsimd/xsimd.hpp>

#include "grandpress/Detector.h"

namespace grandpress {
namespace {
namespace detector {

template <class Arch>
struct Kernel {
    using Batch = xsimd::batch<double, Arch>;
    using Floats = xsimd::batch<float, Arch>;
    using Ints = xsimd::batch<std::uint32_t, Arch>;
    static constexpr int kSize = static_cast<int>(Batch::size);

    [[gnu::always_inline]] static Batch square(const double* q, const double* c) noexcept {
        const Batch qv = Batch::load_unaligned(q), cv = Batch::load_unaligned(c);
        return qv * qv + cv * cv;
    }

    // The fast root of single-precision squares.
    [[gnu::always_inline]] static Floats fastRoot(const Floats& f) noexcept {
        const Floats half(0.5f), threeHalves(1.5f);
        Floats r =
            xsimd::bitwise_cast<Floats>(Ints(0x5F3759DFu) - (xsimd::bitwise_cast<Ints>(f) >> 1));
        const Floats h = half * f;
        r = r * (threeHalves - (h * r) * r);
        r = r * (threeHalves - (h * r) * r);
        return f * r;
    }

    // Exact roots, whole vectors and the last few frames through a padded one (q and c are
    // readable up to the next multiple of 4).
    static void exactLevels(const double* q, const double* c, int n, double scale,
                            double* det) noexcept {
        const Batch s(scale), floor(kDetectorFloor);
        int k = 0;
        for (; k + kSize <= n; k += kSize)
            (s * xsimd::sqrt(square(q + k, c + k)) + floor).store_unaligned(det + k);
        if (k < n) {
            alignas(32) double last[kSize];
            (s * xsimd::sqrt(square(q + k, c + k)) + floor).store_aligned(last);
            for (int j = 0; k + j < n; ++j) det[k + j] = last[j];
        }
    }

    // Fast roots in passes: the squares in single precision, their roots, the levels.
    static void fastLevels(const double* q, const double* c, int n, double scale,
                           double* det) noexcept {
        alignas(32) float s[128 + 8];
        for (int k = 0; k < n; ++k) s[k] = static_cast<float>(q[k] * q[k] + c[k] * c[k]);
        for (int k = n; k % static_cast<int>(Floats::size) != 0; ++k) s[k] = 0.0f;
        for (int k = 0; k < n; k += static_cast<int>(Floats::size))
            fastRoot(Floats::load_aligned(s + k)).store_aligned(s + k);
        for (int k = 0; k < n; ++k) det[k] = scale * static_cast<double>(s[k]) + kDetectorFloor;
    }

    // The AVX2 build's fast roots without the passes: eight frames per single-precision vector.
    static void fastLevels256(const double* q, const double* c, int n, double scale,
                              double* det) noexcept {
        const __m256d sv = _mm256_set1_pd(scale), floor = _mm256_set1_pd(kDetectorFloor);
        const auto level = [&](__m256d root) {
            return _mm256_add_pd(_mm256_mul_pd(sv, root), floor);
        };
        const auto roots = [](__m256d s0, __m256d s1) {
            return __m256(
                fastRoot(Floats(_mm256_set_m128(_mm256_cvtpd_ps(s1), _mm256_cvtpd_ps(s0)))));
        };
        int k = 0;
        for (; k + 8 <= n; k += 8) {
            const __m256 m = roots(square(q + k, c + k), square(q + k + 4, c + k + 4));
            _mm256_storeu_pd(det + k, level(_mm256_cvtps_pd(_mm256_castps256_ps128(m))));
            _mm256_storeu_pd(det + k + 4, level(_mm256_cvtps_pd(_mm256_extractf128_ps(m, 1))));
        }
        for (; k < n; k += 4) {
            const __m256d s = square(q + k, c + k);
            const __m256d l = level(_mm256_cvtps_pd(_mm256_castps256_ps128(roots(s, s))));
            alignas(32) double last[4];
            _mm256_store_pd(last, l);
            for (int j = 0; j < 4 && k + j < n; ++j) det[k + j] = last[j];
        }
    }

    static void levels(const double* const q[2], const double* const centre[2], int n,
                       double detectorScale, bool exactRoot, double* const det[2]) noexcept {
        for (int c = 0; c < 2; ++c) {
            if (exactRoot)
                exactLevels(q[c], centre[c], n, detectorScale, det[c]);
            else if constexpr (kSize == 4)
                fastLevels256(q[c], centre[c], n, detectorScale, det[c]);
            else
                fastLevels(q[c], centre[c], n, detectorScale, det[c]);
        }
    }
};

}  // namespace detector

template <class Arch>
constexpr DetectorKernels detectorKernelsFor() noexcept {
    return {detector::Kernel<Arch>::levels};
}

}  // namespace
}  // namespace grandpress
