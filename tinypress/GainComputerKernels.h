// The envelope of the chunk kernels' dynamics (ChunkKernels.h), in three passes: the normalised
// level P of both lanes over the whole chunk, the release smoothers (two plain low-passes of P per
// lane, with alternating offsets; their outputs matter only with auto release), then the
// envelope frame by frame, which leaves the level v (sqrt(e) with RMS) per lane in the job's gain
// buffers. The per-frame reference is EnvelopeState::step (GainComputer.h). A template on the
// xsimd architectures (KernelLanes.h).
#pragma once

#include <immintrin.h>

#include "dsp/Followers.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/GainComputer.h"
#include "tinypress/KernelLanes.h"

namespace tinypress {
namespace {

template <class PairArch, class WideArch>
struct GainComputerKernels {
    using Pair = Lanes<PairArch>;
    using Wide = Lanes<WideArch>;
    using Coefficients = PairCoefficients<PairArch>;
    using Memories = PairMemories<PairArch>;
    static constexpr int kWide = static_cast<int>(Wide::size);
    static constexpr bool kFused = kFusedPairs;

    // P of both lanes side by side (frame i at 2i), over whole vectors.
    static void normalisedLevels(const DynamicsJob& j, int whole, double* p) noexcept {
        const Wide gain2(j.settings->thresholdGain), two(2.0), floor(kDetectorFloor);
        const bool rms = j.settings->rms != 0;
        const auto level = [&](int c, int i) {
            const Wide v = xsimd::fma(Wide::load_unaligned(j.level[c] + i) * gain2, two, floor);
            return rms ? v * v : v;
        };
        for (int i = 0; i < whole; i += kWide) interleave(level(0, i), level(1, i), p + 2 * i);
    }

    // The smoothers on both lanes with the offsets of even frames (the chunk's first frame
    // flips the offset it starts with) or of odd frames; frame() gives the fast and slow outputs.
    struct PairSmoothers {
        static constexpr bool kLanesAgree = false;
        EnvelopeState &left, &right;
        const Coefficients fc, sc;
        Memories fm, sm;
        const Pair fastOdd, slowOdd, fastEven, slowEven;

        PairSmoothers(EnvelopeState& l, EnvelopeState& r, const qrx::dsp::BiquadCoefficients& fast,
                      const qrx::dsp::BiquadCoefficients& slow) noexcept
            : left(l),
              right(r),
              fc(fast, fast),
              sc(slow, slow),
              fm(l.fast, r.fast),
              sm(l.slow, r.slow),
              fastOdd(pairOf<PairArch>(l.fastOffset, r.fastOffset)),
              slowOdd(pairOf<PairArch>(l.slowOffset, r.slowOffset)),
              fastEven(-fastOdd),
              slowEven(-slowOdd) {}

        template <bool even>
        [[gnu::always_inline]] void frame(const double* p, int i, Pair& f, Pair& sl) noexcept {
            const Pair x = Pair::load_aligned(p + 2 * i);
            f = biquadStep(fc, fm, x + (even ? fastEven : fastOdd), even ? fastOdd : fastEven);
            sl = biquadStep(sc, sm, x + (even ? slowEven : slowOdd), even ? slowOdd : slowEven);
        }

        [[gnu::always_inline]] void finish(int n) noexcept {
            fm.storeTo(left.fast, right.fast);
            sm.storeTo(left.slow, right.slow);
            // The offsets of the last frame.
            store(n % 2 ? fastEven : fastOdd, left.fastOffset, right.fastOffset);
            store(n % 2 ? slowEven : slowOdd, left.slowOffset, right.slowOffset);
        }
    };

    // The baseline build's smoothers where the lanes agree (DynamicsJob::lanesAgree): both
    // lanes' smoothers compute the same, so one pair runs the fast (lane 0) and slow (lane 1)
    // smoother of the left lane, and the right lane takes its state at the end.
    struct StackedSmoothers {
        static constexpr bool kLanesAgree = true;
        EnvelopeState &left, &right;
        const Coefficients c;
        Memories m;
        const Pair odd, even;

        StackedSmoothers(EnvelopeState& l, EnvelopeState& r,
                         const qrx::dsp::BiquadCoefficients& fast,
                         const qrx::dsp::BiquadCoefficients& slow) noexcept
            : left(l),
              right(r),
              c(fast, slow),
              m(l.fast, l.slow),
              odd(pairOf<PairArch>(l.fastOffset, l.slowOffset)),
              even(-odd) {}

        template <bool evenFrame>
        [[gnu::always_inline]] void frame(const double* p, int i, Pair& f, Pair& sl) noexcept {
            // Both lanes hold the same level.
            const Pair x = Pair::load_aligned(p + 2 * i);
            const Pair y = biquadStep(c, m, x + (evenFrame ? even : odd), evenFrame ? odd : even);
            f = xsimd::zip_lo(y, y);
            sl = xsimd::zip_hi(y, y);
        }

        [[gnu::always_inline]] void finish(int n) noexcept {
            m.storeTo(left.fast, left.slow);
            // The offsets of the last frame.
            store(n % 2 ? even : odd, left.fastOffset, left.slowOffset);
            right.fast = left.fast;
            right.slow = left.slow;
            right.fastOffset = left.fastOffset;
            right.slowOffset = left.slowOffset;
        }
    };

    // The AVX2 build's smoothers in one vector: fast left, fast right, slow left, slow right.
    // As in the gain meters, the feedback runs on the raw outputs and takes the offsets on the
    // stored outputs as constants, so one output leads to the next in a single fused step.
    // Written in intrinsics for its lane moves (no xsimd form); the dynamics take 22 % fewer
    // instructions with it than with PairSmoothers in the AVX2 build.
    struct QuadSmoothers {
        static constexpr bool kLanesAgree = false;
        using C = qrx::dsp::BiquadCoefficients;
        using M = qrx::dsp::BiquadMemories;
        EnvelopeState &left, &right;
        const __m256d b0, b1, b2, a1, a2, odd, even, feedbackEven, feedbackOdd;
        __m256d x1, x2, r1, r2;  // input memories, raw outputs

        QuadSmoothers(EnvelopeState& l, EnvelopeState& r, const C& fast, const C& slow) noexcept
            : left(l),
              right(r),
              b0(_mm256_setr_pd(fast.b0, fast.b0, slow.b0, slow.b0)),
              b1(_mm256_setr_pd(fast.b1, fast.b1, slow.b1, slow.b1)),
              b2(_mm256_setr_pd(fast.b2, fast.b2, slow.b2, slow.b2)),
              a1(_mm256_setr_pd(fast.a1, fast.a1, slow.a1, slow.a1)),
              a2(_mm256_setr_pd(fast.a2, fast.a2, slow.a2, slow.a2)),
              odd(_mm256_setr_pd(l.fastOffset, r.fastOffset, l.slowOffset, r.slowOffset)),
              even(_mm256_sub_pd(_mm256_setzero_pd(), odd)),
              feedbackEven(_mm256_mul_pd(_mm256_sub_pd(a1, a2), odd)),
              feedbackOdd(_mm256_mul_pd(_mm256_sub_pd(a1, a2), even)),
              x1(memory(&M::x1)),
              x2(memory(&M::x2)),
              r1(_mm256_add_pd(memory(&M::y1), odd)),
              r2(_mm256_sub_pd(memory(&M::y2), odd)) {}

        __m256d memory(double M::*m) const noexcept {
            return _mm256_setr_pd(left.fast.*m, right.fast.*m, left.slow.*m, right.slow.*m);
        }
        void save(__m256d from, double M::*m) noexcept {
            alignas(32) double v[4];
            _mm256_store_pd(v, from);
            left.fast.*m = v[0];
            right.fast.*m = v[1];
            left.slow.*m = v[2];
            right.slow.*m = v[3];
        }

        template <bool evenFrame>
        [[gnu::always_inline]] void frame(const double* p, int i, Pair& f, Pair& sl) noexcept {
            const __m256d x = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(p + 2 * i));
            const __m256d xo = _mm256_add_pd(x, evenFrame ? even : odd);
            const __m256d forward = _mm256_fmadd_pd(
                b2, x2,
                _mm256_fmadd_pd(b1, x1,
                                _mm256_fmadd_pd(b0, xo, evenFrame ? feedbackEven : feedbackOdd)));
            const __m256d y = _mm256_fnmadd_pd(a1, r1, _mm256_fnmadd_pd(a2, r2, forward));
            x2 = x1;
            x1 = xo;
            r2 = r1;
            r1 = y;
            f = Pair(_mm256_castpd256_pd128(y));
            sl = Pair(_mm256_extractf128_pd(y, 1));
        }

        [[gnu::always_inline]] void finish(int n) noexcept {
            save(x1, &M::x1);
            save(x2, &M::x2);
            // The stored outputs carry the offset of the frame before theirs.
            save(_mm256_add_pd(r1, n % 2 ? odd : even), &M::y1);
            save(_mm256_add_pd(r2, n % 2 ? even : odd), &M::y2);
            // The offsets of the last frame.
            alignas(32) double v[4];
            _mm256_store_pd(v, n % 2 ? even : odd);
            left.fastOffset = v[0];
            right.fastOffset = v[1];
            left.slowOffset = v[2];
            right.slowOffset = v[3];
        }
    };

    // The smoothers and the envelope frame by frame, two frames per round (the smoothers'
    // offsets take their two signs in turn); the two recursions run side by side. Each frame
    // leaves the level v (sqrt(e) with RMS) of both lanes in the job's gain buffers.
    //
    // Each frame also steps the make-up (left lane) and output (right lane) glides,
    // M <- M (1 - glide) + (target glide + n) per frame: a recursion apart from the envelope's,
    // so it runs in that one's shadow, and frame by frame, so its rounding does not depend on
    // where a chunk starts. Each frame leaves both states in `glides`.
    template <bool autoRelease, bool rms, class Smoothers>
    struct EnvelopeLoop {
        DynamicsJob& j;
        const double* p;
        double* glides;  // (make-up, output) per frame
        Smoothers smoothers;
        const Pair attack, release, floor, keepAttack, fixedKeep;
        const Pair glideKeep, glideTargets;
        Pair e, glide;
        const bool attackFaster;  // attack coefficient >= release coefficient (unfused build)
        static constexpr double kGlide = qrx::dsp::kGainGlidePerSample;

        EnvelopeLoop(DynamicsJob& job, const double* levels, double* glideStates) noexcept
            : j(job),
              p(levels),
              glides(glideStates),
              smoothers(*job.envelope[0], *job.envelope[1], job.settings->releaseFast,
                        job.settings->releaseSlow),
              attack(job.settings->attackCoefficient),
              release(job.settings->releaseCoefficient),
              floor(kEnvelopeFloor),
              keepAttack(1.0 - job.settings->attackCoefficient),
              fixedKeep(1.0 - job.settings->releaseCoefficient),
              glideKeep(1.0 - kGlide),
              glideTargets(pairOf<PairArch>(job.settings->makeupTarget * kGlide,
                                            job.settings->outputTarget * kGlide)),
              e(pairOf<PairArch>(job.envelope[0]->envelope, job.envelope[1]->envelope)),
              glide(pairOf<PairArch>(job.makeup, job.output)),
              attackFaster(!kFused &&
                           qrx::dsp::attackWayGreater(true, job.settings->attackCoefficient,
                                                      job.settings->releaseCoefficient)) {}

        // The release coefficient of the frame: fixed, or scaled by the smoothers' ratio.
        [[gnu::always_inline]] Pair releaseOf(Pair f, Pair sl) const noexcept {
            if constexpr (autoRelease) {
                const Pair smootherFloor(kSmootherFloor);
                f = xsimd::select(f > smootherFloor, f, smootherFloor);
                sl = xsimd::select(sl > smootherFloor, sl, smootherFloor);
                const Pair ratio = Pair(0.5) * f / sl;
                return release * qrx::dsp::autoSpeedFactor(ratio);
            } else {
                return release;
            }
        }

        // e follows P with the attack coefficient where P is above it, else the release one.
        [[gnu::always_inline]] Pair follow(const Pair& pi, const Pair& releaseNow) const noexcept {
            if constexpr (kFused) {
                // e + (P - e) k as e (1 - k) + k P, both ways at once: one fused step from
                // frame to frame.
                const Pair keepRelease = autoRelease ? Pair(1.0) - releaseNow : fixedKeep;
                const Pair rising = mulAdd(e, keepAttack, attack * pi);
                const Pair falling = mulAdd(e, keepRelease, releaseNow * pi);
                return xsimd::select(pi > e, rising, falling);
            } else if constexpr (!autoRelease) {
                // e (1 - k) + k P both ways. The two differ by (attack - release) (P - e): where
                // the attack is the faster, the step that P above e takes is the greater one,
                // else the lesser, so a max or min picks it with no compare on the chain from
                // frame to frame.
                const Pair rising = qrx::dsp::followStep(e, keepAttack, attack * pi);
                const Pair falling = qrx::dsp::followStep(e, fixedKeep, release * pi);
                return qrx::dsp::attackOrReturn(attackFaster, rising, falling);
            } else {
                const Pair coefficient = xsimd::select(pi > e, attack, releaseNow);
                return mulAdd(pi - e, coefficient, e);
            }
        }

        template <bool even>
        [[gnu::always_inline]] void frame(int i) noexcept {
            Pair f, sl;
            smoothers.template frame<even>(p, i, f, sl);
            const Pair pi = Pair::load_aligned(p + 2 * i);
            e = xsimd::max(follow(pi, releaseOf(f, sl)), floor);  // e > floor ? e : floor
            const Pair v = rms ? xsimd::sqrt(e) : e;
            if constexpr (Smoothers::kLanesAgree) {
                double same;  // the right lane takes the left one's gains
                store(v, j.gain[0][i], same);
            } else {
                store(v, j.gain[0][i], j.gain[1][i]);
            }
            glide = mulAdd(glide, glideKeep, glideTargets + Pair(j.noise[i]));
            glide.store_aligned(glides + 2 * i);
        }

        void run() noexcept {
            const int n = j.n;
            int i = 0;
            for (; i + 2 <= n; i += 2) {
                frame<true>(i);
                frame<false>(i + 1);
            }
            if (i < n) frame<true>(i);
            smoothers.finish(n);
            store(e, j.envelope[0]->envelope, j.envelope[1]->envelope);
            store(glide, j.makeup, j.output);
        }
    };

    // The envelope of both lanes over the chunk; leaves the glide states per frame in `glides`.
    static void envelope(DynamicsJob& j, double* glides) noexcept {
        alignas(64) double p[2 * kChunk];
        normalisedLevels(j, wholeVectors(j.n, kWide), p);
        if constexpr (kWide == 4)
            runEnvelope<QuadSmoothers>(j, p, glides);
        else if (j.lanesAgree)
            runEnvelope<StackedSmoothers>(j, p, glides);
        else
            runEnvelope<PairSmoothers>(j, p, glides);
    }

    template <class Smoothers>
    static void runEnvelope(DynamicsJob& j, const double* p, double* glides) noexcept {
        const bool rms = j.settings->rms != 0;
        if (j.settings->autoRelease) {
            if (rms)
                EnvelopeLoop<true, true, Smoothers>(j, p, glides).run();
            else
                EnvelopeLoop<true, false, Smoothers>(j, p, glides).run();
        } else {
            if (rms)
                EnvelopeLoop<false, true, Smoothers>(j, p, glides).run();
            else
                EnvelopeLoop<false, false, Smoothers>(j, p, glides).run();
        }
    }
};

}  // namespace
}  // namespace tinypress
