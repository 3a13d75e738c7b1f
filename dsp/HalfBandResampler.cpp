#include "dsp/HalfBandResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "dsp/FastFirTaps.h"

namespace qrx::dsp {

namespace {

constexpr double kTapFloor = 1e-16;
constexpr double kUpCentre = 1.0;
constexpr double kDownCentre = 0.5;

double halfBandCore(int i) {
    if (i == 0) return 0.5;
    // The exact value at even i is sin(k*pi) = 0; libm returns rounding residue (about 1e-16 at
    // i = 22, which would survive the floor below), so even taps are zeroed explicitly.
    if (i % 2 == 0) return 0.0;
    const double pi = std::numbers::pi;
    return std::sin(i * pi / 2.0) / (256.0 * std::sin(i * pi / 255.0));
}

double blackman(int i) {
    const double pi = std::numbers::pi;
    return 0.42 + 0.5 * std::cos(2.0 * pi * i / 255.0) + 0.08 * std::cos(4.0 * pi * i / 255.0);
}

double hann(int i) {
    return 0.5 + 0.5 * std::cos(2.0 * std::numbers::pi * i / 255.0);
}

// Taps below the floor are zero; the others lie on multiples of 2^-53. The baseline tap sums add
// neighbouring taps in pairs and fours before multiplying (HalfBandFastFir.h); on this grid those
// sums, all below 1 in magnitude, are exact, so an impulse comes out as the taps themselves on
// either kernel set. (The rounding moves a tap by at most 2^-54.)
double tapOnGrid(double v) {
    return std::fabs(v) < kTapFloor ? 0.0 : std::nearbyint(v * 0x1p53) * 0x1p-53;
}

struct Taps {
    std::array<double, HalfBandResampler::kTaps> up{};
    std::array<double, HalfBandResampler::kTaps> down{};
    // The interpolated phase as one 128-tap filter over the 128 past samples, oldest first:
    // tap 63 - j on x[k-65-j] and tap 64 + j on x[k-64+j], both the odd tap 2j+1.
    halfband::PhaseTaps upPhase{};
    halfband::PhaseTaps downPhase{};

    Taps() {
        for (int i = -HalfBandResampler::kHalfTaps; i <= HalfBandResampler::kHalfTaps; ++i) {
            up[i + HalfBandResampler::kHalfTaps] = tapOnGrid(2.0 * halfBandCore(i) * blackman(i));
            down[i + HalfBandResampler::kHalfTaps] = tapOnGrid(halfBandCore(i) * hann(i));
        }
        // The window sum 0.42 + 0.5 + 0.08 rounds to just below 1 in double; the centre taps
        // are exactly 1 and 0.5, so the direct phase of the up-sampler passes samples bit-exact.
        up[HalfBandResampler::kHalfTaps] = kUpCentre;
        down[HalfBandResampler::kHalfTaps] = kDownCentre;
        upPhase = phaseOfKernel(up);
        downPhase = phaseOfKernel(down);
    }

    static halfband::PhaseTaps phaseOfKernel(
        const std::array<double, HalfBandResampler::kTaps>& kernel) noexcept {
        constexpr int kSide = HalfBandResampler::kOddTapsPerSide;
        double phase[halfband::kPhaseTaps];
        for (int j = 0; j < kSide; ++j)
            phase[kSide - 1 - j] = phase[kSide + j] =
                kernel[HalfBandResampler::kHalfTaps + 2 * j + 1];
        return halfband::phaseOf(phase);
    }
};

// Built on first use (thread-safe static initialisation); the constructor of every resampler
// touches it, so the process functions never pay for the guard.
const Taps& taps() {
    static const Taps k;
    return k;
}

}  // namespace

halfband::PhaseTaps halfband::phaseOf(const double* taps) noexcept {
    PhaseTaps p{};
    std::copy(taps, taps + kPhaseTaps, p.taps);
    SplitTaps& t = p.split;
    // taps[4u .. 4u + 3] = a[2u], b[2u], a[2u + 1], b[2u + 1].
    fastfir::splitTaps(taps, 32, {t.ae, t.ao, t.asum, t.se, t.ssum});
    return p;
}

void halfband::referencePhaseSums(const PhaseTaps& phase, const double* x, double* out,
                                  int count) noexcept {
    const double* taps = phase.taps;
    for (int i = 0; i < count; ++i) {
        double sum = 0.0;
        for (int q = 0; q < kPhaseTaps; ++q) sum += taps[q] * x[i - kPhaseTaps + q];
        out[i] = sum;
    }
}

HalfBandResampler::HalfBandResampler() noexcept
    : upPhase_(&taps().upPhase), downPhase_(&taps().downPhase) {}

double HalfBandResampler::upTap(int i) noexcept {
    if (i < -kHalfTaps || i > kHalfTaps) return 0.0;
    return taps().up[i + kHalfTaps];
}

double HalfBandResampler::downTap(int i) noexcept {
    if (i < -kHalfTaps || i > kHalfTaps) return 0.0;
    return taps().down[i + kHalfTaps];
}

void HalfBandResampler::reset() noexcept {
    upLine_.clear();
    evenLine_.clear();
    oddLine_.clear();
    upPair_.rows.forget();
    downPair_.rows.forget();
}

std::int64_t HalfBandResampler::PairHistory::startOf(const HalfBandResampler* with,
                                                     const HistoryLine& a,
                                                     const HistoryLine& b) noexcept {
    const bool same = partner == with && a.count() == b.count();
    partner = with;
    return same ? a.count() : -1;
}

double* HalfBandResampler::HistoryLine::blockOf(int m) noexcept {
    if (end_ + m > kHistory + kBlocksPerMove * kBlock) {
        const int from = end_ - kHistory;
        const int to = from % kPositions;
        std::memmove(samples_.data() + to, samples_.data() + from, sizeof(double) * kHistory);
        end_ = to + kHistory;
    }
    return samples_.data() + end_;
}

void HalfBandResampler::HistoryLine::clear() noexcept {
    samples_.fill(0.0);
    end_ = kHistory;
    ++count_;
}

// Each call is cut into blocks of at most kBlock samples: the block is appended to the history
// line and the tap sums of the whole block run at once.

namespace {

constexpr int blockAt(int done, int n) {
    return n - done < HalfBandResampler::kBlock ? n - done : HalfBandResampler::kBlock;
}

}  // namespace

void HalfBandResampler::upsample(const halfband::PhaseKernels& k, const double* in, double* out2n,
                                 int n) noexcept {
    for (int done = 0; done < n;) {
        const int m = blockAt(done, n);
        double* x = upLine_.blockOf(m);  // x[i] is the block's sample i, x[-j] older ones
        std::memcpy(x, in + done, sizeof(double) * m);
        // First output of x[k]: half-way between x[k-65] and x[k-64]; second: u(0) * x[k-64],
        // u(0) being 1.
        static_assert(kUpCentre == 1.0);
        k.interleaved(*upPhase_, x, x - kOddTapsPerSide, out2n + 2 * done, m);
        upLine_.advance(m);
        done += m;
    }
}

void HalfBandResampler::downsample(const halfband::PhaseKernels& k, const double* in2n, double* out,
                                   int n) noexcept {
    // Pair k is E[k] = in2n[2k], O[k] = in2n[2k+1]; output k is the tap sum over E[k-128] ..
    // E[k-1] plus d(0) * O[k-65]. The block's pairs are copied before any output is written, so
    // out may be in2n.
    for (int done = 0; done < n;) {
        const int m = blockAt(done, n);
        double* even = evenLine_.blockOf(m);
        double* odd = oddLine_.blockOf(m);
        k.split(in2n + 2 * done, even, odd, m);
        k.withDirect(*downPhase_, even, odd - kOddTapsPerSide - 1, kDownCentre, out + done, m);
        evenLine_.advance(m);
        oddLine_.advance(m);
        done += m;
    }
}

void HalfBandResampler::upsampleTwo(const halfband::PhaseKernels& k, HalfBandResampler* two,
                                    const double* const in[2], double* const out2n[2],
                                    int n) noexcept {
    const double* x[2];
    const double* direct[2];
    for (int done = 0; done < n;) {
        const int m = blockAt(done, n);
        double* out[2];
        for (int s = 0; s < 2; ++s) {
            double* line = two[s].upLine_.blockOf(m);
            std::memcpy(line, in[s] + done, sizeof(double) * m);
            x[s] = line;
            direct[s] = line - kOddTapsPerSide;
            out[s] = out2n[s] + 2 * done;
        }
        PairHistory& pair = two[0].upPair_;
        const std::int64_t start = pair.startOf(two + 1, two[0].upLine_, two[1].upLine_);
        k.interleavedTwo(*two[0].upPhase_, x, direct, out, m, &pair.rows, start);
        for (int s = 0; s < 2; ++s) two[s].upLine_.advance(m);
        done += m;
    }
}

void HalfBandResampler::downsampleTwo(const halfband::PhaseKernels& k, HalfBandResampler* two,
                                      const double* const in2n[2], double* const out[2],
                                      int n) noexcept {
    const double* even[2];
    const double* odd[2];
    for (int done = 0; done < n;) {
        const int m = blockAt(done, n);
        double* to[2];
        for (int s = 0; s < 2; ++s) {
            double* e = two[s].evenLine_.blockOf(m);
            double* o = two[s].oddLine_.blockOf(m);
            k.split(in2n[s] + 2 * done, e, o, m);
            even[s] = e;
            odd[s] = o - kOddTapsPerSide - 1;
            to[s] = out[s] + done;
        }
        PairHistory& pair = two[0].downPair_;
        const std::int64_t start = pair.startOf(two + 1, two[0].evenLine_, two[1].evenLine_);
        k.withDirectTwo(*two[0].downPhase_, even, odd, kDownCentre, to, m, &pair.rows, start);
        for (int s = 0; s < 2; ++s) {
            two[s].evenLine_.advance(m);
            two[s].oddLine_.advance(m);
        }
        done += m;
    }
}

void HalfBandResampler::delayThrough(HistoryLine& line, const double* in, double* out,
                                     int n) noexcept {
    // In place allowed: the block is copied into the line before any output is written.
    for (int done = 0; done < n;) {
        const int m = blockAt(done, n);
        double* x = line.blockOf(m);
        std::memcpy(x, in + done, sizeof(double) * m);
        for (int i = 0; i < m; ++i) out[done + i] = x[i - kDelayOnlySamples];
        line.advance(m);
        done += m;
    }
}

void HalfBandResampler::delayUp(const double* in, double* out, int n) noexcept {
    delayThrough(upLine_, in, out, n);
}

void HalfBandResampler::delayDown(const double* in, double* out, int n) noexcept {
    delayThrough(evenLine_, in, out, n);
}

}  // namespace qrx::dsp
