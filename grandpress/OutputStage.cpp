#include "grandpress/OutputStage.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>

namespace grandpress {

namespace {

constexpr unsigned kLimiterMask = Limiter::kRing - 1;

// Frames of a run of n ring positions from `first` on before the ring wraps (n <= the ring).
int ringHead(unsigned first, int n) noexcept {
    const int room = static_cast<int>(Limiter::kRing - (first & kLimiterMask));
    return room < n ? room : n;
}
// n values into / out of a limiter ring from position `first` on, wrapping at its end.
void ringIn(double* ring, unsigned first, const double* from, int n) noexcept {
    const int head = ringHead(first, n);
    std::memcpy(ring + (first & kLimiterMask), from,
                sizeof(double) * static_cast<std::size_t>(head));
    std::memcpy(ring, from + head, sizeof(double) * static_cast<std::size_t>(n - head));
}
void ringOut(const double* ring, unsigned first, double* to, int n) noexcept {
    const int head = ringHead(first, n);
    std::memcpy(to, ring + (first & kLimiterMask), sizeof(double) * static_cast<std::size_t>(head));
    std::memcpy(to + head, ring, sizeof(double) * static_cast<std::size_t>(n - head));
}

// The fast and slow level averages of the window peaks m, both filters in one pair of lanes (the
// same sums as one filter after the other).
void levelAverages(const double* m, int n, const EngineSettings& s, PlainState& fast,
                   PlainState& slow, double* fastLevel, double* slowLevel) noexcept {
    const qrx::dsp::BiquadCoefficients& cf = s.limiterFast;
    const qrx::dsp::BiquadCoefficients& cs = s.limiterSlow;
    const StereoPair b0 = {cf.b0, cs.b0}, b1 = {cf.b1, cs.b1}, b2 = {cf.b2, cs.b2};
    const StereoPair a1 = {cf.a1, cs.a1}, a2 = {cf.a2, cs.a2};
    StereoPair x1 = {fast.memories.x1, slow.memories.x1};
    StereoPair x2 = {fast.memories.x2, slow.memories.x2};
    StereoPair y1 = {fast.memories.y1, slow.memories.y1};
    StereoPair y2 = {fast.memories.y2, slow.memories.y2};
    StereoPair offset = {fast.offset, slow.offset};
    for (int i = 0; i < n; ++i) {
        const StereoPair before = offset;
        offset = -offset;
        const StereoPair x = m[i] + offset;
        const StereoPair y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y + before;
        fastLevel[i] = y[0];
        slowLevel[i] = y[1];
    }
    fast.memories = {x1[0], x2[0], y1[0], y2[0]};
    slow.memories = {x1[1], x2[1], y1[1], y2[1]};
    fast.offset = offset[0];
    slow.offset = offset[1];
}

}  // namespace

void RealignLines::clear() noexcept {
    for (auto& l : line)
        for (double& v : l) v = 0.0;
    write = kRealignLineLength - 1;
}

void RealignLines::push(const double* const in[4], int n, int delay, double out[4][128]) noexcept {
    // All frames in first: no frame of the chunk is stored over one it still has to read.
    constexpr unsigned kMask = kRealignLineLength - 1;
    const unsigned start = (write + 1) & kMask;
    const unsigned firstRun = kRealignLineLength - start < static_cast<unsigned>(n)
                                  ? kRealignLineLength - start
                                  : static_cast<unsigned>(n);
    for (int s = 0; s < 4; ++s) {
        std::memcpy(line[s] + start, in[s], sizeof(double) * firstRun);
        std::memcpy(line[s], in[s] + firstRun, sizeof(double) * (n - firstRun));
    }
    write = (write + static_cast<unsigned>(n)) & kMask;
    const unsigned from = (start - static_cast<unsigned>(delay)) & kMask;
    const unsigned readRun = kRealignLineLength - from < static_cast<unsigned>(n)
                                 ? kRealignLineLength - from
                                 : static_cast<unsigned>(n);
    for (int s = 0; s < 4; ++s) {
        std::memcpy(out[s], line[s] + from, sizeof(double) * readRun);
        std::memcpy(out[s] + readRun, line[s], sizeof(double) * (n - readRun));
    }
}

void Limiter::reset(const EngineSettings& s) noexcept {
    for (unsigned i = 0; i < kRing; ++i) lineL[i] = lineR[i] = peak[i] = 0.0;
    peaksForgotten = true;
    w = kRing - 1;
    r = (w - static_cast<unsigned>(s.limiterLookAhead) - 1) & kMask;
    E = 0.0001;
    G = 1.0;
    fastLevel.reset();
    slowLevel.reset();
}

void Limiter::process(double& left, double& right, bool limit, const EngineSettings& s,
                      double noise) noexcept {
    process(&left, &right, 1, limit, s, &noise, 1);
}

void Limiter::process(double* left, double* right, int n, bool limit, const EngineSettings& s,
                      const double* noise, int noiseStep) noexcept {
    if (n <= 0) return;
    const unsigned w0 = w, r0 = r;
    // The frames leaving: each is read before the frame after it is stored over it, and no frame
    // of this chunk scales a position before it has left (the look-ahead is far below the line).
    alignas(64) double outL[128], outR[128];
    ringOut(lineL, w0 + 1, outL, n);
    ringOut(lineR, w0 + 1, outR, n);
    ringIn(lineL, w0, left, n);
    ringIn(lineR, w0, right, n);
    if (limit) {
        const LimiterPasses& pass = *passes;
        alignas(64) double m[128], fast[128], slow[128], keepDown[128], pullDown[128];
        alignas(64) double pullUp[128], g[128];
        // Peaks of the new frames into the peak line, at the frames' positions.
        pass.peaks(left, right, n, m);
        ringIn(peak, w0, m, n);
        peaksForgotten = false;
        // Frame i's window is the `span` peaks from r0 + i on.
        const int span = static_cast<int>((w0 - r0) & kMask) + 1;
        alignas(64) double run[kRing + 128];
        ringOut(peak, r0, run, span + n - 1);
        pass.windowMaxima(run, span, n, m);
        for (int i = 0; i < n; ++i) m[i] += noise[i * noiseStep];
        // Level averages, then the release speed-up and both envelope steps of every frame
        // (feed-forward).
        levelAverages(m, n, s, fastLevel, slowLevel, fast, slow);
        const double attack = s.limiterAttack;
        pass.envelopeSteps(fast, slow, m, n, s.limiterRelease, attack, keepDown, pullDown, pullUp);
        // The envelope, serial; then the gains and the scaled frames at r. Both steps, then the
        // one that applies (no branch that changes from frame to frame); each step
        // e + (m - e) k as e (1 - k) + m k, one product and one sum on the recursion.
        const __m128d keepUp = _mm_set_sd(1.0 - attack);
        __m128d ev = _mm_set_sd(E);
        for (int i = 0; i < n; ++i) {
            const __m128d up = _mm_add_sd(_mm_mul_sd(ev, keepUp), _mm_load_sd(pullUp + i));
            const __m128d down =
                _mm_add_sd(_mm_mul_sd(ev, _mm_load_sd(keepDown + i)), _mm_load_sd(pullDown + i));
            const __m128d rising = _mm_cmpgt_sd(_mm_load_sd(m + i), ev);  // all ones where m > e
            ev = _mm_or_pd(_mm_and_pd(rising, up), _mm_andnot_pd(rising, down));
            _mm_store_sd(g + i, ev);
        }
        const double e = _mm_cvtsd_f64(ev);
        E = e;
        pass.gains(g, n);
        G = e <= 1.0 ? 1.0 : 1.0 / e;
        const int head = ringHead(r0, n);
        pass.scaleToCeiling(lineL + (r0 & kMask), g, head);
        pass.scaleToCeiling(lineR + (r0 & kMask), g, head);
        pass.scaleToCeiling(lineL, g + head, n - head);
        pass.scaleToCeiling(lineR, g + head, n - head);
    } else if (!peaksForgotten) {
        for (double& p : peak) p = 0.0;
        peaksForgotten = true;
    }
    w = (w0 + static_cast<unsigned>(n)) & kMask;
    r = (r0 + static_cast<unsigned>(n)) & kMask;
    std::memcpy(left, outL, sizeof(double) * static_cast<std::size_t>(n));
    std::memcpy(right, outR, sizeof(double) * static_cast<std::size_t>(n));
}

}  // namespace grandpress
