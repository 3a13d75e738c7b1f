#include "grandpress/SignalPath.h"

#include <cstring>

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

// Delays a chunk by one sample through `memory` (FAT with Smooth).
void delayOneSample(double* x, int n, double& memory) {
    for (int i = 0; i < n; ++i) {
        const double t = x[i];
        x[i] = memory;
        memory = t;
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
    if (structural)
        rebuildForLayout(rateChanged);
    else if (linkChanged)
        sideChain.resetLink();
}

template <typename Sample>
void SignalPath::process(const HostBuffers<Sample>& io, int frames, MeterFeed& feed) noexcept {
    meters.load(feed, current);
    for (int offset = 0; offset < frames; offset += kChunk) {
        const int n = frames - offset < kChunk ? frames - offset : kChunk;
        chunk(io, offset, n);
    }
    meters.finishBlock(feed, frames);
}

template <typename Sample>
void SignalPath::chunk(const HostBuffers<Sample>& io, int offset, int n) noexcept {
    const EngineSettings& s = current;
    const PathLayout& lay = s.layout;

    // Input stage: finite samples into the lines, the delayed frame into the chunk.
    {
        const bool pre = s.meterSource == kMeterPre;
        double frame[qrx::dsp::InputRings::kStreams];
        for (int i = 0; i < n; ++i) {
            frame[0] = finiteInput(static_cast<double>(io.mainLeft[offset + i]));
            frame[1] = finiteInput(static_cast<double>(io.mainRight[offset + i]));
            frame[2] = finiteInput(static_cast<double>(io.sideLeft[offset + i]));
            frame[3] = finiteInput(static_cast<double>(io.sideRight[offset + i]));
            input.push(frame);
            for (int k = 0; k < 4; ++k) base[k][i] = input.delayed(k, lay.inputDelay);
            if (pre) {
                meterOffset = -meterOffset;
                meters.feedSignal(base[0][i], base[1][i], meterOffset);
            }
        }
    }

    // Side chain and detector, at fs or (FAT with Smooth) at 2 fs.
    double* streams[4] = {base[0], base[1], base[2], base[3]};
    int ns = n;
    if (lay.sideChainOversampled) {
        for (int k = 0; k < 4; ++k) {
            if (lay.smoothDelay) delayOneSample(base[k], n, smoothMemory[k]);
            resampler[k].upsample(base[k], up[k], n);
            streams[k] = up[k];
        }
        ns = 2 * n;
    }
    sideChain.process(s, ns, streams[0], streams[1], streams[2], streams[3], eq[0], eq[1], link[0],
                      link[1], noiseC);
    detector.process(link[0], link[1], ns, s.detectorScale, lay.exactRoot != 0, det[0], det[1]);
    // With S.C.Monit the detector chunk carries the equalised side chain instead.
    const double* dL = s.sideChainMonitor ? eq[0] : det[0];
    const double* dR = s.sideChainMonitor ? eq[1] : det[1];

    const int ng = gainStage(n, ns, dL, dR, streams[0], streams[1]);

    // Back to the base rate.
    if (lay.gainOversampled) {
        resampler[0].downsample(out[0], out[0], n);
        resampler[1].downsample(out[1], out[1], n);
    }
    (void)ng;

    // Output stage: limiter and the 511-sample line, host buffers, output meters.
    const bool limit = s.limiter && lay.routine != static_cast<int>(Routine::PassThrough);
    const bool post = s.meterSource == kMeterPost;
    const int noiseStep = lay.sideChainOversampled ? 2 : 1;
    for (int i = 0; i < n; ++i) {
        double l = out[0][i], r = out[1][i];
        const double nC = noiseC[i * noiseStep];
        limiter.process(l, r, limit, s, nC);
        if (post) meters.feedSignal(l, r, nC);
        io.outLeft[offset + i] = static_cast<Sample>(l);
        io.outRight[offset + i] = static_cast<Sample>(r);
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
        for (int k = 0; k < 4; ++k) {
            resampler[k].upsample(g[k], gainIn[k], n);
            g[k] = gainIn[k];
        }
        ng = 2 * n;
    }
    const int noiseShift = ng > ns ? 1 : 0;  // gain stage faster than the side chain (FAT)

    const bool monitor = s.sideChainMonitor != 0;
    const bool passThrough = lay.routine == static_cast<int>(Routine::PassThrough);
    const bool gainMeter = s.meterSource == kMeterGainRed;
    const double autoMakeup = s.autoMakeup ? s.autoMakeupGain : 1.0;
    const double limiterGain = s.limiter ? limiter.gain() : 1.0;
    GlidingGains gl = gains;
    double frame[4], aligned[4];
    for (int i = 0; i < ng; ++i) {
        const double nC = noiseC[i >> noiseShift];
        double gL, gR;
        gain.gains(monitor ? 0.0 : g[2][i], monitor ? 0.0 : g[3][i], s, releaseShape, gL, gR);
        frame[0] = g[0][i];
        frame[1] = g[1][i];
        frame[2] = monitor ? g[2][i] : g[0][i];
        frame[3] = monitor ? g[3][i] : g[1][i];
        realign.push(frame, lay.realignDelay, aligned);
        gl.glide(s, nC);
        double yL, yR;
        if (passThrough) {
            yL = aligned[0];
            yR = aligned[1];
        } else if (monitor) {
            yL = gl.output * aligned[2];
            yR = gl.output * aligned[3];
        } else {
            const double makeup = gl.makeup * autoMakeup;
            const double wL = aligned[0] * gL * makeup;
            const double wR = aligned[1] * gR * makeup;
            yL = gl.output * (aligned[2] + gl.mix * (wL - aligned[2]));
            yR = gl.output * (aligned[3] + gl.mix * (wR - aligned[3]));
        }
        out[0][i] = yL;
        out[1][i] = yR;
        if (gainMeter) meters.feedGain(gL, gR, limiterGain, nC);
    }
    gains = gl;
    return ng;
}

template void SignalPath::process<float>(const HostBuffers<float>&, int, MeterFeed&) noexcept;
template void SignalPath::process<double>(const HostBuffers<double>&, int, MeterFeed&) noexcept;

}  // namespace grandpress
