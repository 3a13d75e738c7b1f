#include "grandpress/OutputStage.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>

namespace grandpress {

namespace {
constexpr double kPeakScale = 1.005773063;  // inter-sample peak allowance
constexpr double kPeakOffset = 0.011;
constexpr double kWindowOffset = 0.0009766;
// Highest peak the limiter follows (+60 dBFS). Above it the output is held at the ceiling by the
// clamp alone; without the cap an absurd input (1e38) lifts the envelope so far that its
// exponential release needs seconds of clean signal to come back down.
constexpr double kMaxPeak = 1000.0;
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
    // The frames leaving: each is read before the frame after it is stored over it, and no frame
    // of this chunk scales a position before it has left (the look-ahead is far below the line).
    alignas(64) double outL[128], outR[128];
    for (int i = 0; i < n; ++i) {
        const unsigned k = (w + 1 + static_cast<unsigned>(i)) & kMask;
        outL[i] = lineL[k];
        outR[i] = lineR[k];
    }
    const unsigned w0 = w, r0 = r;
    if (limit) {
        alignas(64) double m[128], f[128], sl[128], factor[128], g[128];
        // Peaks of the new frames into the peak line, at the frames' positions.
        for (int i = 0; i < n; ++i) {
            const unsigned k = (w0 + static_cast<unsigned>(i)) & kMask;
            lineL[k] = left[i];
            lineR[k] = right[i];
            peak[k] = minOf(maxOf(std::fabs(left[i] * kPeakScale) + kPeakOffset,
                                  std::fabs(right[i] * kPeakScale) + kPeakOffset),
                            kMaxPeak);
        }
        peaksForgotten = false;
        // Frame i's window is the `span` peaks from r0 + i on. Their maxima without branches:
        // a run of the line, then maxima over 2, 4, 8, ... peaks in place, and each window as
        // the larger of two overlapping power-of-two runs.
        const int span = static_cast<int>((w0 - r0) & kMask) + 1;
        const int runLength = span + n - 1;
        alignas(64) double run[kRing + 128];
        for (int j = 0; j < runLength; ++j) run[j] = peak[(r0 + static_cast<unsigned>(j)) & kMask];
        int width = 1;
        for (; 2 * width <= span; width *= 2) {
            const int count = runLength - 2 * width + 1;
            for (int j = 0; j < count; ++j) run[j] = maxOf(run[j], run[j + width]);
        }
        for (int i = 0; i < n; ++i)
            m[i] = maxOf(run[i], run[i + span - width]) + kWindowOffset + noise[i * noiseStep];
        // Level averages, then the release speed-up of every frame (feed-forward).
        qrx::dsp::BiquadMemories fm = fastLevel.memories, sm = slowLevel.memories;
        double fo = fastLevel.offset, so = slowLevel.offset;
        for (int i = 0; i < n; ++i) {
            f[i] = qrx::dsp::plainBiquadStep(m[i], s.limiterFast, fm, fo);
            sl[i] = qrx::dsp::plainBiquadStep(m[i], s.limiterSlow, sm, so);
        }
        fastLevel.memories = fm;
        slowLevel.memories = sm;
        fastLevel.offset = fo;
        slowLevel.offset = so;
        for (int i = 0; i < n; ++i) {
            const double t = 0.2 * f[i] / maxOf(sl[i], 1e-6);
            factor[i] = 4.0 * t / (t + 1.0) + 0.1;
        }
        // The envelope, serial; then the gains and the scaled frames at r.
        double e = E;
        const double attack = s.limiterAttack, release = s.limiterRelease;
        // Both steps, then the one that applies (no branch that changes from frame to frame);
        // each step e + (m - e) k as e (1 - k) + m k, one product and one sum on the recursion.
        for (int i = 0; i < n; ++i) factor[i] *= release;
        for (int i = 0; i < n; ++i) {
            const __m128d mi = _mm_set_sd(m[i]), ei = _mm_set_sd(e);
            const __m128d up = _mm_set_sd(e * (1.0 - attack) + m[i] * attack);
            const __m128d down = _mm_set_sd(e * (1.0 - factor[i]) + m[i] * factor[i]);
            const __m128d rising = _mm_cmpgt_sd(mi, ei);  // all ones where m > e
            e = _mm_cvtsd_f64(_mm_or_pd(_mm_and_pd(rising, up), _mm_andnot_pd(rising, down)));
            g[i] = e;
        }
        E = e;
        for (int i = 0; i < n; ++i) g[i] = g[i] <= 1.0 ? 1.0 : 1.0 / g[i];
        G = e <= 1.0 ? 1.0 : 1.0 / e;
        for (int i = 0; i < n; ++i) {
            const unsigned k = (r0 + static_cast<unsigned>(i)) & kMask;
            lineL[k] = minOf(maxOf(lineL[k] * g[i] * kCeiling, -kCeiling), kCeiling);
            lineR[k] = minOf(maxOf(lineR[k] * g[i] * kCeiling, -kCeiling), kCeiling);
        }
    } else {
        for (int i = 0; i < n; ++i) {
            const unsigned k = (w0 + static_cast<unsigned>(i)) & kMask;
            lineL[k] = left[i];
            lineR[k] = right[i];
        }
        if (!peaksForgotten) {
            for (double& p : peak) p = 0.0;
            peaksForgotten = true;
        }
    }
    w = (w0 + static_cast<unsigned>(n)) & kMask;
    r = (r0 + static_cast<unsigned>(n)) & kMask;
    for (int i = 0; i < n; ++i) {
        left[i] = outL[i];
        right[i] = outR[i];
    }
}

}  // namespace grandpress
