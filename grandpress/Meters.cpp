#include "grandpress/Meters.h"

#include <cmath>

namespace grandpress {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kAgeLimit = 1 << 30;
}  // namespace

void MeterState::load(const MeterFeed& feed, const EngineSettings& s) noexcept {
    for (int c = 0; c < 2; ++c) {
        const MeterChannelFeed& f = feed.channel[c];
        MeterChannel& m = ch[c];
        m.vu = f.mainLevel.load(kRelaxed);
        m.overLamp = f.overload.load(kRelaxed);
        m.ppm = f.secondLevel.load(kRelaxed);
        m.vuHold = f.peakA.load(kRelaxed);
        m.ppmHold = f.peakB.load(kRelaxed);
        m.vuHoldAge = f.peakAAge.load(kRelaxed);
        m.ppmHoldAge = f.peakBAge.load(kRelaxed);
        m.overCount = f.overCount.load(kRelaxed);
    }
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
    for (int c = 0; c < 2; ++c) {
        MeterChannel& m = ch[c];
        if (overSamples <= m.overCount) {
            m.overLamp = 1.0;
            m.overCount = 0.0;
        } else {
            m.overLamp = 0.0;
        }
        // Ages saturate far beyond any hold time instead of wrapping after hours of silence.
        m.vuHoldAge = m.vuHoldAge > kAgeLimit - frames ? kAgeLimit : m.vuHoldAge + frames;
        m.ppmHoldAge = m.ppmHoldAge > kAgeLimit - frames ? kAgeLimit : m.ppmHoldAge + frames;
        MeterChannelFeed& f = feed.channel[c];
        f.mainLevel.store(m.vu, kRelaxed);
        f.overload.store(m.overLamp, kRelaxed);
        f.secondLevel.store(m.ppm, kRelaxed);
        f.peakA.store(m.vuHold, kRelaxed);
        f.peakB.store(m.ppmHold, kRelaxed);
        f.peakAAge.store(m.vuHoldAge, kRelaxed);
        f.peakBAge.store(m.ppmHoldAge, kRelaxed);
        f.overCount.store(m.overCount, kRelaxed);
    }
}

}  // namespace grandpress
