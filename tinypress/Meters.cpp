#include "tinypress/Meters.h"

#include <cmath>
#include <numbers>

#include "dsp/PlainBiquad.h"

namespace tinypress {
namespace {

// The VU reads a sine at the reference as 0 VU: peak-to-RMS sqrt(2) and the meter's 1.096.
constexpr double kVuSignalScale = std::numbers::sqrt2 * 1.096;
// Full scale for over counting. The metered values carry the +-1e-12 anti-denormal offsets, so a
// sample at exactly full scale reads 1 +- 1e-12; counting from 1 - 1e-9 keeps clipped runs whole
// (the float just below 1 is 1 - 6e-8, still no over).
constexpr double kFullScale = 1.0 - 1e-9;

}  // namespace

void Meters::resetFilters() noexcept {
    for (MeterChannel& m : ch) m.vuMemories = {};
}

void Meters::load(const MeterFeed& feed, const EngineSettings& s) noexcept {
    loadReadings(feed, s.overSamples);
    // Every source is fed once per sample, so the PPM runs at fs.
    k.ppmAttack = s.ppmAttack;
    k.ppmReturn = s.ppmReturn;
    k.vuFilter = s.vu;
    vuOnePole = s.vuOnePole;
    k.signalScale = kVuSignalScale * s.meterScale;
    k.mix = s.meterMix;
    k.compressing = s.compressing != 0;
    k.overSamples = overSamples;
}

void Meters::signal(int c, double x, double noise) noexcept {
    MeterChannel& m = ch[c];
    m.vu = qrx::dsp::plainBiquadStep(x * k.signalScale, k.vuFilter, m.vuMemories, m.vuOffset);
    m.ppm = m.ppm + noise + (x > m.ppm ? k.ppmAttack : k.ppmReturn) * (x - m.ppm);
    countOverAndHold(m, x >= kFullScale);
}

void Meters::gain(int c, double g, double noise) noexcept {
    MeterChannel& m = ch[c];
    const double x = (std::fabs(0.98 * g) - 1.0) * k.mix + 1.0;
    m.vu = qrx::dsp::plainBiquadStep(x, k.vuFilter, m.vuMemories, m.vuOffset);
    // Compressing, the needle falls fast with more reduction and returns slowly; expanding, it
    // rises fast.
    const bool fast = k.compressing ? x < m.ppm : x > m.ppm;
    m.ppm = m.ppm + noise + (fast ? k.ppmAttack : k.ppmReturn) * (x - m.ppm);
    holdGainExtremes(m);
}

void Meters::bypassSignal(int c, double out, double noise) noexcept {
    MeterChannel& m = ch[c];
    const double x = std::fabs(out + noise);
    m.vu = m.vu + noise + vuOnePole * (x * k.signalScale - m.vu);
    m.ppm = m.ppm + noise + (x > m.ppm ? k.ppmAttack : k.ppmReturn) * (x - m.ppm);
    countOverAndHold(m, x >= kFullScale);
}

void Meters::bypassGain(int c, double noise) noexcept {
    MeterChannel& m = ch[c];
    m.vu = m.vu + noise + vuOnePole * (1.0 - m.vu);
    const bool fast = k.compressing ? 1.0 < m.ppm : 1.0 > m.ppm;
    m.ppm = m.ppm + noise + (fast ? k.ppmAttack : k.ppmReturn) * (1.0 - m.ppm);
    m.overCount = 0.0;
    holdGainExtremes(m);
}

}  // namespace tinypress
