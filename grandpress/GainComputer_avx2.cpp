// AVX2+FMA build of the gain computer's chunk envelopes (compiled with -mavx2 -mfma; called only
// on processors that have both). One 256-bit vector holds the fast and the slow level average
// of both channels (lanes: fast L, fast R, slow L, slow R), so one biquad step serves all four;
// both channels' envelopes share one 128-bit vector. The auto factors 2a/(a + 1) + 0.1 with
// a = q f/s are taken as 2q f/(q f + s) + 0.1: one division for attack and release together.
// Nothing here is shared with the baseline build: everything but the entry function is in the
// anonymous namespace.
#include <immintrin.h>

#include <cmath>

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

// The four level averages: coefficients, memories and the alternating offset. Each step's output
// is kept as it is (`carry`) and a1 times the offset the step adds to its memory goes into the
// next step's feed-forward sum (`pending`): only a1 * carry is on the recursion.
struct Averages {
    __m256d b0, b1, b2, a1, a2;
    __m256d x1, x2, y1, y2;
    __m256d offset;
    __m256d carry, pending;

    Averages(const EnvelopeLaw& law, const PlainPair& fast, const PlainPair& slow)
        : b0(pairOf(law.fast.b0, law.slow.b0)),
          b1(pairOf(law.fast.b1, law.slow.b1)),
          b2(pairOf(law.fast.b2, law.slow.b2)),
          a1(pairOf(law.fast.a1, law.slow.a1)),
          a2(pairOf(law.fast.a2, law.slow.a2)),
          x1(join(fast.m.x1, slow.m.x1)),
          x2(join(fast.m.x2, slow.m.x2)),
          y1(join(fast.m.y1, slow.m.y1)),
          y2(join(fast.m.y2, slow.m.y2)),
          offset(_mm256_set1_pd(fast.offset)),  // both offsets run in step
          carry(y1),
          pending(_mm256_setzero_pd()) {}

    void store(PlainPair& fast, PlainPair& slow) const {
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

    // One step on x (left, right) with the offset before and after its flip (a1Before: a1 times
    // `before`): fast L, R, slow L, R.
    [[gnu::always_inline]] __m256d step(__m128d x, __m256d before, __m256d after,
                                        __m256d a1Before) {
        const __m256d xo = _mm256_add_pd(_mm256_set_m128d(x, x), after);
        __m256d sum = _mm256_mul_pd(b0, xo);
        sum = _mm256_fmadd_pd(b1, x1, sum);
        sum = _mm256_fmadd_pd(b2, x2, sum);
        sum = _mm256_fnmadd_pd(a2, y2, sum);
        const __m256d y = _mm256_fnmadd_pd(a1, carry, _mm256_sub_pd(sum, pending));
        x2 = x1;
        x1 = xo;
        y2 = y1;
        y1 = _mm256_add_pd(y, before);
        carry = y;
        pending = a1Before;
        return y;
    }
};

// Runs frame(i, averagesOf) for i in [0, n), where averagesOf(x) takes frame i's step of the
// averages, and flips the averages' offset n times. Frames go in pairs, so the offsets are
// constants and the memories move on without copies.
template <typename Frame>
[[gnu::always_inline]] inline void inPairs(Averages& av, int n, Frame frame) {
    const __m256d plus = av.offset, minus = _mm256_xor_pd(plus, _mm256_set1_pd(-0.0));
    const __m256d a1Plus = _mm256_mul_pd(av.a1, plus), a1Minus = _mm256_mul_pd(av.a1, minus);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        frame(i, [&](__m128d x) { return av.step(x, plus, minus, a1Plus); });
        frame(i + 1, [&](__m128d x) { return av.step(x, minus, plus, a1Minus); });
    }
    if (i < n) {
        frame(i, [&](__m128d x) { return av.step(x, plus, minus, a1Plus); });
        av.offset = minus;
    }
}

// The floored averages v (fast L, R, slow L, R) -> the auto factors 2a/(a + 1) + 0.1 of the
// attack (a = 0.1 f/s, low half) and of the release (a = 0.15 f/s, high half).
[[gnu::always_inline]] inline __m256d autoFactors(__m256d v) {
    const __m256d f = _mm256_permute2f128_pd(v, v, 0x00);  // fast L, R, L, R
    const __m256d s = _mm256_permute2f128_pd(v, v, 0x11);  // slow L, R, L, R
    const __m256d twiceQ = _mm256_setr_pd(0.2, 0.2, 0.3, 0.3);
    const __m256d q = _mm256_setr_pd(0.1, 0.1, 0.15, 0.15);
    const __m256d ratio = _mm256_div_pd(_mm256_mul_pd(twiceQ, f), _mm256_fmadd_pd(q, f, s));
    return _mm256_add_pd(ratio, _mm256_set1_pd(0.1));
}

[[gnu::always_inline]] inline __m128d lowHalf(__m256d v) {
    return _mm256_castpd256_pd128(v);
}

[[gnu::always_inline]] inline __m128d highHalf(__m256d v) {
    return _mm256_extractf128_pd(v, 1);
}

// The envelope level of e into level[i] and level[n + i].
template <bool Rms>
[[gnu::always_inline]] inline void storeLevel(__m128d e, double* level, int n, int i) {
    const __m128d out = Rms ? _mm_sqrt_pd(e) : e;
    _mm_storel_pd(level + i, out);
    _mm_storeh_pd(level + n + i, out);
}

// Attack and release steps e + (x - e) k, taken as e (1 - k) + x k, the one that applies.
template <bool Rms, bool AutoAttack, bool AutoRelease>
void plainLaw(const EnvelopeLaw& law, double env[2], PlainPair& fast, PlainPair& slow,
              const double* dL, const double* dR, int n, double* level) {
    Averages av(law, fast, slow);
    const __m256d averageFloor = _mm256_set1_pd(1e-6);
    const __m256d base = _mm256_setr_pd(law.attack, law.attack, law.release, law.release);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m128d envelopeFloor = _mm_set1_pd(kEnvelopeFloor);
    __m128d kUp = _mm_set1_pd(law.attack), kDown = _mm_set1_pd(law.release);
    __m128d upKeep = _mm_sub_pd(_mm_set1_pd(1.0), kUp);
    __m128d downKeep = _mm_sub_pd(_mm_set1_pd(1.0), kDown);
    __m128d e = _mm_loadu_pd(env);
    inPairs(av, n, [&](int i, auto averagesOf) {
        __m128d x = _mm_setr_pd(dL[i], dR[i]);
        if (Rms) x = _mm_mul_pd(x, x);
        const __m256d y = averagesOf(x);
        if (AutoAttack || AutoRelease) {
            const __m256d k = _mm256_mul_pd(base, autoFactors(_mm256_max_pd(y, averageFloor)));
            const __m256d keep = _mm256_sub_pd(one, k);
            if (AutoAttack) {
                kUp = lowHalf(k);
                upKeep = lowHalf(keep);
            }
            if (AutoRelease) {
                kDown = highHalf(k);
                downKeep = highHalf(keep);
            }
        }
        const __m128d up = _mm_fmadd_pd(e, upKeep, _mm_mul_pd(x, kUp));
        const __m128d down = _mm_fmadd_pd(e, downKeep, _mm_mul_pd(x, kDown));
        e = _mm_blendv_pd(down, up, _mm_cmpgt_pd(x, e));
        e = _mm_max_pd(e, envelopeFloor);  // the floor also where e is not a number
        storeLevel<Rms>(e, level, n, i);
    });
    _mm_storeu_pd(env, e);
    av.store(fast, slow);
}

// The "Classic" law: the attack step where the level rises, then always a release step towards
// floor + (1 - floor) x, its coefficient raised to the release shape's power at the index the
// fast average gives (in single precision, as the baseline computes it).
template <bool Rms, bool AutoAttack, bool AutoRelease>
void classicLaw(const EnvelopeLaw& law, double env[2], PlainPair& fast, PlainPair& slow,
                const double* dL, const double* dR, int n, double* level) {
    Averages av(law, fast, slow);
    const __m256d averageFloor = _mm256_set1_pd(1e-6);
    const __m128d envelopeFloor = _mm_set1_pd(kEnvelopeFloor);
    const __m128d attack = _mm_set1_pd(law.attack);
    const __m128d floor = _mm_set1_pd(law.classicFloor);
    const __m128d rise = _mm_set1_pd(1.0 - law.classicFloor);
    const __m128 three = _mm_set1_ps(3.0f), shapeScale = _mm_set1_ps(1.2f),
                 half = _mm_set1_ps(0.5f);
    const __m128i last = _mm_set1_epi32(kReleaseShapeEntries - 1), first = _mm_setzero_si128();
    const ReleasePowers powers = law.powers;
    const double coefficient = law.release;
    const auto power = [&](int k) {
        if (powers.keptIn[k] != powers.generation) {
            powers.kept[k] = std::pow(coefficient, static_cast<double>(powers.shape[k]));
            powers.keptIn[k] = powers.generation;
        }
        return powers.kept[k];
    };
    __m128d e = _mm_loadu_pd(env);
    inPairs(av, n, [&](int i, auto averagesOf) {
        __m128d x = _mm_setr_pd(dL[i], dR[i]);
        if (Rms) x = _mm_mul_pd(x, x);
        const __m256d v = _mm256_max_pd(averagesOf(x), averageFloor);
        __m256d factors = _mm256_setzero_pd();
        if (AutoAttack || AutoRelease) factors = autoFactors(v);
        __m128d up = _mm_mul_pd(_mm_sub_pd(x, e), attack);
        if (AutoAttack) up = _mm_mul_pd(up, lowHalf(factors));
        e = _mm_blendv_pd(e, _mm_add_pd(e, up), _mm_cmpgt_pd(x, e));
        // Index (3 + f) / (1.2 f) + 0.5, truncated and clamped.
        const __m128 f = _mm_cvtpd_ps(lowHalf(v));
        const __m128 at =
            _mm_add_ps(_mm_div_ps(_mm_add_ps(three, f), _mm_mul_ps(shapeScale, f)), half);
        const __m128i k = _mm_min_epi32(_mm_max_epi32(_mm_cvttps_epi32(at), first), last);
        const __m128d exponent =
            _mm_setr_pd(power(_mm_cvtsi128_si32(k)), power(_mm_extract_epi32(k, 1)));
        const __m128d target = _mm_add_pd(floor, _mm_mul_pd(rise, x));
        __m128d down = _mm_mul_pd(_mm_sub_pd(target, e), exponent);
        if (AutoRelease) down = _mm_mul_pd(down, highHalf(factors));
        e = _mm_max_pd(_mm_add_pd(e, down), envelopeFloor);
        storeLevel<Rms>(e, level, n, i);
    });
    _mm_storeu_pd(env, e);
    av.store(fast, slow);
}

using Loop = void (*)(const EnvelopeLaw&, double*, PlainPair&, PlainPair&, const double*,
                      const double*, int, double*);

// One loop per law, indexed by RMS (1), auto attack (2), auto release (4) and "Classic" (8).
constexpr Loop kLoops[16] = {
    plainLaw<false, false, false>,  plainLaw<true, false, false>,   plainLaw<false, true, false>,
    plainLaw<true, true, false>,    plainLaw<false, false, true>,   plainLaw<true, false, true>,
    plainLaw<false, true, true>,    plainLaw<true, true, true>,     classicLaw<false, false, false>,
    classicLaw<true, false, false>, classicLaw<false, true, false>, classicLaw<true, true, false>,
    classicLaw<false, false, true>, classicLaw<true, false, true>,  classicLaw<false, true, true>,
    classicLaw<true, true, true>};

}  // namespace

void envelopeLevelsAvx2(const EnvelopeLaw& law, double env[2], PlainPair& fast, PlainPair& slow,
                        const double* dL, const double* dR, int n, double* level) noexcept {
    if (dL == nullptr) dL = kSilence;
    if (dR == nullptr) dR = kSilence;
    const int which = (law.rms ? 1 : 0) | (law.autoAttack ? 2 : 0) | (law.autoRelease ? 4 : 0) |
                      (law.classic ? 8 : 0);
    kLoops[which](law, env, fast, slow, dL, dR, n, level);
}

}  // namespace grandpress
