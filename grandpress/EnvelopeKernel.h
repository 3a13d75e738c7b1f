// The gain computer's chunk envelopes outside the "Classic" law, as plain values for the vector
// build: the level averages (fast and slow, both channels) and the two attack/release envelopes.
//
// Threads: pure functions on the caller's state, audio thread.
#pragma once

#include "grandpress/SideChain.h"

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

// What the envelopes need of the settings (the vector build sees nothing else).
struct EnvelopeLaw {
    qrx::dsp::BiquadCoefficients fast, slow;  // the level averages
    double attack = 0.0, release = 0.0;       // step coefficients
    bool rms = false, autoAttack = false, autoRelease = false;
    // The "Classic" law: release towards floor + (1 - floor) x with the kept powers.
    bool classic = false;
    double classicFloor = 0.0;
    ReleasePowers powers;
};

// The AVX2+FMA build (GainComputer_avx2.cpp): n <= kChunk2x frames of detector levels (null
// pointers: levels of 0) through the averages and envelopes, the envelope levels (square roots
// under RMS) to level[0 .. n) and level[n .. 2n). The same steps as the baseline loops; fused
// products and one division for both auto factors make it differ by rounding only (the release
// shape's index is the baseline's, bit for bit).
void envelopeLevelsAvx2(const EnvelopeLaw& law, double env[2], PlainPair& fast, PlainPair& slow,
                        const double* dL, const double* dR, int n, double* level) noexcept;

}  // namespace grandpress
