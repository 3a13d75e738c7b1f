#include "grandpress/GainComputer.h"

namespace grandpress {

ReleaseShape::ReleaseShape() noexcept {
    for (int k = 0; k < kEntries; ++k)
        table[k] = static_cast<float>(std::pow(static_cast<double>(k), 0.05));
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
