// The gain stage's mix and glides (MixKernels.h), each one template on the xsimd architecture
// (KernelLanes.h), instantiated by the engine's kernel tables (Kernels.cpp, Kernels_avx2.cpp).
#pragma once

#include "dsp/Followers.h"
#include "grandpress/KernelLanes.h"
#include "grandpress/MixKernels.h"

namespace grandpress {
namespace {

// One value of the mix, for a frame (doubles) or a vector of frames (batches).
template <class T>
[[gnu::always_inline]] inline T mixedValue(T main, T gain, T makeup, T dry, T mix,
                                           T output) noexcept {
    const T wet = main * gain * makeup;
    return output * (dry + mix * (wet - dry));
}

template <class Arch>
void mixFrames(const MixStreams& in, int n, double* __restrict left,
               double* __restrict right) noexcept {
    using V = Lanes<Arch>;
    constexpr int kWidth = static_cast<int>(V::size);
    const double* __restrict mainL = in.mainLeft;
    const double* __restrict mainR = in.mainRight;
    const double* __restrict dryL = in.dryLeft;
    const double* __restrict dryR = in.dryRight;
    const double* __restrict gainL = in.gainLeft;
    const double* __restrict gainR = in.gainRight;
    const double* __restrict makeupOf = in.makeup;
    const double* __restrict outputOf = in.output;
    const double* __restrict mixOf = in.mix;
    const double autoMakeup = in.autoMakeup;
    int i = 0;
    for (; i + kWidth <= n; i += kWidth) {
        const V makeup = V::load_unaligned(makeupOf + i) * V(autoMakeup);
        const V output = V::load_unaligned(outputOf + i), mix = V::load_unaligned(mixOf + i);
        mixedValue(V::load_unaligned(mainL + i), V::load_unaligned(gainL + i), makeup,
                   V::load_unaligned(dryL + i), mix, output)
            .store_unaligned(left + i);
        mixedValue(V::load_unaligned(mainR + i), V::load_unaligned(gainR + i), makeup,
                   V::load_unaligned(dryR + i), mix, output)
            .store_unaligned(right + i);
    }
    for (; i < n; ++i) {
        const double makeup = makeupOf[i] * autoMakeup;
        left[i] = mixedValue(mainL[i], gainL[i], makeup, dryL[i], mixOf[i], outputOf[i]);
        right[i] = mixedValue(mainR[i], gainR[i], makeup, dryR[i], mixOf[i], outputOf[i]);
    }
}

// The glides frame by frame (GlidingGains::glide's steps), the noise shift a constant.
template <int Shift>
void glideSteps(GlideRun& g, const double* noise, int n, double* const glided[3]) noexcept {
    double makeup = g.value[0], output = g.value[1], mix = g.value[2];
    const double keep = g.keep;
    for (int i = 0; i < n; ++i) {
        const double nz = noise[i >> Shift];
        makeup = qrx::dsp::followStep(makeup, keep, g.pull[0] + nz);
        output = qrx::dsp::followStep(output, keep, g.pull[1] + nz);
        mix = qrx::dsp::followStep(mix, keep, g.pull[2] + nz);
        glided[0][i] = makeup;
        glided[1][i] = output;
        glided[2][i] = mix;
    }
    g.value[0] = makeup;
    g.value[1] = output;
    g.value[2] = mix;
}

// The noise of frames i .. i + 3 and its sums: frame j gets noise j + keep noise (j-1) + keep^2
// noise (j-2) + keep^3 noise (j-3).
template <class Arch>
[[gnu::always_inline]] inline __m256d noiseSums(const double* noise, int noiseShift, int i,
                                                __m256d keep, __m256d keep2) noexcept {
    const __m256d nz =
        noiseShift == 0
            ? _mm256_loadu_pd(noise + i)
            : _mm256_permute4x64_pd(_mm256_castpd128_pd256(_mm_loadu_pd(noise + (i >> 1))), 0x50);
    const __m256d byOne = _mm256_blend_pd(_mm256_permute4x64_pd(nz, 0x90), _mm256_setzero_pd(), 1);
    const __m256d once = _mm256_fmadd_pd(keep, byOne, nz);
    return _mm256_fmadd_pd(keep2, _mm256_permute2f128_pd(once, once, 0x08), once);
}

// The AVX2 build's glides, eight frames at a time; returns the frames done. Frame j = 0 .. 3 of
// a quad after x: x keep^(j+1) + sum over m <= j of keep^(j-m) (pull + noise of frame m), that
// is x keep^(j+1) + pull (1 + keep + .. + keep^j) + the noise's sums; the second quad the same
// from the first one's end. Only the terms in x wait for the previous eight frames: the glides'
// chains are an eighth as long.
template <class Arch>
int glideOctets(GlideRun& g, const double* noise, int noiseShift, int n,
                double* const glided[3]) noexcept {
    const double k = g.keep, k2 = k * k, k3 = k2 * k, k4 = k2 * k2;
    const __m256d keep = _mm256_set1_pd(k), keep2 = _mm256_set1_pd(k2);
    const __m256d powers = _mm256_set_pd(k4, k3, k2, k);
    const __m256d laterPowers = _mm256_mul_pd(powers, _mm256_set1_pd(k4));
    const __m256d sums = _mm256_set_pd(1.0 + k + k2 + k3, 1.0 + k + k2, 1.0 + k, 1.0);
    double* const to[3] = {glided[0], glided[1], glided[2]};
    __m256d value[3], pull[3];
    for (int q = 0; q < 3; ++q) {
        value[q] = _mm256_set1_pd(g.value[q]);
        pull[q] = _mm256_set1_pd(g.pull[q]);
    }
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256d first = noiseSums<Arch>(noise, noiseShift, i, keep, keep2);
        const __m256d second = noiseSums<Arch>(noise, noiseShift, i + 4, keep, keep2);
        for (int q = 0; q < 3; ++q) {
            const __m256d early = _mm256_fmadd_pd(pull[q], sums, first);
            const __m256d late = _mm256_fmadd_pd(powers, _mm256_permute4x64_pd(early, 0xFF),
                                                 _mm256_fmadd_pd(pull[q], sums, second));
            const __m256d a = _mm256_fmadd_pd(powers, value[q], early);
            const __m256d b = _mm256_fmadd_pd(laterPowers, value[q], late);
            _mm256_storeu_pd(to[q] + i, a);
            _mm256_storeu_pd(to[q] + i + 4, b);
            value[q] = _mm256_permute4x64_pd(b, 0xFF);
        }
    }
    for (int q = 0; q < 3; ++q) g.value[q] = _mm256_cvtsd_f64(value[q]);
    return i;
}

// The plain build's glides, four frames at a time in two pairs: glideOctets at half the width.
// Frames (i, i + 1) after x are x (keep, keep^2) + pull (1, 1 + keep) + the noise's sums (n0,
// keep n0 + n1), frames (i + 2, i + 3) the same after frame i + 1's terms without x; only the
// terms in x wait for the previous four frames.
template <class Arch>
int glideQuads(GlideRun& g, const double* noise, int noiseShift, int n,
               double* const glided[3]) noexcept {
    using P = Pair<Arch>;
    const double k = g.keep;
    const P keep(k), powers = pairOf<Arch>(k, k * k), laterPowers = powers * P(k * k);
    const P sums = pairOf<Arch>(1.0, 1.0 + k);
    // (a, b) -> (a, keep a + b), and (a, b) -> (b, b).
    const auto summed = [&keep](const P& nz) { return nz + keep * xsimd::zip_lo(P(0.0), nz); };
    const auto highTwice = [](const P& v) { return xsimd::zip_hi(v, v); };
    P value[3], pullSums[3];
    for (int q = 0; q < 3; ++q) {
        value[q] = P(g.value[q]);
        pullSums[q] = P(g.pull[q]) * sums;
    }
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const P first = summed(noiseShift == 0 ? P::load_unaligned(noise + i) : P(noise[i >> 1]));
        const P second =
            summed(noiseShift == 0 ? P::load_unaligned(noise + i + 2) : P(noise[(i >> 1) + 1]));
        for (int q = 0; q < 3; ++q) {
            const P early = pullSums[q] + first;
            const P late = powers * highTwice(early) + (pullSums[q] + second);
            const P a = powers * value[q] + early;
            const P b = laterPowers * value[q] + late;
            a.store_unaligned(glided[q] + i);
            b.store_unaligned(glided[q] + i + 2);
            value[q] = highTwice(b);
        }
    }
    for (int q = 0; q < 3; ++q) g.value[q] = lowLane(value[q]);
    return i;
}

// The plain build takes four frames per step of the recursion in pairs, the AVX2 build eight
// (hand-written: xsimd has no lane permutes across the halves), the rest one by one.
template <class Arch>
void glideFrames(GlideRun& g, const double* noise, int noiseShift, int n,
                 double* const glided[3]) noexcept {
    int i = 0;
    if constexpr (Lanes<Arch>::size == 4)
        i = glideOctets<Arch>(g, noise, noiseShift, n, glided);
    else
        i = glideQuads<Arch>(g, noise, noiseShift, n, glided);
    if (i >= n) return;
    double* const rest[3] = {glided[0] + i, glided[1] + i, glided[2] + i};
    if (noiseShift == 0)
        glideSteps<0>(g, noise + i, n - i, rest);
    else
        glideSteps<1>(g, noise + (i >> 1), n - i, rest);
}

template <class Arch>
constexpr MixKernels mixKernelsFor() noexcept {
    return {&mixFrames<Arch>, &glideFrames<Arch>};
}

}  // namespace
}  // namespace grandpress
