#include "grandpress/MixKernelsImpl.h"

namespace grandpress {

void mixFramesBaseline(const MixStreams& in, int n, double* left, double* right) noexcept {
    mixFramesPass(in, n, left, right);
}

void glideFramesBaseline(GlideRun& g, const double* noise, int noiseShift, int n,
                         double* const glided[3]) noexcept {
    glidePass(g, noise, noiseShift, n, glided);
}

}  // namespace grandpress
