// The baseline table: the kernels' SSE2 instantiations (plain x86-64, which every x86-64
// processor runs).
#include "dsp/Kernels.h"

#include "dsp/KernelsImpl.h"

namespace qrx::dsp {
namespace {

constexpr Kernels kBaselineKernels = kernelsOf<xsimd::sse2>();

}  // namespace

const Kernels& kernelsFor(InstructionSet set) noexcept {
    if (set == InstructionSet::Avx2Fma && bestInstructionSet() == InstructionSet::Avx2Fma)
        return kAvx2Kernels;
    return kBaselineKernels;
}

}  // namespace qrx::dsp
