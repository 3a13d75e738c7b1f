// AVX2+FMA build of the side chain's shelves (compiled with -mavx2 -mfma; called only on
// processors that have both). Lanes 0-1 hold the low shelf (left, right), lanes 2-3 the high
// shelf, each with its own running coefficients; every step runs the low shelf on frame i and
// the high shelf on frame i - 1. Nothing here is shared with the baseline build: everything but
// the entry function is in the anonymous namespace.
#include <immintrin.h>

#include "grandpress/ShelfCascade.h"

namespace grandpress {
namespace {

struct Lanes {
    __m256d b0, b1, b2, a1, a2;  // running coefficients
    __m256d x1, x2, y1, y2;      // memories
};

// Each coefficient glides toward its target: c + h + (t - c) rate, taken as c + h - (c - t) rate
// (the same value; the target can stay in memory).
struct Glide {
    __m256d b0, b1, b2, a1, a2;  // targets
    __m256d rate;
};

__m256d pairOf(double low, double high) {
    return _mm256_setr_pd(low, low, high, high);
}

// Each running coefficient glides toward its target, with the noise h.
[[gnu::always_inline]] inline void glideStep(Lanes& s, const Glide& g, __m256d h) {
    s.b0 = _mm256_fnmadd_pd(_mm256_sub_pd(s.b0, g.b0), g.rate, _mm256_add_pd(s.b0, h));
    s.b1 = _mm256_fnmadd_pd(_mm256_sub_pd(s.b1, g.b1), g.rate, _mm256_add_pd(s.b1, h));
    s.b2 = _mm256_fnmadd_pd(_mm256_sub_pd(s.b2, g.b2), g.rate, _mm256_add_pd(s.b2, h));
    s.a1 = _mm256_fnmadd_pd(_mm256_sub_pd(s.a1, g.a1), g.rate, _mm256_add_pd(s.a1, h));
    s.a2 = _mm256_fnmadd_pd(_mm256_sub_pd(s.a2, g.a2), g.rate, _mm256_add_pd(s.a2, h));
}

// One step of the four lanes on input x with noise h (per lane): glide (unless the running
// coefficients sit on their targets), filter, store.
template <bool kGlides>
[[gnu::always_inline]] inline __m256d step(Lanes& s, const Glide& g, __m256d x, __m256d h) {
    if constexpr (kGlides) glideStep(s, g, h);
    const __m256d xh = _mm256_add_pd(x, h);
    // The feed-forward part first, the recursive terms last (the shortest path from y1 to y).
    __m256d y = _mm256_mul_pd(s.b0, xh);
    y = _mm256_fmadd_pd(s.b1, s.x1, y);
    y = _mm256_fmadd_pd(s.b2, s.x2, y);
    y = _mm256_fnmadd_pd(s.a2, s.y2, y);
    y = _mm256_fnmadd_pd(s.a1, s.y1, y);
    s.x2 = s.x1;
    s.x1 = xh;
    s.y2 = s.y1;
    s.y1 = _mm256_add_pd(y, h);
    return y;
}

// The link band filter on both channels and the link of one equalised frame.
struct Link {
    __m128d b0, b1, b2, a1, a2;
    __m128d x1, x2, y1, y2;
    __m128d offset;  // the alternating offset, in both lanes
    __m128d amount;

    // The band filter on e: `added` goes into the input, `stored` onto the stored output.
    [[gnu::always_inline]] __m128d filter(__m128d e, __m128d added, __m128d stored) {
        const __m128d xo = _mm_add_pd(e, added);
        __m128d y = _mm_mul_pd(b0, xo);
        y = _mm_fmadd_pd(b1, x1, y);
        y = _mm_fmadd_pd(b2, x2, y);
        y = _mm_fnmadd_pd(a2, y2, y);
        y = _mm_fnmadd_pd(a1, y1, y);
        x2 = x1;
        x1 = xo;
        y2 = y1;
        y1 = _mm_add_pd(y, stored);
        return y;
    }

    // The link of frame i from its equalised value e and band filter output y.
    [[gnu::always_inline]] void out(__m128d e, __m128d y, double* eqL, double* eqR, double* linkL,
                                    double* linkR, int i) const {
        // Only the band is shared between the channels.
        const __m128d b = _mm_mul_pd(_mm_set1_pd(kLinkBandScale), y);
        const __m128d mid = _mm_mul_pd(_mm_add_pd(b, _mm_permute_pd(b, 1)), _mm_set1_pd(kMidScale));
        const __m128d linked = _mm_fmadd_pd(amount, _mm_sub_pd(mid, b), e);
        _mm_storel_pd(eqL + i, e);
        _mm_storeh_pd(eqR + i, e);
        _mm_storel_pd(linkL + i, linked);
        _mm_storeh_pd(linkR + i, linked);
    }

    // One frame: the offset flips, the input takes the new one, the stored output the old one.
    [[gnu::always_inline]] void frame(__m128d e, double* eqL, double* eqR, double* linkL,
                                      double* linkR, int i) {
        const __m128d before = offset;
        offset = _mm_xor_pd(offset, _mm_set1_pd(-0.0));
        out(e, filter(e, offset, before), eqL, eqR, linkL, linkR, i);
    }

    // Frames i and i + 1: the offset flips twice, so it is where it started.
    [[gnu::always_inline]] void twoFrames(const double* e, double* eqL, double* eqR, double* linkL,
                                          double* linkR, int i) {
        const __m128d flipped = _mm_xor_pd(offset, _mm_set1_pd(-0.0));
        const __m128d first = _mm_load_pd(e + 2 * i), second = _mm_load_pd(e + 2 * i + 2);
        out(first, filter(first, flipped, offset), eqL, eqR, linkL, linkR, i);
        out(second, filter(second, offset, flipped), eqL, eqR, linkL, linkR, i + 1);
    }
};

// The side chain with its noise, after the tilt, as (left, right) pairs.
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
}

// The four-lane cascade over n frames of x into e (both as (left, right) pairs).
template <bool kGlides>
void cascade(Lanes& s, const Glide& g, const double* x, const double* h, int n, double* e) {
    // Frame 0: the low shelf alone (the high lanes keep their state).
    const Lanes before = s;
    __m256d y = step<kGlides>(s, g, _mm256_castpd128_pd256(_mm_load_pd(x)), _mm256_set1_pd(h[0]));
    const auto keep = [](__m256d fresh, __m256d kept, int lanes) {
        return lanes == 0x3 ? _mm256_blend_pd(fresh, kept, 0x3) : _mm256_blend_pd(fresh, kept, 0xC);
    };
    const auto keepAll = [&](const Lanes& kept, int lanes) {
        s = {keep(s.b0, kept.b0, lanes), keep(s.b1, kept.b1, lanes), keep(s.b2, kept.b2, lanes),
             keep(s.a1, kept.a1, lanes), keep(s.a2, kept.a2, lanes), keep(s.x1, kept.x1, lanes),
             keep(s.x2, kept.x2, lanes), keep(s.y1, kept.y1, lanes), keep(s.y2, kept.y2, lanes)};
    };
    keepAll(before, 0xC);
#pragma GCC unroll 2
    for (int i = 1; i < n; ++i) {
        // Low input: frame i after the tilt; high input: the low shelf's output of frame i - 1.
        const __m256d xi = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_load_pd(x + 2 * i)),
                                                _mm256_castpd256_pd128(y), 1);
        // (h[i], h[i], h[i - 1], h[i - 1])
        const __m256d hi = _mm256_permute4x64_pd(_mm256_loadu_pd(h + i - 1), 0x05);
        y = step<kGlides>(s, g, xi, hi);
        _mm_store_pd(e + 2 * (i - 1), _mm256_extractf128_pd(y, 1));
    }
    // The high shelf alone on the last frame (the low lanes keep their state).
    const Lanes lowDone = s;
    y = step<kGlides>(s, g, _mm256_permute2f128_pd(y, y, 0x08), _mm256_set1_pd(h[n - 1]));
    keepAll(lowDone, 0x3);
    _mm_store_pd(e + 2 * (n - 1), _mm256_extractf128_pd(y, 1));
}

}  // namespace

void shelfCascadeAvx2(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL,
                      double* eqR, double* linkL, double* linkR) noexcept {
    // The tilted input and the equalised output as (left, right) pairs.
    alignas(32) double x[2 * kShelfCascadeFrames], e[2 * kShelfCascadeFrames];
    tiltedPairs(in, x);

    const qrx::dsp::BiquadCoefficients& bc = in.band;
    Link link{_mm_set1_pd(bc.b0),        _mm_set1_pd(bc.b1),
              _mm_set1_pd(bc.b2),        _mm_set1_pd(bc.a1),
              _mm_set1_pd(bc.a2),        _mm_load_pd(state.bandX1),
              _mm_load_pd(state.bandX2), _mm_load_pd(state.bandY1),
              _mm_load_pd(state.bandY2), _mm_set1_pd(state.bandOffset),
              _mm_set1_pd(in.linkAmount)};
    Lanes s{_mm256_load_pd(state.b0), _mm256_load_pd(state.b1), _mm256_load_pd(state.b2),
            _mm256_load_pd(state.a1), _mm256_load_pd(state.a2), _mm256_load_pd(state.x1),
            _mm256_load_pd(state.x2), _mm256_load_pd(state.y1), _mm256_load_pd(state.y2)};
    const qrx::dsp::BiquadCoefficients& lt = in.lowTarget;
    const qrx::dsp::BiquadCoefficients& ht = in.highTarget;
    const Glide g{pairOf(lt.b0, ht.b0), pairOf(lt.b1, ht.b1), pairOf(lt.b2, ht.b2),
                  pairOf(lt.a1, ht.a1), pairOf(lt.a2, ht.a2), _mm256_set1_pd(in.glideRate)};
    if (in.arrived)
        cascade<false>(s, g, x, in.noise, in.n, e);
    else
        cascade<true>(s, g, x, in.noise, in.n, e);
    const int n = in.n;

    // The link band filter and the link, on the equalised frames.
    int i = 0;
    for (; i + 2 <= n; i += 2) link.twoFrames(e, eqL, eqR, linkL, linkR, i);
    if (i < n) link.frame(_mm_load_pd(e + 2 * i), eqL, eqR, linkL, linkR, i);

    _mm_store_pd(state.bandX1, link.x1);
    _mm_store_pd(state.bandX2, link.x2);
    _mm_store_pd(state.bandY1, link.y1);
    _mm_store_pd(state.bandY2, link.y2);
    state.bandOffset = _mm_cvtsd_f64(link.offset);
    _mm256_store_pd(state.b0, s.b0);
    _mm256_store_pd(state.b1, s.b1);
    _mm256_store_pd(state.b2, s.b2);
    _mm256_store_pd(state.a1, s.a1);
    _mm256_store_pd(state.a2, s.a2);
    _mm256_store_pd(state.x1, s.x1);
    _mm256_store_pd(state.x2, s.x2);
    _mm256_store_pd(state.y1, s.y1);
    _mm256_store_pd(state.y2, s.y2);
}

}  // namespace grandpress
