// The meters' chunk feeds (MeterKernels.h), each one template on the xsimd architecture
// (KernelLanes.h): both channels side by side in a pair, left in the low lane. Instantiated by
// the engine's kernel tables (Kernels.cpp, Kernels_avx2.cpp). Every build does the same
// operations in the same order as the frame-by-frame feeds (MeterState), so every build gives
// their values bit for bit.
#pragma once

#include "dsp/Followers.h"
#include "grandpress/KernelLanes.h"
#include "grandpress/MeterKernels.h"

namespace grandpress {
namespace {

// What the chunk feeds carry through their recursions, both channels side by side.
template <class Arch>
struct PairState {
    Pair<Arch> vu, ppm, vuHeld, ppmHeld;
    // Lanes where a hold was taken.
    PairMask<Arch> vuTaken = PairMask<Arch>(false), ppmTaken = PairMask<Arch>(false);

    explicit PairState(const MeterPairs& pairs) noexcept
        : vu(Pair<Arch>::load_unaligned(pairs.vu)),
          ppm(Pair<Arch>::load_unaligned(pairs.ppm)),
          vuHeld(Pair<Arch>::load_unaligned(pairs.vuHeld)),
          ppmHeld(Pair<Arch>::load_unaligned(pairs.ppmHeld)) {}

    void storeTo(MeterPairs& pairs) const noexcept {
        vu.store_unaligned(pairs.vu);
        ppm.store_unaligned(pairs.ppm);
        vuHeld.store_unaligned(pairs.vuHeld);
        ppmHeld.store_unaligned(pairs.ppmHeld);
        pairs.vuTakes = maskBits(vuTaken);
        pairs.ppmTakes = maskBits(ppmTaken);
    }
};

// A gain reading's hold: new reduction below the held value (down to 0.01), new expansion above
// both the held value and 1 (holdGainExtremes' rule, both channels at once).
template <class Arch>
[[gnu::always_inline]] inline void holdGainPair(const Pair<Arch>& value, Pair<Arch>& held,
                                                PairMask<Arch>& taken) noexcept {
    using P = Pair<Arch>;
    const PairMask<Arch> up = value > xsimd::max(held, P(1.0));
    const PairMask<Arch> down = (value < held) & (value > P(0.01));
    const PairMask<Arch> take = up | down;
    held = xsimd::select(take, value, held);
    taken = taken | take;
}

// The extremes of a needle's readings over a chunk.
template <class Arch>
struct Extremes {
    Pair<Arch> low = Pair<Arch>(1e300), high = Pair<Arch>(-1e300);
    [[gnu::always_inline]] inline void take(const Pair<Arch>& v) noexcept {
        low = xsimd::min(low, v);
        high = xsimd::max(high, v);
    }
};

// The gain meter's reading of one frame, both channels at once (gainReadingLine).
template <class Arch>
struct GainReading {
    Pair<Arch> slope, floor;

    explicit GainReading(const MeterCoefficients& in) noexcept {
        const GainReadingLine line = gainReadingLine(in.mix, in.limiterGain);
        slope = Pair<Arch>(line.slope);
        floor = Pair<Arch>(line.floor);
    }

    [[gnu::always_inline]] inline Pair<Arch> operator()(double left, double right) const noexcept {
        return xsimd::abs(pairOf<Arch>(left, right)) * slope + floor;
    }
};

// The gain meter's integrators (VU, PPM) of both channels: one frame on a reading and its noise.
// AttackGreater: qrx::dsp::attackWayGreater() of the block.
template <class Arch, bool AttackGreater>
struct GainIntegrators {
    Pair<Arch> vuRate, backRate, fallRate, kVu, kBack, kFall;

    explicit GainIntegrators(const MeterCoefficients& in) noexcept
        : vuRate(in.vuRate),
          backRate(in.backRate),
          fallRate(in.attackRate),
          kVu(in.keepVu),
          kBack(in.keepBack),
          kFall(in.keepAttack) {}

    [[gnu::always_inline]] inline void step(const Pair<Arch>& value, const Pair<Arch>& nz,
                                            Pair<Arch>& vu, Pair<Arch>& ppm) const noexcept {
        vu = qrx::dsp::followStep(vu, kVu, vuRate * value + nz);
        // Both ways, the attack's picked by a max or a min: the PPM's step from frame to frame
        // takes a product, a sum and the pick (with a compare and a select, gainsKernel took
        // 14.5-16.4 ms of CPU for 60 s of "compressing" on the plain build; 11.6-12.6 ms so).
        const Pair<Arch> back = qrx::dsp::followStep(ppm, kBack, backRate * value + nz);
        const Pair<Arch> fall = qrx::dsp::followStep(ppm, kFall, fallRate * value + nz);
        ppm = qrx::dsp::attackOrReturn(AttackGreater, fall, back);
    }
};

// The AVX2 build's readings, two frames per 256-bit vector in a pass of their own (half the
// instructions of reading them in the recursions' loop): each frame's pair (left, right), by the
// same operations in the same order as GainReading (so the same values).
template <class Arch>
[[gnu::always_inline]] inline void gainValues(const MeterCoefficients& in, const double* gainLeft,
                                              const double* gainRight, int n,
                                              double (*value)[2]) noexcept {
    const GainReadingLine line = gainReadingLine(in.mix, in.limiterGain);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
    const __m256d slope = _mm256_set1_pd(line.slope), floor = _mm256_set1_pd(line.floor);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        // Frames i and i + 1 as (left, right, left, right).
        const __m128d l = _mm_loadu_pd(gainLeft + i), r = _mm_loadu_pd(gainRight + i);
        const __m256d g = _mm256_set_m128d(_mm_unpackhi_pd(l, r), _mm_unpacklo_pd(l, r));
        const __m256d a = _mm256_add_pd(_mm256_mul_pd(_mm256_and_pd(g, magnitude), slope), floor);
        _mm256_store_pd(value[i], a);
    }
    if (i < n) {
        const GainReading<Arch> reading(in);
        reading(gainLeft[i], gainRight[i]).store_aligned(value[i]);
    }
}

// The gain meter over a chunk: integrators on the readings reading(i) and their extremes (VU,
// PPM); the needles' values go to vuOut and ppmOut for the holds. Frame i takes
// noise[i >> Shift].
template <class Arch, bool AttackGreater, int Shift, class Readings>
void gainNeedles(PairState<Arch>& p, const MeterCoefficients& in, const Readings& reading, int n,
                 const double* noise, double (*vuOut)[2], double (*ppmOut)[2],
                 Extremes<Arch> extremes[2]) noexcept {
    const GainIntegrators<Arch, AttackGreater> integrators(in);
    Pair<Arch> vu = p.vu, ppm = p.ppm;
    Extremes<Arch> vuExtremes, ppmExtremes;
    for (int i = 0; i < n; ++i) {
        integrators.step(reading(i), Pair<Arch>(noise[i >> Shift]), vu, ppm);
        vu.store_aligned(vuOut[i]);
        ppm.store_aligned(ppmOut[i]);
        vuExtremes.take(vu);
        ppmExtremes.take(ppm);
    }
    p.vu = vu;
    p.ppm = ppm;
    extremes[0] = vuExtremes;
    extremes[1] = ppmExtremes;
}

// The gain holds over a needle's readings, whose extremes are e. With every reading inside
// (0.01, 1] none is new expansion, and each one below the held value is taken: the held value
// ends as the lowest of them and itself, taken if that is lower. Otherwise the readings are
// held frame by frame.
template <class Arch>
[[gnu::always_inline]] inline void holdGainReadings(const double (*value)[2], int n,
                                                    const Extremes<Arch>& e, Pair<Arch>& held,
                                                    PairMask<Arch>& taken) noexcept {
    using P = Pair<Arch>;
    if (xsimd::none((e.high > P(1.0)) | (e.low <= P(0.01)))) {
        taken = taken | (e.low < held);
        held = xsimd::min(e.low, held);
        return;
    }
    for (int i = 0; i < n; ++i) holdGainPair<Arch>(P::load_aligned(value[i]), held, taken);
}

// Over runs: a full-scale sample extends the run; anything else ends a run short of the lamp.
// Without a full-scale sample in the chunk that is one step, however long the chunk.
template <class Arch>
void countOvers(MeterPairs& pairs, const MeterCoefficients& in, const double (*mag)[2], int n,
                bool anyOver) noexcept {
    using P = Pair<Arch>;
    const P overRun(in.overSamples), one(1.0), zero(0.0);
    P overs = P::load_unaligned(pairs.overs);
    if (anyOver) {
        for (int i = 0; i < n; ++i) {
            const P shortRunEnds = xsimd::select(overs < overRun, zero, overs);
            overs = xsimd::select(P::load_aligned(mag[i]) >= one, overs + one, shortRunEnds);
        }
    } else if (n > 0) {
        overs = xsimd::select(overs < overRun, zero, overs);
    }
    overs.store_unaligned(pairs.overs);
}

// The chunk feeds: both channels at once, the sums of the frame-by-frame feeds term by term;
// the holds and over runs from the chunk's extremes where those decide alone.

// AttackGreater: qrx::dsp::attackWayGreater() of the block, for a PPM that rises with its attack.
template <class Arch, bool AttackGreater>
void signalFrames(PairState<Arch>& p, const MeterCoefficients& in, const double* left,
                  const double* right, int n, const double* noise, int noiseStep, double (*mag)[2],
                  PairMask<Arch>& anyOver) noexcept {
    using P = Pair<Arch>;
    const P vuRate(in.vuRate), vuScale(kVuScale), reference(in.inverseReference);
    const P backRate(in.backRate), riseRate(in.attackRate);
    const P kVu(in.keepVu), kBack(in.keepBack), kRise(in.keepAttack), one(1.0);
    P vu = p.vu, ppm = p.ppm, vuHigh = p.vuHeld, ppmHigh = p.ppmHeld;
    for (int i = 0; i < n; ++i) {
        const P nz(noise[i * noiseStep]);
        const P a = xsimd::abs(pairOf<Arch>(left[i], right[i]));
        a.store_aligned(mag[i]);
        anyOver = anyOver | (a >= one);
        // The VU, and the PPM rising with the attack, falling with the return: both ways, the
        // attack's picked by a max or a min (no compare and select on the recursion).
        vu = qrx::dsp::followStep(vu, kVu, vuRate * (a * vuScale * reference) + nz);
        const P back = qrx::dsp::followStep(ppm, kBack, backRate * a + nz);
        const P rise = qrx::dsp::followStep(ppm, kRise, riseRate * a + nz);
        ppm = qrx::dsp::attackOrReturn(AttackGreater, rise, back);
        // The holds keep the highest reading (frame by frame the same: each new high is taken).
        vuHigh = xsimd::max(vu, vuHigh);
        ppmHigh = xsimd::max(ppm, ppmHigh);
    }
    // Each new high was taken: the held value rose.
    p.vuTaken = vuHigh > p.vuHeld;
    p.ppmTaken = ppmHigh > p.ppmHeld;
    p.vu = vu;
    p.ppm = ppm;
    p.vuHeld = vuHigh;
    p.ppmHeld = ppmHigh;
}

template <class Arch>
void signalsKernel(MeterPairs& pairs, const MeterCoefficients& in, const double* left,
                   const double* right, int n, const double* noise, int noiseStep) noexcept {
    alignas(16) double mag[128][2];
    PairMask<Arch> anyOver(false);
    PairState<Arch> p(pairs);
    if (qrx::dsp::attackWayGreater(true, in.attackRate, in.backRate))
        signalFrames<Arch, true>(p, in, left, right, n, noise, noiseStep, mag, anyOver);
    else
        signalFrames<Arch, false>(p, in, left, right, n, noise, noiseStep, mag, anyOver);
    countOvers<Arch>(pairs, in, mag, n, xsimd::any(anyOver));
    p.storeTo(pairs);
}

template <class Arch, bool AttackGreater>
void gainNeedlesOf(PairState<Arch>& p, const MeterCoefficients& in, const double* gainLeft,
                   const double* gainRight, int n, const double* noise, int noiseShift,
                   double (*vuOut)[2], double (*ppmOut)[2], Extremes<Arch> extremes[2]) noexcept {
    const auto needles = [&](const auto& reading) {
        if (noiseShift == 0)
            gainNeedles<Arch, AttackGreater, 0>(p, in, reading, n, noise, vuOut, ppmOut, extremes);
        else
            gainNeedles<Arch, AttackGreater, 1>(p, in, reading, n, noise, vuOut, ppmOut, extremes);
    };
    if constexpr (Lanes<Arch>::size == 4) {
        // With 256-bit vectors the readings take half the instructions in a pass of their own.
        alignas(32) double values[128][2];
        gainValues<Arch>(in, gainLeft, gainRight, n, values);
        needles([&values](int i) { return Pair<Arch>::load_aligned(values[i]); });
    } else {
        const GainReading<Arch> gain(in);
        needles([&](int i) { return gain(gainLeft[i], gainRight[i]); });
    }
}

template <class Arch>
void gainsKernel(MeterPairs& pairs, const MeterCoefficients& in, const double* gainLeft,
                 const double* gainRight, int n, const double* noise, int noiseShift) noexcept {
    alignas(16) double vuReadings[128][2], ppmReadings[128][2];
    PairState<Arch> p(pairs);
    Extremes<Arch> extremes[2];  // VU, PPM
    if (qrx::dsp::attackWayGreater(in.expanding, in.attackRate, in.backRate))
        gainNeedlesOf<Arch, true>(p, in, gainLeft, gainRight, n, noise, noiseShift, vuReadings,
                                  ppmReadings, extremes);
    else
        gainNeedlesOf<Arch, false>(p, in, gainLeft, gainRight, n, noise, noiseShift, vuReadings,
                                   ppmReadings, extremes);
    holdGainReadings<Arch>(vuReadings, n, extremes[0], p.vuHeld, p.vuTaken);
    holdGainReadings<Arch>(ppmReadings, n, extremes[1], p.ppmHeld, p.ppmTaken);
    p.storeTo(pairs);
}

template <class Arch>
constexpr MeterKernels meterKernelsFor() noexcept {
    return {&signalsKernel<Arch>, &gainsKernel<Arch>};
}

}  // namespace
}  // namespace grandpress
