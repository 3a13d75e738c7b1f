// The output of the chunk kernels (ChunkKernels.h): the make-up and output states gliding toward
// their targets with the offset n, the output main * g * M * A * O of both lanes, and the engine's
// samples out to the host as floats. A template on the xsimd architectures (KernelLanes.h).
#pragma once

#include "tinypress/ChunkKernels.h"
#include "tinypress/KernelLanes.h"

namespace tinypress {
namespace {

template <class PairArch, class WideArch>
struct OutputStageKernels {
    using Wide = Lanes<WideArch>;
    static constexpr int kWide = static_cast<int>(Wide::size);

    // Engine samples out, left to the vectoriser.
    static void writeFloats(const double* from, int n, float* to) noexcept {
        for (int k = 0; k < n; ++k) to[k] = static_cast<float>(from[k]);
    }

    // The output of the chunk from the gains g the job's gain buffers hold and the (make-up,
    // output) states per frame the envelope loop left in `glides`.
    static void output(DynamicsJob& j, double* glides) noexcept {
        const double autoMakeup = j.settings->autoMakeup ? j.settings->autoMakeupGain : 1.0;
        const int whole = wholeVectors(j.n, kWide);
        alignas(64) double after[kChunk];  // M A O per frame
        spreadGlides(j, glides, autoMakeup, whole, after);
        for (int c = 0; c < 2; ++c) {
            const double* main = j.main[c];
            const double* g = j.gain[c];
            double* out = j.out[c];
            for (int k = 0; k < whole; k += kWide)
                (Wide::load_aligned(main + k) * Wide::load_aligned(g + k) *
                 Wide::load_aligned(after + k))
                    .store_aligned(out + k);
        }
    }

    // The glide states, (make-up, output) per frame, into the output gains O and the
    // products M A O, a vector of frames at a time; the frames past n take the last frame's states.
    static void spreadGlides(DynamicsJob& j, double* glides, double autoMakeup, int whole,
                             double* after) noexcept {
        for (int k = j.n; k < whole; ++k) {
            glides[2 * k] = glides[2 * (j.n - 1)];
            glides[2 * k + 1] = glides[2 * (j.n - 1) + 1];
        }
        const Wide gain(autoMakeup);
        for (int k = 0; k < whole; k += kWide) {
            // (m0 o0 m1 o1 ...) -> (m0 m1 ...), (o0 o1 ...)
            Wide m, o;
            deinterleave(Wide::load_aligned(glides + 2 * k),
                         Wide::load_aligned(glides + 2 * k + kWide), m, o);
            o.store_unaligned(j.outGain + k);
            (m * gain * o).store_aligned(after + k);
        }
    }
};

}  // namespace
}  // namespace tinypress
