// The engine's vector kernels: one table per instruction set, a sub-table per stage. Each kernel
// is one template on an xsimd architecture (the stages' *Impl.h and *Kernels.h headers);
// Kernels.cpp fills the plain x86-64 table with the library's normal flags, Kernels_avx2.cpp the
// AVX2+FMA table. The signal path picks a table once per block and hands the sub-tables down.
//
// Threads: the tables are constant; any thread may read them.
#pragma once

#include "dsp/InstructionSet.h"
#include "grandpress/Detector.h"
#include "grandpress/EnvelopeKernel.h"
#include "grandpress/GainCurve.h"
#include "grandpress/LimiterPasses.h"
#include "grandpress/MeterKernels.h"
#include "grandpress/MixKernels.h"
#include "grandpress/ShelfCascade.h"

namespace grandpress {

struct Kernels {
    // The output stages.
    LimiterPasses limiter;
    MeterKernels meters;
    MixKernels mix;
    // The compressor's stages.
    SideChainKernels sideChain;
    GainCurveKernels gainCurve;
    GainComputerKernels gainComputer;
    DetectorKernels detector;
};

// The table of `set`; the plain x86-64 one where the processor lacks AVX2+FMA.
const Kernels& kernelsFor(qrx::dsp::InstructionSet set) noexcept;

// The AVX2+FMA table (Kernels_avx2.cpp); call kernelsFor() instead, which checks the processor.
const Kernels& avx2Kernels() noexcept;

}  // namespace grandpress
