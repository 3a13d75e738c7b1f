#include "dsp/HilbertKernel.h"

#include <numbers>

namespace qrx::dsp {
namespace {

// The fast FIR's sub-filter taps after h (see HilbertFastFir.h), each in both lanes: with the
// antisymmetric G[j] (j < 2 Lc, Lc = taps & ~1) of the sums, G[j] = -h[Lc - 1 - j] for j < Lc and
// h[j - Lc] after, and T = Lc / 2: ae[u] = G[4u], ao[u] = G[4u + 2], asum = ae + ao,
// se[u] = G[4u] + G[4u + 1], and ssum[u] = se[u] + G[4u + 2] + G[4u + 3] for u < T / 2.
void fillSplitTaps(const double* h, int taps, double* split) noexcept {
    const int lc = taps & ~1, leaf = lc / 2;
    const auto g = [&](int j) { return j < lc ? -h[lc - 1 - j] : h[j - lc]; };
    double* ae = split;
    double* ao = ae + 2 * leaf;
    double* asum = ao + 2 * leaf;
    double* se = asum + 2 * leaf;
    double* ssum = se + 2 * leaf;
    for (int u = 0; u < leaf; ++u) {
        const double even = g(4 * u), odd = g(4 * u + 2);
        const double sEven = g(4 * u) + g(4 * u + 1), sOdd = g(4 * u + 2) + g(4 * u + 3);
        for (int lane = 0; lane < 2; ++lane) {
            ae[2 * u + lane] = even;
            ao[2 * u + lane] = odd;
            asum[2 * u + lane] = even + odd;
            se[2 * u + lane] = sEven;
            if (u < leaf / 2) ssum[2 * u + lane] = sEven + sOdd;
        }
    }
}

}  // namespace

void fillHilbertKernel(double* kernel, int taps, int size) noexcept {
    for (int i = 0; i < size; ++i)
        kernel[i] = i < taps ? 2.0 / ((2 * i + 1) * std::numbers::pi) : 0.0;
    if (hilbertFastFirFits(taps)) fillSplitTaps(kernel, taps, kernel + hilbertSplitOffset(taps));
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
