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
    attackGreater = qrx::dsp::attackWayGreater(expanding, rate[1], rate[0]);
    signalAttackGreater = qrx::dsp::attackWayGreater(true, rate[1], rate[0]);
}

void MeterState::feedSignals(const MeterKernels& kernels, const double* left, const double* right,
                             int n, const double* noise, int noiseStep) noexcept {
    MeterPairs pairs = pairsOf(ch);
    kernels.signals(pairs, coefficients(1.0), left, right, n, noise, noiseStep);
    takeBack(pairs, true);
}

void MeterState::feedGains(const MeterKernels& kernels, const double* gainLeft,
                           const double* gainRight, int n, double limiterGain, const double* noise,
                           int noiseShift) noexcept {
    MeterPairs pairs = pairsOf(ch);
    kernels.gains(pairs, coefficients(limiterGain), gainLeft, gainRight, n, noise, noiseShift);
    takeBack(pairs, false);
}

MeterPairs MeterState::pairsOf(const MeterChannel c[2]) noexcept {
    MeterPairs p;
    for (int k = 0; k < 2; ++k) {
        p.vu[k] = c[k].vu;
        p.ppm[k] = c[k].ppm;
        p.vuHeld[k] = c[k].vuHold;
        p.ppmHeld[k] = c[k].ppmHold;
        p.overs[k] = c[k].overCount;
    }
    return p;
}

MeterCoefficients MeterState::coefficients(double limiterGain) const noexcept {
    MeterCoefficients c;
    c.vuRate = kv;
    c.keepVu = keepVu;
    c.backRate = rate[0];
    c.keepBack = keep[0];
    c.attackRate = rate[1];
    c.keepAttack = keep[1];
    c.inverseReference = inverseReference;
    c.mix = mix;
    c.limiterGain = limiterGain;
    c.overSamples = overSamples;
    c.expanding = expanding;
    return c;
}

void MeterState::takeBack(const MeterPairs& p, bool overs) noexcept {
    for (int k = 0; k < 2; ++k) {
        ch[k].vu = p.vu[k];
        ch[k].ppm = p.ppm[k];
        ch[k].vuHold = p.vuHeld[k];
        ch[k].ppmHold = p.ppmHeld[k];
        if (overs) ch[k].overCount = p.overs[k];
        if (p.vuTakes >> k & 1) ch[k].vuHoldAge = 0;
        if (p.ppmTakes >> k & 1) ch[k].ppmHoldAge = 0;
    }
}

}  // namespace grandpress
