// The static curve of the gain computer over a whole chunk, as one template on the xsimd
// architecture (instantiated in Kernels.cpp for SSE2 and Kernels_avx2.cpp for AVX2+FMA): levels
// -> gains out(level) / (level + 1e-6), level^inverseRatio from the tables of PowerTables
// (dsp/PowerTables.h). Whether a stretch of levels needs the power (or the soft knee's segment) is
// decided once per stretch from its highest level, so the vectors inside run without branches and
// overlap in the processor. The per-frame reference is referenceCurveGains (GainCurve.h); the
// kernels stay within a few units of the last place of it. Everything here has internal linkage,
// so each build keeps its own code.
#pragma once

#include <cstdint>
#include <xsimd/xsimd.hpp>

#include "dsp/PowerTablesImpl.h"
#include "grandpress/GainCurve.h"

namespace grandpress {
namespace {
namespace curve {

// How much of the curve a stretch of levels reaches.
enum class Reach { Straight, Segment, Power };

// Levels per decision: long enough for the vectors inside to overlap, short enough that a level
// above the knee does not put many below it through the power.
constexpr int kStretch = 32;

template <class Arch>
struct Kernel {
    using Batch = xsimd::batch<double, Arch>;

    // The soft knee's segment c0 + c1 t + c2 t^2 + c3 t^3 (t = level - 0.5), in registers.
    struct Spline {
        Batch c0, c1, c2, c3;

        [[gnu::always_inline]] Batch at(Batch level) const {
            const Batch t = level - Batch(0.5);
            return xsimd::fma(xsimd::fma(xsimd::fma(c3, t, c2), t, c1), t, c0);
        }
    };

    // The gains of one chunk, the knee chosen at compile time.
    template <bool Soft>
    static void gainsOf(const CurveShape& shape, const double* level, int n, double* gain) {
        const qrx::dsp::TablePower<Arch> power(*shape.powers);
        const Spline spline = {Batch(shape.c0), Batch(shape.c1), Batch(shape.c2), Batch(shape.c3)};
        const Batch one(1.0), offset(1e-6);
        // The gain of a vector whose levels reach no further than R; `bits` holds what
        // power.levelsTo() made of them.
        const auto curve = [&]<Reach R>(Batch x, const std::uint64_t* bits)
            __attribute__((always_inline)) {
            Batch out = x;
            if constexpr (R != Reach::Straight && Soft)
                out = xsimd::select(x <= Batch(0.5), x, spline.at(x));
            if constexpr (R == Reach::Power) {
                const Batch y = power(bits);
                out = Soft ? xsimd::select(x >= Batch(1.5), y, out) : xsimd::select(x > one, y, x);
            }
            return out / (x + offset);
        };
        // A stretch that reaches the power takes two passes: its levels go to memory first (as
        // the power takes them), where the table look-ups read their bits.
        const auto run = [&]<Reach R>(int from, int to) {
            alignas(32) std::uint64_t bits[kStretch];
            if constexpr (R == Reach::Power)
                for (int k = from; k < to; k += Batch::size)
                    power.levelsTo(Batch::load_unaligned(level + k), bits + (k - from));
            for (int k = from; k < to; k += Batch::size)
                curve.template operator()<R>(Batch::load_unaligned(level + k), bits + (k - from))
                    .store_unaligned(gain + k);
        };
        // At 1:1 the power is the level itself: the hard knee's curve is straight throughout.
        const bool identity = !Soft && shape.powers->exponent == 1.0;
        const int whole = n - n % static_cast<int>(Batch::size);
        for (int k = 0; k < whole; k += kStretch) {
            const int end = k + kStretch < whole ? k + kStretch : whole;
            Batch top = Batch::load_unaligned(level + k);
            for (int j = k + Batch::size; j < end; j += Batch::size)
                top = xsimd::max(top, Batch::load_unaligned(level + j));
            if (identity || !xsimd::any(top > Batch(Soft ? 0.5 : 1.0)))
                run.template operator()<Reach::Straight>(k, end);
            else if (Soft && !xsimd::any(top >= Batch(1.5)))
                run.template operator()<Reach::Segment>(k, end);
            else
                run.template operator()<Reach::Power>(k, end);
        }
        if (whole < n) {
            // The last one to three levels, through a padded vector.
            alignas(32) double x[Batch::size];
            for (double& v : x) v = 1.0;
            alignas(32) double y[Batch::size];
            for (int j = 0; whole + j < n; ++j) x[j] = level[whole + j];
            const Batch xs = Batch::load_aligned(x);
            alignas(32) std::uint64_t bits[Batch::size];
            power.levelsTo(xs, bits);
            curve.template operator()<Reach::Power>(xs, bits).store_aligned(y);
            for (int j = 0; whole + j < n; ++j) gain[whole + j] = y[j];
        }
    }

    static void gains(const CurveShape& shape, const double* level, int n, double* gain) noexcept {
        if (shape.soft)
            gainsOf<true>(shape, level, n, gain);
        else
            gainsOf<false>(shape, level, n, gain);
    }
};

}  // namespace curve

template <class Arch>
constexpr GainCurveKernels gainCurveKernelsFor() noexcept {
    return {curve::Kernel<Arch>::gains};
}

}  // namespace
}  // namespace grandpress
