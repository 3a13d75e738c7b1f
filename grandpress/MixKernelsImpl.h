// The body of the gain stage's mix (MixKernels.h), included by exactly one source file per
// instruction set; internal linkage, so each build keeps its own code.
#pragma once

#include "grandpress/MixKernels.h"

namespace grandpress {
namespace {

void mixFramesPass(const MixStreams& in, int n, double* __restrict left,
                   double* __restrict right) noexcept {
    const double* __restrict mainL = in.mainLeft;
    const double* __restrict mainR = in.mainRight;
    const double* __restrict dryL = in.dryLeft;
    const double* __restrict dryR = in.dryRight;
    const double* __restrict gL = in.gainLeft;
    const double* __restrict gR = in.gainRight;
    const double* __restrict makeupOf = in.makeup;
    const double* __restrict output = in.output;
    const double* __restrict mix = in.mix;
    const double autoMakeup = in.autoMakeup;
    for (int i = 0; i < n; ++i) {
        const double makeup = makeupOf[i] * autoMakeup;
        const double wL = mainL[i] * gL[i] * makeup;
        const double wR = mainR[i] * gR[i] * makeup;
        left[i] = output[i] * (dryL[i] + mix[i] * (wL - dryL[i]));
        right[i] = output[i] * (dryR[i] + mix[i] * (wR - dryR[i]));
    }
}

// The glides frame by frame (GlidingGains::glide's steps), the noise shift a constant.
template <int Shift>
void glidePass(GlideRun& g, const double* noise, int n, double* const glided[3]) noexcept {
    double makeup = g.value[0], output = g.value[1], mix = g.value[2];
    const double keep = g.keep;
    for (int i = 0; i < n; ++i) {
        const double nz = noise[i >> Shift];
        makeup = makeup * keep + (g.pull[0] + nz);
        output = output * keep + (g.pull[1] + nz);
        mix = mix * keep + (g.pull[2] + nz);
        glided[0][i] = makeup;
        glided[1][i] = output;
        glided[2][i] = mix;
    }
    g.value[0] = makeup;
    g.value[1] = output;
    g.value[2] = mix;
}

inline void glidePass(GlideRun& g, const double* noise, int noiseShift, int n,
                      double* const glided[3]) noexcept {
    if (noiseShift == 0)
        glidePass<0>(g, noise, n, glided);
    else
        glidePass<1>(g, noise, n, glided);
}

}  // namespace
}  // namespace grandpress
