// The chunk's anti-denormal noise (ChunkKernels.h): the shared generator runs of dsp/NoiseKernel.h
// (their template, instantiated for this build's instruction set), and the engine's two values per
// sample spread onto the main channels and the offsets. A template on the xsimd architectures
// (KernelLanes.h).
#pragma once

#include <cstdint>

#include "dsp/NoiseKernelImpl.h"
#include "tinypress/KernelLanes.h"

namespace tinypress {
namespace {

template <class PairArch, class WideArch>
struct NoiseKernels {
    static constexpr int kWide = static_cast<int>(Lanes<WideArch>::size);
    using NoiseArch = std::conditional_t<kFusedPairs, xsimd::fma3<xsimd::avx2>, xsimd::sse2>;

    static qrx::dsp::DenormalNoise::Words wordsOf(const std::uint32_t words[3]) noexcept {
        return {words[0], words[1], words[2]};
    }
    static void keep(const qrx::dsp::DenormalNoise::Words& w, std::uint32_t words[3]) noexcept {
        words[0] = w.s1;
        words[1] = w.s2;
        words[2] = w.s3;
    }

    static void noise(std::uint32_t words[3], double scale, int count, double* to) noexcept {
        qrx::dsp::DenormalNoise::Words w = wordsOf(words);
        qrx::dsp::noiseValuesKernel<NoiseArch>(w, scale, count, to);
        keep(w, words);
    }

    // 2n values of generator a and n of generator b, stepped in one pass.
    static void noisePair(std::uint32_t a[3], double scaleA, double* toA, std::uint32_t b[3],
                          double scaleB, double* toB, int n) noexcept {
        qrx::dsp::DenormalNoise::Words wa = wordsOf(a), wb = wordsOf(b);
        double* const runA[1] = {toA};
        qrx::dsp::noiseFramesKernel<NoiseArch>(wa, scaleA, 2, 1, runA, wb, scaleB, toB, n);
        keep(wa, a);
        keep(wb, b);
    }

    // The values (m0 n0 m1 n1 ...): m onto both main channels, n into the offsets. Whole vectors
    // of frames, the rest one by one.
    static void spreadNoise(const double* values, int n, double* mainLeft, double* mainRight,
                            double* offsets) noexcept {
        using Wide = Lanes<WideArch>;
        int k = 0;
        for (; k + kWide <= n; k += kWide) {
            Wide m, h;
            deinterleave(Wide::load_unaligned(values + 2 * k),
                         Wide::load_unaligned(values + 2 * k + kWide), m, h);
            (Wide::load_unaligned(mainLeft + k) + m).store_unaligned(mainLeft + k);
            (Wide::load_unaligned(mainRight + k) + m).store_unaligned(mainRight + k);
            h.store_unaligned(offsets + k);
        }
        for (; k < n; ++k) {
            mainLeft[k] += values[2 * k];
            mainRight[k] += values[2 * k];
            offsets[k] = values[2 * k + 1];
        }
    }
};

}  // namespace
}  // namespace tinypress
