// The host-sample runs built for AVX2 (this file only; chosen at run time).
#include "grandpress/InputStageImpl.h"

namespace grandpress {

const HostSampleKernels kHostSamplesAvx2 = {finiteFloats, finiteDoubles, toFloats};

}  // namespace grandpress
