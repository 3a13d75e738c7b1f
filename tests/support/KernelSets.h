// The kernel sets the engines' vector code is built for that this processor runs, for tests that
// hold every set to the plain reference.
#pragma once

#include <vector>

#include "dsp/InstructionSet.h"

namespace testsupport {

// The baseline, and AVX2 where the processor has it.
inline std::vector<qrx::dsp::InstructionSet> kernelSetsHere() {
    std::vector<qrx::dsp::InstructionSet> sets = {qrx::dsp::InstructionSet::Baseline};
    if (qrx::dsp::bestInstructionSet() == qrx::dsp::InstructionSet::Avx2Fma)
        sets.push_back(qrx::dsp::InstructionSet::Avx2Fma);
    return sets;
}

}  // namespace testsupport
