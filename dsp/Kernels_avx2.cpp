// The AVX2+FMA table: the kernels' instantiations for xsimd::fma3<xsimd::avx2>, the only code of
// the dsp library built with -mavx2 -mfma (dsp/CMakeLists.txt); reached only through
// kernelsFor() on processors that have both.
#include "dsp/KernelsImpl.h"

namespace qrx::dsp {

constinit const Kernels kAvx2Kernels = kernelsOf<xsimd::fma3<xsimd::avx2>>();

}  // namespace qrx::dsp
