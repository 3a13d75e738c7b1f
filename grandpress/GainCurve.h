// The static curve of the gain computer over a whole chunk: envelope levels -> gain factors
// out(level) / (level + 1e-6), hard or soft knee. The curve is feed-forward, so it runs after the
// serial envelope loop, on the vectors of the block's kernel table (GainCurveKernels.h).
//
// Threads: audio thread (curveGains makes the power tables anew when the ratio changes).
#pragma once

#include "dsp/PowerTables.h"

namespace grandpress {

struct EngineSettings;

// What the curve needs of the settings, as plain values (the kernels see nothing else).
struct CurveShape {
    const qrx::dsp::PowerTables* powers = nullptr;  // made for the settings' inverseRatio
    bool soft = false;
    // Soft knee: the Catmull-Rom segment between levels 0.5 and 1.5 as c0 + c1 t + c2 t^2 + c3 t^3,
    // t = level - 0.5.
    double c0 = 0.0, c1 = 0.0, c2 = 0.0, c3 = 0.0;
};

CurveShape curveShapeOf(const EngineSettings& s) noexcept;

// The curve's entry in the engine's kernel table (Kernels.h): gain[k] for level[0 .. n).
struct GainCurveKernels {
    void (*gains)(const CurveShape& shape, const double* level, int n, double* gain) noexcept;
};

// gain[k] for level[0 .. n) with the kernels of the block's table (within a few units of the
// last place of the reference's); `powers` is made anew first if the ratio changed.
void curveGains(const GainCurveKernels& kernels, const EngineSettings& s,
                qrx::dsp::PowerTables& powers, const double* level, int n, double* gain) noexcept;

// The reference the kernels are held to: GainComputer::gainOf frame by frame.
void referenceCurveGains(const EngineSettings& s, const double* level, int n,
                         double* gain) noexcept;

}  // namespace grandpress
