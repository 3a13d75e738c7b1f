// Meter ballistics of the engine: VU integrators, PPM followers, held extremes with their ages,
// over counting and the over lamps, fed from the input ("Pre"), the gain ("GainRed") or the
// output ("Post").
//
// Threads: the audio thread loads the editor's MeterFeed into a MeterState at the start of a
// block, feeds it chunk by chunk (the engine) or frame by frame, and stores it back at the end
// (relaxed atomics), so values the editor zeroes between blocks are taken over. Nothing
// allocates.
#pragma once

#include <cmath>

#include "dsp/Followers.h"
#include "dsp/MeterFeed.h"
#include "dsp/StereoMeters.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/MeterKernels.h"

namespace grandpress {

using MeterChannel = MeterReadings;

// The rate a source's feed runs at, as an index into the settings' meter coefficients: 0 for fs,
// 1 for 2 fs.
int meterRateIndex(const EngineSettings& s) noexcept;

// The readings, over counting, holds and the end of the block (finishBlock) are shared with
// tinypress; the VU integrator, the PPM follower and the gain meter's scaling are this engine's.
class MeterState : public qrx::dsp::StereoMeters<MeterChannel> {
  public:
    void load(const MeterFeed& feed, const EngineSettings& s) noexcept;

    // Pre and Post: one frame of signal samples.
    void feedSignal(double left, double right, double noise) noexcept {
        signal(ch[0], left, noise);
        signal(ch[1], right, noise);
    }
    // Pre and Post: a chunk of signal frames (left, right; n <= 128) on the chunk feeds
    // `kernels`, frame i with noise[i * noiseStep]; the same readings as feedSignal frame by
    // frame, both channels at once.
    void feedSignals(const MeterKernels& kernels, const double* left, const double* right, int n,
                     const double* noise, int noiseStep) noexcept;
    // GainRed: one frame of gain factors; limiterGain is 1 with the limiter off.
    void feedGain(double gainLeft, double gainRight, double limiterGain, double noise) noexcept {
        gainValue(ch[0], gainLeft, limiterGain, noise);
        gainValue(ch[1], gainRight, limiterGain, noise);
    }

    // GainRed: a chunk of gain factors (left, right; n <= 128) on the chunk feeds `kernels`,
    // frame i with noise[i >> noiseShift]; the same readings as feedGain frame by frame, both
    // channels at once.
    void feedGains(const MeterKernels& kernels, const double* gainLeft, const double* gainRight,
                   int n, double limiterGain, const double* noise, int noiseShift) noexcept;

  private:
    static MeterPairs pairsOf(const MeterChannel c[2]) noexcept;
    MeterCoefficients coefficients(double limiterGain) const noexcept;
    void takeBack(const MeterPairs& p, bool overs) noexcept;
    void signal(MeterChannel& m, double x, double noise) noexcept;
    void gainValue(MeterChannel& m, double g, double limiterGain, double noise) noexcept;

    double kv = 0.0, inverseReference = 1.0, mix = 1.0;
    // The PPM's return and attack coefficients (index 0 and 1) and what each keeps of the old
    // reading; what the VU keeps. The integrators run as
    // x = x * keep + (k * input + noise): one product and one sum on their recursion.
    double rate[2] = {0.0, 1.0};
    double keep[2] = {1.0, 0.0};
    double keepVu = 1.0;
    bool expanding = false;
    // attackWayGreater() of the gain meter (its attack rises expanding) and of Pre and Post (their
    // attack always rises).
    bool attackGreater = false;
    bool signalAttackGreater = true;
};

inline void MeterState::signal(MeterChannel& m, double x, double noise) noexcept {
    const double a = std::fabs(x);
    m.vu = qrx::dsp::followStep(m.vu, keepVu, kv * (a * kVuScale * inverseReference) + noise);
    const double next[2] = {qrx::dsp::followStep(m.ppm, keep[0], rate[0] * a + noise),
                            qrx::dsp::followStep(m.ppm, keep[1], rate[1] * a + noise)};
    m.ppm = qrx::dsp::attackOrReturn(signalAttackGreater, next[1], next[0]);
    countOverAndHold(m, a >= 1.0);
}

inline void MeterState::gainValue(MeterChannel& m, double g, double limiterGain,
                                  double noise) noexcept {
    const GainReadingLine line = gainReadingLine(mix, limiterGain);
    const double v = std::fabs(g) * line.slope + line.floor;
    m.vu = qrx::dsp::followStep(m.vu, keepVu, kv * v + noise);
    // Compression: fall (more reduction) with the attack, recover with the return; expansion the
    // other way round. Both ways, the attack's picked as the greater or the lesser of the two.
    const double returnWay = qrx::dsp::followStep(m.ppm, keep[0], rate[0] * v + noise);
    const double attackWay = qrx::dsp::followStep(m.ppm, keep[1], rate[1] * v + noise);
    m.ppm = qrx::dsp::attackOrReturn(attackGreater, attackWay, returnWay);
    holdGainExtremes(m);
}

}  // namespace grandpress
