// Meter ballistics of the engine: VU integrators, PPM followers, held extremes with their ages,
// over counting and the over lamps, fed from the input ("Pre"), the gain ("GainRed") or the
// output ("Post").
//
// Threads: the audio thread loads the editor's MeterFeed into a MeterState at the start of a
// block, feeds it sample by sample and stores it back at the end (relaxed atomics), so values the
// editor zeroes between blocks are taken over. Nothing allocates.
#pragma once

#include <cmath>

#include "dsp/MeterFeed.h"
#include "dsp/StereoMeters.h"
#include "grandpress/EngineSettings.h"

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
    // Pre and Post: a chunk of signal frames (left, right), frame i with noise[i * noiseStep];
    // the same readings as feedSignal frame by frame, both channels at once.
    void feedSignals(const double* left, const double* right, int n, const double* noise,
                     int noiseStep) noexcept;
    // GainRed: one frame of gain factors; limiterGain is 1 with the limiter off.
    void feedGain(double gainLeft, double gainRight, double limiterGain, double noise) noexcept {
        gainValue(ch[0], gainLeft, limiterGain, noise);
        gainValue(ch[1], gainRight, limiterGain, noise);
    }

    // GainRed: a chunk of gain factors (left, right), frame i with noise[i >> noiseShift]; the
    // same readings as feedGain frame by frame, both channels at once.
    void feedGains(const double* gainLeft, const double* gainRight, int n, double limiterGain,
                   const double* noise, int noiseShift) noexcept {
        if (expanding)
            gainChunk<true>(gainLeft, gainRight, n, limiterGain, noise, noiseShift);
        else
            gainChunk<false>(gainLeft, gainRight, n, limiterGain, noise, noiseShift);
    }

  private:
    template <bool Expanding>
    void gainChunk(const double* gainLeft, const double* gainRight, int n, double limiterGain,
                   const double* noise, int noiseShift) noexcept;
    void signal(MeterChannel& m, double x, double noise) noexcept;
    void gainValue(MeterChannel& m, double g, double limiterGain, double noise) noexcept;

    double kv = 0.0, inverseReference = 1.0, mix = 1.0;
    // The PPM's return and attack coefficients, picked by index (no branch per sample), and what
    // each keeps of the old reading; what the VU keeps. The integrators run as
    // x = x * keep + (k * input + noise): one product and one sum on their recursion.
    double rate[2] = {0.0, 1.0};
    double keep[2] = {1.0, 0.0};
    double keepVu = 1.0;
    bool expanding = false;
};

// VU scale: a sine of amplitude A reads 1.096 * sqrt(2) * (2/pi) * A = 0.9868 A (rectified mean).
inline constexpr double kVuScale = 1.096 * 1.4142136;
// A gain factor of 1 shows as 0.98 on the gain-reduction meter.
inline constexpr double kGainMeterScale = 0.98;

inline void MeterState::signal(MeterChannel& m, double x, double noise) noexcept {
    const double a = std::fabs(x);
    m.vu = m.vu * keepVu + (kv * (a * kVuScale * inverseReference) + noise);
    const double next[2] = {m.ppm * keep[0] + (rate[0] * a + noise),
                            m.ppm * keep[1] + (rate[1] * a + noise)};
    m.ppm = next[a > m.ppm];
    countOverAndHold(m, a >= 1.0);
}

inline void MeterState::gainValue(MeterChannel& m, double g, double limiterGain,
                                  double noise) noexcept {
    const double a = (std::fabs(g * kGainMeterScale) - 1.0) * mix + 1.0;
    const double v = a * limiterGain;
    m.vu = m.vu * keepVu + (kv * v + noise);
    // Compression: fall (more reduction) with the attack, recover with the return; expansion the
    // other way round. Both candidates first, so the comparison stays off the recursion.
    const bool attack = expanding ? v > m.ppm : v < m.ppm;
    const double next[2] = {m.ppm * keep[0] + (rate[0] * v + noise),
                            m.ppm * keep[1] + (rate[1] * v + noise)};
    m.ppm = next[attack];
    holdGainExtremes(m);
}

inline void MeterState::feedSignals(const double* left, const double* right, int n,
                                    const double* noise, int noiseStep) noexcept {
    Pair vu = {ch[0].vu, ch[1].vu}, ppm = {ch[0].ppm, ch[1].ppm};
    Pair vuHeld = {ch[0].vuHold, ch[1].vuHold}, ppmHeld = {ch[0].ppmHold, ch[1].ppmHold};
    Pair overs = {ch[0].overCount, ch[1].overCount};
    PairMask vuTaken = {0, 0}, ppmTaken = {0, 0};
    const PairMask magnitude = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    const Pair one = {1.0, 1.0}, zero = {0.0, 0.0};
    const double vuScale = kv, keepVuL = keepVu, inverseReferenceL = inverseReference;
    const double keep0 = keep[0], keep1 = keep[1], rate0 = rate[0], rate1 = rate[1];
    const double overRun = overSamples;
    for (int i = 0; i < n; ++i) {
        const double nz = noise[i * noiseStep];
        const Pair a =
            reinterpret_cast<Pair>(reinterpret_cast<PairMask>(Pair{left[i], right[i]}) & magnitude);
        vu = vu * keepVuL + (vuScale * (a * kVuScale * inverseReferenceL) + nz);
        const Pair back = ppm * keep0 + (rate0 * a + nz);
        const Pair rise = ppm * keep1 + (rate1 * a + nz);
        ppm = a > ppm ? rise : back;
        // A full-scale sample extends the run; anything else ends a run short of the lamp.
        overs = a >= one ? overs + 1.0 : (overs < overRun ? zero : overs);
        const PairMask ppmTake = ppm > ppmHeld, vuTake = vu > vuHeld;
        ppmHeld = ppmTake ? ppm : ppmHeld;
        vuHeld = vuTake ? vu : vuHeld;
        ppmTaken -= ppmTake;
        vuTaken -= vuTake;
    }
    for (int c = 0; c < 2; ++c) {
        ch[c].vu = vu[c];
        ch[c].ppm = ppm[c];
        ch[c].vuHold = vuHeld[c];
        ch[c].ppmHold = ppmHeld[c];
        ch[c].overCount = overs[c];
    }
    restartAges(vuTaken, ppmTaken);
}

template <bool Expanding>
inline void MeterState::gainChunk(const double* gainLeft, const double* gainRight, int n,
                                  double limiterGain, const double* noise,
                                  int noiseShift) noexcept {
    Pair vu = {ch[0].vu, ch[1].vu}, ppm = {ch[0].ppm, ch[1].ppm};
    Pair vuHeld = {ch[0].vuHold, ch[1].vuHold}, ppmHeld = {ch[0].ppmHold, ch[1].ppmHold};
    PairMask vuTaken = {0, 0}, ppmTaken = {0, 0};
    const Pair scale = {kGainMeterScale, kGainMeterScale}, zero = {0.0, 0.0};
    const double keepVuL = keepVu, kvL = kv, mixL = mix;
    const double keep0 = keep[0], keep1 = keep[1], rate0 = rate[0], rate1 = rate[1];
    for (int i = 0; i < n; ++i) {
        const double nz = noise[i >> noiseShift];
        const Pair scaled = Pair{gainLeft[i], gainRight[i]} * scale;
        const Pair a = ((scaled < zero ? -scaled : scaled) - 1.0) * mixL + 1.0;
        const Pair v = a * limiterGain;
        vu = vu * keepVuL + (kvL * v + nz);
        // Compression: fall with the attack, recover with the return; expansion the other way.
        const PairMask attack = Expanding ? v > ppm : v < ppm;
        const Pair back = ppm * keep0 + (rate0 * v + nz);
        const Pair fall = ppm * keep1 + (rate1 * v + nz);
        ppm = attack ? fall : back;
        holdGainPair(vu, vuHeld, vuTaken);
        holdGainPair(ppm, ppmHeld, ppmTaken);
    }
    for (int c = 0; c < 2; ++c) {
        ch[c].vu = vu[c];
        ch[c].ppm = ppm[c];
        ch[c].vuHold = vuHeld[c];
        ch[c].ppmHold = ppmHeld[c];
    }
    restartAges(vuTaken, ppmTaken);
}

}  // namespace grandpress
