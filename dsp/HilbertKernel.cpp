#include "dsp/HilbertKernel.h"

#include <numbers>

namespace qrx::dsp {

void fillHilbertKernel(double* kernel, int taps, int size) noexcept {
    for (int i = 0; i < size; ++i)
        kernel[i] = i < taps ? 2.0 / ((2 * i + 1) * std::numbers::pi) : 0.0;
}

void referenceHilbertSums(const double* centre, const double* kernel, int taps, int quads,
                          double* q) noexcept {
    for (int k = 0; k < 4 * quads; ++k) {
        double sum = 0.0;
        for (int i = 0; i < taps; ++i)
            sum += kernel[i] * (centre[k + 2 * i + 1] - centre[k - 2 * i - 1]);
        q[k] = sum;
    }
}

}  // namespace qrx::dsp
