// The gain stage's mix built for AVX2 (this file only; chosen at run time).
#include "grandpress/MixKernelsImpl.h"

namespace grandpress {

void mixFramesAvx2(const MixStreams& in, int n, double* left, double* right) noexcept {
    mixFramesPass(in, n, left, right);
}

}  // namespace grandpress
