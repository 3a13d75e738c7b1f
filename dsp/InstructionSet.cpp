#include "dsp/InstructionSet.h"

namespace qrx::dsp {
namespace {

InstructionSet probe() noexcept {
    // libgcc's check includes the operating system's support for the AVX registers (XGETBV).
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return InstructionSet::Avx2Fma;
    return InstructionSet::Baseline;
}

}  // namespace

InstructionSet bestInstructionSet() noexcept {
    static const InstructionSet best = probe();
    return best;
}

const char* instructionSetName(InstructionSet set) noexcept {
    return set == InstructionSet::Avx2Fma ? "AVX2+FMA" : "x86-64";
}

}  // namespace qrx::dsp
