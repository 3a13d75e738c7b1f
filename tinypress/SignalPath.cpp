#include "tinypress/SignalPath.h"

#include <cmath>
#include <cstring>

#include "dsp/GlidingBiquad.h"

namespace tinypress {
namespace {

// The shortest input delay (the side chain at the highest rate) is longer than a chunk.
static_assert(kPathDelayBase - 2 * kMaxHilbertLength > kChunk);

}  // namespace

SignalPath::SignalPath() noexcept {
    clearPath();
    std::memset(in, 0, sizeof in);
    std::memset(mainBuffer, 0, sizeof mainBuffer);
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
    lastGain[0] = lastGain[1] = 1.0;
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

void SignalPath::process(const qrx::dsp::HostBuffers<float>& io, int frames, MeterFeed& feed,
                         qrx::dsp::InstructionSet set) noexcept {
    if (frames <= 0) return;
    kernels = &tinypress::kernelsFor(set);
    dsp = &qrx::dsp::kernelsFor(set);
    const bool bypass = current.power == 0;
    meters.load(feed, current);
    for (int offset = 0; offset < frames; offset += kChunk) {
        const int n = frames - offset < kChunk ? frames - offset : kChunk;
        if (bypass) {
            readChunk(io, offset, n);
            bypassChunk(n);
        } else {
            activeChunk(io, offset, n);
        }
        writeChunk(io, offset, n);
    }
    meters.finishBlock(feed, frames);
    for (int c = 0; c < 2; ++c)
        feed.channel[c].gain.store(bypass ? 1.0 : lastGain[c], std::memory_order_relaxed);
}

void SignalPath::readChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept {
    const float* const sources[kStreams] = {io.mainLeft, io.mainRight, io.sideLeft, io.sideRight};
    const qrx::dsp::HostSampleKernels& host = dsp->hostSamples;
    for (int s = 0; s < kStreams; ++s) {
        if (!sources[s]) {
            std::memset(in[s], 0, sizeof(double) * static_cast<size_t>(n));
            continue;
        }
        qrx::dsp::finiteInputs(host, s, sources[s] + offset, in[s], n);
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

void SignalPath::generate(qrx::dsp::DenormalNoise& generator, int count, double* to) noexcept {
    const qrx::dsp::DenormalNoise::Words w = generator.words();
    std::uint32_t words[3] = {w.s1, w.s2, w.s3};
    kernels->noise(words, generator.scale(), count, to);
    generator.setWords({words[0], words[1], words[2]});
}

void SignalPath::generatePair(qrx::dsp::DenormalNoise& a, double* toA, qrx::dsp::DenormalNoise& b,
                              double* toB, int n) noexcept {
    const qrx::dsp::DenormalNoise::Words wa = a.words(), wb = b.words();
    std::uint32_t wordsA[3] = {wa.s1, wa.s2, wa.s3}, wordsB[3] = {wb.s1, wb.s2, wb.s3};
    kernels->noisePair(wordsA, a.scale(), toA, wordsB, b.scale(), toB, n);
    a.setWords({wordsA[0], wordsA[1], wordsA[2]});
    b.setWords({wordsB[0], wordsB[1], wordsB[2]});
}

void SignalPath::chunkNoise(int channels, int n, double* engineValues) noexcept {
    // Every shelf's generator starts alike and steps once per sample of its channel, so they
    // usually agree: one run then serves all of them. The first run is made together with the
    // engine's two values per sample.
    int runs = 0;
    ShelfState* const shelves[4] = {&lowShelf[0], &highShelf[0], &lowShelf[1], &highShelf[1]};
    const qrx::dsp::DenormalNoise start[4] = {shelves[0]->noise, shelves[1]->noise,
                                              shelves[2]->noise, shelves[3]->noise};
    const double* sequence[4] = {};
    for (int f = 0; f < 2 * channels; ++f) {
        int same = 0;
        while (same < f && !(start[same] == start[f])) ++same;
        if (same < f) {
            sequence[f] = sequence[same];
            shelves[f]->noise = shelves[same]->noise;
            continue;
        }
        double* h = shelfNoises[runs++];
        if (f == 0)
            generatePair(engineNoise, engineValues, shelves[f]->noise, h, n);
        else
            generate(shelves[f]->noise, n, h);
        sequence[f] = h;
    }
    // In mono the right lane repeats the left one on scratch state.
    if (channels == 1) sequence[2] = sequence[0], sequence[3] = sequence[1];
    shelfSequence[0][0] = sequence[0];
    shelfSequence[1][0] = sequence[1];
    shelfSequence[0][1] = sequence[2];
    shelfSequence[1][1] = sequence[3];
}

void SignalPath::activeChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept {
    const ChunkPlace place = placeChunk(n);
    takeInputs(io, offset, n, place.main);
    // Two engine noise values per sample: the first rides on the main signal, the second is n.
    alignas(64) double engineValues[2 * kChunk];
    chunkNoise(current.stereo != 0 ? 2 : 1, n, engineValues);
    kernels->spreadNoise(engineValues, n, place.main[0], place.main[1], noise);
    runShelves(n);
    detect(n);
    const double* gains[2];
    runDynamics(n, place.main, gains);
    keepPostDetector(n, place);
    meterInPath(n, place.main, gains);
}

SignalPath::ChunkPlace SignalPath::placeChunk(int n) noexcept {
    // Without the side-chain monitor the delayed main signal is what the post-detector ring
    // keeps: where the chunk's stretch of the ring is whole and aligned, the main signal is
    // made right there.
    ChunkPlace place;
    place.first = static_cast<unsigned>(postWrite + 1) & kRingMask;
    place.mainInRing = current.sideChainMonitor == 0 && place.first % 8 == 0 &&
                       place.first + static_cast<unsigned>(n) <= kRingLength;
    const bool stereo = current.stereo != 0;
    place.main[0] = place.mainInRing ? postRing[0] + place.first : mainBuffer[0];
    place.main[1] = place.mainInRing && stereo ? postRing[1] + place.first : mainBuffer[1];
    return place;
}

void SignalPath::takeInputs(const qrx::dsp::HostBuffers<float>& io, int offset, int n,
                            double* const main[2]) noexcept {
    // Both delays exceed the chunk: every frame read is older than the chunk, so the reads come
    // first (frame k, d frames back, is d - 1 - k frames before the newest one stored so far).
    const bool stereo = current.stereo != 0;
    if (!stereo) readMonoChunk(io, offset, n);
    const int taps = current.hilbertLength;
    const int mainDelay = kPathDelayBase - taps;
    const int sideDelay = kPathDelayBase - 2 * taps;
    inputRings.delayedBlock(kMainLeft, mainDelay - 1, n, main[0]);
    inputRings.delayedBlock(kMainRight, mainDelay - 1, n, main[1]);
    inputRings.delayedBlock(kSideLeft, sideDelay - 1, n, side[0]);
    inputRings.delayedBlock(kSideRight, sideDelay - 1, n, side[1]);
    if (stereo) {
        pushHostChunk(io, offset, n);
    } else {
        const double* const frames[kStreams] = {in[kMainLeft], in[kMainRight], in[kSideLeft],
                                                in[kSideRight]};
        inputRings.pushBlock(frames, n);
    }
}

void SignalPath::readMonoChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept {
    readChunk(io, offset, n);
    for (int k = 0; k < n; ++k) {
        in[kMainLeft][k] = in[kMainRight][k] = 0.5 * (in[kMainLeft][k] + in[kMainRight][k]);
        in[kSideLeft][k] = in[kSideRight][k] = 0.5 * (in[kSideLeft][k] + in[kSideRight][k]);
    }
}

void SignalPath::pushHostChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept {
    // The host's samples go straight into the rings.
    const float* const sources[kStreams] = {io.mainLeft, io.mainRight, io.sideLeft, io.sideRight};
    const qrx::dsp::HostSampleKernels& host = dsp->hostSamples;
    inputRings.pushWith(n, [&](int stream, double* to, int from, int count) {
        if (sources[stream])
            qrx::dsp::finiteInputs(host, stream, sources[stream] + offset + from, to, count);
        else
            std::memset(to, 0, sizeof(double) * static_cast<size_t>(count));
    });
}

void SignalPath::runShelves(int n) noexcept {
    const bool stereo = current.stereo != 0;
    // In mono the right lane works on a scratch copy of the left state.
    if (!stereo) {
        lowScratch.current = lowShelf[0].current;
        lowScratch.memories = lowShelf[0].memories;
        highScratch.current = highShelf[0].current;
        highScratch.memories = highShelf[0].memories;
    }
    ShelfJob job(n, current.shelfGlideRate, current.lowShelf, current.highShelf);
    job.lane(0, lowShelf[0], highShelf[0], shelfSequence[0][0], shelfSequence[1][0], side[0]);
    job.lane(1, stereo ? lowShelf[1] : lowScratch, stereo ? highShelf[1] : highScratch,
             shelfSequence[0][1], shelfSequence[1][1], side[1]);
    kernels->shelves(job);
}

void SignalPath::detect(int n) noexcept {
    const bool stereo = current.stereo != 0;
    // Stereo link: both detectors see the combined level.
    const double* detectorIn[2] = {side[0], side[1]};
    if (stereo && current.link) {
        kernels->link(side[0], side[1], n, linked[0]);
        detectorIn[0] = detectorIn[1] = linked[0];
    }
    double* const levels[2] = {level[0], level[1]};
    detector.process(*kernels, *dsp, detectorIn, stereo ? 2 : 1, n, current.hilbertLength,
                     current.smooth != 0, levels);
}

void SignalPath::runDynamics(int n, double* const main[2], const double* gains[2]) noexcept {
    const bool stereo = current.stereo != 0;
    // In mono the right lane works on a scratch copy of the left state.
    if (!stereo) envelopeScratch = envelopes[0];
    curvePowers.prepare(current.inverseRatio);
    DynamicsJob job(n, current, curvePowers, noise, makeup, output, outGain);
    job.lane(0, envelopes[0], level[0], main[0], gain[0], out[0]);
    job.lane(1, stereo ? envelopes[1] : envelopeScratch, stereo ? level[1] : level[0], main[1],
             gain[1], out[1]);
    job.lanesAgree = stereo && current.link && lanesAgree(n);
    kernels->dynamics(job);
    makeup = job.makeup;
    output = job.output;
    // Where the lanes agree the kernel points both at the left gains; in mono the right lane is
    // discarded.
    gains[0] = job.gain[0];
    gains[1] = stereo ? job.gain[1] : job.gain[0];
    lastGain[0] = gains[0][n - 1];
    lastGain[1] = gains[1][n - 1];
}

void SignalPath::keepPostDetector(int n, const ChunkPlace& place) noexcept {
    // The post-detector rings, and the side-chain monitor's output.
    const bool monitor = current.sideChainMonitor != 0;
    const int channels = current.stereo != 0 ? 2 : 1;
    const unsigned monitorStart =
        (place.first - 2u * static_cast<unsigned>(current.hilbertLength)) & kRingMask;
    for (int c = 0; c < channels; ++c) {
        if (!place.mainInRing)
            Rings::copyIn(postRing[c], place.first, monitor ? side[c] : place.main[c], n);
        if (!monitor) continue;
        Rings::copyOut(postRing[c], monitorStart, out[c], n);
        for (int k = 0; k < n; ++k) out[c][k] *= outGain[k];
    }
    postWrite = (postWrite + n) & kRingMask;
    if (channels == 1) std::memcpy(out[1], out[0], sizeof(double) * static_cast<size_t>(n));
}

void SignalPath::meterInPath(int n, double* const main[2], const double* const gains[2]) noexcept {
    // "Post" meters the output when the chunk is written.
    if (current.meterSource == kMeterGainRed) meterChunk(n, gains, false);
    if (current.meterSource != kMeterPre) return;
    // In mono both lanes meter the left one.
    const double* const values[2] = {main[0], current.stereo != 0 ? main[1] : main[0]};
    meterChunk(n, values, true);
}

void SignalPath::meterChunk(int n, const double* const values[2], bool signal) noexcept {
    const MeterJob job(n, meters.constants(), meters.ch[0], meters.ch[1], values[0], values[1],
                       noise);
    if (signal)
        kernels->signalMeters(job);
    else
        kernels->gainMeters(job);
}

bool SignalPath::lanesAgree(int n) const noexcept {
    // Bit for bit (0.0 and -0.0 differ): the envelope states, and every level of the chunk. Link
    // feeds both detectors alike, but for a while after it comes on the right one still holds
    // unlinked samples, and its levels differ however alike the envelopes are.
    // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): the bits are what must agree
    return std::memcmp(&envelopes[0], &envelopes[1], sizeof envelopes[0]) == 0 &&
           std::memcmp(level[0], level[1], sizeof(double) * static_cast<size_t>(n)) == 0;
}

void SignalPath::writeChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept {
    if (current.power && current.meterSource == kMeterPost) {
        const double* const values[2] = {out[0], out[1]};
        meterChunk(n, values, true);
    }
    if (io.outLeft) kernels->writeFloats(out[0], n, io.outLeft + offset);
    if (io.outRight) kernels->writeFloats(out[1], n, io.outRight + offset);
}

}  // namespace tinypress
