#include "grandpress/Meters.h"

#include <cmath>

namespace grandpress {

void MeterState::load(const MeterFeed& feed, const EngineSettings& s) noexcept {
    for (int c = 0; c < 2; ++c) ch[c].loadFrom(feed.channel[c]);
    const int rate = s.meterSource == kMeterPost ? 0 : 1;  // fm = fs for Post, else 2 fs
    kv = s.vuCoefficient[rate];
    ka = s.ppmAttack[rate];
    kr = s.ppmReturn[rate];
    inverseReference = s.inverseVuReference;
    mix = s.mixAmount;
    overSamples = s.overSamples;
    expanding = s.expanding != 0;
}

void MeterState::finishBlock(MeterFeed& feed, int frames) noexcept {
    for (int c = 0; c < 2; ++c) ch[c].finishBlock(feed.channel[c], frames, overSamples);
}

}  // namespace grandpress
