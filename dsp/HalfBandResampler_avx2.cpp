// The half-band resampler's tap sums on AVX2 with FMA. Compiled with -mavx2 -mfma: called only
// after the run-time check (halfband::phaseSumsFor). Nothing here but the kernel table and the
// instantiation of the architecture template, so no AVX code can stand in for a baseline symbol.
#include "dsp/HalfBandResampler.h"
#include "dsp/HalfBandResamplerKernel.h"

namespace qrx::dsp::halfband {

const PhaseKernels kAvx2Kernels =
    PhaseKernelsOf<xsimd::fma3<xsimd::avx2>, TapOrder::Fused>::kernels;

}  // namespace qrx::dsp::halfband
