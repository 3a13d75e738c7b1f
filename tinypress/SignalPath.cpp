#include "tinypress/SignalPath.h"

#include <cmath>
#include <cstring>

#include "dsp/GlidingBiquad.h"

namespace tinypress {
namespace {

// A host sample as it enters the engine: NaN and infinities are taken as 0.
inline double finiteSample(float x) noexcept {
    return std::isfinite(x) ? static_cast<double>(x) : 0.0;
}

constexpr double kLinkScale = 0.7071;  // sqrt(L^2 + R^2) * 0.7071 feeds both detectors
constexpr double kStateGlide = 0.001;  // make-up and output gain glide per sample

}  // namespace

SignalPath::SignalPath() noexcept {
    clearPath();
    std::memset(in, 0, sizeof in);
    std::memset(main, 0, sizeof main);
    std::memset(side, 0, sizeof side);
    std::memset(linked, 0, sizeof linked);
    std::memset(level, 0, sizeof level);
    std::memset(noise, 0, sizeof noise);
    std::memset(out, 0, sizeof out);
}

void SignalPath::clearPath() noexcept {
    inputRings.clear();
    std::memset(postRing, 0, sizeof postRing);
    postWrite = kRingLength - 1;
    detector.clear();
    for (int c = 0; c < 2; ++c) {
        lowShelf[c].snap(current.lowShelfAtReset);
        highShelf[c].snap(current.highShelfAtReset);
        envelopes[c].clearSmoothers();
    }
}

void SignalPath::adopt(const EngineSettings& next) noexcept {
    current = next;
    const EngineSettings& s = current;
    if (s.fullResets != fullResetsDone || s.pathResets != pathResetsDone) {
        clearPath();
        pathResetsDone = s.pathResets;
    }
    if (s.fullResets != fullResetsDone) {
        for (EnvelopeState& e : envelopes) e.envelope = kEnvelopeFloor;
        makeup = s.makeupAtReset;
        output = s.outputAtReset;
        meters.resetFilters();
        fullResetsDone = s.fullResets;
        vuResetsDone = s.vuResets;
    }
    if (s.vuResets != vuResetsDone) {
        meters.resetFilters();
        vuResetsDone = s.vuResets;
    }
}

void SignalPath::process(const qrx::dsp::HostBuffers<float>& io, int frames,
                         MeterFeed& feed) noexcept {
    if (frames <= 0) return;
    const bool bypass = current.power == 0;
    meters.load(feed, current);
    for (int offset = 0; offset < frames; offset += kChunk) {
        const int n = frames - offset < kChunk ? frames - offset : kChunk;
        readChunk(io, offset, n);
        if (bypass)
            bypassChunk(n);
        else
            activeChunk(n);
        writeChunk(io, offset, n);
    }
    meters.finishBlock(feed, frames);
}

void SignalPath::readChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept {
    const float* const sources[kStreams] = {io.mainLeft, io.mainRight, io.sideLeft, io.sideRight};
    for (int s = 0; s < kStreams; ++s) {
        if (!sources[s]) {
            std::memset(in[s], 0, sizeof(double) * static_cast<size_t>(n));
            continue;
        }
        const float* p = sources[s] + offset;
        for (int k = 0; k < n; ++k) in[s][k] = finiteSample(p[k]);
    }
}

void SignalPath::bypassChunk(int n) noexcept {
    const int delay = kPathDelayBase - current.hilbertLength;
    const bool gainMeters = current.meterSource == kMeterGainRed;
    double offset = bypassOffset;
    for (int k = 0; k < n; ++k) {
        inputRings.push(in[kMainLeft][k], in[kMainRight][k], in[kSideLeft][k], in[kSideRight][k]);
        out[0][k] = inputRings.delayed(kMainLeft, delay);
        out[1][k] = inputRings.delayed(kMainRight, delay);
        offset = -offset;
        for (int c = 0; c < 2; ++c) {
            if (gainMeters)
                meters.bypassGain(c, offset);
            else
                meters.bypassSignal(c, out[c][k], offset);
        }
    }
    bypassOffset = offset;
}

void SignalPath::activeChunk(int n) noexcept {
    const EngineSettings& s = current;
    const int taps = s.hilbertLength;
    const int mainDelay = kPathDelayBase - taps;
    const int sideDelay = kPathDelayBase - 2 * taps;
    const bool stereo = s.stereo != 0;
    const int channels = stereo ? 2 : 1;

    // Input rings, delayed main and side chain, noise.
    qrx::dsp::DenormalNoise engine = engineNoise;
    for (int k = 0; k < n; ++k) {
        double mainL = in[kMainLeft][k], mainR = in[kMainRight][k];
        double sideL = in[kSideLeft][k], sideR = in[kSideRight][k];
        if (!stereo) {
            mainL = mainR = 0.5 * (mainL + mainR);
            sideL = sideR = 0.5 * (sideL + sideR);
        }
        inputRings.push(mainL, mainR, sideL, sideR);
        const double signalNoise = engine.next();
        noise[k] = engine.next();
        main[0][k] = inputRings.delayed(kMainLeft, mainDelay) + signalNoise;
        main[1][k] = inputRings.delayed(kMainRight, mainDelay) + signalNoise;
        side[0][k] = inputRings.delayed(kSideLeft, sideDelay);
        side[1][k] = inputRings.delayed(kSideRight, sideDelay);
    }
    engineNoise = engine;

    // Side-chain shelves: low, then high.
    for (int c = 0; c < channels; ++c) {
        ShelfState& lo = lowShelf[c];
        ShelfState& hi = highShelf[c];
        const double rate = s.shelfGlideRate;
        for (int k = 0; k < n; ++k) {
            const double x = qrx::dsp::glidingBiquadStep(side[c][k], s.lowShelf, lo.current,
                                                         lo.memories, rate, lo.noise);
            side[c][k] = qrx::dsp::glidingBiquadStep(x, s.highShelf, hi.current, hi.memories, rate,
                                                     hi.noise);
        }
    }

    // Stereo link: both detectors see the combined level.
    const double* detectorIn[2] = {side[0], side[1]};
    if (stereo && s.link) {
        for (int k = 0; k < n; ++k) {
            const double l = std::sqrt(side[0][k] * side[0][k] + side[1][k] * side[1][k]);
            linked[0][k] = linked[1][k] = l * kLinkScale;
        }
        detectorIn[0] = linked[0];
        detectorIn[1] = linked[1];
    }
    double* const levels[2] = {level[0], level[1]};
    detector.process(detectorIn, channels, n, taps, s.smooth != 0, levels);

    // Envelope, gain, output.
    const bool rms = s.rms != 0, soft = s.softKnee != 0, monitor = s.sideChainMonitor != 0;
    const int source = s.meterSource;
    const double autoMakeup = s.autoMakeup ? s.autoMakeupGain : 1.0;
    const int monitorBack = 2 * taps;
    double m = makeup, o = output;
    int pw = postWrite;
    for (int k = 0; k < n; ++k) {
        const double nk = noise[k];
        m = m + (s.makeupTarget - m) * kStateGlide + nk;
        o = o + (s.outputTarget - o) * kStateGlide + nk;
        pw = (pw + 1) & kRingMask;
        const double gainAfter = m * autoMakeup * o;
        for (int c = 0; c < channels; ++c) {
            const double p = normalisedLevel(level[c][k], s.thresholdGain, rms);
            const double v = envelopes[c].step(p, s);
            const double g = gainOfEnvelope(v, s.inverseRatio, soft, s.kneeLowY, s.kneeHighY);
            postRing[c][pw] = monitor ? side[c][k] : main[c][k];
            if (monitor)
                out[c][k] = postRing[c][(pw - monitorBack) & kRingMask] * o;
            else
                out[c][k] = main[c][k] * g * gainAfter;
            if (source == kMeterPre) {
                meters.signal(c, std::fabs(main[c][k]), nk);
                if (!stereo) meters.signal(1, std::fabs(main[0][k]), nk);
            } else if (source == kMeterGainRed) {
                meters.gain(c, g, nk);
                if (!stereo) meters.gain(1, g, nk);
            }
        }
        if (!stereo) out[1][k] = out[0][k];
    }
    makeup = m;
    output = o;
    postWrite = pw;
}

void SignalPath::writeChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept {
    if (current.power && current.meterSource == kMeterPost) {
        for (int k = 0; k < n; ++k) {
            meters.signal(0, std::fabs(out[0][k]), noise[k]);
            meters.signal(1, std::fabs(out[1][k]), noise[k]);
        }
    }
    if (io.outLeft)
        for (int k = 0; k < n; ++k) io.outLeft[offset + k] = static_cast<float>(out[0][k]);
    if (io.outRight)
        for (int k = 0; k < n; ++k) io.outRight[offset + k] = static_cast<float>(out[1][k]);
}

}  // namespace tinypress
