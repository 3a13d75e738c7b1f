#include "grandpress/Meters.h"

#include <cmath>

namespace grandpress {

int meterRateIndex(const EngineSettings& s) noexcept {
    // Pre and Post are fed once per base-rate frame; GainRed once per gain-stage sample, which
    // runs at 2 fs in the FAT routines.
    return s.meterSource == kMeterGainRed && s.layout.gainOversampled ? 1 : 0;
}

void MeterState::load(const MeterFeed& feed, const EngineSettings& s) noexcept {
    loadReadings(feed, s.overSamples);
    const int index = meterRateIndex(s);
    kv = s.vuCoefficient[index];
    rate[0] = s.ppmReturn[index];
    rate[1] = s.ppmAttack[index];
    keep[0] = 1.0 - rate[0];
    keep[1] = 1.0 - rate[1];
    keepVu = 1.0 - kv;
    inverseReference = s.inverseVuReference;
    mix = s.mixAmount;
    expanding = s.expanding != 0;
}

}  // namespace grandpress
