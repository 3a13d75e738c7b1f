// The master compressor's signal path: cuts each host block into chunks of at most 128 samples
// (64 where FAT runs the stages at twice the rate) and runs them through the input lines, the
// side chain and detector, the (optional 2x oversampled) gain stage, the limiter and output line,
// feeding the meters on the way.
//
// One routine serves both host sample types (float and double); inside, everything is double.
// The routine for a block (pass-through, normal, FAT, Smooth, FAT+Smooth) comes from the
// block's EngineSettings; every routine delays the main signal by exactly 1660 samples.
//
// Threads: constructed (all storage inside the object, nothing allocated later) and destroyed on
// the user-interface thread; everything else runs on the audio thread only. Settings arrive
// through adopt() at the start of a block; a suspend is asked for through requestReset(), which
// only raises a counter, so no other thread ever touches the audio state.
#pragma once

#include <atomic>

#include "dsp/HalfBandResampler.h"
#include "dsp/HostBuffers.h"
#include "dsp/InputRings.h"
#include "dsp/InstructionSet.h"
#include "dsp/Kernels.h"
#include "dsp/MeterFeed.h"
#include "grandpress/Detector.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/GainComputer.h"
#include "grandpress/GainCurve.h"
#include "grandpress/Kernels.h"
#include "grandpress/Meters.h"
#include "grandpress/OutputStage.h"
#include "grandpress/SideChain.h"

namespace grandpress {

// The host buffers chosen for a block (the effect chooses them, dsp/HostBuffers.h).
template <typename Sample>
using HostBuffers = qrx::dsp::HostBuffers<Sample>;

class SignalPath {
  public:
    explicit SignalPath(const EngineSettings& initial) noexcept;

    // Any thread: the next block starts from cleared state (suspend).
    void requestReset() noexcept { resetRequests.fetch_add(1, std::memory_order_relaxed); }

    // Audio thread: takes the settings for the coming block, applying what their change needs
    // (new lengths and rates clear the affected state, new link filters clear their memories).
    void adopt(const EngineSettings& next) noexcept;
    const EngineSettings& settings() const noexcept { return current; }

    // Audio thread: one host block of `frames` samples, run with the kernels of `set` (read by
    // the effect at the start of every block; the processor must have it).
    template <typename Sample>
    void process(const HostBuffers<Sample>& io, int frames, MeterFeed& feed,
                 qrx::dsp::InstructionSet set) noexcept;

    // Inspection for tests (audio thread or while stopped).
    const Limiter& limiterState() const noexcept { return limiter; }
    const GainComputer& gainComputer() const noexcept { return gain; }
    int detectorLength() const noexcept { return detector.length(); }

  private:
    void clearAll() noexcept;
    void rebuildForLayout(bool rateChanged) noexcept;
    // After a change of routine at the same rate (FAT, Smooth, or Power with FAT on): refills the
    // main path of the new routine (one-sample wait, resamplers, realignment lines) from the
    // input lines' history, as if it had run all along with the latest gains. The output goes on
    // without a jump or time-warped samples, though the main path reads at another rate.
    void primeMainPath() noexcept;
    // n <= chunkSamplesOf(layout) frames of it, the oldest oldestAge frames before the newest.
    void primeChunk(int oldestAge, int n) noexcept;
    template <typename Sample>
    void chunk(const HostBuffers<Sample>& io, int offset, int n) noexcept;
    int gainStage(int n, int ns, const double* dL, const double* dR, const double* mL,
                  const double* mR) noexcept;

    EngineSettings current;
    // This block's kernel tables (the priming of a new routine runs on the last block's).
    const Kernels* table = &grandpress::kernelsFor(qrx::dsp::InstructionSet::Baseline);
    const qrx::dsp::Kernels* dsp = &qrx::dsp::kernelsFor(qrx::dsp::bestInstructionSet());
    std::atomic<unsigned> resetRequests{0};
    unsigned resetsDone = 0;

    qrx::dsp::InputRings<kInputLineLength> input;  // delayed by the layout's input delay
    SideChain sideChain;
    Detector detector;
    ReleaseShape releaseShape;
    GainComputer gain;
    RealignLines realign;
    GlidingGains gains;
    Limiter limiter;
    MeterState meters;
    qrx::dsp::HalfBandResampler resampler[4];  // main L/R (also output L/R), side/detector L/R
    // (FAT routines only: at the base rate the resamplers' 64 + 64 delay-only samples are part
    // of the realignment)
    double smoothMemory[4] = {};
    double meterOffset = 1e-12;           // alternating anti-denormal term of the input meters
    double lastGain[2] = {1.0, 1.0};      // the gain stage's latest gain factors
    double lastDetector[2] = {0.0, 0.0};  // the latest detector chunk values (or S.C.Monit)

    // Chunk buffers, at the base rate or (up to the down-sampling, with FAT) at twice that. The
    // rows of base, up, eq, link, det, gainIn, out and glided are one cache line longer than a
    // chunk, so that the streams a stage reads and writes together do not lie a multiple of 4 KB
    // apart, where the processor may hold a load back for a store to another stream (FAT ran 2 %
    // slower on AVX2 without it).
    static constexpr int kRow = kChunkFrames + 8;
    alignas(64) double base[4][kRow];  // main L/R, side L/R after the input lines
    alignas(64) double up[4][kRow];    // the same streams up-sampled (FAT with Smooth)
    alignas(64) double eq[2][kRow];    // equalised side chain
    alignas(64) double link[2][kRow];
    alignas(64) double det[2][kRow];  // detector levels (or eq with S.C.Monit)
    alignas(64) double noiseC[kChunkFrames];
    alignas(64) double gainIn[4][kRow];  // main L/R, detector L/R at the gain-stage rate
    alignas(64) double out[2][kRow];
    alignas(64) double levels[2 * kChunkFrames];       // envelope levels: left chunk, then right
    alignas(64) double curve[2 * kChunkFrames];        // their gain factors, in the same order
    alignas(64) double realignSpill[4][kChunkFrames];  // realigned main L/R, dry L/R that wrap
    alignas(64) double glided[3][kRow];                // makeup, output gain, mix of each frame
    qrx::dsp::PowerTables curvePowers;                 // the curve's power at the current ratio
};

}  // namespace grandpress
