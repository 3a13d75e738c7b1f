#include "grandpress/GainComputer.h"

namespace grandpress {

ReleaseShape::ReleaseShape() noexcept {
    for (int k = 0; k < kEntries; ++k)
        table[k] = static_cast<float>(std::pow(static_cast<double>(k), 0.05));
    for (unsigned& g : keptIn) g = 0;
}

void ReleaseShape::newGeneration(double releaseCoefficient) const noexcept {
    keptFor = releaseCoefficient;
    if (++generation == 0) {
        // After 2^32 coefficients: every kept power is forgotten.
        for (unsigned& g : keptIn) g = 0;
        generation = 1;
    }
}

void GainComputer::reset() noexcept {
    state.env[0] = state.env[1] = kEnvelopeFloor;
    clearAverages();
}

void GainComputer::levels(const GainComputerKernels& kernels, const double* dL, const double* dR,
                          int n, bool monitor, const EngineSettings& s, const ReleaseShape& shape,
                          double* level) noexcept {
    EnvelopeLaw law;
    law.fast = s.levelFast;
    law.slow = s.levelSlow;
    law.attack = s.attackCoefficient;
    law.release = s.releaseCoefficient;
    law.rms = s.rms != 0;
    law.autoAttack = s.autoAttack != 0;
    law.autoRelease = s.autoRelease != 0;
    law.classic = s.classic != 0;
    if (law.classic) {
        law.classicFloor = s.classicFloor;
        law.powers = shape.powersFor(s.releaseCoefficient);
    }
    kernels.levels(law, state, monitor ? nullptr : dL, monitor ? nullptr : dR, n, level);
}

}  // namespace grandpress
