// The chunk kernels of ChunkKernels.h assembled from their stages, each a template on the xsimd
// architectures (KernelLanes.h): noise (NoiseKernels.h), side chain (SideChainKernels.h),
// envelope (GainComputerKernels.h), gain curve (GainCurveKernels.h), output
// (OutputStageKernels.h) and meters (MeterKernels.h). Included by the one source file of each
// instruction set, which instantiates the table; everything here has internal linkage (an
// unnamed namespace), so each build keeps its own code.
#pragma once

#include "tinypress/ChunkKernels.h"
#include "tinypress/GainComputerKernels.h"
#include "tinypress/GainCurveKernels.h"
#include "tinypress/KernelLanes.h"
#include "tinypress/MeterKernels.h"
#include "tinypress/NoiseKernels.h"
#include "tinypress/OutputStageKernels.h"
#include "tinypress/SideChainKernels.h"

namespace tinypress {
namespace {

// PairArch: the two-lane vectors of the recursive stages; WideArch: the widest of the build.
template <class PairArch, class WideArch>
struct Kernels {
    using Noise = NoiseKernels<PairArch, WideArch>;
    using SideChain = SideChainKernels<PairArch, WideArch>;
    using Envelope = GainComputerKernels<PairArch, WideArch>;
    using Curve = GainCurveKernels<PairArch, WideArch>;
    using Output = OutputStageKernels<PairArch, WideArch>;
    using Meter = MeterKernels<PairArch, WideArch>;

    // Envelope, then the gain curve over the levels it left in the gain buffers (whole vectors;
    // once where the lanes agree), then the output.
    static void dynamics(DynamicsJob& j) noexcept {
        if (j.n <= 0) return;
        alignas(64) double glides[2 * kChunk];  // (make-up, output) per frame
        Envelope::envelope(j, glides);
        const int whole = wholeVectors(j.n, static_cast<int>(Lanes<WideArch>::size));
        Curve::gainCurve(*j.settings, *j.powers, j.gain[0], whole);
        if (j.lanesAgree)
            j.gain[1] = j.gain[0];
        else
            Curve::gainCurve(*j.settings, *j.powers, j.gain[1], whole);
        Output::output(j, glides);
    }

    static constexpr ChunkKernels table{
        &Noise::noise,       &Noise::noisePair,   &Output::writeFloats,
        &Noise::spreadNoise, &SideChain::shelves, &SideChain::link,
        &dynamics,           &SideChain::scale,   &Meter::signalMeters,
        &Meter::gainMeters};
};

}  // namespace
}  // namespace tinypress
