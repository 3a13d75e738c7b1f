// The bodies of the meters' chunk feeds (MeterKernels.h), included by exactly one source file
// per instruction set. Everything here has internal linkage, so each build keeps its own code.
#pragma once

#include <immintrin.h>

#include "grandpress/MeterKernels.h"

namespace grandpress {
namespace {

// Both channels' values in one register: left in the low lane, right in the high one.
inline __m128d pairOf(double left, double right) noexcept {
    return _mm_set_pd(right, left);
}
// a where mask is set, else b.
inline __m128d pick(__m128d mask, __m128d a, __m128d b) noexcept {
#ifdef __AVX__
    return _mm_blendv_pd(b, a, mask);
#else
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
#endif
}

// What the chunk feeds carry through their recursions, both channels side by side.
struct PairState {
    __m128d vu, ppm, vuHeld, ppmHeld;
    __m128d vuTaken = _mm_setzero_pd(), ppmTaken = _mm_setzero_pd();  // a hold was taken
};

// A gain reading's hold: new reduction below the held value (down to 0.01), new expansion above
// both the held value and 1 (holdGainExtremes' rule, both channels at once).
inline void holdGainPair(__m128d value, __m128d& held, __m128d& taken) noexcept {
    const __m128d up = _mm_cmpgt_pd(value, _mm_max_pd(held, _mm_set1_pd(1.0)));
    const __m128d down =
        _mm_and_pd(_mm_cmplt_pd(value, held), _mm_cmpgt_pd(value, _mm_set1_pd(0.01)));
    const __m128d take = _mm_or_pd(up, down);
    held = pick(take, value, held);
    taken = _mm_or_pd(taken, take);
}

// Where the gain loops leave a chunk's readings: each stored for the holds, and their extremes.
struct GainReadingsOut {
    double (*vuOut)[2];
    double (*ppmOut)[2];
    __m128d vuLow = _mm_set1_pd(1e300), vuHigh = _mm_set1_pd(-1e300);
    __m128d ppmLow = _mm_set1_pd(1e300), ppmHigh = _mm_set1_pd(-1e300);

    [[gnu::always_inline]] inline void take(int i, __m128d vu, __m128d ppm) noexcept {
        _mm_store_pd(vuOut[i], vu);
        _mm_store_pd(ppmOut[i], ppm);
        vuLow = _mm_min_pd(vuLow, vu);
        vuHigh = _mm_max_pd(vuHigh, vu);
        ppmLow = _mm_min_pd(ppmLow, ppm);
        ppmHigh = _mm_max_pd(ppmHigh, ppm);
    }
    // The needles' ends into p, the extremes (VU, PPM) into low and high.
    void finish(PairState& p, __m128d vu, __m128d ppm, __m128d low[2],
                __m128d high[2]) const noexcept {
        p.vu = vu;
        p.ppm = ppm;
        low[0] = vuLow;
        high[0] = vuHigh;
        low[1] = ppmLow;
        high[1] = ppmHigh;
    }
};

// The gain meter's reading of one frame, both channels at once.
struct GainReading {
    __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    __m128d scale = _mm_set1_pd(kGainMeterScale), one = _mm_set1_pd(1.0);
    __m128d mixAmount, limiter;

    explicit GainReading(const MeterCoefficients& in) noexcept
        : mixAmount(_mm_set1_pd(in.mix)), limiter(_mm_set1_pd(in.limiterGain)) {}

    [[gnu::always_inline]] inline __m128d operator()(double left, double right) const noexcept {
        const __m128d scaled = _mm_mul_pd(pairOf(left, right), scale);
        const __m128d a =
            _mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_and_pd(scaled, magnitude), one), mixAmount), one);
        return _mm_mul_pd(a, limiter);
    }
};

// The gain meter's integrators (VU, PPM) of both channels: one frame on a reading and its noise.
template <bool Expanding>
struct GainIntegrators {
    __m128d vuRate, backRate, fallRate, kVu, kBack, kFall;

    explicit GainIntegrators(const MeterCoefficients& in) noexcept
        : vuRate(_mm_set1_pd(in.vuRate)),
          backRate(_mm_set1_pd(in.backRate)),
          fallRate(_mm_set1_pd(in.attackRate)),
          kVu(_mm_set1_pd(in.keepVu)),
          kBack(_mm_set1_pd(in.keepBack)),
          kFall(_mm_set1_pd(in.keepAttack)) {}

    [[gnu::always_inline]] inline void step(__m128d value, __m128d nz, __m128d& vu,
                                            __m128d& ppm) const noexcept {
        vu = _mm_add_pd(_mm_mul_pd(vu, kVu), _mm_add_pd(_mm_mul_pd(vuRate, value), nz));
        // Compression: fall with the attack, recover with the return; expansion the other way.
        const __m128d attack = Expanding ? _mm_cmpgt_pd(value, ppm) : _mm_cmplt_pd(value, ppm);
        const __m128d back =
            _mm_add_pd(_mm_mul_pd(ppm, kBack), _mm_add_pd(_mm_mul_pd(backRate, value), nz));
        const __m128d fall =
            _mm_add_pd(_mm_mul_pd(ppm, kFall), _mm_add_pd(_mm_mul_pd(fallRate, value), nz));
        ppm = pick(attack, fall, back);
    }
};

// The gain meter over a chunk: readings, integrators and their extremes (low and high: VU,
// PPM); the readings go to vuOut and ppmOut for the holds.
template <bool Expanding>
void gainReadings(PairState& p, const MeterCoefficients& in, const double* gainLeft,
                  const double* gainRight, int n, const double* noise, int noiseShift,
                  double (*vuOut)[2], double (*ppmOut)[2], __m128d low[2],
                  __m128d high[2]) noexcept {
    const GainReading reading(in);
    const GainIntegrators<Expanding> integrators(in);
    __m128d vu = p.vu, ppm = p.ppm;
    GainReadingsOut out{vuOut, ppmOut};
    for (int i = 0; i < n; ++i) {
        const __m128d nz = _mm_set1_pd(noise[i >> noiseShift]);
        integrators.step(reading(gainLeft[i], gainRight[i]), nz, vu, ppm);
        out.take(i, vu, ppm);
    }
    out.finish(p, vu, ppm, low, high);
}

#ifdef __AVX2__
// The readings of gainReadings, two frames per 256-bit vector in a pass of their own: each frame's
// pair (left, right), by the same operations in the same order as the frame-by-frame loop (so
// the same values).
void gainValues(const MeterCoefficients& in, const double* gainLeft, const double* gainRight, int n,
                double (*value)[2]) noexcept {
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d scale = _mm256_set1_pd(kGainMeterScale), one = _mm256_set1_pd(1.0);
    const __m256d mixAmount = _mm256_set1_pd(in.mix), limiter = _mm256_set1_pd(in.limiterGain);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        // Frames i and i + 1 as (left, right, left, right).
        const __m128d l = _mm_loadu_pd(gainLeft + i), r = _mm_loadu_pd(gainRight + i);
        const __m256d g = _mm256_set_m128d(_mm_unpackhi_pd(l, r), _mm_unpacklo_pd(l, r));
        const __m256d scaled = _mm256_mul_pd(g, scale);
        const __m256d a = _mm256_add_pd(
            _mm256_mul_pd(_mm256_sub_pd(_mm256_and_pd(scaled, magnitude), one), mixAmount), one);
        _mm256_store_pd(value[i], _mm256_mul_pd(a, limiter));
    }
    if (i < n) _mm_store_pd(value[i], GainReading(in)(gainLeft[i], gainRight[i]));
}

// gainReadings with the readings taken from gainValues. The terms rate * reading + noise are
// left to this loop, where they fit beside the recursions' chain: a pass of their own would store
// three times as much.
template <bool Expanding>
void gainRecursions(PairState& p, const MeterCoefficients& in, const double (*values)[2], int n,
                    const double* noise, int noiseShift, double (*vuOut)[2], double (*ppmOut)[2],
                    __m128d low[2], __m128d high[2]) noexcept {
    const GainIntegrators<Expanding> integrators(in);
    __m128d vu = p.vu, ppm = p.ppm;
    GainReadingsOut out{vuOut, ppmOut};
    for (int i = 0; i < n; ++i) {
        const __m128d nz = _mm_loaddup_pd(noise + (i >> noiseShift));
        integrators.step(_mm_load_pd(values[i]), nz, vu, ppm);
        out.take(i, vu, ppm);
    }
    out.finish(p, vu, ppm, low, high);
}
#endif

// The gain holds over a needle's readings, whose extremes are low and high. With every reading
// inside (0.01, 1] none is new expansion, and each one below the held value is taken: the held
// value ends as the lowest of them and itself, taken if that is lower. Otherwise the readings are
// held frame by frame.
void holdGainReadings(const double (*value)[2], int n, __m128d low, __m128d high, __m128d& held,
                      __m128d& taken) noexcept {
    const __m128d outside =
        _mm_or_pd(_mm_cmpgt_pd(high, _mm_set1_pd(1.0)), _mm_cmple_pd(low, _mm_set1_pd(0.01)));
    if (_mm_movemask_pd(outside) == 0) {
        taken = _mm_or_pd(taken, _mm_cmplt_pd(low, held));
        held = _mm_min_pd(low, held);
        return;
    }
    for (int i = 0; i < n; ++i) holdGainPair(_mm_load_pd(value[i]), held, taken);
}

inline PairState loadPairs(const MeterPairs& pairs) noexcept {
    PairState p;
    p.vu = _mm_loadu_pd(pairs.vu);
    p.ppm = _mm_loadu_pd(pairs.ppm);
    p.vuHeld = _mm_loadu_pd(pairs.vuHeld);
    p.ppmHeld = _mm_loadu_pd(pairs.ppmHeld);
    return p;
}
inline void storePairs(const PairState& p, MeterPairs& pairs) noexcept {
    _mm_storeu_pd(pairs.vu, p.vu);
    _mm_storeu_pd(pairs.ppm, p.ppm);
    _mm_storeu_pd(pairs.vuHeld, p.vuHeld);
    _mm_storeu_pd(pairs.ppmHeld, p.ppmHeld);
    pairs.vuTakes = _mm_movemask_pd(p.vuTaken);
    pairs.ppmTakes = _mm_movemask_pd(p.ppmTaken);
}

// The chunk feeds: both channels at once, the sums of the frame-by-frame feeds term by term;
// the holds and over runs from the chunk's extremes where those decide alone.

void signalsKernel(MeterPairs& pairs, const MeterCoefficients& in, const double* left,
                   const double* right, int n, const double* noise, int noiseStep) noexcept {
    alignas(16) double mag[128][2];
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const __m128d vuRate = _mm_set1_pd(in.vuRate), vuScale = _mm_set1_pd(kVuScale);
    const __m128d reference = _mm_set1_pd(in.inverseReference);
    const __m128d backRate = _mm_set1_pd(in.backRate), riseRate = _mm_set1_pd(in.attackRate);
    const __m128d kVu = _mm_set1_pd(in.keepVu), kBack = _mm_set1_pd(in.keepBack);
    const __m128d kRise = _mm_set1_pd(in.keepAttack);
    const __m128d one = _mm_set1_pd(1.0);
    __m128d anyOver = _mm_setzero_pd();
    PairState p = loadPairs(pairs);
    __m128d vu = p.vu, ppm = p.ppm, vuHigh = p.vuHeld, ppmHigh = p.ppmHeld;
    for (int i = 0; i < n; ++i) {
        const __m128d nz = _mm_set1_pd(noise[i * noiseStep]);
        const __m128d a = _mm_and_pd(pairOf(left[i], right[i]), magnitude);
        _mm_store_pd(mag[i], a);
        anyOver = _mm_or_pd(anyOver, _mm_cmpge_pd(a, one));
        // The VU, and the PPM rising with the attack, falling with the return.
        const __m128d vuIn =
            _mm_add_pd(_mm_mul_pd(vuRate, _mm_mul_pd(_mm_mul_pd(a, vuScale), reference)), nz);
        vu = _mm_add_pd(_mm_mul_pd(vu, kVu), vuIn);
        const __m128d back =
            _mm_add_pd(_mm_mul_pd(ppm, kBack), _mm_add_pd(_mm_mul_pd(backRate, a), nz));
        const __m128d rise =
            _mm_add_pd(_mm_mul_pd(ppm, kRise), _mm_add_pd(_mm_mul_pd(riseRate, a), nz));
        ppm = pick(_mm_cmpgt_pd(a, ppm), rise, back);
        // The holds keep the highest reading (frame by frame the same: each new high is taken).
        vuHigh = _mm_max_pd(vu, vuHigh);
        ppmHigh = _mm_max_pd(ppm, ppmHigh);
    }
    // Over runs: a full-scale sample extends the run; anything else ends a run short of the
    // lamp. Without a full-scale sample in the chunk that is one step, however long the chunk.
    __m128d overs = _mm_loadu_pd(pairs.overs);
    const __m128d overRun = _mm_set1_pd(in.overSamples);
    if (_mm_movemask_pd(anyOver) != 0) {
        for (int i = 0; i < n; ++i) {
            const __m128d shortRunEnds = _mm_andnot_pd(_mm_cmplt_pd(overs, overRun), overs);
            overs =
                pick(_mm_cmpge_pd(_mm_load_pd(mag[i]), one), _mm_add_pd(overs, one), shortRunEnds);
        }
    } else if (n > 0) {
        overs = _mm_andnot_pd(_mm_cmplt_pd(overs, overRun), overs);
    }
    // Each new high was taken: the held value rose.
    p.vuTaken = _mm_cmpgt_pd(vuHigh, p.vuHeld);
    p.ppmTaken = _mm_cmpgt_pd(ppmHigh, p.ppmHeld);
    p.vu = vu;
    p.ppm = ppm;
    p.vuHeld = vuHigh;
    p.ppmHeld = ppmHigh;
    storePairs(p, pairs);
    _mm_storeu_pd(pairs.overs, overs);
}

void gainsKernel(MeterPairs& pairs, const MeterCoefficients& in, const double* gainLeft,
                 const double* gainRight, int n, const double* noise, int noiseShift) noexcept {
    alignas(16) double vuReadings[128][2], ppmReadings[128][2];
    PairState p = loadPairs(pairs);
    __m128d low[2], high[2];
#ifdef __AVX2__
    // With 256-bit vectors the readings take half the instructions in a pass of their own.
    alignas(32) double values[128][2];
    gainValues(in, gainLeft, gainRight, n, values);
    if (in.expanding)
        gainRecursions<true>(p, in, values, n, noise, noiseShift, vuReadings, ppmReadings, low,
                             high);
    else
        gainRecursions<false>(p, in, values, n, noise, noiseShift, vuReadings, ppmReadings, low,
                              high);
#else
    if (in.expanding)
        gainReadings<true>(p, in, gainLeft, gainRight, n, noise, noiseShift, vuReadings,
                           ppmReadings, low, high);
    else
        gainReadings<false>(p, in, gainLeft, gainRight, n, noise, noiseShift, vuReadings,
                            ppmReadings, low, high);
#endif
    holdGainReadings(vuReadings, n, low[0], high[0], p.vuHeld, p.vuTaken);
    holdGainReadings(ppmReadings, n, low[1], high[1], p.ppmHeld, p.ppmTaken);
    storePairs(p, pairs);
}

}  // namespace
}  // namespace grandpress
