// AVX2+FMA build of the gain computer's chunk envelopes (compiled with -mavx2 -mfma; called only
// on processors that have both). One 256-bit vector holds the fast and the slow level average
// of both channels (lanes: fast L, fast R, slow L, slow R), so one biquad step serves all four;
// both channels' envelopes share one 128-bit vector. The auto factors 2a/(a + 1) + 0.1 with
// a = q f/s are taken as 2q f/(q f + s) + 0.1: one division for attack and release together.
// Nothing here is shared with the baseline build: everything but the entry function is in the
// anonymous namespace.
#include <immintrin.h>

#include "grandpress/EnvelopeKernel.h"

namespace grandpress {
namespace {

// The detector levels of S.C.Monit.
alignas(32) constexpr double kSilence[kChunk2x] = {};

__m256d pairOf(double low, double high) {
    return _mm256_setr_pd(low, low, high, high);
}

__m256d join(StereoPair low, StereoPair high) {
    return _mm256_set_m128d(static_cast<__m128d>(high), static_cast<__m128d>(low));
}

StereoPair lowOf(__m256d v) {
    return static_cast<StereoPair>(_mm256_castpd256_pd128(v));
}

StereoPair highOf(__m256d v) {
    return static_cast<StereoPair>(_mm256_extractf128_pd(v, 1));
}

template <bool Rms, bool AutoAttack, bool AutoRelease>
void run(const EnvelopeLaw& law, double env[2], PlainPair& fast, PlainPair& slow, const double* dL,
         const double* dR, int n, double* level) {
    const __m256d b0 = pairOf(law.fast.b0, law.slow.b0);
    const __m256d b1 = pairOf(law.fast.b1, law.slow.b1);
    const __m256d b2 = pairOf(law.fast.b2, law.slow.b2);
    const __m256d a1 = pairOf(law.fast.a1, law.slow.a1);
    const __m256d a2 = pairOf(law.fast.a2, law.slow.a2);
    __m256d x1 = join(fast.m.x1, slow.m.x1), x2 = join(fast.m.x2, slow.m.x2);
    __m256d y1 = join(fast.m.y1, slow.m.y1), y2 = join(fast.m.y2, slow.m.y2);
    // Both averages' alternating offsets run in step.
    __m256d offset = _mm256_set1_pd(fast.offset);
    const __m256d sign = _mm256_set1_pd(-0.0);

    const __m256d averageFloor = _mm256_set1_pd(1e-6);
    const __m256d twiceQ = _mm256_setr_pd(0.2, 0.2, 0.3, 0.3);
    const __m256d q = _mm256_setr_pd(0.1, 0.1, 0.15, 0.15);
    const __m256d base = _mm256_setr_pd(law.attack, law.attack, law.release, law.release);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d tenth = _mm256_set1_pd(0.1);
    const __m128d envelopeFloor = _mm_set1_pd(kEnvelopeFloor);
    __m128d kUp = _mm_set1_pd(law.attack), kDown = _mm_set1_pd(law.release);
    __m128d upKeep = _mm_sub_pd(_mm_set1_pd(1.0), kUp);
    __m128d downKeep = _mm_sub_pd(_mm_set1_pd(1.0), kDown);
    __m128d e = _mm_loadu_pd(env);

    // One frame with the offsets before and after its flip. Frames go in pairs, so the offsets
    // are constants and the memories move on without copies.
    const __m256d plus = offset, minus = _mm256_xor_pd(offset, sign);
    const auto frame = [&](int i, __m256d before, __m256d after) {
        __m128d x = _mm_setr_pd(dL[i], dR[i]);
        if (Rms) x = _mm_mul_pd(x, x);
        const __m256d xo = _mm256_add_pd(_mm256_set_m128d(x, x), after);
        // The feed-forward terms first, the recursive ones last (the shortest path from y1).
        __m256d y = _mm256_mul_pd(b0, xo);
        y = _mm256_fmadd_pd(b1, x1, y);
        y = _mm256_fmadd_pd(b2, x2, y);
        y = _mm256_fnmadd_pd(a2, y2, y);
        y = _mm256_fnmadd_pd(a1, y1, y);
        x2 = x1;
        x1 = xo;
        y2 = y1;
        y1 = _mm256_add_pd(y, before);
        if (AutoAttack || AutoRelease) {
            const __m256d v = _mm256_max_pd(y, averageFloor);
            const __m256d f = _mm256_permute2f128_pd(v, v, 0x00);  // fast L, R, L, R
            const __m256d s = _mm256_permute2f128_pd(v, v, 0x11);  // slow L, R, L, R
            const __m256d ratio = _mm256_div_pd(_mm256_mul_pd(twiceQ, f), _mm256_fmadd_pd(q, f, s));
            const __m256d k = _mm256_mul_pd(base, _mm256_add_pd(ratio, tenth));
            const __m256d keep = _mm256_sub_pd(one, k);
            if (AutoAttack) {
                kUp = _mm256_castpd256_pd128(k);
                upKeep = _mm256_castpd256_pd128(keep);
            }
            if (AutoRelease) {
                kDown = _mm256_extractf128_pd(k, 1);
                downKeep = _mm256_extractf128_pd(keep, 1);
            }
        }
        const __m128d up = _mm_fmadd_pd(e, upKeep, _mm_mul_pd(x, kUp));
        const __m128d down = _mm_fmadd_pd(e, downKeep, _mm_mul_pd(x, kDown));
        e = _mm_blendv_pd(down, up, _mm_cmpgt_pd(x, e));
        e = _mm_max_pd(e, envelopeFloor);  // the floor also where e is not a number
        const __m128d out = Rms ? _mm_sqrt_pd(e) : e;
        _mm_storel_pd(level + i, out);
        _mm_storeh_pd(level + n + i, out);
    };
    int i = 0;
    for (; i + 1 < n; i += 2) {
        frame(i, plus, minus);
        frame(i + 1, minus, plus);
    }
    if (i < n) {
        frame(i, plus, minus);
        offset = minus;
    }
    _mm_storeu_pd(env, e);
    fast.m.x1 = lowOf(x1);
    fast.m.x2 = lowOf(x2);
    fast.m.y1 = lowOf(y1);
    fast.m.y2 = lowOf(y2);
    slow.m.x1 = highOf(x1);
    slow.m.x2 = highOf(x2);
    slow.m.y1 = highOf(y1);
    slow.m.y2 = highOf(y2);
    fast.offset = slow.offset = _mm256_cvtsd_f64(offset);
}

}  // namespace

void envelopeLevelsAvx2(const EnvelopeLaw& law, double env[2], PlainPair& fast, PlainPair& slow,
                        const double* dL, const double* dR, int n, double* level) noexcept {
    if (dL == nullptr) dL = kSilence;
    if (dR == nullptr) dR = kSilence;
    // One loop per switch setting, indexed by RMS (1), auto attack (2) and auto release (4).
    using Loop = void (*)(const EnvelopeLaw&, double*, PlainPair&, PlainPair&, const double*,
                          const double*, int, double*);
    static constexpr Loop kLoops[8] = {run<false, false, false>, run<true, false, false>,
                                       run<false, true, false>,  run<true, true, false>,
                                       run<false, false, true>,  run<true, false, true>,
                                       run<false, true, true>,   run<true, true, true>};
    const int which = (law.rms ? 1 : 0) | (law.autoAttack ? 2 : 0) | (law.autoRelease ? 4 : 0);
    kLoops[which](law, env, fast, slow, dL, dR, n, level);
}

}  // namespace grandpress
