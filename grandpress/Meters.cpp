#include "grandpress/Meters.h"

#include <cmath>

namespace grandpress {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
// VU scale: a sine of amplitude A reads 1.096 * sqrt(2) * (2/pi) * A = 0.9868 A (rectified mean).
constexpr double kVuScale = 1.096 * 1.4142136;
// A gain factor of 1 shows as 0.98 on the gain-reduction meter.
constexpr double kGainMeterScale = 0.98;
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

void MeterState::signal(MeterChannel& m, double x, double noise) noexcept {
    const double a = std::fabs(x);
    m.vu += kv * (a * kVuScale * inverseReference - m.vu) + noise;
    m.ppm += (a - m.ppm) * (a > m.ppm ? ka : kr) + noise;
    if (a >= 1.0)
        m.overCount += 1.0;
    else if (m.overCount < overSamples)
        m.overCount = 0.0;
    if (m.ppmHold < m.ppm) {
        m.ppmHold = m.ppm;
        m.ppmHoldAge = 0;
    }
    if (m.vu > m.vuHold) {
        m.vuHold = m.vu;
        m.vuHoldAge = 0;
    }
}

void MeterState::gainValue(MeterChannel& m, double g, double limiterGain, double noise) noexcept {
    const double a = (std::fabs(g * kGainMeterScale) - 1.0) * mix + 1.0;
    const double v = a * limiterGain;
    m.vu += kv * (v - m.vu) + noise;
    // Compression: fall (more reduction) with the attack, recover with the return; expansion the
    // other way round.
    const bool attack = expanding ? v > m.ppm : v < m.ppm;
    m.ppm += (v - m.ppm) * (attack ? ka : kr) + noise;
    auto hold = [](double value, double& held, int& age) {
        if ((value > held && value > 1.0) || (value < held && value > 0.01)) {
            held = value;
            age = 0;
        }
    };
    hold(m.vu, m.vuHold, m.vuHoldAge);
    hold(m.ppm, m.ppmHold, m.ppmHoldAge);
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
