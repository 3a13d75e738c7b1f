#include "grandpress/OutputStage.h"

#include <cmath>
#include <cstring>

#include "grandpress/Kernels.h"

namespace grandpress {

namespace {

constexpr unsigned kLimiterMask = Limiter::kRing - 1;
static_assert(kChunkFrames <= kLimiterCallFrames, "the limiter takes a whole chunk at once");

// Frames of a run of n ring positions from `first` on before the ring wraps (n <= the ring).
int ringHead(unsigned first, int n) noexcept {
    const int room = static_cast<int>(Limiter::kRing - (first & kLimiterMask));
    return room < n ? room : n;
}
// The frames x[0 .. n) into a limiter line from position `first` on, each in exchange for the
// frame one place further on (x[i] comes back as the frame at first + i + 1): each frame is read
// before the frame after it is stored over it, as the line moves on by n.
void exchange(double* line, unsigned first, double* x, int n) noexcept {
    for (int i = 0; i < n;) {
        const unsigned p = (first + static_cast<unsigned>(i)) & kLimiterMask;
        if (p == kLimiterMask) {  // the last position: the next one is the first
            const double out = line[0];
            line[p] = x[i];
            x[i++] = out;
            continue;
        }
        const int left = n - i, room = static_cast<int>(kLimiterMask - p);
        const int run = room < left ? room : left;
        double* __restrict at = line + p;
        double* __restrict xs = x + i;
        for (int j = 0; j < run; ++j) {
            const double out = at[j + 1];
            at[j] = xs[j];
            xs[j] = out;
        }
        i += run;
    }
}

// The limiter's level filters as the passes carry them: x1, x2, y1, y2 and the noise offset.
void toLanes(const PlainState& p, double lanes[5]) noexcept {
    lanes[0] = p.memories.x1;
    lanes[1] = p.memories.x2;
    lanes[2] = p.memories.y1;
    lanes[3] = p.memories.y2;
    lanes[4] = p.offset;
}
void fromLanes(const double lanes[5], PlainState& p) noexcept {
    p.memories = {lanes[0], lanes[1], lanes[2], lanes[3]};
    p.offset = lanes[4];
}

}  // namespace

void RealignLines::clear() noexcept {
    for (auto& l : line)
        for (double& v : l) v = 0.0;
    write = kRealignLineLength - 1;
}

void RealignLines::push(const double* const in[4], int n, int delay, double spill[4][128],
                        const double* out[4]) noexcept {
    // All frames in first: no frame of the chunk is stored over one it still has to read.
    constexpr unsigned kMask = kRealignLineLength - 1;
    const unsigned start = (write + 1) & kMask;
    const unsigned firstRun = kRealignLineLength - start < static_cast<unsigned>(n)
                                  ? kRealignLineLength - start
                                  : static_cast<unsigned>(n);
    for (int s = 0; s < 4; ++s) std::memcpy(line[s] + start, in[s], sizeof(double) * firstRun);
    if (firstRun < static_cast<unsigned>(n))  // (most chunks do not wrap: no calls for nothing)
        for (int s = 0; s < 4; ++s)
            std::memcpy(line[s], in[s] + firstRun, sizeof(double) * (n - firstRun));
    write = (write + static_cast<unsigned>(n)) & kMask;
    const unsigned from = (start - static_cast<unsigned>(delay)) & kMask;
    const unsigned readRun = kRealignLineLength - from < static_cast<unsigned>(n)
                                 ? kRealignLineLength - from
                                 : static_cast<unsigned>(n);
    // Most chunks read one run: the frames stay where they are (copying them out took 1.2 % of
    // the instructions of the plain build's "compressing", 4.2 of 354 million for 10 s).
    for (int s = 0; s < 4; ++s) out[s] = line[s] + from;
    if (readRun < static_cast<unsigned>(n))
        for (int s = 0; s < 4; ++s) {
            std::memcpy(spill[s], line[s] + from, sizeof(double) * readRun);
            std::memcpy(spill[s] + readRun, line[s], sizeof(double) * (n - readRun));
            out[s] = spill[s];
        }
}

void Limiter::reset(const EngineSettings& s) noexcept {
    for (unsigned i = 0; i < kRing; ++i) lineL[i] = lineR[i] = peak[i] = 0.0;
    peaksForgotten = true;
    owed = 0;
    w = kRing - 1;
    r = (w - static_cast<unsigned>(s.limiterLookAhead) - 1) & kMask;
    E = 0.0001;
    G = 1.0;
    fastLevel.reset();
    slowLevel.reset();
}

void Limiter::process(double& left, double& right, bool limit, const EngineSettings& s,
                      double noise) noexcept {
    const LimiterPasses& plain = grandpress::kernelsFor(qrx::dsp::InstructionSet::Baseline).limiter;
    process(plain, &left, &right, 1, limit, s, &noise, 1);
}

void Limiter::process(const LimiterPasses& passes, double* left, double* right, int n, bool limit,
                      const EngineSettings& s, const double* noise, int noiseStep) noexcept {
    if (n <= 0) return;
    if (limit) {
        run(passes, left, right, n, true, s, noise, noiseStep);
        owed = lookAhead();
        return;
    }
    // Off: the frames it had taken in are still scaled as they reach r, the limiter running on
    // (with the peaks of the frames coming in meanwhile) until the last of them has passed.
    const int still = owed < n ? owed : n;
    if (still > 0) run(passes, left, right, still, true, s, noise, noiseStep);
    owed -= still;
    if (still < n)
        run(passes, left + still, right + still, n - still, false, s, noise + still * noiseStep,
            noiseStep);
}

void Limiter::run(const LimiterPasses& pass, double* left, double* right, int n, bool limit,
                  const EngineSettings& s, const double* noise, int noiseStep) noexcept {
    const unsigned w0 = w, r0 = r;
    if (limit) {
        // Peaks of the new frames into the peak line, at the frames' positions.
        const int head = ringHead(w0, n);
        pass.peaks(left, right, head, peak + (w0 & kMask));
        pass.peaks(left + head, right + head, n - head, peak);
        peaksForgotten = false;
    }
    // The frames in, those leaving out (in place); no frame of this chunk scales a position
    // before it has left (the look-ahead is far below the line).
    exchange(lineL, w0, left, n);
    exchange(lineR, w0, right, n);
    if (limit) {
        // Frame i's window is the `span` peaks from r0 + i on.
        const int span = static_cast<int>((w0 - r0) & kMask) + 1;
        alignas(64) double m[kLimiterCallFrames];
        pass.windowMaxima(peak, r0, span, n, noise, noiseStep, m);
        // Level averages, release speed-up, envelope and the frames it scales at r.
        double levels[2][5];
        toLanes(fastLevel, levels[0]);
        toLanes(slowLevel, levels[1]);
        const LimiterLaw law = {s.limiterFast, s.limiterSlow, s.limiterRelease, s.limiterAttack};
        const double e = pass.envelope(m, n, law, levels, E, lineL, lineR, r0);
        fromLanes(levels[0], fastLevel);
        fromLanes(levels[1], slowLevel);
        E = e;
        G = e <= 1.0 ? 1.0 : 1.0 / e;
    } else if (!peaksForgotten) {
        for (double& p : peak) p = 0.0;
        peaksForgotten = true;
    }
    w = (w0 + static_cast<unsigned>(n)) & kMask;
    r = (r0 + static_cast<unsigned>(n)) & kMask;
}

}  // namespace grandpress
