// The host samples as they enter and leave the engine, a run at a time. In: the rule of
// finiteInput (NaN and infinities become 0, finite values are held inside +-1e6) without branches,
// so that the loops run on vectors. Out: the engine's doubles as the host's floats. Built once
// for plain x86-64 and once for AVX2 (InputStage_avx2.cpp); the signal path picks a table per
// block.
//
// Threads: audio thread (the signal path's input and output). Pure.
#pragma once

#include "dsp/InstructionSet.h"

namespace grandpress {

struct HostSampleKernels {
    void (*finiteFloats)(const float* from, double* to, int n) noexcept;
    void (*finiteDoubles)(const double* from, double* to, int n) noexcept;
    void (*toFloats)(const double* from, float* to, int n) noexcept;
};

extern const HostSampleKernels kHostSamplesBaseline;
extern const HostSampleKernels kHostSamplesAvx2;

inline const HostSampleKernels& hostSamplesFor(qrx::dsp::InstructionSet set) noexcept {
    return set == qrx::dsp::InstructionSet::Avx2Fma ? kHostSamplesAvx2 : kHostSamplesBaseline;
}

// n host samples made finite into `to`, for either host type.
inline void finiteInputs(const HostSampleKernels& k, const float* from, double* to,
                         int n) noexcept {
    k.finiteFloats(from, to, n);
}
inline void finiteInputs(const HostSampleKernels& k, const double* from, double* to,
                         int n) noexcept {
    k.finiteDoubles(from, to, n);
}

}  // namespace grandpress
