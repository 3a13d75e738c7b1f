// The engine's kernel table: one entry per stage, filled once for the baseline (Kernels.cpp) and
// once for AVX2+FMA (Kernels_avx2.cpp) from the same templates. SignalPath picks the table once
// per block and hands each stage its entry.
//
// Threads: the tables are constant; any thread may read them.
#pragma once

#include "dsp/InstructionSet.h"
#include "grandpress/Detector.h"
#include "grandpress/EnvelopeKernel.h"
#include "grandpress/GainCurve.h"
#include "grandpress/ShelfCascade.h"

namespace grandpress {

struct Kernels {
    // The compressor's stages.
    SideChainKernels sideChain;
    GainCurveKernels gainCurve;
    GainComputerKernels gainComputer;
    DetectorKernels detector;
};

// The table for `set`; the baseline one when this processor lacks AVX2+FMA.
const Kernels& kernelsFor(qrx::dsp::InstructionSet set) noexcept;

// The AVX2+FMA table (Kernels_avx2.cpp); only for processors that have both.
const Kernels& avx2Kernels() noexcept;

}  // namespace grandpress
