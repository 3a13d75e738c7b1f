#include "grandpress/GainCurve.h"

#include "grandpress/GainComputer.h"

namespace grandpress {

CurveShape curveShapeOf(const EngineSettings& s) noexcept {
    CurveShape c;
    c.soft = s.soft != 0;
    const double p0 = s.kneeP0, p1 = s.kneeP1, p2 = s.kneeP2, p3 = s.kneeP3;
    c.c0 = p1;
    c.c1 = 0.5 * (p2 - p0);
    c.c2 = p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3;
    c.c3 = 1.5 * (p1 - p2) + 0.5 * (p3 - p0);
    return c;
}

void curveGains(const GainCurveKernels& kernels, const EngineSettings& s,
                qrx::dsp::PowerTables& powers, const double* level, int n, double* gain) noexcept {
    powers.prepare(s.inverseRatio);
    CurveShape shape = curveShapeOf(s);
    shape.powers = &powers;
    kernels.gains(shape, level, n, gain);
}

void referenceCurveGains(const EngineSettings& s, const double* level, int n,
                         double* gain) noexcept {
    for (int k = 0; k < n; ++k) gain[k] = GainComputer::gainOf(level[k], s);
}

}  // namespace grandpress
