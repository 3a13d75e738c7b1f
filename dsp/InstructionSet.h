// The instruction sets the engines' vector kernels are built for, and the best one this processor
// runs. The baseline is plain x86-64 (SSE2), which every x86-64 processor has; the fast path needs
// AVX2 and FMA, and the operating system's support for the wider registers. Any thread.
#pragma once

namespace qrx::dsp {

enum class InstructionSet : int { Baseline = 0, Avx2Fma = 1 };

// Checked once, on first use (the engines ask at construction, never on the audio thread first).
InstructionSet bestInstructionSet() noexcept;

// "x86-64" or "AVX2+FMA".
const char* instructionSetName(InstructionSet set) noexcept;

}  // namespace qrx::dsp
