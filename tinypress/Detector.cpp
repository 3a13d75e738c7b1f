#include "tinypress/Detector.h"

#include <cstdint>
#include <cstring>

#include "dsp/Kernels.h"
#include "tinypress/ChunkKernels.h"

namespace tinypress {

float fastSquareRoot(float s) noexcept {
    constexpr float kLargest = 3.40282347e+38f;
    if (!(s <= kLargest)) s = kLargest;  // also catches NaN
    std::uint32_t bits;
    std::memcpy(&bits, &s, sizeof bits);
    bits = 0x5F3759DFu - (bits >> 1);
    float g;
    std::memcpy(&g, &bits, sizeof g);
    g = g * (1.5f - ((0.5f * s) * g) * g);
    g = g * (1.5f - ((0.5f * s) * g) * g);
    return s * g;
}

Detector::Detector() noexcept {
    clear();
}

void Detector::clear() noexcept {
    std::memset(ring, 0, sizeof ring);
    write = kRingLength - 1;
}

void Detector::store(const double* const filtered[2], int channels, int n) noexcept {
    const int first = (write + 1) & kRingMask;
    const int head = kRingLength - first < n ? kRingLength - first : n;
    const std::size_t headBytes = sizeof(double) * static_cast<std::size_t>(head);
    const std::size_t tailBytes = sizeof(double) * static_cast<std::size_t>(n - head);
    for (int c = 0; c < channels; ++c) {
        double* r = ring[c];
        const double* in = filtered[c];
        std::memcpy(r + first, in, headBytes);
        std::memcpy(r + first + kRingLength, in, headBytes);
        if (head == n) continue;  // (most chunks do not wrap: no calls for nothing)
        std::memcpy(r, in + head, tailBytes);
        std::memcpy(r + kRingLength, in + head, tailBytes);
    }
    write = (write + n) & kRingMask;
}

void Detector::process(const ChunkKernels& kernels, const qrx::dsp::Kernels& dsp,
                       const double* const filtered[2], int channels, int n, int taps, bool smooth,
                       double* const level[2]) noexcept {
    const int first = (write + 1) & kRingMask;
    store(filtered, channels, n);

    if (smooth && taps != kernelTaps) {  // a new rate: the fast FIR's taps follow the count
        qrx::dsp::fillHilbertKernel(kernel, taps, sizeof kernel / sizeof kernel[0]);
        kernelTaps = taps;
    }
    const int centreBack = 2 * taps;
    const qrx::dsp::HilbertSums hilbertSums = dsp.hilbertSums;
    alignas(64) double sums[kChunk + 4];
    for (int c = 0; c < channels; ++c) {
        const double* r = ring[c];
        double* out = level[c];
        // The chunk's positions run contiguously except where the ring wraps: at most two runs.
        int k = 0;
        while (k < n) {
            const int p = (first + k) & kRingMask;
            const int run = (kRingLength - p) < (n - k) ? (kRingLength - p) : (n - k);
            const double* centre = r + p + kRingLength - centreBack;
            if (smooth) {
                hilbertSums(centre, kernel, taps, (run + 3) / 4, sums, nullptr, 0);
                for (int j = 0; j < run; ++j) {
                    const double q = centre[j];
                    const float y = static_cast<float>(q * q + sums[j] * sums[j]);
                    out[k + j] = kSmoothScale * static_cast<double>(fastSquareRoot(y));
                }
            } else {
                kernels.scale(centre, run, kDraftScale, out + k);
            }
            k += run;
        }
    }
}

}  // namespace tinypress
