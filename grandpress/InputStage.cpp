#include "grandpress/InputStageImpl.h"

namespace grandpress {

const HostSampleKernels kHostSamplesBaseline = {finiteFloats, finiteDoubles, toFloats};

}  // namespace grandpress
