#include "grandpress/MeterKernelsImpl.h"

namespace grandpress {

const MeterKernels kMeterKernelsBaseline = {signalsKernel, gainsKernel};

}  // namespace grandpress
