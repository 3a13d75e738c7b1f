// The half-band resampler's tap sums on AVX2 with FMA. Compiled with -mavx2 -mfma: called only
// after the run-time check (halfband::phaseSumsFor). Nothing here but the entry function and the
// instantiation of the architecture template, so no AVX code can stand in for a baseline symbol.
#include "dsp/HalfBandResampler.h"
#include "dsp/HalfBandResamplerKernel.h"

namespace qrx::dsp::halfband {

void phaseSumsAvx2(const double* taps, const double* x, double* out, int count) noexcept {
    phaseSums<xsimd::fma3<xsimd::avx2>, TapOrder::Fused>(taps, x, out, count);
}

}  // namespace qrx::dsp::halfband
