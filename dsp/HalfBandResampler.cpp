#include "dsp/HalfBandResampler.h"

#include <cmath>
#include <numbers>

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

double floored(double v) {
    return std::fabs(v) < kTapFloor ? 0.0 : v;
}

struct Kernels {
    std::array<double, HalfBandResampler::kTaps> up{};
    std::array<double, HalfBandResampler::kTaps> down{};
    std::array<double, HalfBandResampler::kOddTapsPerSide> upOdd{};
    std::array<double, HalfBandResampler::kOddTapsPerSide> downOdd{};

    Kernels() {
        for (int i = -HalfBandResampler::kHalfTaps; i <= HalfBandResampler::kHalfTaps; ++i) {
            up[i + HalfBandResampler::kHalfTaps] = floored(2.0 * halfBandCore(i) * blackman(i));
            down[i + HalfBandResampler::kHalfTaps] = floored(halfBandCore(i) * hann(i));
        }
        // The window sum 0.42 + 0.5 + 0.08 rounds to just below 1 in double; the centre taps
        // are exactly 1 and 0.5, so the direct phase of the up-sampler passes samples bit-exact.
        up[HalfBandResampler::kHalfTaps] = kUpCentre;
        down[HalfBandResampler::kHalfTaps] = kDownCentre;
        for (int j = 0; j < HalfBandResampler::kOddTapsPerSide; ++j) {
            upOdd[j] = up[HalfBandResampler::kHalfTaps + 2 * j + 1];
            downOdd[j] = down[HalfBandResampler::kHalfTaps + 2 * j + 1];
        }
    }
};

// Built on first use (thread-safe static initialisation); the constructor of every resampler
// touches it, so the process functions never pay for the guard.
const Kernels& kernels() {
    static const Kernels k;
    return k;
}

}  // namespace

HalfBandResampler::HalfBandResampler() noexcept
    : upOdd_(kernels().upOdd.data()),
      downOdd_(kernels().downOdd.data()),
      upCentre_(kernels().up[kHalfTaps]),
      downCentre_(kernels().down[kHalfTaps]) {}

double HalfBandResampler::upTap(int i) noexcept {
    if (i < -kHalfTaps || i > kHalfTaps) return 0.0;
    return kernels().up[i + kHalfTaps];
}

double HalfBandResampler::downTap(int i) noexcept {
    if (i < -kHalfTaps || i > kHalfTaps) return 0.0;
    return kernels().down[i + kHalfTaps];
}

void HalfBandResampler::reset() noexcept {
    upRing_.fill(0.0);
    downRing_.fill(0.0);
    upPos_ = 0;
    downPos_ = 0;
}

namespace {

// Stores v as the newest ring sample and returns a pointer p with p[-m] = the sample m steps
// older (m = 0..255), contiguous thanks to the mirrored copy.
inline const double* push(double* ring, unsigned& pos, double v) {
    pos = (pos + 1) & (HalfBandResampler::kRingSize - 1);
    ring[pos] = v;
    ring[pos + HalfBandResampler::kRingSize] = v;
    return ring + pos + HalfBandResampler::kRingSize;
}

// sum over j = 0..63 of taps[j] * (a[j * step] + b[-j * step]). Four partial sums break the
// chain of dependent additions (the order differs from a plain loop by rounding only).
inline double symmetricSum(const double* taps, const double* a, const double* b, int step) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    for (int j = 0; j < HalfBandResampler::kOddTapsPerSide; j += 4) {
        s0 += taps[j] * (a[j * step] + b[-j * step]);
        s1 += taps[j + 1] * (a[(j + 1) * step] + b[-(j + 1) * step]);
        s2 += taps[j + 2] * (a[(j + 2) * step] + b[-(j + 2) * step]);
        s3 += taps[j + 3] * (a[(j + 3) * step] + b[-(j + 3) * step]);
    }
    return (s0 + s1) + (s2 + s3);
}

}  // namespace

void HalfBandResampler::upsample(const double* in, double* out2n, int n) noexcept {
    double* ring = upRing_.data();
    unsigned pos = upPos_;
    for (int k = 0; k < n; ++k) {
        const double* x = push(ring, pos, in[k]);  // x[-m] is x[k - m]
        // Half-way between x[k-65] and x[k-64]: taps u(2j+1) on x[k-64+j] and x[k-65-j].
        out2n[2 * k] = symmetricSum(upOdd_, x - 64, x - 65, 1);
        out2n[2 * k + 1] = upCentre_ * x[-64];
    }
    upPos_ = pos;
}

void HalfBandResampler::downsample(const double* in2n, double* out, int n) noexcept {
    // The ring holds the 2x-rate stream z; pair k is E[k] = z[2k], O[k] = z[2k+1]. Output k uses
    // pairs k-128..k-1 only, so it is computed before pair k is stored.
    double* ring = downRing_.data();
    unsigned pos = downPos_;
    const double* z = ring + pos + kRingSize;  // z[0] = O[k-1], z[-1] = E[k-1], z[-2m-1] = E[k-1-m]
    for (int k = 0; k < n; ++k) {
        const double even = in2n[2 * k];
        const double odd = in2n[2 * k + 1];
        // Taps d(2j+1) on E[k-64+j] (z[-127 + 2j]) and E[k-65-j] (z[-129 - 2j]); d(0) on
        // O[k-65] (z[-128]).
        const double y = symmetricSum(downOdd_, z - 127, z - 129, 2) + downCentre_ * z[-128];
        push(ring, pos, even);
        z = push(ring, pos, odd);
        out[k] = y;
    }
    downPos_ = pos;
}

void HalfBandResampler::delayUp(const double* in, double* out, int n) noexcept {
    double* ring = upRing_.data();
    unsigned pos = upPos_;
    for (int k = 0; k < n; ++k) out[k] = push(ring, pos, in[k])[-kDelayOnlySamples];
    upPos_ = pos;
}

void HalfBandResampler::delayDown(const double* in, double* out, int n) noexcept {
    double* ring = downRing_.data();
    unsigned pos = downPos_;
    for (int k = 0; k < n; ++k) out[k] = push(ring, pos, in[k])[-kDelayOnlySamples];
    downPos_ = pos;
}

}  // namespace qrx::dsp
