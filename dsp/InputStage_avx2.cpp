// The host-sample runs built for AVX2 (this file only; chosen at run time).
#include "dsp/InputStageImpl.h"

namespace qrx::dsp {

const HostSampleKernels kHostSamplesAvx2 = {finiteFloats, finiteDoubles, toFloats};

}  // namespace qrx::dsp
