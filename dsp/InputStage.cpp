#include "dsp/InputStageImpl.h"

namespace qrx::dsp {

const HostSampleKernels kHostSamplesBaseline = {finiteFloats, finiteDoubles, toFloats};

}  // namespace qrx::dsp
