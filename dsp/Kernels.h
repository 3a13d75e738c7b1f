// The dsp library's vector kernels, one table per instruction set: the Hilbert sums of both
// detectors, the anti-denormal noise runs, the half-band resampler's tap sums and the input
// stage's host-sample runs. Each kernel is one template on the xsimd architecture (its *Impl.h
// header); Kernels.cpp fills the baseline table with the SSE2 instantiations, Kernels_avx2.cpp
// the AVX2+FMA one. The engines pick a table once per block (kernelsFor) and pass it down.
// dsp/README.md tells how to add a kernel.
//
// Threads: the tables are constant; any thread.
#pragma once

#include "dsp/HalfBandResampler.h"
#include "dsp/HilbertKernel.h"
#include "dsp/InputStage.h"
#include "dsp/InstructionSet.h"
#include "dsp/NoiseKernel.h"

namespace qrx::dsp {

struct Kernels {
    HilbertSums hilbertSums;
    NoiseKernels noise;
    halfband::PhaseKernels halfBand;
    HostSampleKernels hostSamples;
};

// The table of `set`, or the baseline one where this processor cannot run `set`.
const Kernels& kernelsFor(InstructionSet set) noexcept;

// The AVX2+FMA table (Kernels_avx2.cpp); only for processors that have both.
extern const Kernels kAvx2Kernels;

}  // namespace qrx::dsp
