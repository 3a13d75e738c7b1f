// The limiter's passes (LimiterPasses.h), each one template on the xsimd architecture
// (KernelLanes.h), instantiated by the engine's kernel tables (Kernels.cpp, Kernels_avx2.cpp).
// The envelope runs as one loop in which the level averages' recursion and the envelope's own
// run side by side, two frames at a time; the other passes take the widest vectors of the build.
#pragma once

#include <cmath>

#include "grandpress/KernelLanes.h"
#include "grandpress/LimiterPasses.h"

namespace grandpress {
namespace {

constexpr double kPassPeakScale = 1.005773063;  // inter-sample peak allowance
constexpr double kPassPeakOffset = 0.011;
constexpr double kPassWindowOffset = 0.0009766;
// Highest peak the limiter follows (+60 dBFS). Above it the output is held at the ceiling by the
// clamp alone; without the cap an absurd input (1e38) lifts the envelope so far that its
// exponential release needs seconds of clean signal to come back down.
constexpr double kPassMaxPeak = 1000.0;
constexpr double kPassCeiling = 0.999;

// a > b ? a : b and a < b ? a : b, for single values and lane by lane.
inline double larger(double a, double b) noexcept {
    return a > b ? a : b;
}
inline double smaller(double a, double b) noexcept {
    return a < b ? a : b;
}
template <class A>
inline xsimd::batch<double, A> larger(const xsimd::batch<double, A>& a,
                                      const xsimd::batch<double, A>& b) noexcept {
    return xsimd::max(a, b);
}
template <class A>
inline xsimd::batch<double, A> smaller(const xsimd::batch<double, A>& a,
                                       const xsimd::batch<double, A>& b) noexcept {
    return xsimd::min(a, b);
}
inline double magnitude(double x) noexcept {
    return std::fabs(x);
}
template <class A>
inline xsimd::batch<double, A> magnitude(const xsimd::batch<double, A>& x) noexcept {
    return xsimd::abs(x);
}

// The peak measure of a frame, capped (single frames or vectors of them).
template <class T>
[[gnu::always_inline]] inline T peakOf(const T& left, const T& right) noexcept {
    return smaller(larger(magnitude(left * T(kPassPeakScale)) + T(kPassPeakOffset),
                          magnitude(right * T(kPassPeakScale)) + T(kPassPeakOffset)),
                   T(kPassMaxPeak));
}

template <class Arch>
void peaksPass(const double* left, const double* right, int n, double* peak) noexcept {
    using V = Lanes<Arch>;
    constexpr int kWidth = static_cast<int>(V::size);
    int i = 0;
    for (; i + kWidth <= n; i += kWidth)
        peakOf(V::load_unaligned(left + i), V::load_unaligned(right + i)).store_unaligned(peak + i);
    for (; i < n; ++i) peak[i] = peakOf(left[i], right[i]);
}

// to[j] = the largest of a[j], b[j], c[j], d[j] for `count` positions; `to` may be `a` (each
// position is read before it is stored, and none is read after a position before it is stored).
template <class Arch>
void largestOfFour(double* to, const double* a, const double* b, const double* c, const double* d,
                   int count) noexcept {
    using V = Lanes<Arch>;
    constexpr int kWidth = static_cast<int>(V::size);
    const auto largest = [&](auto lanes, int j) {
        using L = decltype(lanes);
        larger(larger(L::load_unaligned(a + j), L::load_unaligned(b + j)),
               larger(L::load_unaligned(c + j), L::load_unaligned(d + j)))
            .store_unaligned(to + j);
    };
    int j = 0;
    for (; j + kWidth <= count; j += kWidth) largest(V(), j);
    if (kWidth > 2 && j + 2 <= count) {  // (a pair before the last one of the wide build)
        largest(Pair<Arch>(), j);
        j += 2;
    }
    for (; j < count; ++j) to[j] = larger(larger(a[j], b[j]), larger(c[j], d[j]));
}

// to[j] = the larger of a[j] and b[j] for `count` positions; `to` may be `a`.
template <class Arch>
void largerOfTwo(double* to, const double* a, const double* b, int count) noexcept {
    using V = Lanes<Arch>;
    constexpr int kWidth = static_cast<int>(V::size);
    const auto largest = [&](auto lanes, int j) {
        using L = decltype(lanes);
        larger(L::load_unaligned(a + j), L::load_unaligned(b + j)).store_unaligned(to + j);
    };
    int j = 0;
    for (; j + kWidth <= count; j += kWidth) largest(V(), j);
    if (kWidth > 2 && j + 2 <= count) {  // (a pair before the last one of the wide build)
        largest(Pair<Arch>(), j);
        j += 2;
    }
    for (; j < count; ++j) to[j] = larger(a[j], b[j]);
}

// Runs of four peaks from the line `ring` (kLimiterRing positions) from `first` on into run:
// those that lie before the line's end, those that wrap, those after it.
template <class Arch>
void runsOfFour(const double* ring, unsigned first, int count, double* run) noexcept {
    const int at = static_cast<int>(first & (kLimiterRing - 1));
    const int before = kLimiterRing - 3 - at < count ? kLimiterRing - 3 - at : count;
    const int wrapping = kLimiterRing - at < count ? kLimiterRing - at : count;
    const double* from = ring + at;
    largestOfFour<Arch>(run, from, from + 1, from + 2, from + 3, before);
    constexpr unsigned kMask = kLimiterRing - 1;
    int j = before > 0 ? before : 0;
    for (; j < wrapping; ++j) {
        const unsigned p = static_cast<unsigned>(at + j);
        run[j] = larger(larger(ring[p & kMask], ring[(p + 1) & kMask]),
                        larger(ring[(p + 2) & kMask], ring[(p + 3) & kMask]));
    }
    if (j < count) {
        from = ring + (at + j - kLimiterRing);
        largestOfFour<Arch>(run + j, from, from + 1, from + 2, from + 3, count - j);
    }
}

// m[i] = the larger of run[i] and late[i], plus the window offset and noise[i * noiseStep].
template <class Arch>
void windowsOf(const double* run, const double* late, int n, const double* noise, int noiseStep,
               double* m) noexcept {
    using V = Lanes<Arch>;
    constexpr int kWidth = static_cast<int>(V::size);
    int i = 0;
    if (noiseStep == 1)
        for (; i + kWidth <= n; i += kWidth) {
            const V x = larger(V::load_unaligned(run + i), V::load_unaligned(late + i));
            (x + V(kPassWindowOffset) + V::load_unaligned(noise + i)).store_unaligned(m + i);
        }
    for (; i < n; ++i) m[i] = larger(run[i], late[i]) + kPassWindowOffset + noise[i * noiseStep];
}

// Without branches: maxima over 4, 16, 64, ... peaks (each pass takes four runs of the pass
// before; the first one straight from the line, the later ones in place), then over twice as
// many where that still fits the window, then each window as the larger of two overlapping
// runs.
template <class Arch>
void windowMaximaPass(const double* ring, unsigned first, int span, int n, const double* noise,
                      int noiseStep, double* m) noexcept {
    const int runLength = span + n - 1;
    alignas(64) double run[kLimiterRing];
    int width = 1;
    if (span >= 4) {
        runsOfFour<Arch>(ring, first, runLength - 3, run);
        width = 4;
    } else {
        for (int j = 0; j < runLength; ++j)
            run[j] = ring[(first + static_cast<unsigned>(j)) & (kLimiterRing - 1)];
    }
    for (; 4 * width <= span; width *= 4)
        largestOfFour<Arch>(run, run, run + width, run + 2 * width, run + 3 * width,
                            runLength - 4 * width + 1);
    if (2 * width <= span) {
        const int count = runLength - 2 * width + 1;
        largerOfTwo<Arch>(run, run, run + width, count);
        width *= 2;
    }
    windowsOf<Arch>(run, run + span - width, n, noise, noiseStep, m);
}

// Both level averages (fast, slow) in one pair of lanes: the same sums as one filter after the
// other. The slow average's poles sit so close to 1 that any other order of the sums would grow
// a thousandfold through its recursion, so every build takes this one, unfused.
template <class Arch>
struct LevelLanes {
    using P = Pair<Arch>;
    P b0, b1, b2, a1, a2;
    P x1, x2, y1, y2;
    P offset;  // the noise offset of the next frame's memories

    // From the law and the carried lanes (x1, x2, y1, y2, offset; fast then slow).
    LevelLanes(const LimiterLaw& law, const double lanes[2][5]) noexcept
        : b0(pairOf<Arch>(law.fast.b0, law.slow.b0)),
          b1(pairOf<Arch>(law.fast.b1, law.slow.b1)),
          b2(pairOf<Arch>(law.fast.b2, law.slow.b2)),
          a1(pairOf<Arch>(law.fast.a1, law.slow.a1)),
          a2(pairOf<Arch>(law.fast.a2, law.slow.a2)),
          x1(pairOf<Arch>(lanes[0][0], lanes[1][0])),
          x2(pairOf<Arch>(lanes[0][1], lanes[1][1])),
          y1(pairOf<Arch>(lanes[0][2], lanes[1][2])),
          y2(pairOf<Arch>(lanes[0][3], lanes[1][3])),
          offset(pairOf<Arch>(lanes[0][4], lanes[1][4])) {}

    void store(double lanes[2][5]) const noexcept {
        // (member by member: the lanes stay in registers through the envelope's loop)
        const auto put = [lanes](int k, P v) {
            alignas(16) double pair[2];
            v.store_aligned(pair);
            lanes[0][k] = pair[0];
            lanes[1][k] = pair[1];
        };
        put(0, x1);
        put(1, x2);
        put(2, y1);
        put(3, y2);
        put(4, offset);
    }

    // One frame of both filters on the peak mp, with the noise offset before and after its flip.
    [[gnu::always_inline]] inline P step(double mp, const P& before, const P& after) noexcept {
        const P x = P(mp) + after;
        const P y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y + before;
        return y;
    }
};

// The falling steps of two frames from their averages y0, y1 (fast, slow each) and peaks mp:
// keep = 1 - f, pull = mp f with f = release * (4 t / (t + 1) + 0.1), t = 0.2 fast / slow
// (slow at least 1e-6), taken as 0.8 fast / (0.2 fast + slow): one division for both frames.
template <class Arch>
struct Falls {
    Pair<Arch> keep, pull;

    [[gnu::always_inline]] inline Falls(const Pair<Arch>& y0, const Pair<Arch>& y1,
                                        const Pair<Arch>& mp, const Pair<Arch>& release) noexcept {
        using P = Pair<Arch>;
        const P fast = xsimd::zip_lo(y0, y1);
        const P slow = xsimd::max(xsimd::zip_hi(y0, y1), P(1e-6));
        const P ratio = P(0.8) * fast / fusedMulAdd(P(0.2), fast, slow);
        const P factor = (ratio + P(0.1)) * release;
        keep = P(1.0) - factor;
        pull = mp * factor;
    }
    // The second frame's steps in both lanes.
    Falls later() const noexcept {
        return Falls(xsimd::zip_hi(keep, keep), xsimd::zip_hi(pull, pull));
    }

  private:
    Falls(const Pair<Arch>& k, const Pair<Arch>& p) noexcept : keep(k), pull(p) {}
};

// One envelope step (the low lane counts): e' = e (1 - attack) + mp attack where mp is above e,
// else e keep + pull; one product and one sum (fused in the AVX2 build) on the recursion.
template <class Arch>
[[gnu::always_inline]] inline Pair<Arch> envelopeStep(const Pair<Arch>& e, const Pair<Arch>& mp,
                                                      const Falls<Arch>& f,
                                                      const Pair<Arch>& keepUp,
                                                      const Pair<Arch>& attack) noexcept {
    const Pair<Arch> up = fusedMulAdd(e, keepUp, mp * attack);
    const Pair<Arch> down = fusedMulAdd(e, f.keep, f.pull);
    return xsimd::select(e < mp, up, down);
}

// n frames of both lines from `at` on scaled by the gains 1 / e[i] (1 where e[i] is at most 1,
// or NaN) and the ceiling, held inside it.
template <class T>
[[gnu::always_inline]] inline T scaledToCeiling(const T& x, const T& g) noexcept {
    return smaller(larger(x * g * T(kPassCeiling), T(-kPassCeiling)), T(kPassCeiling));
}
template <class Arch>
void scaleRun(double* left, double* right, const double* e, int n) noexcept {
    using V = Lanes<Arch>;
    constexpr int kWidth = static_cast<int>(V::size);
    int i = 0;
    for (; i + kWidth <= n; i += kWidth) {
        const V g = V(1.0) / larger(V::load_unaligned(e + i), V(1.0));
        scaledToCeiling(V::load_unaligned(left + i), g).store_unaligned(left + i);
        scaledToCeiling(V::load_unaligned(right + i), g).store_unaligned(right + i);
    }
    for (; i < n; ++i) {
        const double g = 1.0 / larger(e[i], 1.0);
        left[i] = scaledToCeiling(left[i], g);
        right[i] = scaledToCeiling(right[i], g);
    }
}

// The envelope over the window peaks (LimiterPasses::envelope): the level averages, the falls
// and the envelope's steps of two frames per turn, then the frames it scales.
template <class Arch>
double envelopeOfPeaks(const double* m, int n, const LimiterLaw& law, double lanes[2][5], double e,
                       double* left, double* right, unsigned first) noexcept {
    using P = Pair<Arch>;
    LevelLanes<Arch> av(law, lanes);
    // Frames in pairs: the offsets of the two frames are constants.
    const P plus = av.offset, minus = -plus;
    const P release(law.release), attack(law.attack), keepUp(1.0 - law.attack);
    alignas(64) double g[kLimiterCallFrames];
    P ev(e);
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const P y0 = av.step(m[i], plus, minus);
        const P y1 = av.step(m[i + 1], minus, plus);
        const P mp = P::load_unaligned(m + i);
        const Falls<Arch> falls(y0, y1, mp, release);
        const P e0 = envelopeStep<Arch>(ev, mp, falls, keepUp, attack);
        ev = envelopeStep<Arch>(e0, xsimd::zip_hi(mp, mp), falls.later(), keepUp, attack);
        g[i] = lowLane(e0);
        g[i + 1] = lowLane(ev);
    }
    if (i < n) {
        const P y = av.step(m[i], plus, minus);
        const P mp(m[i]);
        ev = envelopeStep<Arch>(ev, mp, Falls<Arch>(y, y, mp, release), keepUp, attack);
        g[i] = lowLane(ev);
        av.offset = minus;
    }
    av.store(lanes);
    // The frames up to the end of the lines, then those from their start.
    const unsigned at = first & (kLimiterRing - 1);
    const int head =
        kLimiterRing - static_cast<int>(at) < n ? kLimiterRing - static_cast<int>(at) : n;
    scaleRun<Arch>(left + at, right + at, g, head);
    scaleRun<Arch>(left, right, g + head, n - head);
    return lowLane(ev);
}

template <class Arch>
constexpr LimiterPasses limiterKernelsFor() noexcept {
    return {&peaksPass<Arch>, &windowMaximaPass<Arch>, &envelopeOfPeaks<Arch>};
}

}  // namespace
}  // namespace grandpress
