// The static curve of the chunk kernels' dynamics (ChunkKernels.h): envelope levels v into gains
// y(v) / (v + 1e-6), hard or soft knee, over whole vectors of the chunk. The per-frame reference
// is gainOfEnvelope (GainComputer.h); the power comes from the tables of dsp/PowerTables.h, within
// a few units of the last place. A template on the xsimd architectures (KernelLanes.h).
#pragma once

#include <cstdint>

#include "dsp/PowerTablesImpl.h"
#include "tinypress/EngineSettings.h"
#include "tinypress/KernelLanes.h"

namespace tinypress {
namespace {

template <class PairArch, class WideArch>
struct GainCurveKernels {
    using Wide = Lanes<WideArch>;
    using Power = qrx::dsp::TablePower<WideArch>;
    static constexpr int kWide = static_cast<int>(Wide::size);
    // Vectors a group takes: their values go to memory first, where the power's table look-ups
    // read their bits.
    static constexpr int kGroup = 8;

    // The powers v^p of a group of G vectors (PowerTables, p = 1 / R).
    template <int G>
    [[gnu::always_inline]] static void powers(const Power& power, const Wide (&v)[G],
                                              Wide (&to)[G]) noexcept {
        alignas(32) std::uint64_t bits[G * kWide];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) Power::levelsTo(v[g], bits + g * kWide);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) to[g] = power(bits + g * kWide);
    }

    // Whether any of n values (a whole number of vectors) reaches `from`.
    static bool reaches(const double* v, int n, double from) noexcept {
        Wide m = Wide::load_aligned(v);
        for (int k = kWide; k < n; k += kWide) m = xsimd::max(m, Wide::load_aligned(v + k));
        return xsimd::any(m >= Wide(from));
    }

    // g = y(v) / (v + 1e-6) over the chunk, in place (n: whole vectors). The power runs over the
    // whole chunk when any value reaches its range (one decision per chunk, not one per vector),
    // and not at all at ratio 1, where v^1 is v.
    static void gainCurve(const EngineSettings& s, const qrx::dsp::PowerTables& tables, double* v,
                          int n) noexcept {
        if (s.softKnee)
            softKnee(s, tables, v, n);
        else
            hardKnee(s.inverseRatio, tables, v, n);
    }

    // The curve of `knee` (gains<G>(v): G vectors in place) over n values, in groups of kGroup
    // vectors, the rest a vector at a time.
    template <class Knee>
    [[gnu::always_inline]] static void inGroups(const Knee& knee, double* v, int n) noexcept {
        int k = 0;
        for (; k + kGroup * kWide <= n; k += kGroup * kWide) knee.template gains<kGroup>(v + k);
        for (; k < n; k += kWide) knee.template gains<1>(v + k);
    }

    static void hardKnee(double p, const qrx::dsp::PowerTables& tables, double* v, int n) noexcept {
        if (p == 1.0 || !reaches(v, n, 1.0)) {
            const Wide tiny(1e-6);
            for (int k = 0; k < n; k += kWide) {
                const Wide x = Wide::load_aligned(v + k);
                (x / (x + tiny)).store_aligned(v + k);
            }
            return;
        }
        inGroups(HardKnee{Power(tables)}, v, n);
    }

    // The hard knee's gains with the power where v is above 1.
    struct HardKnee {
        Power power;

        template <int G>
        [[gnu::always_inline]] void gains(double* v) const noexcept {
            Wide x[G], y[G];
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) x[g] = Wide::load_aligned(v + g * kWide);
            powers(power, x, y);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g)
                (xsimd::select(x[g] > Wide(1.0), y[g], x[g]) / (x[g] + Wide(1e-6)))
                    .store_aligned(v + g * kWide);
        }
    };

    // Catmull-Rom through (-0.5, 0.5, 1.5^p, 2.5^p) at t = v - 0.5 between 0.5 and 1.5, the
    // power from 1.5 on (where `withPowers`; v itself otherwise).
    struct SoftKnee {
        Power power;
        Wide c0, c1, c2, c3;
        bool withPowers;

        SoftKnee(const EngineSettings& s, const qrx::dsp::PowerTables& tables,
                 bool powersNeeded) noexcept
            : power(tables), withPowers(powersNeeded) {
            constexpr double p0 = -0.5, p1 = 0.5;
            const double p2 = s.kneeLowY, p3 = s.kneeHighY;
            c0 = Wide(p1);
            c1 = Wide(0.5 * p2 - 0.5 * p0);
            c2 = Wide(p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3);
            c3 = Wide(0.5 * p3 + 1.5 * p1 - 0.5 * p0 - 1.5 * p2);
        }

        template <int G>
        [[gnu::always_inline]] void gains(double* v) const noexcept {
            const Wide half(0.5), kneeTop(1.5);
            Wide x[G], y[G];
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) y[g] = x[g] = Wide::load_aligned(v + g * kWide);
            if (withPowers) powers(power, x, y);
#pragma GCC unroll 8
            for (int g = 0; g < G; ++g) {
                const Wide t = x[g] - half;
                const Wide t2 = t * t;
                // c0 + t c1 + t^2 c2 + t^3 c3, summed in that order (fused in the AVX2 build).
                Wide knee = xsimd::fma(t2 * t, c3, xsimd::fma(t2, c2, xsimd::fma(t, c1, c0)));
                knee = xsimd::select(x[g] >= kneeTop, y[g], knee);
                knee = xsimd::select(x[g] <= half, x[g], knee);
                (knee / (x[g] + Wide(1e-6))).store_aligned(v + g * kWide);
            }
        }
    };

    static void softKnee(const EngineSettings& s, const qrx::dsp::PowerTables& tables, double* v,
                         int n) noexcept {
        inGroups(SoftKnee(s, tables, s.inverseRatio != 1.0 && reaches(v, n, 1.5)), v, n);
    }
};

}  // namespace
}  // namespace tinypress
