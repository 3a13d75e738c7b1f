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
    env[0] = env[1] = kEnvelopeFloor;
    clearAverages();
}

void GainComputer::clearAverages() noexcept {
    fastAverage.reset();
    slowAverage.reset();
}

}  // namespace grandpress
