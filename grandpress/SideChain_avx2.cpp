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

__m256d pairOf(double low, double high) {
    return _mm256_setr_pd(low, low, high, high);
}

__m256d join(const double low[2], const double high[2]) {
    return _mm256_setr_pd(low[0], low[1], high[0], high[1]);
}

void split(__m256d v, double low[2], double high[2]) {
    alignas(32) double a[4];
    _mm256_storeu_pd(a, v);
    low[0] = a[0];
    low[1] = a[1];
    high[0] = a[2];
    high[1] = a[3];
}

// One step of the four lanes on input x with noise h (per lane): glide, filter, store.
__m256d step(Lanes& s, const Lanes& t, __m256d rate, __m256d x, __m256d h) {
    s.b0 = _mm256_fmadd_pd(_mm256_sub_pd(t.b0, s.b0), rate, _mm256_add_pd(s.b0, h));
    s.b1 = _mm256_fmadd_pd(_mm256_sub_pd(t.b1, s.b1), rate, _mm256_add_pd(s.b1, h));
    s.b2 = _mm256_fmadd_pd(_mm256_sub_pd(t.b2, s.b2), rate, _mm256_add_pd(s.b2, h));
    s.a1 = _mm256_fmadd_pd(_mm256_sub_pd(t.a1, s.a1), rate, _mm256_add_pd(s.a1, h));
    s.a2 = _mm256_fmadd_pd(_mm256_sub_pd(t.a2, s.a2), rate, _mm256_add_pd(s.a2, h));
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
    double offset;
    __m128d amount;

    void frame(__m128d e, double* eqL, double* eqR, double* linkL, double* linkR, int i) {
        const double before = offset;
        offset = -offset;
        const __m128d xo = _mm_add_pd(e, _mm_set1_pd(offset));
        __m128d y = _mm_mul_pd(b0, xo);
        y = _mm_fmadd_pd(b1, x1, y);
        y = _mm_fmadd_pd(b2, x2, y);
        y = _mm_fnmadd_pd(a2, y2, y);
        y = _mm_fnmadd_pd(a1, y1, y);
        x2 = x1;
        x1 = xo;
        y2 = y1;
        y1 = _mm_add_pd(y, _mm_set1_pd(before));
        // Only the band is shared between the channels.
        const __m128d b = _mm_mul_pd(_mm_set1_pd(kLinkBandScale), y);
        const __m128d mid = _mm_mul_pd(_mm_add_pd(b, _mm_permute_pd(b, 1)), _mm_set1_pd(kMidScale));
        const __m128d linked = _mm_fmadd_pd(amount, _mm_sub_pd(mid, b), e);
        eqL[i] = _mm_cvtsd_f64(e);
        eqR[i] = _mm_cvtsd_f64(_mm_unpackhi_pd(e, e));
        linkL[i] = _mm_cvtsd_f64(linked);
        linkR[i] = _mm_cvtsd_f64(_mm_unpackhi_pd(linked, linked));
    }
};

// Lanes of `keep` where the mask bits (one per lane) are set, else of `fresh`.
Lanes keepLanes(const Lanes& fresh, const Lanes& keep, int lanes) {
    const auto pick = [lanes](__m256d f, __m256d k) {
        switch (lanes) {
            case 0x3:
                return _mm256_blend_pd(f, k, 0x3);
            default:
                return _mm256_blend_pd(f, k, 0xC);
        }
    };
    return {pick(fresh.b0, keep.b0), pick(fresh.b1, keep.b1), pick(fresh.b2, keep.b2),
            pick(fresh.a1, keep.a1), pick(fresh.a2, keep.a2), pick(fresh.x1, keep.x1),
            pick(fresh.x2, keep.x2), pick(fresh.y1, keep.y1), pick(fresh.y2, keep.y2)};
}

}  // namespace

void shelfCascadeAvx2(ShelfCascadeState& state, const ShelfCascadeInput& in, double* eqL,
                      double* eqR, double* linkL, double* linkR) noexcept {
    const qrx::dsp::BiquadCoefficients& bc = in.band;
    Link link{_mm_set1_pd(bc.b0),        _mm_set1_pd(bc.b1),        _mm_set1_pd(bc.b2),
              _mm_set1_pd(bc.a1),        _mm_set1_pd(bc.a2),        _mm_loadu_pd(state.x1[2]),
              _mm_loadu_pd(state.x2[2]), _mm_loadu_pd(state.y1[2]), _mm_loadu_pd(state.y2[2]),
              state.bandOffset,          _mm_set1_pd(in.linkAmount)};
    const qrx::dsp::BiquadCoefficients* c = state.current;
    Lanes s{pairOf(c[0].b0, c[1].b0),       pairOf(c[0].b1, c[1].b1),
            pairOf(c[0].b2, c[1].b2),       pairOf(c[0].a1, c[1].a1),
            pairOf(c[0].a2, c[1].a2),       join(state.x1[0], state.x1[1]),
            join(state.x2[0], state.x2[1]), join(state.y1[0], state.y1[1]),
            join(state.y2[0], state.y2[1])};
    const qrx::dsp::BiquadCoefficients& lt = in.lowTarget;
    const qrx::dsp::BiquadCoefficients& ht = in.highTarget;
    const Lanes t{pairOf(lt.b0, ht.b0),
                  pairOf(lt.b1, ht.b1),
                  pairOf(lt.b2, ht.b2),
                  pairOf(lt.a1, ht.a1),
                  pairOf(lt.a2, ht.a2),
                  {},
                  {},
                  {},
                  {}};
    const __m256d rate = _mm256_set1_pd(in.glideRate);
    const __m256d tilt = _mm256_setr_pd(in.tiltLeft, in.tiltRight, 0.0, 0.0);
    const double* h = in.noise;
    const int n = in.n;

    // Frame 0: the low shelf alone (the high lanes keep their state).
    const Lanes before = s;
    __m256d y =
        step(s, t, rate, _mm256_mul_pd(_mm256_setr_pd(in.sideL[0], in.sideR[0], 0, 0), tilt),
             _mm256_set1_pd(h[0]));
    s = keepLanes(s, before, 0xC);
    for (int i = 1; i < n; ++i) {
        // Low input: frame i after the tilt; high input: the low shelf's output of frame i - 1.
        const __m256d x =
            _mm256_add_pd(_mm256_mul_pd(_mm256_setr_pd(in.sideL[i], in.sideR[i], 0, 0), tilt),
                          _mm256_permute2f128_pd(y, y, 0x08));  // (0, 0, y0, y1)
        y = step(s, t, rate, x, _mm256_setr_pd(h[i], h[i], h[i - 1], h[i - 1]));
        link.frame(_mm256_extractf128_pd(y, 1), eqL, eqR, linkL, linkR, i - 1);
    }
    // The high shelf alone on the last frame (the low lanes keep their state).
    const Lanes lowDone = s;
    y = step(s, t, rate, _mm256_permute2f128_pd(y, y, 0x08), _mm256_set1_pd(h[n - 1]));
    s = keepLanes(s, lowDone, 0x3);
    link.frame(_mm256_extractf128_pd(y, 1), eqL, eqR, linkL, linkR, n - 1);
    _mm_storeu_pd(state.x1[2], link.x1);
    _mm_storeu_pd(state.x2[2], link.x2);
    _mm_storeu_pd(state.y1[2], link.y1);
    _mm_storeu_pd(state.y2[2], link.y2);
    state.bandOffset = link.offset;

    alignas(32) double b[5][4];
    _mm256_storeu_pd(b[0], s.b0);
    _mm256_storeu_pd(b[1], s.b1);
    _mm256_storeu_pd(b[2], s.b2);
    _mm256_storeu_pd(b[3], s.a1);
    _mm256_storeu_pd(b[4], s.a2);
    for (int f = 0; f < 2; ++f) {
        state.current[f].b0 = b[0][2 * f];
        state.current[f].b1 = b[1][2 * f];
        state.current[f].b2 = b[2][2 * f];
        state.current[f].a1 = b[3][2 * f];
        state.current[f].a2 = b[4][2 * f];
    }
    split(s.x1, state.x1[0], state.x1[1]);
    split(s.x2, state.x2[0], state.x2[1]);
    split(s.y1, state.y1[0], state.y1[1]);
    split(s.y2, state.y2[0], state.y2[1]);
}

}  // namespace grandpress
