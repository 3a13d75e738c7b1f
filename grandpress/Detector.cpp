#include "grandpress/Detector.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/Kernels.h"

namespace grandpress {

float fastSquareRoot(float s) noexcept {
    float r = std::bit_cast<float>(0x5F3759DFu - (std::bit_cast<std::uint32_t>(s) >> 1));
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
    qrx::dsp::fillHilbertKernel(kernel, taps, sizeof kernel / sizeof kernel[0]);
    clear();
}

void Detector::clear() noexcept {
    std::memset(line, 0, sizeof line);
    hilbertHistory[0].forget();
    hilbertHistory[1].forget();
    produced = 0;
    // The sample after the first centre at an index divisible by 8 (a 64-byte boundary): with
    // chunks of 128 (or 64) the plain sums then start each call on a group of their fast FIR.
    position = centreDelay + 2 * taps;
    position += (8 - (position - centreDelay + 1) % 8) % 8;
}

void referenceDetectorLevels(const double* const q[2], const double* const centre[2], int n,
                             double detectorScale, bool exactRoot, double* const det[2]) noexcept {
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < n; ++k) {
            const double s = q[c][k] * q[c][k] + centre[c][k] * centre[c][k];
            const double root = exactRoot
                                    ? std::sqrt(s)
                                    : static_cast<double>(fastSquareRoot(static_cast<float>(s)));
            det[c][k] = detectorScale * root + kDetectorFloor;
        }
    }
}

void Detector::process(const DetectorKernels& kernels, const qrx::dsp::Kernels& dsp,
                       const double* linkL, const double* linkR, int n, double detectorScale,
                       bool exactRoot, double* detL, double* detR) noexcept {
    const int L = taps;
    const int history = centreDelay + 2 * L;
    // The history moves to the front when the end is near, by a multiple of eight places: every
    // sample keeps its index modulo 8, its address modulo 64 bytes, on which the plain sums'
    // rounding depends.
    if (position + n + 1 > kLineSize) {
        const int to = history + ((position - history) & 7);
        for (int c = 0; c < 2; ++c)
            std::memmove(line[c] + to - history, line[c] + position - history,
                         sizeof(double) * history);
        position = to;
    }
    std::memcpy(line[0] + position, linkL, sizeof(double) * n);
    std::memcpy(line[1] + position, linkR, sizeof(double) * n);

    // Output k belongs to the newest sample position + k; its centre is centreDelay behind.
    const int quads = (n + 3) / 4;
    const double* centreL = line[0] + position - centreDelay;
    const double* centreR = line[1] + position - centreDelay;
    const qrx::dsp::HilbertSums hilbertSums = dsp.hilbertSums;
    hilbertSums(centreL, kernel, L, quads, q[0], &hilbertHistory[0], produced);
    hilbertSums(centreR, kernel, L, quads, q[1], &hilbertHistory[1], produced);

    const double* const sums[2] = {q[0], q[1]};
    const double* const centres[2] = {centreL, centreR};
    double* const levels[2] = {detL, detR};
    kernels.levels(sums, centres, n, detectorScale, exactRoot, levels);
    position += n;
    produced += n;
}

}  // namespace grandpress
