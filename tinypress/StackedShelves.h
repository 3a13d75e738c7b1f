// The baseline build's shelves (SideChainKernels.h) where both channels run one design: one pair
// holds the high and the low shelf. A template on the xsimd architecture of the pairs
// (KernelLanes.h); the per-frame reference is qrx::dsp::glidingBiquadStep.
#pragma once

#include <immintrin.h>

#include <type_traits>

#include "tinypress/ChunkKernels.h"
#include "tinypress/KernelLanes.h"

namespace tinypress {
namespace {

// The target coefficients times the glide rate.
inline qrx::dsp::BiquadCoefficients scaledCoefficients(const qrx::dsp::BiquadCoefficients& t,
                                                       double r) noexcept {
    qrx::dsp::BiquadCoefficients s;
    s.b0 = t.b0 * r;
    s.b1 = t.b1 * r;
    s.b2 = t.b2 * r;
    s.a1 = t.a1 * r;
    s.a2 = t.a2 * r;
    return s;
}

// With one noise run for all four shelves, each shelf's running coefficients are the same in
// both channels whenever they were at the start of the chunk (in mono always, in stereo
// unless the channels once ran apart): one pair of coefficients, the high shelf in lane 0 and
// the low shelf in lane 1, then serves both channels. Step i runs the low shelf on frame i
// and the high shelf on frame i - 2, on the low shelf's output that step i - 2 left in the
// side chain in place of its input. The glide takes half the work of the pair form, and
// the state of the steps fits the sixteen registers of the build.
template <class PairArch>
struct StackedShelves {
    using Pair = Lanes<PairArch>;
    using Coefficients = PairCoefficients<PairArch>;
    using Memories = PairMemories<PairArch>;
    using HighLane = xsimd::batch_bool_constant<Pair, true, false>;
    using LowLane = xsimd::batch_bool_constant<Pair, false, true>;
    Coefficients c;      // running, (high, low)
    Memories m[2];       // per channel, (high, low)
    Coefficients rated;  // target * rate
    Pair keep;           // 1 - rate

    explicit StackedShelves(const ShelfJob& j) noexcept
        : c(j.high[0]->current, j.low[0]->current),
          m{Memories(j.high[0]->memories, j.low[0]->memories),
            Memories(j.high[1]->memories, j.low[1]->memories)},
          rated(scaledCoefficients(*j.highTarget, j.rate),
                scaledCoefficients(*j.lowTarget, j.rate)),
          keep(1.0 - j.rate) {}

    // Whether the job's shelves can run this way.
    static bool fits(const ShelfJob& j, bool shared) noexcept {
        constexpr std::size_t kSize = sizeof(qrx::dsp::BiquadCoefficients);
        // NOLINTBEGIN(bugprone-suspicious-memory-comparison): the bits are what must agree
        return shared && std::memcmp(&j.low[0]->current, &j.low[1]->current, kSize) == 0 &&
               std::memcmp(&j.high[0]->current, &j.high[1]->current, kSize) == 0;
        // NOLINTEND(bugprone-suspicious-memory-comparison)
    }

    // One biquad sample on input x with noise h, as glidingStep after the glide; the newest
    // input and output come last, which keeps the chain from one step to the next short.
    // The newest input and output go to the slots of the oldest, so the memories change
    // places: `swapped` reads them so (x2 and y2 the newest); two steps in turn leave them as
    // they were, with no moves between registers.
    template <bool swapped>
    [[gnu::always_inline]] Pair filter(Memories& mem, const Pair& x, const Pair& h) const noexcept {
        Pair& x1 = swapped ? mem.x2 : mem.x1;
        Pair& x2 = swapped ? mem.x1 : mem.x2;
        Pair& y1 = swapped ? mem.y2 : mem.y1;
        Pair& y2 = swapped ? mem.y1 : mem.y2;
        const Pair xh = x + h;
        const Pair older = mulSub(c.a2, y2, mulAdd(c.b2, x2, c.b1 * x1));
        const Pair y = mulSub(c.a1, y1, mulAdd(c.b0, xh, older));
        x2 = xh;
        y2 = y + h;
        return y;
    }

    // One step of both channels on inputs x (per channel) with noise h; c (1 - rate) +
    // (t rate + h) is the glide. Leaves the memories swapped unless `swapped`.
    template <bool swapped>
    [[gnu::always_inline]] void step(const Pair& h, const Pair (&x)[2], Pair (&y)[2]) noexcept {
        c.b0 = mulAdd(c.b0, keep, rated.b0 + h);
        c.b1 = mulAdd(c.b1, keep, rated.b1 + h);
        c.b2 = mulAdd(c.b2, keep, rated.b2 + h);
        c.a1 = mulAdd(c.a1, keep, rated.a1 + h);
        c.a2 = mulAdd(c.a2, keep, rated.a2 + h);
        y[0] = filter<swapped>(m[0], x[0], h);
        y[1] = filter<swapped>(m[1], x[1], h);
    }

    // The memories back in place after an odd step.
    void unswap() noexcept {
        for (Memories& mem : m) {
            std::swap(mem.x1, mem.x2);
            std::swap(mem.y1, mem.y2);
        }
    }

    // One step that leaves the memories in place.
    [[gnu::always_inline]] void step(const Pair& h, const Pair (&x)[2], Pair (&y)[2]) noexcept {
        step<false>(h, x, y);
        unswap();
    }

    // Step i: the low shelf on frame i, the high shelf on frame i - 2.
    template <bool swapped>
    [[gnu::always_inline]] void stepBoth(double* const (&s)[2], const double* h, int i) noexcept {
        Pair y[2];
        step<swapped>(
            pairOf<PairArch>(h[i - 2], h[i]),
            {pairOf<PairArch>(s[0][i - 2], s[0][i]), pairOf<PairArch>(s[1][i - 2], s[1][i])}, y);
        store(y[0], s[0][i - 2], s[0][i]);
        store(y[1], s[1][i - 2], s[1][i]);
    }

    // The running state of the shelves: what restore() takes back.
    struct Running {
        Coefficients c;
        Memories m[2];
    };
    Running running() const noexcept { return {c, {m[0], m[1]}}; }

    // The lanes of `mask` back as `from` had them.
    template <class Mask>
    void restore(const Running& from, Mask mask) noexcept {
        const auto pick = [mask](Pair& now, const Pair& before) {
            if constexpr (std::is_same_v<PairArch, xsimd::sse2>) {
                // One lane move, where xsimd's select takes three logic operations.
                constexpr bool kHigh = std::is_same_v<Mask, HighLane>;
                now = kHigh ? Pair(_mm_move_sd(now, before)) : Pair(_mm_move_sd(before, now));
            } else {
                now = xsimd::select(mask, before, now);
            }
        };
        pick(c.b0, from.c.b0);
        pick(c.b1, from.c.b1);
        pick(c.b2, from.c.b2);
        pick(c.a1, from.c.a1);
        pick(c.a2, from.c.a2);
        for (int ch = 0; ch < 2; ++ch) {
            pick(m[ch].x1, from.m[ch].x1);
            pick(m[ch].x2, from.m[ch].x2);
            pick(m[ch].y1, from.m[ch].y1);
            pick(m[ch].y2, from.m[ch].y2);
        }
    }

    void run(const ShelfJob& j) noexcept {
        const int n = j.n;
        double* const s[2] = {j.side[0], j.side[1]};
        const double* const h = j.lowNoise[0];
        Pair y[2];
        double unused;
        // The low shelf alone on the first two frames (the high lane keeps its state).
        const Running start = running();
        for (int i = 0; i < n && i < 2; ++i) {
            step(pairOf<PairArch>(0.0, h[i]),
                 {pairOf<PairArch>(0.0, s[0][i]), pairOf<PairArch>(0.0, s[1][i])}, y);
            store(y[0], unused, s[0][i]);
            store(y[1], unused, s[1][i]);
        }
        restore(start, HighLane());
        int i = 2;
        for (; i + 2 <= n; i += 2) {
            stepBoth<false>(s, h, i);
            stepBoth<true>(s, h, i + 1);
        }
        if (i < n) {
            stepBoth<false>(s, h, i);
            unswap();
        }
        // The high shelf alone on the last two frames (the low lane keeps its state).
        const Running lowDone = running();
        for (int f = n < 2 ? 0 : n - 2; f < n; ++f) {
            step(pairOf<PairArch>(h[f], 0.0),
                 {pairOf<PairArch>(s[0][f], 0.0), pairOf<PairArch>(s[1][f], 0.0)}, y);
            store(y[0], s[0][f], unused);
            store(y[1], s[1][f], unused);
        }
        restore(lowDone, LowLane());
    }

    void finish(const ShelfJob& j) const noexcept {
        c.storeTo(j.high[0]->current, j.low[0]->current);
        j.high[1]->current = j.high[0]->current;
        j.low[1]->current = j.low[0]->current;
        for (int ch = 0; ch < 2; ++ch) m[ch].storeTo(j.high[ch]->memories, j.low[ch]->memories);
    }
};

}  // namespace
}  // namespace tinypress
