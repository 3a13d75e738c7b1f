#include "grandpress/Detector.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/HilbertKernel.h"

namespace grandpress {

namespace {

constexpr double kSilenceLevel = 0.005;  // detector floor, about -46 dB below the threshold

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
    qrx::dsp::fillHilbertKernel(kernel, taps, kMaxLength + 4);
    clear();
}

void Detector::clear() noexcept {
    std::memset(line, 0, sizeof line);
    position = centreDelay + 2 * taps;
}

void Detector::process(qrx::dsp::InstructionSet set, const double* linkL, const double* linkR,
                       int n, double detectorScale, bool exactRoot, double* detL,
                       double* detR) noexcept {
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
    const int quads = (n + 3) / 4;
    const double* centreL = line[0] + position - centreDelay;
    const double* centreR = line[1] + position - centreDelay;
    qrx::dsp::hilbertSums(set, centreL, kernel, L, quads, q[0]);
    qrx::dsp::hilbertSums(set, centreR, kernel, L, quads, q[1]);

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
