// The meters' chunk feeds built for AVX2 (this file only; chosen at run time).
#include "grandpress/MeterKernelsImpl.h"

namespace grandpress {

const MeterKernels kMeterKernelsAvx2 = {signalsKernel, gainsKernel};

}  // namespace grandpress
