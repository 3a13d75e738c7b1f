// The vector kernels of the signal path's active chunk, built twice: for plain x86-64
// (ChunkKernels.cpp, two doubles per vector) and for AVX2 with fused multiply-add
// (ChunkKernels_avx2.cpp). The signal path picks one set per block from the instruction set the
// effect asks for (kernelsFor).
//
// The two stereo channels run side by side in the lanes of one vector through every recursive
// stage (side-chain shelves, release smoothers, envelope, meters); the AVX2 build puts two such
// pairs in one vector where it can (low and high shelf, the high shelf two frames behind; fast
// and slow smoother). Where both channels compute the same, the baseline build stacks two stages
// of one channel in a pair instead: low and high shelf of a running design both channels share,
// fast and slow smoother of agreeing lanes. The make-up and output glides step as one pair in the
// envelope's loop. What needs no recursion (levels, metered values, gain curve, output gain) runs
// over the whole chunk at the widest vector. In mono the right lane works on a scratch copy of
// the left channel's state and is discarded.
//
// The jobs only point at the signal path's state and buffers: the kernels construct nothing of
// the shared types and call none of their inline functions, so no code compiled for AVX2 can be
// shared with the baseline build by the linker.
//
// Each stage header names the per-frame reference code its kernels are held to
// (tests/tinypress/KernelConformanceTest.cpp checks every kernel of the table against it).
//
// Threads: audio thread only. Nothing allocates.
#pragma once

#include <cstdint>

#include "dsp/BiquadDesign.h"
#include "dsp/InstructionSet.h"
#include "dsp/PowerTables.h"
#include "tinypress/EngineSettings.h"

struct MeterReadings;

namespace tinypress {

struct ShelfState;
struct EnvelopeState;
struct MeterChannel;

// Low shelf, then high shelf, in place on the side chain of both lanes.
struct ShelfJob {
    int n = 0;
    double rate = 0.0;  // glide fraction per sample
    const qrx::dsp::BiquadCoefficients* lowTarget = nullptr;
    const qrx::dsp::BiquadCoefficients* highTarget = nullptr;
    ShelfState* low[2] = {};          // per lane; the noise generators are not touched
    ShelfState* high[2] = {};         //
    const double* lowNoise[2] = {};   // the lane's low-shelf noise per sample
    const double* highNoise[2] = {};  // the lane's high-shelf noise per sample
    double* side[2] = {};

    ShelfJob() = default;
    ShelfJob(int frames, double glideRate, const qrx::dsp::BiquadCoefficients& lowTo,
             const qrx::dsp::BiquadCoefficients& highTo) noexcept
        : n(frames), rate(glideRate), lowTarget(&lowTo), highTarget(&highTo) {}

    // Lane c: its two shelves, their noise runs and its side chain.
    void lane(int c, ShelfState& lowShelf, ShelfState& highShelf, const double* lowRun,
              const double* highRun, double* sideChain) noexcept {
        low[c] = &lowShelf;
        high[c] = &highShelf;
        lowNoise[c] = lowRun;
        highNoise[c] = highRun;
        side[c] = sideChain;
    }
};

// Envelope, gain curve and output of the chunk.
struct DynamicsJob {
    int n = 0;
    const EngineSettings* settings = nullptr;
    const qrx::dsp::PowerTables* powers = nullptr;  // made for the settings' inverseRatio
    EnvelopeState* envelope[2] = {};                // per lane
    const double* level[2] = {};                    // detector level per lane
    // Both lanes start from the same envelope state and see the same levels, bit for bit: their
    // envelopes stay equal, and the gain curve runs once.
    bool lanesAgree = false;
    const double* main[2] = {};         // delayed main signal per lane
    const double* noise = nullptr;      // anti-denormal offset n per sample
    double makeup = 1.0, output = 1.0;  // gain states, carried
    // out: the gain g per lane; where the lanes agree the kernel points gain[1] at gain[0].
    double* gain[2] = {};
    double* outGain = nullptr;  // out: the output state O per sample
    double* out[2] = {};        // out: main * g * M * A * O per lane

    DynamicsJob() = default;
    DynamicsJob(int frames, const EngineSettings& s, const qrx::dsp::PowerTables& curvePowers,
                const double* offsets, double makeupState, double outputState,
                double* outputStates) noexcept
        : n(frames),
          settings(&s),
          powers(&curvePowers),
          noise(offsets),
          makeup(makeupState),
          output(outputState),
          outGain(outputStates) {}

    // Lane c: its envelope state, levels and main signal in, its gains and output out.
    void lane(int c, EnvelopeState& state, const double* levels, const double* mainSignal,
              double* gains, double* outputs) noexcept {
        envelope[c] = &state;
        level[c] = levels;
        main[c] = mainSignal;
        gain[c] = gains;
        out[c] = outputs;
    }
};

// Constants of the meters for one call.
struct MeterConstants {
    qrx::dsp::BiquadCoefficients vuFilter;
    double ppmAttack = 1.0, ppmReturn = 0.0;
    double signalScale = 1.0;  // sqrt(2) * 1.096 / VU reference
    double mix = 1.0;
    double overSamples = 3.0;
    bool compressing = true;
};

// One chunk of metered values for both channels.
struct MeterJob {
    int n = 0;
    const MeterConstants* constants = nullptr;
    MeterChannel* channel[2] = {};
    const double* value[2] = {};  // the signal ("Pre", "Post"; metered as |x|) or the gain g
    const double* noise = nullptr;

    MeterJob() = default;
    MeterJob(int frames, const MeterConstants& k, MeterChannel& left, MeterChannel& right,
             const double* valueLeft, const double* valueRight, const double* offsets) noexcept
        : n(frames),
          constants(&k),
          channel{&left, &right},
          value{valueLeft, valueRight},
          noise(offsets) {}
};

struct ChunkKernels {
    // `count` (at most 2 kChunk) values of a DenormalNoise generator (its three words, carried)
    // at `scale`.
    void (*noise)(std::uint32_t words[3], double scale, int count, double* to) noexcept;
    // 2n values of generator a and n of generator b (n <= kChunk).
    void (*noisePair)(std::uint32_t a[3], double scaleA, double* toA, std::uint32_t b[3],
                      double scaleB, double* toB, int n) noexcept;
    // Engine samples out to the host.
    void (*writeFloats)(const double* from, int n, float* to) noexcept;
    // The engine's two noise values per sample (n pairs): the first is added to both main
    // channels, the second is the offset n of the sample.
    void (*spreadNoise)(const double* values, int n, double* mainLeft, double* mainRight,
                        double* offsets) noexcept;
    void (*shelves)(ShelfJob& job) noexcept;
    // Stereo link: both outputs get sqrt(l^2 + r^2) * 0.7071.
    void (*link)(const double* left, const double* right, int n, double* linked) noexcept;
    void (*dynamics)(DynamicsJob& job) noexcept;
    // to[k] = factor * from[k] (the "Draft" detector's levels).
    void (*scale)(const double* from, int n, double factor, double* to) noexcept;
    void (*signalMeters)(const MeterJob& job) noexcept;
    void (*gainMeters)(const MeterJob& job) noexcept;
};

const ChunkKernels& baselineChunkKernels() noexcept;
const ChunkKernels& avx2ChunkKernels() noexcept;
// The set for the instruction set asked for (the baseline where the processor lacks it).
const ChunkKernels& kernelsFor(qrx::dsp::InstructionSet set) noexcept;

}  // namespace tinypress
