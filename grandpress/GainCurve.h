// The static curve of the gain computer over a whole chunk: envelope levels -> gain factors
// out(level) / (level + 1e-6), hard or soft knee. The curve is feed-forward, so it runs after the
// serial envelope loop, on vectors where the processor allows.
//
// Threads: pure functions, audio thread.
#pragma once

#include "dsp/InstructionSet.h"

namespace grandpress {

struct EngineSettings;

// What the curve needs of the settings, as plain values (the vector build sees nothing else).
struct CurveShape {
    double inverseRatio = 1.0;
    bool soft = false;
    // Soft knee: the Catmull-Rom segment between levels 0.5 and 1.5 as c0 + c1 t + c2 t^2 + c3 t^3,
    // t = level - 0.5.
    double c0 = 0.0, c1 = 0.0, c2 = 0.0, c3 = 0.0;
};

CurveShape curveShapeOf(const EngineSettings& s) noexcept;

// gain[k] for level[0 .. n) with the kernels of `set` (which this processor must run). The
// baseline gives the bits of GainComputer::gainOf; the vector build differs by rounding only.
void curveGains(qrx::dsp::InstructionSet set, const EngineSettings& s, const double* level, int n,
                double* gain) noexcept;

// The AVX2+FMA build (GainCurve_avx2.cpp).
void curveGainsAvx2(const CurveShape& shape, const double* level, int n, double* gain) noexcept;

}  // namespace grandpress
