// The chunk kernels of ChunkKernels.h as templates on the vector architecture, included by the
// one source file of each instruction set and instantiated there. Everything here has internal
// linkage (an unnamed namespace), so each build keeps its own code; only the tables the
// including file defines are visible outside it.
//
// Lane layout: `Pair` holds left and right; `Wide` is the widest vector of the build and runs the
// stages without recursion over the chunk.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <xsimd/xsimd.hpp>

#include "dsp/NoiseKernel.h"
#include "dsp/VectorMath.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/GainComputer.h"
#include "tinypress/Meters.h"
#include "tinypress/SignalPath.h"

namespace tinypress {
namespace {

// kFused: the pair vectors fuse multiply and add (the 128-bit form of the AVX2 build; xsimd
// offers fused operations only on the widest vectors of a build).
template <class PairArch, class WideArch, bool kFused>
struct Kernels {
    using Pair = xsimd::batch<double, PairArch>;
    using Wide = xsimd::batch<double, WideArch>;
    static_assert(Pair::size == 2, "one lane per channel");
    static constexpr int kWide = static_cast<int>(Wide::size);

    static Pair pair(double left, double right) noexcept { return Pair({left, right}); }

    // a b + c and c - a b.
    static Pair mulAdd(const Pair& a, const Pair& b, const Pair& c) noexcept {
        if constexpr (kFused)
            return Pair(_mm_fmadd_pd(a, b, c));
        else
            return a * b + c;
    }
    static Pair mulSub(const Pair& a, const Pair& b, const Pair& c) noexcept {
        if constexpr (kFused)
            return Pair(_mm_fnmadd_pd(a, b, c));
        else
            return c - a * b;
    }

    static void store(const Pair& v, double& left, double& right) noexcept {
        alignas(16) double lanes[2];
        v.store_aligned(lanes);
        left = lanes[0];
        right = lanes[1];
    }

    // Biquad state of both lanes in registers.
    struct Coefficients {
        Pair b0, b1, b2, a1, a2;
    };
    struct Memories {
        Pair x1, x2, y1, y2;
    };

    static Coefficients loadCoefficients(const qrx::dsp::BiquadCoefficients& l,
                                         const qrx::dsp::BiquadCoefficients& r) noexcept {
        return {pair(l.b0, r.b0), pair(l.b1, r.b1), pair(l.b2, r.b2), pair(l.a1, r.a1),
                pair(l.a2, r.a2)};
    }
    static void storeCoefficients(const Coefficients& c, qrx::dsp::BiquadCoefficients& l,
                                  qrx::dsp::BiquadCoefficients& r) noexcept {
        store(c.b0, l.b0, r.b0);
        store(c.b1, l.b1, r.b1);
        store(c.b2, l.b2, r.b2);
        store(c.a1, l.a1, r.a1);
        store(c.a2, l.a2, r.a2);
    }
    static Memories loadMemories(const qrx::dsp::BiquadMemories& l,
                                 const qrx::dsp::BiquadMemories& r) noexcept {
        return {pair(l.x1, r.x1), pair(l.x2, r.x2), pair(l.y1, r.y1), pair(l.y2, r.y2)};
    }
    static void storeMemories(const Memories& m, qrx::dsp::BiquadMemories& l,
                              qrx::dsp::BiquadMemories& r) noexcept {
        store(m.x1, l.x1, r.x1);
        store(m.x2, l.x2, r.x2);
        store(m.y1, l.y1, r.y1);
        store(m.y2, l.y2, r.y2);
    }

    // y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2, summed in that order.
    // The fused build takes the newest output last, which shortens the chain from one sample's
    // output to the next to a single fused operation.
    static Pair biquad(const Coefficients& c, const Memories& m, const Pair& x) noexcept {
        const Pair forward = mulAdd(c.b2, m.x2, mulAdd(c.b1, m.x1, c.b0 * x));
        if constexpr (kFused) return mulSub(c.a1, m.y1, mulSub(c.a2, m.y2, forward));
        return mulSub(c.a2, m.y2, mulSub(c.a1, m.y1, forward));
    }

    // ---- input ----

    // Left to the compiler's vectoriser (the kernels are built with its full cost model).
    static void readFinite(const float* from, int n, double* to) noexcept {
        for (int k = 0; k < n; ++k) {
            const double x = from[k];
            to[k] = x - x == 0.0 ? x : 0.0;
        }
    }

    // ---- anti-denormal noise ----

    // The shared noise runs (dsp/NoiseKernel.h) of this build's instruction set.
    static constexpr qrx::dsp::InstructionSet kNoiseSet =
        kFused ? qrx::dsp::InstructionSet::Avx2Fma : qrx::dsp::InstructionSet::Baseline;

    static void noise(std::uint32_t words[3], double scale, int count, double* to) noexcept {
        qrx::dsp::DenormalNoise::Words w{words[0], words[1], words[2]};
        qrx::dsp::noiseValues(kNoiseSet, w, scale, count, to);
        words[0] = w.s1;
        words[1] = w.s2;
        words[2] = w.s3;
    }

    // 2n values of generator a and n of generator b, stepped in one pass.
    static void noisePair(std::uint32_t a[3], double scaleA, double* toA, std::uint32_t b[3],
                          double scaleB, double* toB, int n) noexcept {
        qrx::dsp::DenormalNoise::Words wa{a[0], a[1], a[2]}, wb{b[0], b[1], b[2]};
        double* const runA[1] = {toA};
        qrx::dsp::noiseFrames(kNoiseSet, wa, scaleA, 2, 1, runA, wb, scaleB, toB, n);
        a[0] = wa.s1;
        a[1] = wa.s2;
        a[2] = wa.s3;
        b[0] = wb.s1;
        b[1] = wb.s2;
        b[2] = wb.s3;
    }

    // ---- side-chain shelves ----

    // Every coefficient glides toward its target: c + h + (t - c) rate. The fused build takes it
    // as c (1 - rate) + (t rate + h), one fused operation on the coefficient's own chain.
    struct Glide {
        Coefficients target, targetRate;
        Pair rate, keep;
    };
    static Glide glideOf(const qrx::dsp::BiquadCoefficients& t, double rate) noexcept {
        const auto scaled = [&](double v) { return Pair(v * rate); };
        return {loadCoefficients(t, t),
                {scaled(t.b0), scaled(t.b1), scaled(t.b2), scaled(t.a1), scaled(t.a2)},
                Pair(rate),
                Pair(1.0 - rate)};
    }
    static Pair glide(const Pair& c, const Pair& t, const Pair& tr, const Pair& h,
                      const Glide& g) noexcept {
        if constexpr (kFused) return mulAdd(c, g.keep, tr + h);
        return mulAdd(t - c, g.rate, c + h);
    }
    static void glideAll(Coefficients& c, const Glide& g, const Pair& h) noexcept {
        const Coefficients &t = g.target, &tr = g.targetRate;
        c.b0 = glide(c.b0, t.b0, tr.b0, h, g);
        c.b1 = glide(c.b1, t.b1, tr.b1, h, g);
        c.b2 = glide(c.b2, t.b2, tr.b2, h, g);
        c.a1 = glide(c.a1, t.a1, tr.a1, h, g);
        c.a2 = glide(c.a2, t.a2, tr.a2, h, g);
    }
    // One gliding biquad sample (the shared filter's step, both lanes at once).
    static Pair glidingStep(const Pair& x, const Glide& g, Coefficients& c, Memories& m,
                            const Pair& h) noexcept {
        glideAll(c, g, h);
        const Pair xh = x + h;
        const Pair y = biquad(c, m, xh);
        m.x2 = m.x1;
        m.x1 = xh;
        m.y2 = m.y1;
        m.y1 = y + h;
        return y;
    }

    // The shelves' state in registers for one chunk.
    struct ShelfLoop {
        ShelfJob& j;
        const Glide lowGlide, highGlide;
        Coefficients low, high;
        Memories lowM, highM;

        explicit ShelfLoop(ShelfJob& job) noexcept
            : j(job),
              lowGlide(glideOf(*job.lowTarget, job.rate)),
              highGlide(glideOf(*job.highTarget, job.rate)),
              low(loadCoefficients(job.low[0]->current, job.low[1]->current)),
              high(loadCoefficients(job.high[0]->current, job.high[1]->current)),
              lowM(loadMemories(job.low[0]->memories, job.low[1]->memories)),
              highM(loadMemories(job.high[0]->memories, job.high[1]->memories)) {}

        // shared: all four shelves take one noise run (their generators agree).
        template <bool shared>
        [[gnu::always_inline]] void step(int k) noexcept {
            const Pair hLow =
                shared ? Pair(j.lowNoise[0][k]) : pair(j.lowNoise[0][k], j.lowNoise[1][k]);
            const Pair hHigh = shared ? hLow : pair(j.highNoise[0][k], j.highNoise[1][k]);
            const Pair x = glidingStep(pair(j.side[0][k], j.side[1][k]), lowGlide, low, lowM, hLow);
            store(glidingStep(x, highGlide, high, highM, hHigh), j.side[0][k], j.side[1][k]);
        }

        void finish() noexcept {
            storeCoefficients(low, j.low[0]->current, j.low[1]->current);
            storeCoefficients(high, j.high[0]->current, j.high[1]->current);
            storeMemories(lowM, j.low[0]->memories, j.low[1]->memories);
            storeMemories(highM, j.high[0]->memories, j.high[1]->memories);
        }
    };

    static void shelves(ShelfJob& j) noexcept {
        ShelfLoop loop(j);
        const double* h = j.lowNoise[0];
        if (j.lowNoise[1] == h && j.highNoise[0] == h && j.highNoise[1] == h)
            for (int k = 0; k < j.n; ++k) loop.template step<true>(k);
        else
            for (int k = 0; k < j.n; ++k) loop.template step<false>(k);
        loop.finish();
    }

    // ---- stereo link ----

    static void link(const double* left, const double* right, int n, double* linked) noexcept {
        const Wide scale(0.7071);
        int k = 0;
        for (; k + kWide <= n; k += kWide) {
            const Wide l = Wide::load_aligned(left + k), r = Wide::load_aligned(right + k);
            (xsimd::sqrt(l * l + r * r) * scale).store_aligned(linked + k);
        }
        for (; k < n; ++k) {
            const Pair l(left[k]), r(right[k]);
            double ignored;
            store(xsimd::sqrt(l * l + r * r) * Pair(0.7071), linked[k], ignored);
        }
    }

    // ---- envelope, gain curve, output ----

    // The release smoothers (two plain low-passes of P per lane, with alternating offsets) and
    // the envelope, in registers for one chunk; each step leaves the envelope level v (sqrt(e)
    // with RMS) per lane in the job's gain buffers.
    struct EnvelopeLoop {
        DynamicsJob& j;
        const Coefficients fastC, slowC;
        Memories fast, slow;
        Pair fastOffset, slowOffset, e;
        const Pair attack, release, gain2;
        const bool rms, autoRelease;

        explicit EnvelopeLoop(DynamicsJob& job) noexcept
            : j(job),
              fastC(loadCoefficients(job.settings->releaseFast, job.settings->releaseFast)),
              slowC(loadCoefficients(job.settings->releaseSlow, job.settings->releaseSlow)),
              fast(loadMemories(job.envelope[0]->fast, job.envelope[1]->fast)),
              slow(loadMemories(job.envelope[0]->slow, job.envelope[1]->slow)),
              fastOffset(pair(job.envelope[0]->fastOffset, job.envelope[1]->fastOffset)),
              slowOffset(pair(job.envelope[0]->slowOffset, job.envelope[1]->slowOffset)),
              e(pair(job.envelope[0]->envelope, job.envelope[1]->envelope)),
              attack(job.settings->attackCoefficient),
              release(job.settings->releaseCoefficient),
              gain2(job.settings->thresholdGain),
              rms(job.settings->rms != 0),
              autoRelease(job.settings->autoRelease != 0) {}

        [[gnu::always_inline]] void step(int k) noexcept {
            Pair p =
                mulAdd(pair(j.level[0][k], j.level[1][k]) * gain2, Pair(2.0), Pair(kDetectorFloor));
            if (rms) p = p * p;
            // Plain biquad steps: the offset flips, the input carries the new sign, the output
            // state the old one.
            const Pair fastBefore = fastOffset, slowBefore = slowOffset;
            fastOffset = -fastOffset;
            slowOffset = -slowOffset;
            const Pair fx = p + fastOffset, sx = p + slowOffset;
            Pair f = biquad(fastC, fast, fx);
            Pair sl = biquad(slowC, slow, sx);
            fast.x2 = fast.x1;
            fast.x1 = fx;
            fast.y2 = fast.y1;
            fast.y1 = f + fastBefore;
            slow.x2 = slow.x1;
            slow.x1 = sx;
            slow.y2 = slow.y1;
            slow.y1 = sl + slowBefore;
            Pair releaseNow = release;
            if (autoRelease) {
                const Pair smootherFloor(kSmootherFloor);
                f = xsimd::select(f > smootherFloor, f, smootherFloor);
                sl = xsimd::select(sl > smootherFloor, sl, smootherFloor);
                const Pair ratio = Pair(0.5) * f / sl;
                releaseNow = release * (Pair(2.0) * ratio / (ratio + Pair(1.0)) + Pair(0.1));
            }
            const Pair coefficient = xsimd::select(p > e, attack, releaseNow);
            e = mulAdd(p - e, coefficient, e);
            e = xsimd::select(e > Pair(kEnvelopeFloor), e, Pair(kEnvelopeFloor));
            store(rms ? xsimd::sqrt(e) : e, j.gain[0][k], j.gain[1][k]);
        }

        void finish() noexcept {
            EnvelopeState &left = *j.envelope[0], &right = *j.envelope[1];
            store(e, left.envelope, right.envelope);
            storeMemories(fast, left.fast, right.fast);
            storeMemories(slow, left.slow, right.slow);
            store(fastOffset, left.fastOffset, right.fastOffset);
            store(slowOffset, left.slowOffset, right.slowOffset);
        }
    };

    // v^p for v >= 1e-4 (the envelope floor): 2^(p log2 v).
    static Wide power(const Wide& v, const Wide& p) noexcept {
        return qrx::dsp::vmath::exp2(p * qrx::dsp::vmath::log2(v));
    }

    // Whether any of n values (a whole number of vectors) reaches `from`.
    static bool reaches(const double* v, int n, double from) noexcept {
        Wide m = Wide::load_aligned(v);
        for (int k = kWide; k < n; k += kWide) m = xsimd::max(m, Wide::load_aligned(v + k));
        return xsimd::any(m >= Wide(from));
    }

    // g = y(v) / (v + 1e-6) over the chunk, in place. The power runs over the whole chunk when
    // any value reaches its range (one decision per chunk, not one per vector), and not at all
    // at ratio 1, where v^1 is v.
    static void gainCurve(const EngineSettings& s, double* v, int n) noexcept {
        const double p = s.inverseRatio;
        const Wide pw(p), tiny(1e-6);
        if (!s.softKnee) {
            const Wide one(1.0);
            if (p == 1.0 || !reaches(v, n, 1.0)) {
                for (int k = 0; k < n; k += kWide) {
                    const Wide x = Wide::load_aligned(v + k);
                    (x / (x + tiny)).store_aligned(v + k);
                }
                return;
            }
            for (int k = 0; k < n; k += kWide) {
                const Wide x = Wide::load_aligned(v + k);
                const Wide y = xsimd::select(x > one, power(x, pw), x);
                (y / (x + tiny)).store_aligned(v + k);
            }
            return;
        }
        // Catmull-Rom through (-0.5, 0.5, 1.5^p, 2.5^p) at t = v - 0.5.
        constexpr double p0 = -0.5, p1 = 0.5;
        const double p2 = s.kneeLowY, p3 = s.kneeHighY;
        const Wide c0(p1), c1(0.5 * p2 - 0.5 * p0), c2(p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3),
            c3(0.5 * p3 + 1.5 * p1 - 0.5 * p0 - 1.5 * p2);
        const Wide half(0.5), kneeTop(1.5);
        const bool powers = p != 1.0 && reaches(v, n, 1.5);
        for (int k = 0; k < n; k += kWide) {
            const Wide x = Wide::load_aligned(v + k);
            const Wide t = x - half;
            const Wide t2 = t * t;
            Wide y = c0 + t * c1 + t2 * c2 + t2 * t * c3;
            y = xsimd::select(x >= kneeTop, powers ? power(x, pw) : x, y);
            y = xsimd::select(x <= half, x, y);
            (y / (x + tiny)).store_aligned(v + k);
        }
    }

    static void dynamics(DynamicsJob& j) noexcept {
        EnvelopeLoop loop(j);
        for (int k = 0; k < j.n; ++k) loop.step(k);
        loop.finish();
        gainAndOutput(j);
    }

    // The gain curve over the envelope levels the envelope left in the gain buffers, the make-up
    // and output states, and the output.
    static void gainAndOutput(DynamicsJob& j) noexcept {
        const EngineSettings& s = *j.settings;
        const int n = j.n;
        // The gain curve runs over whole vectors; the buffers hold kChunk samples.
        const int whole = (n + kWide - 1) / kWide * kWide;
        gainCurve(s, j.gain[0], whole);
        if (j.lanesAgree)
            std::memcpy(j.gain[1], j.gain[0], sizeof(double) * static_cast<std::size_t>(whole));
        else
            gainCurve(s, j.gain[1], whole);

        // Make-up and output states glide toward their targets with the offset n.
        constexpr double kGlide = 0.001;
        const double autoMakeup = s.autoMakeup ? s.autoMakeupGain : 1.0;
        double m = j.makeup, o = j.output;
        alignas(64) double after[kChunk];
        for (int k = 0; k < n; ++k) {
            const double nk = j.noise[k];
            m = m + (s.makeupTarget - m) * kGlide + nk;
            o = o + (s.outputTarget - o) * kGlide + nk;
            after[k] = m * autoMakeup * o;
            j.outGain[k] = o;
        }
        j.makeup = m;
        j.output = o;
        for (int c = 0; c < 2; ++c) {
            const double* main = j.main[c];
            const double* g = j.gain[c];
            double* out = j.out[c];
            for (int k = 0; k < whole; k += kWide)
                (Wide::load_aligned(main + k) * Wide::load_aligned(g + k) *
                 Wide::load_aligned(after + k))
                    .store_aligned(out + k);
        }
    }

    // ---- meters ----

    struct MeterLanes {
        Pair vu, ppm, vuHold, ppmHold, overCount;
        Memories vuMemories;
        Pair vuOffset;
        xsimd::batch_bool<double, PairArch> vuTaken, ppmTaken;
    };

    static MeterLanes loadMeters(const MeterJob& j) noexcept {
        const MeterChannel &l = *j.channel[0], &r = *j.channel[1];
        MeterLanes m;
        m.vu = pair(l.vu, r.vu);
        m.ppm = pair(l.ppm, r.ppm);
        m.vuHold = pair(l.vuHold, r.vuHold);
        m.ppmHold = pair(l.ppmHold, r.ppmHold);
        m.overCount = pair(l.overCount, r.overCount);
        m.vuMemories = loadMemories(l.vuMemories, r.vuMemories);
        m.vuOffset = pair(l.vuOffset, r.vuOffset);
        m.vuTaken = Pair(0.0) != Pair(0.0);
        m.ppmTaken = m.vuTaken;
        return m;
    }

    static void storeMeters(const MeterLanes& m, const MeterJob& j) noexcept {
        MeterChannel &l = *j.channel[0], &r = *j.channel[1];
        store(m.vu, l.vu, r.vu);
        store(m.ppm, l.ppm, r.ppm);
        store(m.vuHold, l.vuHold, r.vuHold);
        store(m.ppmHold, l.ppmHold, r.ppmHold);
        store(m.overCount, l.overCount, r.overCount);
        storeMemories(m.vuMemories, l.vuMemories, r.vuMemories);
        store(m.vuOffset, l.vuOffset, r.vuOffset);
        double vuTaken[2], ppmTaken[2];
        store(Pair(m.vuTaken), vuTaken[0], vuTaken[1]);
        store(Pair(m.ppmTaken), ppmTaken[0], ppmTaken[1]);
        MeterChannel* const channels[2] = {&l, &r};
        for (int c = 0; c < 2; ++c) {
            if (vuTaken[c] != 0.0) channels[c]->vuHoldAge = 0;
            if (ppmTaken[c] != 0.0) channels[c]->ppmHoldAge = 0;
        }
    }

    // The VU low-pass of x (plain biquad with alternating offsets).
    static Pair vuStep(MeterLanes& m, const Coefficients& c, const Pair& x) noexcept {
        const Pair before = m.vuOffset;
        m.vuOffset = -m.vuOffset;
        const Pair xo = x + m.vuOffset;
        const Pair y = biquad(c, m.vuMemories, xo);
        m.vuMemories.x2 = m.vuMemories.x1;
        m.vuMemories.x1 = xo;
        m.vuMemories.y2 = m.vuMemories.y1;
        m.vuMemories.y1 = y + before;
        return y;
    }

    static void signalMeters(const MeterJob& j) noexcept {
        const MeterConstants& k = *j.constants;
        MeterLanes m = loadMeters(j);
        const Coefficients vu = loadCoefficients(k.vuFilter, k.vuFilter);
        const Pair attack(k.ppmAttack), release(k.ppmReturn), scale(k.signalScale);
        const Pair fullScale(1.0 - 1e-9), one(1.0), zero(0.0), overSamples(k.overSamples);
        for (int i = 0; i < j.n; ++i) {
            const Pair x = xsimd::abs(pair(j.value[0][i], j.value[1][i]));
            const Pair noise(j.noise[i]);
            m.vu = vuStep(m, vu, x * scale);
            m.ppm = mulAdd(xsimd::select(x > m.ppm, attack, release), x - m.ppm, m.ppm + noise);
            m.overCount =
                xsimd::select(x >= fullScale, m.overCount + one,
                              xsimd::select(m.overCount < overSamples, zero, m.overCount));
            const auto ppmHigh = m.ppm > m.ppmHold;
            m.ppmHold = xsimd::select(ppmHigh, m.ppm, m.ppmHold);
            m.ppmTaken = m.ppmTaken || ppmHigh;
            const auto vuHigh = m.vu > m.vuHold;
            m.vuHold = xsimd::select(vuHigh, m.vu, m.vuHold);
            m.vuTaken = m.vuTaken || vuHigh;
        }
        storeMeters(m, j);
    }

    // A gain reading holds new reduction below the held value (down to 0.01) and new expansion
    // above both the held value and 1.
    static void holdGain(const Pair& value, Pair& held,
                         xsimd::batch_bool<double, PairArch>& taken) noexcept {
        const auto take =
            (value > held && value > Pair(1.0)) || (value < held && value > Pair(0.01));
        held = xsimd::select(take, value, held);
        taken = taken || take;
    }

    static void gainMeters(const MeterJob& j) noexcept {
        const MeterConstants& k = *j.constants;
        MeterLanes m = loadMeters(j);
        const Coefficients vu = loadCoefficients(k.vuFilter, k.vuFilter);
        const Pair attack(k.ppmAttack), release(k.ppmReturn), mix(k.mix), one(1.0);
        const bool compressing = k.compressing;
        for (int i = 0; i < j.n; ++i) {
            const Pair g = pair(j.value[0][i], j.value[1][i]);
            const Pair noise(j.noise[i]);
            const Pair x = mulAdd(xsimd::abs(Pair(0.98) * g) - one, mix, one);
            m.vu = vuStep(m, vu, x);
            // Compressing, the needle falls fast with more reduction and returns slowly;
            // expanding, it rises fast.
            const auto fast = compressing ? x < m.ppm : x > m.ppm;
            m.ppm = mulAdd(xsimd::select(fast, attack, release), x - m.ppm, m.ppm + noise);
            holdGain(m.vu, m.vuHold, m.vuTaken);
            holdGain(m.ppm, m.ppmHold, m.ppmTaken);
        }
        storeMeters(m, j);
    }

    static constexpr ChunkKernels table{&noise, &noisePair, &readFinite,   &shelves,
                                        &link,  &dynamics,  &signalMeters, &gainMeters};
};

}  // namespace
}  // namespace tinypress
