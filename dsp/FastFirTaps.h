// The taps of a fast FIR's nine sub-filters (HalfBandFastFir.h, HilbertFastFir.h), made once with
// the filter's taps rather than on every call of its sums.
//
// Threads: a pure function, any thread.
#pragma once

namespace qrx::dsp::fastfir {

// Where the five sets of sub-filter taps go, each tap in both lanes (2 leaf doubles a set, leaf
// for ssum).
struct SplitTapSets {
    double *ae, *ao, *asum, *se, *ssum;
};

// From the taps g[0 .. 4 leaf): ae[u] = g[4u], ao[u] = g[4u + 2], asum = ae + ao,
// se[u] = g[4u] + g[4u + 1], and ssum[u] = se[u] + (g[4u + 2] + g[4u + 3]) for u < leaf / 2.
inline void splitTaps(const double* g, int leaf, const SplitTapSets& to) noexcept {
    const auto both = [](double* set, int u, double v) { set[2 * u] = set[2 * u + 1] = v; };
    for (int u = 0; u < leaf; ++u) {
        const double ae = g[4 * u], ao = g[4 * u + 2];
        const double se = ae + g[4 * u + 1], so = ao + g[4 * u + 3];
        both(to.ae, u, ae);
        both(to.ao, u, ao);
        both(to.asum, u, ae + ao);
        both(to.se, u, se);
        if (u < leaf / 2) both(to.ssum, u, se + so);
    }
}

}  // namespace qrx::dsp::fastfir
