#include "grandpress/MixKernelsImpl.h"

namespace grandpress {

void mixFramesBaseline(const MixStreams& in, int n, double* left, double* right) noexcept {
    mixFramesPass(in, n, left, right);
}

}  // namespace grandpress
