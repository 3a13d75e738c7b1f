// The side chain's shelves and link over one chunk, as one template on the xsimd architecture
// (instantiated in Kernels.cpp for SSE2 and Kernels_avx2.cpp for AVX2+FMA). Lanes 0-1 hold the
// low shelf (left, right), lanes 2-3 the high shelf, each with its own running coefficients; step
// j runs the low shelf on frame j and the high shelf on frame j - kLag, whose input (the low
// shelf's output) was written kLag steps before, so the hand-over never waits on the step before
// and the two recursions overlap.
//
// The recursions carry their outputs without the noise: the noise each memory took (h on the
// shelves' memories, the alternating offsets on the band filter's) goes into a feed-forward term
// worked out beside the recursion, so one multiply-add stands between one output and the next
// (two between an output and the one after next). The stored state keeps the noise in its
// memories, as the reference has it; the link band filter runs in a loop of its own after the
// shelves, writing the outputs as it goes. The reference is referenceShelves (ShelfCascade.h);
// the kernels differ from it by rounding only. Everything here has internal linkage, so each
// build keeps its own code.
#pragma once

#include "grandpress/KernelQuads.h"
#include "grandpress/ShelfCascade.h"

namespace grandpress {
namespace {
namespace shelves {

// Steps the high shelf runs behind the low one. The low output reaches the high lanes through
// memory, a lane insert and three multiply-adds (about 20 cycles), while each step's own
// recursion takes one multiply-add: eight steps of slack hide the hand-over.
constexpr int kLag = 8;

// Leading zero noise values: the lagging high lanes reach kLag frames before the chunk and the
// memories two more; frames before the chunk took no noise (it is in the stored memories).
constexpr int kNoisePad = kLag + 2;

// The shelves' working buffers, laid out by step.
struct Frames {
    // The tilted side chain as (left, right) pairs, zero past the chunk.
    alignas(32) double x[2 * (kShelfCascadeFrames + kLag)];
    // The noise of each frame at [kNoisePad + frame], zero outside the chunk.
    alignas(32) double h[kShelfCascadeFrames + 2 * kNoisePad + 4];
    // The noise terms of the arrived shelves by step: low on frame j, high on frame j - kLag.
    alignas(32) double noiseLow[kShelfCascadeFrames + kLag + 4];
    alignas(32) double noiseHigh[kShelfCascadeFrames + kLag + 4];
    // Four lanes per step: step j writes at [4 (j + kLag)], the first kLag steps read zeros.
    alignas(32) double y[4 * (kShelfCascadeFrames + 2 * kLag)];

    const double* noiseOf(int frame) const noexcept { return h + kNoisePad + frame; }
    // The high shelf's output of a frame, as a (left, right) pair.
    const double* equalised(int frame) const noexcept { return y + 4 * (frame + 2 * kLag) + 2; }
};

// Zeros the compiler cannot see as such: short runs of zero stores stay stores rather than
// becoming a string instruction with its start-up cost.
template <class Arch>
[[gnu::always_inline]] inline lanes::Pair<Arch> zeros() noexcept {
    __m128d z = _mm_setzero_pd();
    asm("" : "+x"(z));
    return lanes::Pair<Arch>(z);
}

template <class Arch>
struct Kernel {
    using Quad = lanes::Quad<Arch>;
    using Pair = lanes::Pair<Arch>;

    struct Lanes {
        Quad b0, b1, b2, a1, a2;  // running coefficients
        Quad x1, x2, y1, y2;      // memories, without their noise
    };

    // Each coefficient glides toward its target: c + h + (t - c) rate, taken as
    // c + h - (c - t) rate (the same value; the target can stay in memory).
    struct Glide {
        Quad b0, b1, b2, a1, a2;  // targets
        Quad rate;
    };

    [[gnu::always_inline]] static void glideStep(Lanes& s, const Glide& g, const Quad& h) noexcept {
        s.b0 = lanes::fnma(s.b0 - g.b0, g.rate, s.b0 + h);
        s.b1 = lanes::fnma(s.b1 - g.b1, g.rate, s.b1 + h);
        s.b2 = lanes::fnma(s.b2 - g.b2, g.rate, s.b2 + h);
        s.a1 = lanes::fnma(s.a1 - g.a1, g.rate, s.a1 + h);
        s.a2 = lanes::fnma(s.a2 - g.a2, g.rate, s.a2 + h);
    }

    // The noise a biquad's input and memories took, through its coefficients: with h0 on the
    // input, h1 on the memories of one frame back and h2 on those of two,
    // b0 h0 + (b1 - a1) h1 + (b2 - a2) h2.
    [[gnu::always_inline]] static Quad noiseTerm(const Lanes& s, const Quad& h0, const Quad& h1,
                                                 const Quad& h2) noexcept {
        return lanes::fma(s.b0, h0, lanes::fma(s.b1 - s.a1, h1, (s.b2 - s.a2) * h2));
    }

    // One step j of the four lanes: the low shelf on frame j, the high shelf on frame j - kLag.
    template <bool kGlides>
    [[gnu::always_inline]] static void step(Lanes& s, const Glide& g, Frames& f, int j) noexcept {
        Quad noise;
        if constexpr (kGlides) {
            const double* h = f.noiseOf(j);
            const Quad h0 = Quad::pairsAt(h, h - kLag);
            glideStep(s, g, h0);
            noise = noiseTerm(s, h0, Quad::pairsAt(h - 1, h - kLag - 1),
                              Quad::pairsAt(h - 2, h - kLag - 2));
        } else {
            noise = Quad::pairsAt(f.noiseLow + j, f.noiseHigh + j);
        }
        // Low input: frame j after the tilt; high input: the low shelf's output of frame
        // j - kLag.
        const Quad x = Quad::of(Pair::load_aligned(f.x + 2 * j), Pair::load_aligned(f.y + 4 * j));
        const Quad ff = lanes::fma(s.b0, x, lanes::fma(s.b1, s.x1, lanes::fma(s.b2, s.x2, noise)));
        const Quad y = lanes::fnma(s.a1, s.y1, lanes::fnma(s.a2, s.y2, ff));
        s.x2 = s.x1;
        s.x1 = x;
        s.y2 = s.y1;
        s.y1 = y;
        y.store(f.y + 4 * (j + kLag));
    }

    // The low lanes of `s` with the high lanes of `kept` (High), or the reverse.
    template <bool High>
    static Lanes keep(const Lanes& s, const Lanes& kept) noexcept {
        const auto k = [](const Quad& a, const Quad& b) {
            return High ? a.withHighOf(b) : a.withLowOf(b);
        };
        return {k(s.b0, kept.b0), k(s.b1, kept.b1), k(s.b2, kept.b2),
                k(s.a1, kept.a1), k(s.a2, kept.a2), k(s.x1, kept.x1),
                k(s.x2, kept.x2), k(s.y1, kept.y1), k(s.y2, kept.y2)};
    }

    // The four-lane cascade over n frames. Steps before kLag leave the high lanes as they were,
    // steps from n on the low lanes. (The loops are not unrolled: each step waits on the one
    // before anyway, and four copies of it made the plain build's side chain 19 KB of code
    // instead of 11; without them the whole plain build runs 1-2 % faster, the AVX2 build as
    // fast.)
    template <bool kGlides>
    static void cascade(Lanes& s, const Glide& g, Frames& f, int n) noexcept {
        const Lanes before = s;
        int j = 0;
        for (; j < n && j < kLag; ++j) step<kGlides>(s, g, f, j);
        s = keep<true>(s, before);
        for (j = kLag; j < n; ++j) step<kGlides>(s, g, f, j);
        const Lanes lowDone = s;
        for (j = n > kLag ? n : kLag; j < n + kLag; ++j) step<kGlides>(s, g, f, j);
        s = keep<false>(s, lowDone);
    }

    // The noise terms of the arrived shelves for steps [0, n + kLag), four steps at a time (each
    // shelf's running coefficients are alike in both its lanes).
    static void arrivedNoise(const Lanes& s, Frames& f, int n) noexcept {
        const Quad c1 = s.b1 - s.a1, c2 = s.b2 - s.a2;
        const Quad lowB0 = s.b0.lowTwice(), highB0 = s.b0.highTwice();
        const Quad lowC1 = c1.lowTwice(), highC1 = c1.highTwice();
        const Quad lowC2 = c2.lowTwice(), highC2 = c2.highTwice();
        const auto term = [](const Quad& k0, const Quad& k1, const Quad& k2, const double* h) {
            return lanes::fma(
                k0, Quad::loadUnaligned(h),
                lanes::fma(k1, Quad::loadUnaligned(h - 1), k2 * Quad::loadUnaligned(h - 2)));
        };
        for (int j = 0; j < n + kLag; j += 4) {
            term(lowB0, lowC1, lowC2, f.noiseOf(j)).store(f.noiseLow + j);
            term(highB0, highC1, highC2, f.noiseOf(j - kLag)).store(f.noiseHigh + j);
        }
    }

    // The side chain with its noise, after the tilt, as (left, right) pairs; zeros for kLag
    // frames past the chunk.
    static void tiltedPairs(const ShelfCascadeInput& in, double* x) noexcept {
        int i = 0;
        if constexpr (Quad::kWide) {
            const __m256d tiltL = _mm256_set1_pd(in.tiltLeft), tiltR = _mm256_set1_pd(in.tiltRight);
            for (; i + 4 <= in.n; i += 4) {
                const __m256d l = _mm256_mul_pd(
                    _mm256_add_pd(_mm256_loadu_pd(in.sideL + i), _mm256_loadu_pd(in.noiseL + i)),
                    tiltL);
                const __m256d r = _mm256_mul_pd(
                    _mm256_add_pd(_mm256_loadu_pd(in.sideR + i), _mm256_loadu_pd(in.noiseR + i)),
                    tiltR);
                const __m256d even = _mm256_unpacklo_pd(l, r), odd = _mm256_unpackhi_pd(l, r);
                _mm256_store_pd(x + 2 * i, _mm256_permute2f128_pd(even, odd, 0x20));
                _mm256_store_pd(x + 2 * i + 4, _mm256_permute2f128_pd(even, odd, 0x31));
            }
        } else {
            const Pair tiltL(in.tiltLeft), tiltR(in.tiltRight);
            for (; i + 2 <= in.n; i += 2) {
                const Pair l =
                    (Pair::load_unaligned(in.sideL + i) + Pair::load_unaligned(in.noiseL + i)) *
                    tiltL;
                const Pair r =
                    (Pair::load_unaligned(in.sideR + i) + Pair::load_unaligned(in.noiseR + i)) *
                    tiltR;
                xsimd::zip_lo(l, r).store_aligned(x + 2 * i);
                xsimd::zip_hi(l, r).store_aligned(x + 2 * i + 2);
            }
        }
        for (; i < in.n; ++i) {
            x[2 * i] = (in.sideL[i] + in.noiseL[i]) * in.tiltLeft;
            x[2 * i + 1] = (in.sideR[i] + in.noiseR[i]) * in.tiltRight;
        }
        const Pair zero = zeros<Arch>();
        for (i = 2 * in.n; i < 2 * (in.n + kLag); i += 2) zero.store_aligned(x + i);
    }

    // The frames' noise values at their places, zeros around them.
    static void placeNoise(const ShelfCascadeInput& in, Frames& f) noexcept {
        const int n = in.n;
        const Pair zero = zeros<Arch>();
        const Quad zeroQuad = Quad::of(zero, zero);
        for (int i = 0; i < kNoisePad; i += 2) zero.store_aligned(f.h + i);
        int i = 0;
        for (; i + 4 <= n; i += 4)
            Quad::loadUnaligned(in.noise + i).storeUnaligned(f.h + kNoisePad + i);
        for (; i < n; ++i) f.h[kNoisePad + i] = in.noise[i];
        for (i += kNoisePad; i < n + 2 * kNoisePad; i += 4) zeroQuad.storeUnaligned(f.h + i);
    }

    // The link of a frame from its equalised pair and band: only the band is shared between the
    // channels.
    [[gnu::always_inline]] static Pair linked(const Pair& e, const Pair& band,
                                              const Pair& amount) noexcept {
        const Pair b = Pair(kLinkBandScale) * band;
        const Pair swapped(_mm_shuffle_pd(b, b, 1));  // (right, left)
        return lanes::fma<Arch>(amount, lanes::fms<Arch>(b + swapped, Pair(kMidScale), b), e);
    }

    // The equalised and linked frames into the four outputs.
    struct Outputs {
        const Frames& f;
        Pair amount;
        Quad amounts;
        double *eqL, *eqR, *linkL, *linkR;

        // Frames k .. k + 3 with their band outputs.
        [[gnu::always_inline]] void four(int k, const Pair& band0, const Pair& band1,
                                         const Pair& band2, const Pair& band3) const noexcept {
            if constexpr (Quad::kWide) {
                four256(k, band0, band1, band2, band3);
            } else {
                const Pair e[4] = {
                    Pair::load_aligned(f.equalised(k)), Pair::load_aligned(f.equalised(k + 1)),
                    Pair::load_aligned(f.equalised(k + 2)), Pair::load_aligned(f.equalised(k + 3))};
                const Pair l[4] = {linked(e[0], band0, amount), linked(e[1], band1, amount),
                                   linked(e[2], band2, amount), linked(e[3], band3, amount)};
                for (int m = 0; m < 4; m += 2) {
                    xsimd::zip_lo(e[m], e[m + 1]).store_unaligned(eqL + k + m);
                    xsimd::zip_hi(e[m], e[m + 1]).store_unaligned(eqR + k + m);
                    xsimd::zip_lo(l[m], l[m + 1]).store_unaligned(linkL + k + m);
                    xsimd::zip_hi(l[m], l[m + 1]).store_unaligned(linkR + k + m);
                }
            }
        }

        // The same two frames to a 256-bit vector (the AVX2 build).
        [[gnu::always_inline]] void four256(int k, __m128d band0, __m128d band1, __m128d band2,
                                            __m128d band3) const noexcept {
            const auto two = [&](int from) {
                return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(f.equalised(from))),
                                            _mm_load_pd(f.equalised(from + 1)), 1);
            };
            const auto link = [&](__m256d e, __m256d band) {
                const __m256d b = _mm256_mul_pd(_mm256_set1_pd(kLinkBandScale), band);
                const __m256d shared = _mm256_fmsub_pd(_mm256_add_pd(b, _mm256_permute_pd(b, 0x5)),
                                                       _mm256_set1_pd(kMidScale), b);
                return _mm256_fmadd_pd(amounts.v, shared, e);
            };
            // (left, right) pairs of frames k .. k + 3 into four lefts and four rights.
            const auto split = [](__m256d first, __m256d second, double* left, double* right) {
                _mm256_storeu_pd(left,
                                 _mm256_permute4x64_pd(_mm256_unpacklo_pd(first, second), 0xD8));
                _mm256_storeu_pd(right,
                                 _mm256_permute4x64_pd(_mm256_unpackhi_pd(first, second), 0xD8));
            };
            const __m256d e01 = two(k), e23 = two(k + 2);
            const __m256d l01 =
                link(e01, _mm256_insertf128_pd(_mm256_castpd128_pd256(band0), band1, 1));
            const __m256d l23 =
                link(e23, _mm256_insertf128_pd(_mm256_castpd128_pd256(band2), band3, 1));
            split(e01, e23, eqL + k, eqR + k);
            split(l01, l23, linkL + k, linkR + k);
        }

        // Frame k alone, with its band output.
        void one(int k, const Pair& band) const noexcept {
            alignas(16) double l[2];
            linked(Pair::load_aligned(f.equalised(k)), band, amount).store_aligned(l);
            eqL[k] = f.equalised(k)[0];
            eqR[k] = f.equalised(k)[1];
            linkL[k] = l[0];
            linkR[k] = l[1];
        }
    };

    // The link band filter on both channels. Frame k's input takes the offset o(k) = -o(k - 1)
    // and its output memory -o(k) (the offset it held before), so the offsets reach the output
    // as o(k) (b0 - b1 - a1 + b2 + a2). The filter carries e and y without the offsets; the
    // stored memories take them back.
    struct Band {
        Pair b0, b1, b2, a1, a2;
        Pair x1, x2, y1, y2;  // memories, without their offsets
        Pair noise;           // the offsets' share of the next frame's output

        // From the stored memories and the offset the filter holds before frame 0 (that of
        // frame -1).
        Band(const qrx::dsp::BiquadCoefficients& c, const ShelfCascadeState& state) noexcept
            : b0(c.b0), b1(c.b1), b2(c.b2), a1(c.a1), a2(c.a2) {
            const Pair o(state.bandOffset);  // o(-1); o(-2) = -o(-1)
            x1 = Pair::load_aligned(state.bandX1) - o;
            x2 = Pair::load_aligned(state.bandX2) + o;
            y1 = Pair::load_aligned(state.bandY1) + o;
            y2 = Pair::load_aligned(state.bandY2) - o;
            noise = ((b0 - (b1 + a1)) + (b2 + a2)) * -o;
        }

        // Frame k's output.
        [[gnu::always_inline]] Pair frame(const Frames& f, int k) noexcept {
            const Pair e = Pair::load_aligned(f.equalised(k));
            const Pair ff =
                lanes::fma<Arch>(b0, e, lanes::fma<Arch>(b1, x1, lanes::fma<Arch>(b2, x2, noise)));
            const Pair y = lanes::fnma<Arch>(a1, y1, lanes::fnma<Arch>(a2, y2, ff));
            x2 = x1;
            x1 = e;
            y2 = y1;
            y1 = y;
            noise = -noise;
            return y;
        }

        // The filter over n frames, and the outputs of each four frames as the filter leaves
        // them (independent work beside the recursion).
        void run(const Frames& f, int n, const Outputs& out) noexcept {
            int k = 0;
            for (; k + 4 <= n; k += 4) {
                const Pair first = frame(f, k), second = frame(f, k + 1);
                const Pair third = frame(f, k + 2), fourth = frame(f, k + 3);
                out.four(k, first, second, third, fourth);
            }
            for (; k < n; ++k) out.one(k, frame(f, k));
        }

        // The stored memories after n frames; returns the offset the filter then holds.
        double store(ShelfCascadeState& state, int n) const noexcept {
            const double last = n % 2 == 1 ? -state.bandOffset : state.bandOffset;  // o(n - 1)
            const Pair o(last);  // o(n - 2) = -o(n - 1)
            (x1 + o).store_aligned(state.bandX1);
            (x2 - o).store_aligned(state.bandX2);
            (y1 - o).store_aligned(state.bandY1);
            (y2 + o).store_aligned(state.bandY2);
            return last;
        }
    };

    // The running coefficients and memories from the state, and their targets.
    static Lanes lanesOf(const ShelfCascadeState& state) noexcept {
        return {Quad::load(state.b0), Quad::load(state.b1), Quad::load(state.b2),
                Quad::load(state.a1), Quad::load(state.a2), Quad::load(state.x1),
                Quad::load(state.x2), Quad::load(state.y1), Quad::load(state.y2)};
    }
    static Glide glideOf(const ShelfCascadeInput& in) noexcept {
        const qrx::dsp::BiquadCoefficients& lt = in.lowTarget;
        const qrx::dsp::BiquadCoefficients& ht = in.highTarget;
        return {Quad::pairs(lt.b0, ht.b0), Quad::pairs(lt.b1, ht.b1), Quad::pairs(lt.b2, ht.b2),
                Quad::pairs(lt.a1, ht.a1), Quad::pairs(lt.a2, ht.a2), Quad::splat(in.glideRate)};
    }

    static void run(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL, double* eqR,
                    double* linkL, double* linkR) noexcept {
        const int n = in.n;
        if (n <= 0) return;
        Frames f;
        tiltedPairs(in, f.x);
        placeNoise(in, f);
        const Pair zero = zeros<Arch>();
        const Quad zeroQuad = Quad::of(zero, zero);
        for (int i = 0; i < 4 * kLag; i += 4) zeroQuad.store(f.y + i);

        Lanes s = lanesOf(state);
        const Glide g = glideOf(in);
        if (in.arrived) {
            arrivedNoise(s, f, n);
            cascade<false>(s, g, f, n);
        } else {
            cascade<true>(s, g, f, n);
        }

        // Both shelves end on frame n - 1: their memories take that frame's noise back.
        const Quad h1 = Quad::splat(*f.noiseOf(n - 1)), h2 = Quad::splat(*f.noiseOf(n - 2));
        s.b0.store(state.b0);
        s.b1.store(state.b1);
        s.b2.store(state.b2);
        s.a1.store(state.a1);
        s.a2.store(state.a2);
        (s.x1 + h1).store(state.x1);
        (s.x2 + h2).store(state.x2);
        (s.y1 + h1).store(state.y1);
        (s.y2 + h2).store(state.y2);

        // The link band filter and the link, on the equalised frames.
        Band band(in.band, state);
        const Outputs out{f,    Pair(in.linkAmount), Quad::splat(in.linkAmount), eqL, eqR, linkL,
                          linkR};
        band.run(f, n, out);
        state.bandOffset = band.store(state, n);
    }
};

}  // namespace shelves

template <class Arch>
constexpr SideChainKernels sideChainKernelsFor() noexcept {
    return {shelves::Kernel<Arch>::run};
}

}  // namespace
}  // namespace grandpress
