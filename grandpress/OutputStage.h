// Back of the signal path: the realignment lines and gliding makeup/output/mix of the gain stage,
// and the look-ahead limiter whose 512-sample ring is also the fixed 511-sample output line.
//
// Threads: owned by SignalPath, audio thread only. Coefficients come from the block's
// EngineSettings copy.
#pragma once

#include "dsp/Followers.h"
#include "dsp/PlainBiquad.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/LimiterPasses.h"
#include "grandpress/SideChain.h"

namespace grandpress {

// Main and dry signals delayed by the layout's realignment, so the gain meets the sample it was
// measured on. Four lines of 4096 gain-stage samples, one write index.
class RealignLines {
  public:
    void clear() noexcept;
    // Stores one frame (main L/R, dry L/R) and returns the frame `delay` samples older.
    void push(const double in[4], int delay, double out[4]) noexcept {
        write = (write + 1) & (kRealignLineLength - 1);
        const unsigned read = (write - static_cast<unsigned>(delay)) & (kRealignLineLength - 1);
        for (int s = 0; s < 4; ++s) {
            line[s][write] = in[s];
            out[s] = line[s][read];
        }
    }

    // n frames at once (n <= 128, delay at most 4096 - 128): in[s][i] stored, out[s][i] the
    // frame `delay` samples older, as n calls of push() give. out[s] points into the line where
    // the older frames lie in one run (until the next push), into `spill` where they wrap.
    void push(const double* const in[4], int n, int delay, double spill[4][128],
              const double* out[4]) noexcept;

  private:
    double line[4][kRealignLineLength] = {};
    unsigned write = kRealignLineLength - 1;
};

// Makeup, output gain and mix, each gliding towards its target by kGainGlidePerSample of the
// distance per gain-stage sample.
struct GlidingGains {
    double makeup = 1.0, output = 1.0, mix = 1.0;
    void snap(const EngineSettings& s) noexcept {
        makeup = s.makeupGain;
        output = s.outputGain;
        mix = s.mixAmount;
    }
    // x += (target - x) * glide + noise, taken as a follower step (qrx::dsp::followStep): each
    // step depends on x through one product and one sum only (the glides are serial; rounding
    // aside the same values).
    static constexpr double kGlide = qrx::dsp::kGainGlidePerSample;
    static constexpr double kKeep = 1.0 - kGlide;
    // What each step adds besides the noise: the targets times the glide.
    struct Pulls {
        double makeup, output, mix;
    };
    static Pulls pullsOf(const EngineSettings& s) noexcept {
        return {s.makeupGain * kGlide, s.outputGain * kGlide, s.mixAmount * kGlide};
    }
    void glide(const Pulls& p, double noise) noexcept {
        makeup = qrx::dsp::followStep(makeup, kKeep, p.makeup + noise);
        output = qrx::dsp::followStep(output, kKeep, p.output + noise);
        mix = qrx::dsp::followStep(mix, kKeep, p.mix + noise);
    }
};

// Look-ahead brick-wall limiter and output line (base rate). Each sample is stored at w; the
// sample c + 1 places behind (r) is scaled by the gain found from the peak of everything from r
// to w; the sample leaving is the one stored 511 samples earlier. Switched off (or bypassed by
// Power), it goes on for the c + 1 frames it has taken in but not yet scaled, so none of them
// leaves unlimited; after that the window forgets its peaks, so switching it on never acts on
// peaks of long ago.
class Limiter {
  public:
    static constexpr int kRing = kLimiterRing;
    static constexpr double kCeiling = 0.999;

    // Clears the lines, envelope to 0.0001, gain 1, level averages cleared; sets the look-ahead.
    void reset(const EngineSettings& s) noexcept;
    // One frame in (left, right), the frame 511 samples older out (in place), on the plain
    // x86-64 passes. `limit` false only runs the line, once the frames taken in while it was
    // true have been scaled.
    void process(double& left, double& right, bool limit, const EngineSettings& s,
                 double noise) noexcept;
    // n frames (n <= kLimiterCallFrames) in place on the vector passes `passes`, frame i with
    // noise[i * noiseStep]: the same results as n calls of process() (rounding apart), in passes
    // over the chunk (only the envelope runs frame by frame).
    void process(const LimiterPasses& passes, double* left, double* right, int n, bool limit,
                 const EngineSettings& s, const double* noise, int noiseStep) noexcept;

    double gain() const noexcept { return G; }
    double envelope() const noexcept { return E; }
    int lookAhead() const noexcept { return (w - r) & (kRing - 1); }

  private:
    static constexpr unsigned kMask = kRing - 1;
    // The frames of the chunk through the line, limited or not.
    void run(const LimiterPasses& passes, double* left, double* right, int n, bool limit,
             const EngineSettings& s, const double* noise, int noiseStep) noexcept;

    double lineL[kRing] = {}, lineR[kRing] = {};
    // Frames from r on that were taken in while the limiter was on and are not scaled yet.
    int owed = 0;
    // The peak of every frame at its position in the line; while the limiter is off all are 0.
    double peak[kRing] = {};
    bool peaksForgotten = true;
    unsigned w = kRing - 1, r = 0;
    double E = 0.0001, G = 1.0;
    PlainState fastLevel, slowLevel;
};

}  // namespace grandpress
