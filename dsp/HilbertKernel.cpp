#include "dsp/HilbertKernel.h"

#include <numbers>

#include "dsp/FastFirTaps.h"

namespace qrx::dsp {
namespace {

// The fast FIR's sub-filter taps after h (see HilbertFastFir.h): those of the antisymmetric
// G[j] (j < 2 Lc, Lc = taps & ~1) of the sums, G[j] = -h[Lc - 1 - j] for j < Lc and h[j - Lc]
// after, with sub-filters of Lc / 2 taps.
void fillSplitTaps(const double* h, int taps, double* split) noexcept {
    const int lc = taps & ~1, leaf = lc / 2;
    double g[4 * kHilbertFastFirMaxLeaf];
    for (int j = 0; j < 2 * lc; ++j) g[j] = j < lc ? -h[lc - 1 - j] : h[j - lc];
    double* ae = split;
    double* ao = ae + 2 * leaf;
    double* asum = ao + 2 * leaf;
    double* se = asum + 2 * leaf;
    fastfir::splitTaps(g, leaf, {ae, ao, asum, se, se + 2 * leaf});
}

}  // namespace

void fillHilbertKernel(double* kernel, int taps, int size) noexcept {
    for (int i = 0; i < size; ++i)
        kernel[i] = i < taps ? 2.0 / ((2 * i + 1) * std::numbers::pi) : 0.0;
    if (hilbertFastFirFits(taps)) fillSplitTaps(kernel, taps, kernel + hilbertSplitOffset(taps));
}

void referenceHilbertSums(const double* centre, const double* kernel, int taps, int quads,
                          double* q, HilbertHistory* history, std::int64_t) noexcept {
    if (history != nullptr) history->forget();
    for (int k = 0; k < 4 * quads; ++k) {
        double sum = 0.0;
        for (int i = 0; i < taps; ++i)
            sum += kernel[i] * (centre[k + 2 * i + 1] - centre[k - 2 * i - 1]);
        q[k] = sum;
    }
}

}  // namespace qrx::dsp
