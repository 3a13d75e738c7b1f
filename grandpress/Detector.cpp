#include "grandpress/Detector.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

// The vector helpers below are inlined; their by-value AVX types never cross a call.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace grandpress {

namespace {

constexpr double kSilenceLevel = 0.005;  // detector floor, about -46 dB below the threshold
constexpr int kBlock = 16;               // outputs per vector block

typedef double Quad __attribute__((vector_size(32)));

// sum += h (forward - backward) on unaligned quads; by reference, as no vector-typed argument or
// result may depend on AVX in the default clone (clang refuses that ABI change outright).
inline void accumulate(Quad& sum, double h, const double* forward, const double* backward) {
    Quad f, b;
    std::memcpy(&f, forward, sizeof f);
    std::memcpy(&b, backward, sizeof b);
    sum += h * (f - b);
}

// q[k] = sum_{i<L} h[i] * (x[k+2i+1] - x[k-2i-1]) for k = 0..blocks*16-1, x pointing at the
// centre of output 0. Sixteen outputs per pass keep four independent sums in flight; built for
// AVX2 where the processor has it (the sums are the same either way: no fused multiply-add).
__attribute__((target_clones("avx2", "default"))) void hilbertSums(const double* x, const double* h,
                                                                   int L, int blocks, double* q) {
    for (int b = 0; b < blocks; ++b) {
        const double* xb = x + b * kBlock;
        Quad a0 = {0, 0, 0, 0}, a1 = a0, a2 = a0, a3 = a0;
        for (int i = 0; i < L; ++i) {
            const double hi = h[i];
            const double* f = xb + (2 * i + 1);
            const double* r = xb - (2 * i + 1);
            accumulate(a0, hi, f, r);
            accumulate(a1, hi, f + 4, r + 4);
            accumulate(a2, hi, f + 8, r + 8);
            accumulate(a3, hi, f + 12, r + 12);
        }
        std::memcpy(q + b * kBlock, &a0, sizeof a0);
        std::memcpy(q + b * kBlock + 4, &a1, sizeof a1);
        std::memcpy(q + b * kBlock + 8, &a2, sizeof a2);
        std::memcpy(q + b * kBlock + 12, &a3, sizeof a3);
    }
}

}  // namespace

float fastSquareRoot(float s) noexcept {
    std::uint32_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    bits = 0x5F3759DFu - (bits >> 1);
    float r;
    std::memcpy(&r, &bits, sizeof r);
    r = r * (1.5f - ((0.5f * s) * r) * r);
    r = r * (1.5f - ((0.5f * s) * r) * r);
    return s * r;
}

Detector::Detector() noexcept {
    std::memset(line, 0, sizeof line);
    std::memset(q, 0, sizeof q);
    setLength(1, 2);
}

void Detector::setLength(int length, int centre) noexcept {
    taps = length < 1 ? 1 : (length > kMaxLength ? kMaxLength : length);
    const int most = kLinkedLineLength - 2 * taps;
    centreDelay = centre < 2 * taps ? 2 * taps : (centre > most ? most : centre);
    for (int i = 0; i < kMaxLength + 4; ++i)
        kernel[i] = i < taps ? 2.0 / ((2 * i + 1) * std::numbers::pi) : 0.0;
    clear();
}

void Detector::clear() noexcept {
    std::memset(line, 0, sizeof line);
    position = centreDelay + 2 * taps;
}

void Detector::process(const double* linkL, const double* linkR, int n, double detectorScale,
                       bool exactRoot, double* detL, double* detR) noexcept {
    const int L = taps;
    const int history = centreDelay + 2 * L;
    if (position + n > kLineSize) {
        for (int c = 0; c < 2; ++c)
            std::memmove(line[c], line[c] + position - history, sizeof(double) * history);
        position = history;
    }
    std::memcpy(line[0] + position, linkL, sizeof(double) * n);
    std::memcpy(line[1] + position, linkR, sizeof(double) * n);

    // Output k belongs to the newest sample position + k; its centre is centreDelay behind.
    const int blocks = (n + kBlock - 1) / kBlock;
    const double* centreL = line[0] + position - centreDelay;
    const double* centreR = line[1] + position - centreDelay;
    hilbertSums(centreL, kernel, L, blocks, q[0]);
    hilbertSums(centreR, kernel, L, blocks, q[1]);

    for (int k = 0; k < n; ++k) {
        const double sL = q[0][k] * q[0][k] + centreL[k] * centreL[k];
        const double sR = q[1][k] * q[1][k] + centreR[k] * centreR[k];
        double mL, mR;
        if (exactRoot) {
            mL = std::sqrt(sL);
            mR = std::sqrt(sR);
        } else {
            mL = fastSquareRoot(static_cast<float>(sL));
            mR = fastSquareRoot(static_cast<float>(sR));
        }
        detL[k] = detectorScale * mL + kSilenceLevel;
        detR[k] = detectorScale * mR + kSilenceLevel;
    }
    position += n;
}

}  // namespace grandpress
