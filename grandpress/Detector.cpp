#include "grandpress/Detector.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

namespace grandpress {

namespace {
constexpr double kSilenceLevel = 0.005;  // detector floor, about -46 dB below the threshold
typedef double Pair __attribute__((vector_size(16)));  // (left, right)

inline Pair loadPair(const double* p) {
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
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
    setLength(1);
}

void Detector::setLength(int length) noexcept {
    taps = length < 1 ? 1 : (length > kMaxLength ? kMaxLength : length);
    for (int i = 0; i < kMaxLength + 4; ++i)
        kernel[i] = i < taps ? 2.0 / ((2 * i + 1) * std::numbers::pi) : 0.0;
    clear();
}

void Detector::clear() noexcept {
    std::memset(line, 0, sizeof line);
    position = kLinkedLineLength - 1;
}

void Detector::process(const double* linkL, const double* linkR, int n, double detectorScale,
                       bool exactRoot, double* detL, double* detR) noexcept {
    const int L = taps;
    const double* h = kernel;
    unsigned pos = position;
    for (int k = 0; k < n; ++k) {
        pos = (pos + 1) & kMask;
        double* slot = line + 2 * pos;
        slot[0] = slot[2 * kLinkedLineLength] = linkL[k];
        slot[1] = slot[2 * kLinkedLineLength + 1] = linkR[k];
        // Centre pair 2L behind the newest one, addressed in the upper copy.
        const double* c = line + 2 * (pos + kLinkedLineLength - 2 * L);
        Pair q0 = {0.0, 0.0}, q1 = {0.0, 0.0};
        int i = 0;
        for (; i + 1 < L; i += 2) {
            q0 += h[i] * (loadPair(c + 2 * (2 * i + 1)) - loadPair(c - 2 * (2 * i + 1)));
            q1 += h[i + 1] * (loadPair(c + 2 * (2 * i + 3)) - loadPair(c - 2 * (2 * i + 3)));
        }
        if (i < L) q0 += h[i] * (loadPair(c + 2 * (2 * i + 1)) - loadPair(c - 2 * (2 * i + 1)));
        const Pair q = q0 + q1;
        const Pair x = loadPair(c);
        const Pair s = q * q + x * x;
        double m0, m1;
        if (exactRoot) {
            m0 = std::sqrt(s[0]);
            m1 = std::sqrt(s[1]);
        } else {
            m0 = fastSquareRoot(static_cast<float>(s[0]));
            m1 = fastSquareRoot(static_cast<float>(s[1]));
        }
        detL[k] = detectorScale * m0 + kSilenceLevel;
        detR[k] = detectorScale * m1 + kSilenceLevel;
    }
    position = pos;
}

}  // namespace grandpress
