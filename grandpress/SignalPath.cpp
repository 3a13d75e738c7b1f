#include "grandpress/SignalPath.h"

#include <cstring>
#include <type_traits>

#include "grandpress/GainCurve.h"

namespace grandpress {

namespace {

bool sameStructure(const EngineSettings& a, const EngineSettings& b) {
    const PathLayout& x = a.layout;
    const PathLayout& y = b.layout;
    return a.rateHz == b.rateHz && x.detectorLength == y.detectorLength &&
           x.detectorCentre == y.detectorCentre &&
           x.sideChainOversampled == y.sideChainOversampled &&
           x.gainOversampled == y.gainOversampled && x.smoothDelay == y.smoothDelay;
}

// Host samples a chunk takes: as many as fill the chunk buffers at the rate the stages run.
int chunkSamplesOf(const PathLayout& lay) {
    return lay.sideChainOversampled || lay.gainOversampled ? kChunkFrames / 2 : kChunkFrames;
}

// Delays a chunk by one sample through `memory` (FAT with Smooth).
void delayOneSample(double* x, int n, double& memory) {
    for (int i = 0; i < n; ++i) {
        const double t = x[i];
        x[i] = memory;
        memory = t;
    }
}

// One frame of the gain stage: the realigned main and dry samples `a` with the gains applied.
inline void gainStageFrame(const double a[4], double gL, double gR, const GlidingGains& gl,
                           double autoMakeup, bool passThrough, bool monitor, double& yL,
                           double& yR) noexcept {
    if (passThrough) {
        yL = a[0];
        yR = a[1];
    } else if (monitor) {
        yL = gl.output * a[2];
        yR = gl.output * a[3];
    } else {
        const double makeup = gl.makeup * autoMakeup;
        const double wL = a[0] * gL * makeup;
        const double wR = a[1] * gR * makeup;
        yL = gl.output * (a[2] + gl.mix * (wL - a[2]));
        yR = gl.output * (a[3] + gl.mix * (wR - a[3]));
    }
}

}  // namespace

SignalPath::SignalPath(const EngineSettings& initial) noexcept : current(initial) {
    detector.setLength(current.layout.detectorLength, current.layout.detectorCentre);
    clearAll();
}

void SignalPath::clearAll() noexcept {
    input.clear();
    sideChain.reset(current);
    detector.clear();
    gain.reset();
    realign.clear();
    gains.snap(current);
    limiter.reset(current);
    for (auto& r : resampler) r.reset();
    for (double& m : smoothMemory) m = 0.0;
}

void SignalPath::rebuildForLayout(bool rateChanged) noexcept {
    // New lengths and rates: the linked lines are cleared, the filters take their new designs
    // at once and the level averages start again.
    detector.setLength(current.layout.detectorLength, current.layout.detectorCentre);
    sideChain.reset(current);
    gain.clearAverages();
    for (auto& r : resampler) r.reset();
    for (double& m : smoothMemory) m = 0.0;
    if (rateChanged) limiter.reset(current);
}

void SignalPath::adopt(const EngineSettings& next) noexcept {
    const bool structural = !sameStructure(current, next);
    const bool rateChanged = current.rateHz != next.rateHz;
    const bool linkChanged = current.linkGeneration != next.linkGeneration;
    current = next;
    const unsigned requested = resetRequests.load(std::memory_order_relaxed);
    if (requested != resetsDone) {
        resetsDone = requested;
        detector.setLength(current.layout.detectorLength, current.layout.detectorCentre);
        clearAll();
        return;
    }
    if (structural) {
        rebuildForLayout(rateChanged);
        if (!rateChanged) primeMainPath();
    } else if (linkChanged)
        sideChain.resetLink();
}

void SignalPath::primeMainPath() noexcept {
    using qrx::dsp::HalfBandResampler;
    const PathLayout& lay = current.layout;
    const bool gainUp = lay.gainOversampled != 0;  // the gain stage at 2 fs
    realign.clear();
    for (auto& r : resampler) r.reset();
    for (double& m : smoothMemory) m = 0.0;

    // Base-rate frames that still reach the output: the realignment plus the history of the up-
    // and down-sampler (128 frames each), from the oldest to the newest frame already taken in.
    // They go through in chunks, as processing takes them: the resamplers give the same values
    // however the frames are cut, and calls of one frame each cost them the most (measured at
    // 96 kHz with Smooth on the plain build, a FAT switch then took 1.3 ms of the audio thread,
    // in chunks 0.11 ms).
    const int realignFrames = gainUp ? (lay.realignDelay + 1) / 2 : lay.realignDelay;
    int span = realignFrames + 2 * (HalfBandResampler::kOddTapsPerSide * 2) + 4;
    const int oldest = kInputLineLength - 1 - lay.inputDelay;
    if (span > oldest) span = oldest;
    const int most = chunkSamplesOf(lay);
    for (int done = 0; done < span; done += most) {
        const int n = span - done < most ? span - done : most;
        primeChunk(span - 1 - done, n);
    }
}

void SignalPath::primeChunk(int oldestAge, int n) noexcept {
    const EngineSettings& s = current;
    const PathLayout& lay = s.layout;
    const bool upFirst = lay.sideChainOversampled != 0;  // all four streams, before the side chain
    const bool gainUp = lay.gainOversampled != 0;
    const bool monitor = s.sideChainMonitor != 0;
    const bool passThrough = lay.routine == static_cast<int>(Routine::PassThrough);
    const double autoMakeup = s.autoMakeup ? s.autoMakeupGain : 1.0;
    // Main L/R, side L/R as the input stage hands them on, oldest first (the chunk buffers are
    // free between blocks).
    for (int i = 0; i < n; ++i) {
        double x[4];
        input.delayedFrame(lay.inputDelay + oldestAge - i, x);
        for (int k = 0; k < 4; ++k) base[k][i] = x[k];
    }
    if (lay.smoothDelay)
        for (int k = 0; k < 4; ++k) delayOneSample(base[k], n, smoothMemory[k]);
    // The streams at the gain-stage rate: main L/R and dry L/R (with S.C.Monit the equalised
    // side chain, taken here as the side chain before its filters).
    const double* g[4] = {base[0], base[1], base[2], base[3]};
    int ng = n;
    if (upFirst || gainUp) {
        ng = 2 * n;
        // Without Smooth the third and fourth resamplers carry the detector levels, whose
        // history is taken as their latest value.
        if (!(upFirst || monitor))
            for (int k = 2; k < 4; ++k)
                for (int i = 0; i < n; ++i) base[k][i] = lastDetector[k - 2];
        for (int k = 0; k < 4; k += 2) {
            const double* const from[2] = {base[k], base[k + 1]};
            double* const to[2] = {up[k], up[k + 1]};
            qrx::dsp::HalfBandResampler::upsampleTwo(dsp->halfBand, resampler + k, from, to, n);
        }
        for (int k = 0; k < 4; ++k) g[k] = up[k];
    }
    for (int i = 0; i < ng; ++i) {
        const double frame[4] = {g[0][i], g[1][i], monitor ? g[2][i] : g[0][i],
                                 monitor ? g[3][i] : g[1][i]};
        double aligned[4];
        realign.push(frame, lay.realignDelay, aligned);
        gainStageFrame(aligned, lastGain[0], lastGain[1], gains, autoMakeup, passThrough, monitor,
                       out[0][i], out[1][i]);
    }
    if (gainUp) {
        const double* const from[2] = {out[0], out[1]};
        double* const to[2] = {out[0], out[1]};
        qrx::dsp::HalfBandResampler::downsampleTwo(dsp->halfBand, resampler, from, to, n);
    }
}

template <typename Sample>
void SignalPath::process(const HostBuffers<Sample>& io, int frames, MeterFeed& feed,
                         qrx::dsp::InstructionSet set) noexcept {
    table = &grandpress::kernelsFor(set);
    dsp = &qrx::dsp::kernelsFor(set);
    meters.load(feed, current);
    const int most = chunkSamplesOf(current.layout);
    for (int offset = 0; offset < frames; offset += most) {
        const int n = frames - offset < most ? frames - offset : most;
        chunk(io, offset, n);
    }
    meters.finishBlock(feed, frames);
    const bool passThrough = current.layout.routine == static_cast<int>(Routine::PassThrough);
    for (int c = 0; c < 2; ++c)
        feed.channel[c].gain.store(passThrough ? 1.0 : lastGain[c], std::memory_order_relaxed);
}

template <typename Sample>
void SignalPath::chunk(const HostBuffers<Sample>& io, int offset, int n) noexcept {
    const EngineSettings& s = current;
    const PathLayout& lay = s.layout;

    // Input stage: finite, held samples into the lines, the delayed frames into the chunk.
    const Sample* const from[4] = {io.mainLeft + offset, io.mainRight + offset,
                                   io.sideLeft + offset, io.sideRight + offset};
    const qrx::dsp::HostSampleKernels& host = dsp->hostSamples;
    input.pushWith(n, [&from, &host](int stream, double* to, int first, int count) {
        qrx::dsp::finiteInputs(host, stream, from[stream] + first, to, count);
    });
    for (int k = 0; k < 4; ++k) input.delayedBlock(k, lay.inputDelay + n - 1, n, base[k]);
    if (s.meterSource == kMeterPre) {
        // The input meters' anti-denormal term alternates from frame to frame.
        alignas(64) double alternating[kChunkFrames];
        for (int i = 0; i < n; ++i) {
            meterOffset = -meterOffset;
            alternating[i] = meterOffset;
        }
        meters.feedSignals(table->meters, base[0], base[1], n, alternating, 1);
    }

    // Side chain and detector, at fs or (FAT with Smooth) at 2 fs.
    double* streams[4] = {base[0], base[1], base[2], base[3]};
    int ns = n;
    if (lay.sideChainOversampled) {
        for (int k = 0; k < 4; ++k) {
            if (lay.smoothDelay) delayOneSample(base[k], n, smoothMemory[k]);
            streams[k] = up[k];
        }
        for (int k = 0; k < 4; k += 2) {
            const double* const from[2] = {base[k], base[k + 1]};
            qrx::dsp::HalfBandResampler::upsampleTwo(dsp->halfBand, resampler + k, from,
                                                     streams + k, n);
        }
        ns = 2 * n;
    }
    sideChain.process(table->sideChain, *dsp, s, ns, streams[0], streams[1], streams[2], streams[3],
                      eq[0], eq[1], link[0], link[1], noiseC);
    detector.process(table->detector, *dsp, link[0], link[1], ns, s.detectorScale,
                     lay.exactRoot != 0, det[0], det[1]);
    // With S.C.Monit the detector chunk carries the equalised side chain instead.
    const double* dL = s.sideChainMonitor ? eq[0] : det[0];
    const double* dR = s.sideChainMonitor ? eq[1] : det[1];
    lastDetector[0] = dL[ns - 1];
    lastDetector[1] = dR[ns - 1];

    const int ng = gainStage(n, ns, dL, dR, streams[0], streams[1]);

    // Back to the base rate.
    if (lay.gainOversampled) {
        const double* const from[2] = {out[0], out[1]};
        double* const to[2] = {out[0], out[1]};
        qrx::dsp::HalfBandResampler::downsampleTwo(dsp->halfBand, resampler, from, to, n);
    }
    (void)ng;

    // Output stage: limiter and the 511-sample line, host buffers, output meters.
    const bool limit = s.limiter && lay.routine != static_cast<int>(Routine::PassThrough);
    const bool post = s.meterSource == kMeterPost;
    const int noiseStep = lay.sideChainOversampled ? 2 : 1;
    limiter.process(table->limiter, out[0], out[1], n, limit, s, noiseC, noiseStep);
    if (post) meters.feedSignals(table->meters, out[0], out[1], n, noiseC, noiseStep);
    // Left first: an output pair that is one buffer ends with the right channel.
    Sample* const toLeft = io.outLeft + offset;
    Sample* const toRight = io.outRight + offset;
    if constexpr (std::is_same_v<Sample, float>) {
        host.toFloats(out[0], toLeft, n);
        host.toFloats(out[1], toRight, n);
    } else {
        for (int i = 0; i < n; ++i) toLeft[i] = out[0][i];
        for (int i = 0; i < n; ++i) toRight[i] = out[1][i];
    }
}

int SignalPath::gainStage(int n, int ns, const double* dL, const double* dR, const double* mL,
                          const double* mR) noexcept {
    const EngineSettings& s = current;
    const PathLayout& lay = s.layout;

    // Main and detector streams at the gain-stage rate.
    int ng = ns;
    const double* g[4] = {mL, mR, dL, dR};
    if (lay.gainOversampled && !lay.sideChainOversampled) {
        for (int k = 0; k < 4; k += 2) {
            double* const to[2] = {gainIn[k], gainIn[k + 1]};
            qrx::dsp::HalfBandResampler::upsampleTwo(dsp->halfBand, resampler + k, g + k, to, n);
            g[k] = gainIn[k];
            g[k + 1] = gainIn[k + 1];
        }
        ng = 2 * n;
    }
    const int noiseShift = ng > ns ? 1 : 0;  // gain stage faster than the side chain (FAT)

    const bool monitor = s.sideChainMonitor != 0;
    const bool passThrough = lay.routine == static_cast<int>(Routine::PassThrough);
    const bool gainMeter = s.meterSource == kMeterGainRed;
    const double autoMakeup = s.autoMakeup ? s.autoMakeupGain : 1.0;
    const double limiterGain = s.limiter ? limiter.gain() : 1.0;
    // The envelopes run sample by sample; the static curve after them over the whole chunk.
    gain.levels(table->gainComputer, g[2], g[3], ng, monitor, s, releaseShape, levels);
    curveGains(table->gainCurve, s, curvePowers, levels, 2 * ng, curve);
    // Realigned main and dry streams (with S.C.Monit the dry ones are the side chain).
    const double* const lines[4] = {g[0], g[1], monitor ? g[2] : g[0], monitor ? g[3] : g[1]};
    const double* realigned[4];
    realign.push(lines, ng, lay.realignDelay, realignSpill, realigned);
    // The glides and the gain meter are recursive (the meter runs both channels at once); the
    // frames after them are not.
    const GlidingGains::Pulls pulls = GlidingGains::pullsOf(s);
    GlideRun glide = {{gains.makeup, gains.output, gains.mix},
                      {pulls.makeup, pulls.output, pulls.mix},
                      GlidingGains::kKeep};
    double* const glidedTo[3] = {glided[0], glided[1], glided[2]};
    table->mix.glide(glide, noiseC, noiseShift, ng, glidedTo);
    gains.makeup = glide.value[0];
    gains.output = glide.value[1];
    gains.mix = glide.value[2];
    if (gainMeter)
        meters.feedGains(table->meters, curve, curve + ng, ng, limiterGain, noiseC, noiseShift);
    const double* mainL = realigned[0];
    const double* mainR = realigned[1];
    const double* dryL = realigned[2];
    const double* dryR = realigned[3];
    double* yL = out[0];
    double* yR = out[1];
    if (passThrough) {
        for (int i = 0; i < ng; ++i) {
            yL[i] = mainL[i];
            yR[i] = mainR[i];
        }
    } else if (monitor) {
        for (int i = 0; i < ng; ++i) {
            yL[i] = glided[1][i] * dryL[i];
            yR[i] = glided[1][i] * dryR[i];
        }
    } else {
        const MixStreams streams = {mainL,      mainR,     dryL,      dryR,      curve,
                                    curve + ng, glided[0], glided[1], glided[2], autoMakeup};
        table->mix.mix(streams, ng, yL, yR);
    }
    lastGain[0] = curve[ng - 1];
    lastGain[1] = curve[2 * ng - 1];
    return ng;
}

template void SignalPath::process<float>(const HostBuffers<float>&, int, MeterFeed&,
                                         qrx::dsp::InstructionSet) noexcept;
template void SignalPath::process<double>(const HostBuffers<double>&, int, MeterFeed&,
                                          qrx::dsp::InstructionSet) noexcept;

}  // namespace grandpress
