// The gain computer's envelopes as plain values: the state its chunk kernel carries, the law it
// follows and its entry in the engine's kernel table (the template is GainComputerKernels.h, the
// per-frame reference GainComputer's levels()).
//
// Threads: plain data, audio thread.
#pragma once

#include "dsp/BiquadDesign.h"

namespace grandpress {

inline constexpr double kEnvelopeFloor = 0.0001;
inline constexpr int kReleaseShapeEntries = 1000;

// The "Classic" law's release powers: releaseCoefficient^shape[k] is kept[k] where keptIn[k] is
// `generation`, else still to be taken (with std::pow) and kept (ReleaseShape owns the arrays).
struct ReleasePowers {
    const float* shape = nullptr;
    double* kept = nullptr;
    unsigned* keptIn = nullptr;
    unsigned generation = 0;
};

// What the envelopes need of the settings (the kernels see nothing else).
struct EnvelopeLaw {
    qrx::dsp::BiquadCoefficients fast, slow;  // the level averages
    double attack = 0.0, release = 0.0;       // step coefficients
    bool rms = false, autoAttack = false, autoRelease = false;
    // The "Classic" law: release towards floor + (1 - floor) x with the kept powers.
    bool classic = false;
    double classicFloor = 0.0;
    ReleasePowers powers;
};

// Both channels' envelopes and their level averages. The averages are four plain biquads in the
// lanes (fast left, fast right, slow left, slow right), their alternating offsets in step.
struct EnvelopeState {
    alignas(32) double x1[4] = {}, x2[4] = {}, y1[4] = {}, y2[4] = {};
    double offset = qrx::dsp::kBiquadNoiseScale;
    double env[2] = {kEnvelopeFloor, kEnvelopeFloor};

    // Clears the averages' memories (their offsets run on).
    void clearAverages() noexcept {
        for (int k = 0; k < 4; ++k) x1[k] = x2[k] = y1[k] = y2[k] = 0.0;
    }
};

// The gain computer's entry in the kernel table: n <= 128 frames of detector levels (null
// pointers: levels of 0) through the averages and envelopes, the envelope levels (square roots
// under RMS) to level[0 .. n) and level[n .. 2n). The same steps as the reference; fused products,
// one division for both auto factors and, in the plain build's loop for fixed coefficients, the
// averages' offsets kept apart from their memories, the attack's way picked as the greater or the
// lesser of both ways and the floor left out of chunks whose steps cannot cross it (but for a few
// ulps) make it differ by rounding only (the release shape's index is the reference's, bit for
// bit).
struct GainComputerKernels {
    void (*levels)(const EnvelopeLaw& law, EnvelopeState& state, const double* dL, const double* dR,
                   int n, double* level) noexcept;
};

}  // namespace grandpress
