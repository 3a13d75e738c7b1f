// The stereo mastering compressor's signal path: a feed-forward compressor whose main signal
// waits in a delay ring while a filtered, envelope-detected copy of the side chain computes its
// gain. Each host block is cut into chunks of at most 64 samples.
//
// Timing, with N = floor(fs / 1000):
// - the main signal is read 1021 - N samples after it arrived (the announced latency);
// - the side chain is read 1021 - 2N samples after it arrived, and the detector window is
//   centred 2N samples behind the newest filtered sample, so the gain follows the side chain
//   1021 samples late while every Hilbert tap reads a sample already written;
// - the side-chain monitor reads the filtered side chain 2N samples back, N samples later than
//   the normal output;
// - with the power off the main pair comes out unchanged 1021 - N samples late, so switching the
//   power keeps the timing.
//
// Threads: constructed and destroyed on the user-interface thread (all storage inside the object,
// nothing allocated later); everything else runs on the audio thread. Settings, including reset
// requests, arrive through adopt() at the start of a block, so no other thread touches the state.
#pragma once

#include "dsp/BiquadDesign.h"
#include "dsp/DenormalNoise.h"
#include "dsp/HostBuffers.h"
#include "dsp/InputRings.h"
#include "dsp/InstructionSet.h"
#include "dsp/Kernels.h"
#include "dsp/MeterFeed.h"
#include "tinypress/ChunkKernels.h"
#include "tinypress/Detector.h"
#include "tinypress/EngineSettings.h"
#include "tinypress/GainComputer.h"
#include "tinypress/Meters.h"

namespace tinypress {

// Running state of one gliding side-chain shelf (the targets come from the settings).
struct ShelfState {
    qrx::dsp::BiquadCoefficients current;
    qrx::dsp::BiquadMemories memories;
    qrx::dsp::DenormalNoise noise{qrx::dsp::kBiquadNoiseScale};

    void snap(const qrx::dsp::BiquadCoefficients& to) noexcept {
        current = to;
        memories = {};
    }
};

class SignalPath {
  public:
    SignalPath() noexcept;

    // Audio thread: takes the settings for the coming block and carries out the resets they
    // request (suspend, index 1, a new VU time).
    void adopt(const EngineSettings& next) noexcept;
    const EngineSettings& settings() const noexcept { return current; }

    // Audio thread: one host block, on the kernels of the given instruction set.
    void process(const qrx::dsp::HostBuffers<float>& io, int frames, MeterFeed& feed,
                 qrx::dsp::InstructionSet kernelSet) noexcept;

    // Inspection for tests (audio thread, or while stopped).
    double envelope(int channel) const noexcept { return envelopes[channel].envelope; }
    double makeupState() const noexcept { return makeup; }
    double outputState() const noexcept { return output; }
    const ShelfState& lowShelfState(int channel) const noexcept { return lowShelf[channel]; }
    const ShelfState& highShelfState(int channel) const noexcept { return highShelf[channel]; }

  private:
    enum Stream { kMainLeft, kMainRight, kSideLeft, kSideRight, kStreams };
    using Rings = qrx::dsp::InputRings<kRingLength>;

    void clearPath() noexcept;
    void readChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept;
    void bypassChunk(int n) noexcept;
    void activeChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept;

    // Where the chunk's delayed main signal is made: in the post-detector ring at `first` (when
    // it is kept there, whole and aligned) or in mainBuffer.
    struct ChunkPlace {
        unsigned first = 0;  // the chunk's first frame in the post-detector ring
        bool mainInRing = false;
        double* main[2] = {};
    };
    ChunkPlace placeChunk(int n) noexcept;
    // The delayed main signal and side chain out of the input rings, the host's samples in.
    void takeInputs(const qrx::dsp::HostBuffers<float>& io, int offset, int n,
                    double* const main[2]) noexcept;
    // Mono: the host's samples, both channels of each pair set to their mean.
    void readMonoChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept;
    void pushHostChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept;
    // Side-chain shelves, then the stereo link and the detector.
    void runShelves(int n) noexcept;
    void detect(int n) noexcept;
    // Envelope, gain and output; `gains` gets the gain g each lane's meter reads.
    void runDynamics(int n, double* const main[2], const double* gains[2]) noexcept;
    // The post-detector rings, and the side-chain monitor's output.
    void keepPostDetector(int n, const ChunkPlace& place) noexcept;
    // The meters of "Pre" and "GainRed", which read values inside the path.
    void meterInPath(int n, double* const main[2], const double* const gains[2]) noexcept;
    void meterChunk(int n, const double* const values[2], bool signal) noexcept;
    // The chunk's noise: the engine's two values per sample, and the shelves' runs.
    void chunkNoise(int channels, int n, double* engineValues) noexcept;
    // `count` values of the generator, by the block's kernels.
    void generate(qrx::dsp::DenormalNoise& generator, int count, double* to) noexcept;
    // 2n values of a and n of b.
    void generatePair(qrx::dsp::DenormalNoise& a, double* toA, qrx::dsp::DenormalNoise& b,
                      double* toB, int n) noexcept;
    void writeChunk(const qrx::dsp::HostBuffers<float>& io, int offset, int n) noexcept;
    // Whether both lanes start the chunk's dynamics from the same state with the same n levels,
    // so that they give the same gains: one lane's gain curve may then serve both.
    bool lanesAgree(int n) const noexcept;

    EngineSettings current;
    std::uint32_t fullResetsDone = 0, pathResetsDone = 0, vuResetsDone = 0;

    // Input rings (main and side chain, left and right) with one shared write index.
    Rings inputRings;
    // Post-detector rings: the main signal, or the filtered side chain for the monitor.
    alignas(64) double postRing[2][kRingLength];
    int postWrite = kRingLength - 1;
    Detector detector;

    ShelfState lowShelf[2], highShelf[2];
    EnvelopeState envelopes[2];
    // In mono the right lane of every kernel works on copies of the left state made here.
    ShelfState lowScratch, highScratch;
    EnvelopeState envelopeScratch;
    double makeup = 1.0, output = 1.0;
    double lastGain[2] = {1.0, 1.0};  // the gain g of each channel's latest frame
    qrx::dsp::DenormalNoise engineNoise{1e-12};
    double bypassOffset = 1e-12;  // alternating anti-denormal term of the bypass meters
    Meters meters;
    const ChunkKernels* kernels = nullptr;  // the block's set
    // The block's dsp kernels.
    const qrx::dsp::Kernels* dsp = &qrx::dsp::kernelsFor(qrx::dsp::bestInstructionSet());

    // Chunk buffers.
    alignas(64) double in[kStreams][kChunk];    // host samples, made finite and held
    alignas(64) double mainBuffer[2][kChunk];   // delayed main signal (unless in postRing)
    alignas(64) double side[2][kChunk];         // filtered side chain (before the link)
    alignas(64) double linked[2][kChunk];       // what the detector sees
    alignas(64) double level[2][kChunk];        // detector levels
    alignas(64) double noise[kChunk];           // the anti-denormal offset n per sample
    alignas(64) double shelfNoises[4][kChunk];  // the shelves' noise (as many as differ)
    const double* shelfSequence[2][2] = {};     // [low, high][lane]: which one each shelf uses
    alignas(64) double gain[2][kChunk];         // the gain g
    alignas(64) double outGain[kChunk];         // the output state O
    alignas(64) double out[2][kChunk];
    qrx::dsp::PowerTables curvePowers;  // the gain curve's power at the current ratio
};

}  // namespace tinypress
