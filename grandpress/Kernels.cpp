// The plain x86-64 kernel table (SSE2, two doubles per vector), and the choice of a table.
#include "grandpress/Kernels.h"

#include "grandpress/KernelsImpl.h"

namespace grandpress {
namespace {

constexpr Kernels kBaselineKernels = kernelsOf<xsimd::sse2>();

}  // namespace

const Kernels& kernelsFor(qrx::dsp::InstructionSet set) noexcept {
    // The effect only asks for a set the processor runs; the check keeps a stray request safe.
    if (set == qrx::dsp::InstructionSet::Avx2Fma &&
        qrx::dsp::bestInstructionSet() == qrx::dsp::InstructionSet::Avx2Fma)
        return avx2Kernels();
    return kBaselineKernels;
}

}  // namespace grandpress
