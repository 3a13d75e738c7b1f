// AVX2+FMA build of the side chain's shelves (compiled with -mavx2 -mfma; called only on
// processors that have both). Lanes 0-1 hold the low shelf (left, right), lanes 2-3 the high
// shelf, each with its own running coefficients; step j runs the low shelf on frame j and the high
// shelf on frame j - kLag, whose input (the low shelf's output) was written kLag steps before, so
// the hand-over never waits on the step before.
//
// The recursions carry their outputs without the noise: the noise each memory took (h on the
// shelves' memories, the alternating offsets on the band filter's) goes into a feed-forward term
// worked out beside the recursion, so one multiply-add stands between one output and the next
// (two between an output and the one after next). The stored state keeps the noise in its
// memories, as the plain loop has it; the band filter runs in a loop of its own after the
// shelves, writing the outputs as it goes.
//
// Nothing here is shared with the baseline build: everything but the entry function is in the
// anonymous namespace.
#include <immintrin.h>

#include "grandpress/ShelfCascade.h"

namespace grandpress {
namespace {

// Steps the high shelf runs behind the low one. The low output reaches the high lanes through
// memory, a lane insert and three multiply-adds (about 20 cycles), while each step's own
// recursion takes one multiply-add: eight steps of slack hide the hand-over.
constexpr int kLag = 8;

// Leading zero noise values: the lagging high lanes reach kLag frames before the chunk and the
// memories two more; frames before the chunk took no noise (it is in the stored memories).
constexpr int kNoisePad = kLag + 2;

struct Lanes {
    __m256d b0, b1, b2, a1, a2;  // running coefficients
    __m256d x1, x2, y1, y2;      // memories, without their noise
};

// Each coefficient glides toward its target: c + h + (t - c) rate, taken as c + h - (c - t) rate
// (the same value; the target can stay in memory).
struct Glide {
    __m256d b0, b1, b2, a1, a2;  // targets
    __m256d rate;
};

// Zeros the compiler cannot see as such: short runs of zero stores stay stores rather than
// becoming a string instruction with its start-up cost.
[[gnu::always_inline]] inline __m256d zeros() {
    __m256d z = _mm256_setzero_pd();
    asm("" : "+x"(z));
    return z;
}

__m256d pairOf(double low, double high) {
    return _mm256_setr_pd(low, low, high, high);
}

// (low, low, high, high) from two values in memory.
[[gnu::always_inline]] inline __m256d lanesOf(const double* low, const double* high) {
    return _mm256_blend_pd(_mm256_broadcast_sd(low), _mm256_broadcast_sd(high), 0xC);
}

// Each running coefficient glides toward its target, with the noise h.
[[gnu::always_inline]] inline void glideStep(Lanes& s, const Glide& g, __m256d h) {
    s.b0 = _mm256_fnmadd_pd(_mm256_sub_pd(s.b0, g.b0), g.rate, _mm256_add_pd(s.b0, h));
    s.b1 = _mm256_fnmadd_pd(_mm256_sub_pd(s.b1, g.b1), g.rate, _mm256_add_pd(s.b1, h));
    s.b2 = _mm256_fnmadd_pd(_mm256_sub_pd(s.b2, g.b2), g.rate, _mm256_add_pd(s.b2, h));
    s.a1 = _mm256_fnmadd_pd(_mm256_sub_pd(s.a1, g.a1), g.rate, _mm256_add_pd(s.a1, h));
    s.a2 = _mm256_fnmadd_pd(_mm256_sub_pd(s.a2, g.a2), g.rate, _mm256_add_pd(s.a2, h));
}

// The noise a biquad's input and memories took, through its coefficients: with h0 on the input,
// h1 on the memories of one frame back and h2 on those of two, b0 h0 + (b1 - a1) h1 + (b2 - a2) h2.
[[gnu::always_inline]] inline __m256d noiseTerm(const Lanes& s, __m256d h0, __m256d h1,
                                                __m256d h2) {
    return _mm256_fmadd_pd(s.b0, h0,
                           _mm256_fmadd_pd(_mm256_sub_pd(s.b1, s.a1), h1,
                                           _mm256_mul_pd(_mm256_sub_pd(s.b2, s.a2), h2)));
}

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

    const double* noiseOf(int frame) const { return h + kNoisePad + frame; }
    // The high shelf's output of a frame, as a (left, right) pair.
    const double* equalised(int frame) const { return y + 4 * (frame + 2 * kLag) + 2; }
};

// The link of two frames from their equalised pairs and band: only the band is shared between
// the channels.
[[gnu::always_inline]] inline __m256d linked(__m256d e, __m256d band, __m256d amount) {
    const __m256d b = _mm256_mul_pd(_mm256_set1_pd(kLinkBandScale), band);
    const __m256d mid =
        _mm256_mul_pd(_mm256_add_pd(b, _mm256_permute_pd(b, 0x5)), _mm256_set1_pd(kMidScale));
    return _mm256_fmadd_pd(amount, _mm256_sub_pd(mid, b), e);
}

// The equalised and linked frames into the four outputs.
struct Outputs {
    const Frames& f;
    __m256d amount;
    double *eqL, *eqR, *linkL, *linkR;

    // Frames k .. k + 3 with their band outputs.
    [[gnu::always_inline]] void four(int k, __m128d band0, __m128d band1, __m128d band2,
                                     __m128d band3) const {
        const auto two = [&](int from) {
            return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(f.equalised(from))),
                                        _mm_load_pd(f.equalised(from + 1)), 1);
        };
        // (left, right) pairs of frames k .. k + 3 into four lefts and four rights.
        const auto split = [](__m256d first, __m256d second, double* left, double* right) {
            _mm256_storeu_pd(left, _mm256_permute4x64_pd(_mm256_unpacklo_pd(first, second), 0xD8));
            _mm256_storeu_pd(right, _mm256_permute4x64_pd(_mm256_unpackhi_pd(first, second), 0xD8));
        };
        const __m256d e01 = two(k), e23 = two(k + 2);
        const __m256d l01 =
            linked(e01, _mm256_insertf128_pd(_mm256_castpd128_pd256(band0), band1, 1), amount);
        const __m256d l23 =
            linked(e23, _mm256_insertf128_pd(_mm256_castpd128_pd256(band2), band3, 1), amount);
        split(e01, e23, eqL + k, eqR + k);
        split(l01, l23, linkL + k, linkR + k);
    }

    // Frame k alone, with its band output.
    void one(int k, __m128d band) const {
        const __m256d e = _mm256_castpd128_pd256(_mm_load_pd(f.equalised(k)));
        const __m256d l = linked(e, _mm256_castpd128_pd256(band), amount);
        eqL[k] = f.equalised(k)[0];
        eqR[k] = f.equalised(k)[1];
        linkL[k] = _mm256_cvtsd_f64(l);
        linkR[k] = _mm_cvtsd_f64(_mm_permute_pd(_mm256_castpd256_pd128(l), 1));
    }
};

// The link band filter on both channels. Frame k's input takes the offset o(k) = -o(k - 1) and
// its output memory -o(k) (the offset it held before), so the offsets reach the output as
// o(k) (b0 - b1 - a1 + b2 + a2). The filter carries e and y without the offsets; the stored
// memories take them back.
struct Band {
    __m128d b0, b1, b2, a1, a2;
    __m128d x1, x2, y1, y2;  // memories, without their offsets
    __m128d noise;           // the offsets' share of the next frame's output

    // From the stored memories and the offset the filter holds before frame 0 (that of frame -1).
    Band(const qrx::dsp::BiquadCoefficients& c, const ShelfCascadeState& state)
        : b0(_mm_set1_pd(c.b0)),
          b1(_mm_set1_pd(c.b1)),
          b2(_mm_set1_pd(c.b2)),
          a1(_mm_set1_pd(c.a1)),
          a2(_mm_set1_pd(c.a2)) {
        const __m128d o = _mm_set1_pd(state.bandOffset);  // o(-1); o(-2) = -o(-1)
        x1 = _mm_sub_pd(_mm_load_pd(state.bandX1), o);
        x2 = _mm_add_pd(_mm_load_pd(state.bandX2), o);
        y1 = _mm_add_pd(_mm_load_pd(state.bandY1), o);
        y2 = _mm_sub_pd(_mm_load_pd(state.bandY2), o);
        const __m128d shared = _mm_add_pd(_mm_sub_pd(b0, _mm_add_pd(b1, a1)), _mm_add_pd(b2, a2));
        noise = _mm_mul_pd(shared, _mm_xor_pd(o, _mm_set1_pd(-0.0)));
    }

    // Frame k's output.
    [[gnu::always_inline]] __m128d frame(const Frames& f, int k) {
        const __m128d e = _mm_load_pd(f.equalised(k));
        const __m128d ff = _mm_fmadd_pd(b0, e, _mm_fmadd_pd(b1, x1, _mm_fmadd_pd(b2, x2, noise)));
        const __m128d y = _mm_fnmadd_pd(a1, y1, _mm_fnmadd_pd(a2, y2, ff));
        x2 = x1;
        x1 = e;
        y2 = y1;
        y1 = y;
        noise = _mm_xor_pd(noise, _mm_set1_pd(-0.0));
        return y;
    }

    // The filter over n frames, and the outputs of each four frames as the filter leaves them
    // (independent work beside the recursion).
    void run(const Frames& f, int n, const Outputs& out) {
        int k = 0;
        for (; k + 4 <= n; k += 4) {
            const __m128d first = frame(f, k), second = frame(f, k + 1);
            const __m128d third = frame(f, k + 2), fourth = frame(f, k + 3);
            out.four(k, first, second, third, fourth);
        }
        for (; k < n; ++k) out.one(k, frame(f, k));
    }

    // The stored memories after n frames; returns the offset the filter then holds.
    double store(ShelfCascadeState& state, int n) const {
        const double last = n % 2 == 1 ? -state.bandOffset : state.bandOffset;  // o(n - 1)
        const __m128d o = _mm_set1_pd(last);  // o(n - 2) = -o(n - 1)
        _mm_store_pd(state.bandX1, _mm_add_pd(x1, o));
        _mm_store_pd(state.bandX2, _mm_sub_pd(x2, o));
        _mm_store_pd(state.bandY1, _mm_sub_pd(y1, o));
        _mm_store_pd(state.bandY2, _mm_add_pd(y2, o));
        return last;
    }
};

// One step j of the four lanes: the low shelf on frame j, the high shelf on frame j - kLag.
template <bool kGlides>
[[gnu::always_inline]] inline void step(Lanes& s, const Glide& g, Frames& f, int j) {
    __m256d noise;
    if constexpr (kGlides) {
        const double* h = f.noiseOf(j);
        const __m256d h0 = lanesOf(h, h - kLag);
        glideStep(s, g, h0);
        noise = noiseTerm(s, h0, lanesOf(h - 1, h - kLag - 1), lanesOf(h - 2, h - kLag - 2));
    } else {
        noise = lanesOf(f.noiseLow + j, f.noiseHigh + j);
    }
    // Low input: frame j after the tilt; high input: the low shelf's output of frame j - kLag.
    const __m256d x = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(f.x + 2 * j)),
                                           _mm_load_pd(f.y + 4 * j), 1);
    const __m256d ff =
        _mm256_fmadd_pd(s.b0, x, _mm256_fmadd_pd(s.b1, s.x1, _mm256_fmadd_pd(s.b2, s.x2, noise)));
    const __m256d y = _mm256_fnmadd_pd(s.a1, s.y1, _mm256_fnmadd_pd(s.a2, s.y2, ff));
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    _mm256_store_pd(f.y + 4 * (j + kLag), y);
}

// Lanes of `s` with those of `kept` selected by the blend mask.
template <int kMask>
Lanes keep(const Lanes& s, const Lanes& kept) {
    const auto k = [](__m256d a, __m256d b) { return _mm256_blend_pd(a, b, kMask); };
    return {k(s.b0, kept.b0), k(s.b1, kept.b1), k(s.b2, kept.b2),
            k(s.a1, kept.a1), k(s.a2, kept.a2), k(s.x1, kept.x1),
            k(s.x2, kept.x2), k(s.y1, kept.y1), k(s.y2, kept.y2)};
}

// The four-lane cascade over n frames. Steps before kLag leave the high lanes as they were, steps
// from n on the low lanes.
template <bool kGlides>
void cascade(Lanes& s, const Glide& g, Frames& f, int n) {
    const Lanes before = s;
    int j = 0;
    for (; j < n && j < kLag; ++j) step<kGlides>(s, g, f, j);
    s = keep<0xC>(s, before);
#pragma GCC unroll 4
    for (j = kLag; j < n; ++j) step<kGlides>(s, g, f, j);
    const Lanes lowDone = s;
    for (j = n > kLag ? n : kLag; j < n + kLag; ++j) step<kGlides>(s, g, f, j);
    s = keep<0x3>(s, lowDone);
}

// The noise terms of the arrived shelves for steps [0, n + kLag).
void arrivedNoise(const Lanes& s, Frames& f, int n) {
    const __m256d lowB0 = _mm256_permute4x64_pd(s.b0, 0x00),
                  highB0 = _mm256_permute4x64_pd(s.b0, 0xAA);
    const __m256d c1 = _mm256_sub_pd(s.b1, s.a1), c2 = _mm256_sub_pd(s.b2, s.a2);
    const __m256d lowC1 = _mm256_permute4x64_pd(c1, 0x00), highC1 = _mm256_permute4x64_pd(c1, 0xAA);
    const __m256d lowC2 = _mm256_permute4x64_pd(c2, 0x00), highC2 = _mm256_permute4x64_pd(c2, 0xAA);
    const auto term = [](__m256d k0, __m256d k1, __m256d k2, const double* h) {
        return _mm256_fmadd_pd(
            k0, _mm256_loadu_pd(h),
            _mm256_fmadd_pd(k1, _mm256_loadu_pd(h - 1), _mm256_mul_pd(k2, _mm256_loadu_pd(h - 2))));
    };
    for (int j = 0; j < n + kLag; j += 4) {
        _mm256_store_pd(f.noiseLow + j, term(lowB0, lowC1, lowC2, f.noiseOf(j)));
        _mm256_store_pd(f.noiseHigh + j, term(highB0, highC1, highC2, f.noiseOf(j - kLag)));
    }
}

// The side chain with its noise, after the tilt, as (left, right) pairs; zeros for kLag frames
// past the chunk.
void tiltedPairs(const ShelfCascadeInput& in, double* x) {
    const __m256d tiltL = _mm256_set1_pd(in.tiltLeft), tiltR = _mm256_set1_pd(in.tiltRight);
    int i = 0;
    for (; i + 4 <= in.n; i += 4) {
        const __m256d l = _mm256_mul_pd(
            _mm256_add_pd(_mm256_loadu_pd(in.sideL + i), _mm256_loadu_pd(in.noiseL + i)), tiltL);
        const __m256d r = _mm256_mul_pd(
            _mm256_add_pd(_mm256_loadu_pd(in.sideR + i), _mm256_loadu_pd(in.noiseR + i)), tiltR);
        const __m256d even = _mm256_unpacklo_pd(l, r), odd = _mm256_unpackhi_pd(l, r);
        _mm256_store_pd(x + 2 * i, _mm256_permute2f128_pd(even, odd, 0x20));
        _mm256_store_pd(x + 2 * i + 4, _mm256_permute2f128_pd(even, odd, 0x31));
    }
    for (; i < in.n; ++i) {
        x[2 * i] = (in.sideL[i] + in.noiseL[i]) * in.tiltLeft;
        x[2 * i + 1] = (in.sideR[i] + in.noiseR[i]) * in.tiltRight;
    }
    const __m128d zero = _mm256_castpd256_pd128(zeros());
    for (i = 2 * in.n; i < 2 * (in.n + kLag); i += 2) _mm_store_pd(x + i, zero);
}

// The frames' noise values at their places, zeros around them.
void placeNoise(const ShelfCascadeInput& in, Frames& f) {
    const int n = in.n;
    const __m256d zero = zeros();
    for (int i = 0; i < kNoisePad; i += 2) _mm_store_pd(f.h + i, _mm256_castpd256_pd128(zero));
    int i = 0;
    for (; i + 4 <= n; i += 4) _mm256_storeu_pd(f.h + kNoisePad + i, _mm256_loadu_pd(in.noise + i));
    for (; i < n; ++i) f.h[kNoisePad + i] = in.noise[i];
    for (i += kNoisePad; i < n + 2 * kNoisePad; i += 4) _mm256_storeu_pd(f.h + i, zero);
}

}  // namespace

void shelfCascadeAvx2(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL,
                      double* eqR, double* linkL, double* linkR) noexcept {
    Frames f;
    const int n = in.n;
    tiltedPairs(in, f.x);
    placeNoise(in, f);
    const __m256d zero = zeros();
    for (int i = 0; i < 4 * kLag; i += 4) _mm256_store_pd(f.y + i, zero);

    Lanes s{_mm256_load_pd(state.b0), _mm256_load_pd(state.b1), _mm256_load_pd(state.b2),
            _mm256_load_pd(state.a1), _mm256_load_pd(state.a2), _mm256_load_pd(state.x1),
            _mm256_load_pd(state.x2), _mm256_load_pd(state.y1), _mm256_load_pd(state.y2)};
    const qrx::dsp::BiquadCoefficients& lt = in.lowTarget;
    const qrx::dsp::BiquadCoefficients& ht = in.highTarget;
    const Glide g{pairOf(lt.b0, ht.b0), pairOf(lt.b1, ht.b1), pairOf(lt.b2, ht.b2),
                  pairOf(lt.a1, ht.a1), pairOf(lt.a2, ht.a2), _mm256_set1_pd(in.glideRate)};
    if (in.arrived) {
        arrivedNoise(s, f, n);
        cascade<false>(s, g, f, n);
    } else {
        cascade<true>(s, g, f, n);
    }

    // Both shelves end on frame n - 1: their memories take that frame's noise back.
    const __m256d h1 = _mm256_broadcast_sd(f.noiseOf(n - 1));
    const __m256d h2 = _mm256_broadcast_sd(f.noiseOf(n - 2));
    _mm256_store_pd(state.b0, s.b0);
    _mm256_store_pd(state.b1, s.b1);
    _mm256_store_pd(state.b2, s.b2);
    _mm256_store_pd(state.a1, s.a1);
    _mm256_store_pd(state.a2, s.a2);
    _mm256_store_pd(state.x1, _mm256_add_pd(s.x1, h1));
    _mm256_store_pd(state.x2, _mm256_add_pd(s.x2, h2));
    _mm256_store_pd(state.y1, _mm256_add_pd(s.y1, h1));
    _mm256_store_pd(state.y2, _mm256_add_pd(s.y2, h2));

    // The link band filter and the link, on the equalised frames.
    Band band(in.band, state);
    band.run(f, n, {f, _mm256_set1_pd(in.linkAmount), eqL, eqR, linkL, linkR});
    state.bandOffset = band.store(state, n);
}

}  // namespace grandpress
