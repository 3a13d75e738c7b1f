// Processing of both plug-ins as a hostile host drives it, differentially: the real plug-in
// libraries (loaded like a host loads them, through their entry point) run two instances of one
// plug-in in lock step, the first on the baseline kernels and the second on the fastest this
// processor runs, fed identical calls decoded from the fuzz bytes (ProcessScript.h): sample
// rates, block lengths, automation, programs, mutated chunks, suspend and resume, speaker
// arrangements, pin answers, in-place, crossed and unaligned buffers, null pointers and stray
// samples. The second instance may take a block in two calls.
//
// A run fails on:
// - any read or write outside the host's buffers and pointer arrays (exact-size allocations,
//   poisoned and checked guard samples before unaligned buffers), any write to an input buffer
//   that is not also an output;
// - an output sample the plug-in must write left unwritten, or any output or meter value that
//   is not finite;
// - a difference between the two instances beyond 1e-6 of full scale (or of the sample, where
//   it exceeds full scale), the tolerance of the render regression check, while every input
//   sample so far was finite and within +-4 (afterwards only the checks above and below hold);
// - grandpress: an output above the limiter's ceiling (0.999, or the loudest input either
//   instance got, tamed strays included, where the pass-through may carry it) once every sample
//   in its output line entered it with the limiter on or the power off;
// - shadow runs (one instance gets every stray sample tamed into +-4): the instance that saw the
//   strays more than 40 dB louder than the shadow once the input has been clean for a second
//   (and the latency) since the last stray.
//
// QRX_FUZZ_PLUGINS names the folder of grandpress.so and tinypress.so (default: the build
// folder this target was built in). QRX_FUZZ_SAME_KERNELS=1 runs both instances on the
// baseline (to tell a kernel difference from a partition difference in a reproducer);
// QRX_FUZZ_TRACE=1 prints what the script does.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/fuzz/ProcessRig.h"
#include "tests/fuzz/ProcessScript.h"
#include "tests/fuzz/ProcessSignals.h"

namespace {

using namespace fuzz::script;
using namespace fuzz::process;

// grandpress's Power and Limiter switches, and tinypress's Power (index 0 as well).
constexpr int kPowerIndex = 0;
constexpr int kGrandLimiterIndex = 4;
constexpr double kLimiterCeiling = 0.999;
// The output line of grandpress: a sample leaves it 511 frames after it entered.
constexpr long kOutputLine = 511;

// Shadow runs: a second after the last stray sample the instance that saw it may be no louder
// than 40 dB over the shadow (peaks under 1e-3 count as 1e-3). An engine may hold its side chain
// well above the shadow's +-4 (24 dB above it at +36 dBFS), which an expanding ratio turns into
// as much gain for as long as the release lasts; a stray that runs away lifts the gain by 90 dB
// and more.
constexpr double kRecoveredRatio = 100.0;
constexpr double kRecoveredFloor = 1e-3;
// Stray samples still count as long as their effects may still be in the output: one second at
// the fastest rate the engine may run at, plus the longest latency.
constexpr long kLatencyFrames = 4096;

constexpr double kTolerance = 1e-6;  // of full scale, or of the sample above full scale
constexpr double kComparedRange = 4.0;
constexpr long kMaxRunFrames = 1L << 16;
constexpr int kMaxOps = 400;

// Shadow runs: which instance gets every stray sample tamed (within +-4, NaN as 0).
enum class Shadow { None, A, B };

struct Run {
    bool tinypress = false;
    Shadow shadow = Shadow::None;
    Instance* a = nullptr;  // baseline kernels
    Instance* b = nullptr;  // the fastest kernels (or the baseline when told)
    int inputs = 4, outputs = 2;
    bool secondOutputWritten = true;  // the host may expect outputs[1] to be written
    bool relaxed = false;             // a stray sample was seen: only finiteness is compared
    long cleanFrames = 1L << 40;      // frames of clean input since the last stray sample
    long sinceUnlimited = 1L << 40;   // grandpress: frames since a block ran without limiting
    double loudestInput = 0.0;  // the loudest finite input either instance got so far (<= 1e6)
    long frames = 0;
    long clock = 0;  // frame index of the signal generators
};

// The fastest rate an engine may run at with this host rate: the rate itself when supported,
// else the clamp of suspend or the 44100 of resume.
double fastestEngineRate(double hostRate) {
    if (!(hostRate >= 22050.0)) return 44100.0;
    return std::min(hostRate, 192000.0);
}

bool outputConnected(int c) {
    return (host.pins >> (4 + c)) & 1;
}

// Builds what the host hands one instance: storage, aliasing, null pointers, prefilled outputs.
template <typename Sample>
HostIo<Sample> makeIo(const Run& r, const Block& b, const std::vector<std::vector<Sample>>& input,
                      const std::vector<bool>& mustWrite) {
    HostIo<Sample> io;
    const int offset = (b.layout >> kOffsetShift) & 7;
    const int alias = b.layout & kAliasMask;
    for (int c = 0; c < r.inputs; ++c) {
        io.ins.push_back(std::make_unique<Channel<Sample>>(b.frames, (offset + c) % 8));
        if (b.frames > 0)
            std::memcpy(io.ins.back()->data(), input[c % 4].data(), sizeof(Sample) * b.frames);
    }
    io.inArray = std::make_unique<PointerArray<Sample>>(r.inputs);
    for (int c = 0; c < r.inputs; ++c) (*io.inArray)[c] = io.ins[c]->data();
    io.outArray = std::make_unique<PointerArray<Sample>>(r.outputs);
    io.outAliasesInput.assign(static_cast<std::size_t>(r.outputs), false);
    for (int c = 0; c < r.outputs; ++c) {
        int aliasOf = -1;
        if (alias == 1 && c < r.inputs) aliasOf = c;
        if (alias == 3 && r.inputs - 1 - c >= 0) aliasOf = r.inputs - 1 - c;
        if (alias == 2 && c > 0) {
            (*io.outArray)[c] = (*io.outArray)[0];
            io.outAliasesInput[c] = io.outAliasesInput[0];
            continue;
        }
        if (aliasOf >= 0) {
            (*io.outArray)[c] = io.ins[aliasOf]->data();
            io.outAliasesInput[c] = true;
            continue;
        }
        io.outs.push_back(std::make_unique<Channel<Sample>>(b.frames, (offset + 3 * c + 1) % 8));
        Sample* out = io.outs.back()->data();
        // A sample the plug-in must write starts as NaN, so an unwritten one fails the check.
        const Sample fill =
            mustWrite[c] ? std::numeric_limits<Sample>::quiet_NaN() : static_cast<Sample>(0);
        std::fill(out, out + b.frames, fill);
        (*io.outArray)[c] = out;
    }
    if (b.layout & kNullPointers) {
        for (int c = 0; c < r.inputs && c < 4; ++c)
            if (b.nullMask & (1 << c)) (*io.inArray)[c] = nullptr;
        for (int c = 0; c < r.outputs && c < 2; ++c)
            if (b.nullMask & (0x10 << c)) (*io.outArray)[c] = nullptr;
        if (b.nullMask & 0x40) io.inArray.reset();
        if (b.nullMask & 0x80) io.outArray.reset();
    }
    return io;
}

// Which outputs the plug-in must write in full: out[0] whenever the main input and out[0]
// exist, out[1] when it exists, is connected and the arrangement has it.
template <typename Sample>
std::vector<bool> outputsToWrite(const Run& r, const Block& b) {
    std::vector<bool> must(static_cast<std::size_t>(r.outputs), false);
    if (b.frames <= 0) return must;
    const bool nulls = b.layout & kNullPointers;
    const auto present = [&](int bit) { return !nulls || !(b.nullMask & bit); };
    if (!present(0x40) || !present(0x80) || !present(0x01) || !present(0x10)) return must;
    must[0] = true;
    if (r.outputs > 1)
        must[1] = r.secondOutputWritten && outputConnected(1) && present(0x20) &&
                  (b.layout & kAliasMask) != 2;
    return must;
}

template <typename Sample>
void callProcess(AEffect* fx, Sample** in, Sample** out, int frames) {
    if constexpr (sizeof(Sample) == sizeof(double))
        fx->processDoubleReplacing(fx, in, out, frames);
    else
        fx->processReplacing(fx, in, out, frames);
}

// The second part of a split block: the host's arrays with every pointer `skip` samples on.
template <typename Sample>
std::unique_ptr<PointerArray<Sample>> advanced(PointerArray<Sample>* from, int skip) {
    if (!from) return nullptr;
    auto to = std::make_unique<PointerArray<Sample>>(from->count());
    for (int c = 0; c < from->count(); ++c) (*to)[c] = (*from)[c] ? (*from)[c] + skip : nullptr;
    return to;
}

void checkMeters(const Instance& fx) {
    for (const MeterChannelFeed& c : fx.meters().channel) {
        const double values[] = {c.mainLevel.load(), c.overload.load(), c.secondLevel.load(),
                                 c.peakA.load(),     c.peakB.load(),    c.overCount.load()};
        for (double v : values) FUZZ_CHECK(std::isfinite(v), "a meter value is not finite");
    }
}

template <typename Sample>
void checkBuffers(HostIo<Sample>& io, const std::vector<std::vector<Sample>>& input, int frames) {
    for (auto& c : io.ins) FUZZ_CHECK(c->guardIntact(), "a write before an input buffer");
    for (auto& c : io.outs) FUZZ_CHECK(c->guardIntact(), "a write before an output buffer");
    // Inputs that are no output keep their samples (bit for bit).
    for (std::size_t c = 0; c < io.ins.size(); ++c) {
        bool isOutput = false;
        for (int o = 0; io.outArray && o < io.outArray->count(); ++o)
            isOutput = isOutput || (*io.outArray)[o] == io.ins[c]->data();
        if (isOutput || frames == 0) continue;
        FUZZ_CHECK(std::memcmp(io.ins[c]->data(), input[c % 4].data(),
                               sizeof(Sample) * static_cast<std::size_t>(frames)) == 0,
                   "the plug-in wrote into an input buffer");
    }
}

void report(const char* what, const Run& r, int channel, int frame, double x, double y) {
    std::fprintf(stderr,
                 "fuzz_process: %s: %s, output %d, frame %d of the block at run frame %ld: "
                 "%.9g vs %.9g\n",
                 what, r.tinypress ? "tinypress" : "grandpress", channel, frame, r.frames, x, y);
}

// What one block's outputs are held to, besides finiteness.
struct BlockChecks {
    bool sameAsOther = false;  // the two instances agree within the tolerance
    bool limited = false;      // grandpress: under the limiter's ceiling from frame limitFrom on
    long limitFrom = 0;
    long recoveredFrom = 0;  // shadow runs: the peaks compared from this frame on
};

// Output peaks of the two instances: over the block, and from BlockChecks::recoveredFrom on.
struct Peaks {
    double a = 0.0, b = 0.0, recoveredA = 0.0, recoveredB = 0.0;
};

// The outputs of both instances over `frames`: finite, written where they must be, and as
// `checks` says.
template <typename Sample>
Peaks checkOutputs(Run& r, HostIo<Sample>& ioA, HostIo<Sample>& ioB, int frames,
                   const std::vector<bool>& mustWrite, const BlockChecks& checks) {
    Peaks peaks;
    for (int c = 0; c < r.outputs; ++c) {
        const Sample* x = ioA.output(c);
        const Sample* y = ioB.output(c);
        // Outputs that alias an input the plug-in need not write keep host samples.
        if (!x || !y || (ioA.outAliasesInput[c] && !mustWrite[c])) continue;
        for (int i = 0; i < frames; ++i) {
            const double u = x[i], v = y[i];
            if (!std::isfinite(u) || !std::isfinite(v)) {
                report(mustWrite[c] ? "output not finite or not written" : "output not finite", r,
                       c, i, u, v);
                FUZZ_CHECK(false, "output not finite");
            }
            const double scale = std::max({1.0, std::fabs(u), std::fabs(v)});
            if (checks.sameAsOther && std::fabs(u - v) > kTolerance * scale) {
                report("the kernel sets (or partitions) differ", r, c, i, u, v);
                FUZZ_CHECK(false, "the instances differ beyond the tolerance");
            }
            const double bound = std::max(kLimiterCeiling, r.loudestInput) + 1e-6;
            if (checks.limited && i >= checks.limitFrom &&
                (std::fabs(u) > bound || std::fabs(v) > bound)) {
                report("grandpress output above the limiter's ceiling", r, c, i, u, v);
                FUZZ_CHECK(false, "output above the limiter's ceiling");
            }
            peaks.a = std::max(peaks.a, std::fabs(u));
            peaks.b = std::max(peaks.b, std::fabs(v));
            if (i >= checks.recoveredFrom) {
                peaks.recoveredA = std::max(peaks.recoveredA, std::fabs(u));
                peaks.recoveredB = std::max(peaks.recoveredB, std::fabs(v));
            }
        }
    }
    return peaks;
}

bool parameterOn(Instance& fx, int index) {
    return fx.effect()->getParameter(fx.effect(), index) >= 0.5f;
}

// A stray as the shadow instance gets it: within +-4, NaN as 0.
double tamed(double x) {
    if (std::isnan(x)) return 0.0;
    return std::clamp(x, -kComparedRange, kComparedRange);
}

// One instance's process calls for a block: all at once (split < 0), or `split` frames and
// then the rest.
template <typename Sample>
void processIn(Instance& fx, HostIo<Sample>& io, int frames, int split) {
    if (split < 0) {
        callProcess(fx.effect(), io.inputs(), io.outputs(), frames);
        return;
    }
    callProcess(fx.effect(), io.inputs(), io.outputs(), split);
    auto in = advanced(io.inArray.get(), split);
    auto out = advanced(io.outArray.get(), split);
    callProcess(fx.effect(), in ? in->get() : nullptr, out ? out->get() : nullptr, frames - split);
}

template <typename Sample>
void traceBlock(const Run& r, const Block& b, const Peaks& peaks) {
    TRACE("block at %ld: %d frames (%s%s, layout %02x), strays %d, peaks %.6g %.6g%s\n", r.frames,
          b.frames, sizeof(Sample) == 8 ? "double" : "float", b.layout & kSplit ? ", split" : "",
          b.layout, static_cast<int>(b.strays.size()), peaks.a, peaks.b,
          r.relaxed ? " (relaxed)" : "");
}

// Shadow runs: the instance that saw the strays is no louder than kRecoveredRatio times the
// shadow over the frames compared.
void checkRecovery(const Run& r, const Peaks& peaks) {
    const double shadow =
        std::max(r.shadow == Shadow::A ? peaks.recoveredA : peaks.recoveredB, kRecoveredFloor);
    const double stray = r.shadow == Shadow::A ? peaks.recoveredB : peaks.recoveredA;
    if (stray <= kRecoveredRatio * shadow) return;
    std::fprintf(stderr,
                 "fuzz_process: %s still %.1f dB above its shadow %ld frames after a stray "
                 "sample (peaks %.6g and %.6g)\n",
                 r.tinypress ? "tinypress" : "grandpress", 20.0 * std::log10(stray / shadow),
                 r.cleanFrames, stray, shadow);
    FUZZ_CHECK(false, "no recovery within one second of a stray sample");
}

template <typename Sample>
void processBlock(Run& r, const Block& b) {
    using Inputs = std::vector<std::vector<Sample>>;
    const Inputs input = blockInputs<Sample>(b, r.clock, host.rate);
    // Strays: any sample the host hands in that is not finite or beyond +-4.
    int lastStray = -1;
    Inputs tame = input;
    for (int c = 0; c < r.inputs && c < 4; ++c)
        for (int i = 0; i < b.frames; ++i) {
            const double x = input[c][static_cast<std::size_t>(i)];
            if (!std::isfinite(x) || std::fabs(x) > kComparedRange)
                lastStray = std::max(lastStray, i);
            if (std::isfinite(x))
                r.loudestInput = std::max(r.loudestInput, std::min(std::fabs(x), 1e6));
            // The shadow gets the stray tamed (an infinity as 4), which its pass-through carries.
            if (r.shadow != Shadow::None)
                r.loudestInput = std::max(r.loudestInput, std::fabs(tamed(x)));
            tame[c][static_cast<std::size_t>(i)] = static_cast<Sample>(tamed(x));
        }
    if (lastStray >= 0) r.relaxed = true;
    // In a shadow run one instance never sees a stray, only its tamed value.
    const Inputs& inputA = r.shadow == Shadow::A ? tame : input;
    const Inputs& inputB = r.shadow == Shadow::B ? tame : input;

    const std::vector<bool> mustWrite = outputsToWrite<Sample>(r, b);
    HostIo<Sample> ioA = makeIo<Sample>(r, b, inputA, mustWrite);
    HostIo<Sample> ioB = makeIo<Sample>(r, b, inputB, mustWrite);

    BlockChecks checks;
    checks.sameAsOther = !r.relaxed;
    // grandpress: the output stays under the limiter's ceiling once every sample leaving the
    // output line entered it while limiting or powered off.
    const bool power = parameterOn(*r.a, kPowerIndex);
    checks.limited = !r.tinypress && (!power || parameterOn(*r.a, kGrandLimiterIndex));
    checks.limitFrom = std::max(0L, kOutputLine + 3 - r.sinceUnlimited);
    // Shadow runs: compared from one second (at the fastest rate the engine may run) plus the
    // latency after the last stray.
    const long recovery = static_cast<long>(fastestEngineRate(host.rate)) + kLatencyFrames;
    checks.recoveredFrom = lastStray >= 0 || r.shadow == Shadow::None || !r.relaxed
                               ? b.frames
                               : std::max(0L, recovery - r.cleanFrames);

    processIn(*r.a, ioA, b.frames, -1);
    processIn(*r.b, ioB, b.frames, b.layout & kSplit ? b.split : -1);

    checkBuffers(ioA, inputA, b.frames);
    checkBuffers(ioB, inputB, b.frames);
    checkMeters(*r.a);
    checkMeters(*r.b);
    const auto peaks = checkOutputs(r, ioA, ioB, b.frames, mustWrite, checks);
    traceBlock<Sample>(r, b, peaks);
    if (checks.recoveredFrom < b.frames) checkRecovery(r, peaks);

    r.cleanFrames = lastStray >= 0 ? b.frames - 1 - lastStray : r.cleanFrames + b.frames;
    r.sinceUnlimited = checks.limited ? r.sinceUnlimited + b.frames : 0;
    r.frames += b.frames;
    r.clock += b.frames;
}

// --- The other operations ---

int parameterIndex(std::uint8_t selector) {
    return selector < 64 ? selector : kOddIndices[(selector - 64) % kOddIndexCount];
}

float parameterValue(Reader& in) {
    const std::uint8_t v = in.u8();
    if (v <= kValueGrid) return static_cast<float>(v) / kValueGrid;
    if (v < kValueGrid + 1 + kOddValueCount) return kOddValues[v - kValueGrid - 1];
    return in.f32();
}

void setParameter(Run& r, Reader& in) {
    const int index = parameterIndex(in.u8());
    const float value = parameterValue(in);
    TRACE("parameter %d = %.9g\n", index, value);
    for (Instance* fx : {r.a, r.b}) fx->effect()->setParameter(fx->effect(), index, value);
}

std::vector<unsigned char> chunkOf(Instance& fx, bool program) {
    void* data = nullptr;
    const VstIntPtr size = fx.call(effGetChunk, program ? 1 : 0, 0, &data);
    FUZZ_CHECK(size > 0 && data, "no chunk");
    const auto* bytes = static_cast<const unsigned char*>(data);
    return {bytes, bytes + size};
}

void setChunk(Run& r, Reader& in) {
    const std::uint8_t flags = in.u8();
    const bool program = flags & 1;
    std::vector<unsigned char> chunk = chunkOf(*r.a, program);
    FUZZ_CHECK(chunk == chunkOf(*r.b, program), "the instances hand out different chunks");
    if (flags & 2) chunk.resize(chunk.size() - std::min<std::size_t>(chunk.size(), in.u8()));
    const int mutations = in.u8() & 7;
    for (int m = 0; m < mutations; ++m) {
        const std::uint16_t at = in.u16();
        const std::uint8_t flip = in.u8();
        if (!chunk.empty()) chunk[at % chunk.size()] ^= flip;
    }
    VstIntPtr answers[2];
    int k = 0;
    for (Instance* fx : {r.a, r.b}) {
        // The host's block exactly as large as it says.
        std::unique_ptr<unsigned char[]> block(new unsigned char[chunk.size() + 1]);
        if (!chunk.empty()) std::memcpy(block.get(), chunk.data(), chunk.size());
        answers[k++] = fx->call(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(chunk.size()),
                                block.get());
    }
    FUZZ_CHECK(answers[0] == answers[1], "the instances answer a chunk differently");
    TRACE("%s chunk of %zu bytes: %ld\n", program ? "program" : "bank", chunk.size(),
          static_cast<long>(answers[0]));
}

void mains(Run& r, int how) {
    TRACE("%s\n", how == 0 ? "suspend" : how == 1 ? "resume" : "suspend, resume");
    for (Instance* fx : {r.a, r.b}) {
        if (how != 1) fx->call(effMainsChanged, 0, 0);
        if (how != 0) fx->call(effMainsChanged, 0, 1);
    }
    if (how != 1) r.sinceUnlimited = 1L << 40;  // suspend clears the lines
}

void changeRate(Run& r, Reader& in) {
    host.rate = kRates[in.u8() % kRateCount];
    host.blockSize = kBlockSizes[in.u8() % kBlockSizeCount];
    const bool whileRunning = in.u8() & 1;
    TRACE("rate %g, block size %ld%s\n", host.rate, static_cast<long>(host.blockSize),
          whileRunning ? " (while running)" : "");
    if (!whileRunning) mains(r, 0);
    for (Instance* fx : {r.a, r.b}) {
        fx->call(effSetSampleRate, 0, 0, nullptr, static_cast<float>(host.rate));
        fx->call(effSetBlockSize, 0, host.blockSize);
    }
    if (!whileRunning) mains(r, 1);
}

void arrangeSpeakers(Run& r, Reader& in) {
    const std::uint8_t sel = in.u8();
    const int ins = kChannelCounts[(sel & 7) % kChannelCountCount];
    const int outs = kChannelCounts[((sel >> 4) & 7) % kChannelCountCount];
    VstSpeakerArrangement inArrangement{}, outArrangement{};
    inArrangement.numChannels = ins;
    outArrangement.numChannels = outs;
    inArrangement.type = ins == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    outArrangement.type = outs == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    VstIntPtr answers[2];
    int k = 0;
    for (Instance* fx : {r.a, r.b})
        answers[k++] = fx->call(effSetSpeakerArrangement, 0,
                                reinterpret_cast<VstIntPtr>(&inArrangement), &outArrangement);
    FUZZ_CHECK(answers[0] == answers[1], "the instances answer an arrangement differently");
    TRACE("speakers %d in, %d out: %s\n", ins, outs, answers[0] ? "accepted" : "refused");
    AEffect* fx = r.a->effect();
    if (answers[0]) {
        r.inputs = ins;
        r.outputs = outs;
        r.secondOutputWritten = outs > 1;
    } else {
        // Refused: the host falls back to the plug-in's own counts.
        r.inputs = fx->numInputs;
        r.outputs = fx->numOutputs;
        r.secondOutputWritten = false;
    }
}

void chooseKernels(Run& r, bool best) {
    const std::string name = r.b->chooseKernels(best && !sameKernels());
    TRACE("second instance on %s\n", name.c_str());
    FUZZ_CHECK(!name.empty(), "the plug-in names no kernel set");
}

void announceKernels() {
    static bool done = false;
    if (done) return;
    done = true;
    for (bool tiny : {false, true}) {
        Instance probe(tiny);
        const std::string best = probe.chooseKernels(true);
        const std::string baseline = probe.chooseKernels(false);
        if (best == baseline)
            std::fprintf(stderr,
                         "*** fuzz_process: %s runs no faster kernel set on this processor "
                         "(best is \"%s\"): the baseline is compared with itself ***\n",
                         tiny ? "tinypress" : "grandpress", best.c_str());
        else if (sameKernels())
            std::fprintf(stderr, "fuzz_process: both instances on %s (QRX_FUZZ_SAME_KERNELS)\n",
                         baseline.c_str());
        else
            std::fprintf(stderr, "fuzz_process: %s: %s against %s\n",
                         tiny ? "tinypress" : "grandpress", baseline.c_str(), best.c_str());
    }
}

void runScript(Reader& in) {
    const std::uint8_t plugin = in.u8();
    host = HostState{};
    host.rate = kRates[in.u8() % kRateCount];
    host.blockSize = kBlockSizes[in.u8() % kBlockSizeCount];
    const std::uint8_t start = in.u8();

    Run r;
    r.tinypress = plugin & 1;
    Instance a(r.tinypress), b(r.tinypress);
    r.a = &a;
    r.b = &b;
    a.chooseKernels(false);
    chooseKernels(r, true);
    r.inputs = a.effect()->numInputs;
    r.outputs = a.effect()->numOutputs;
    for (Instance* fx : {r.a, r.b}) {
        fx->call(effSetSampleRate, 0, 0, nullptr, static_cast<float>(host.rate));
        fx->call(effSetBlockSize, 0, host.blockSize);
    }
    TRACE("%s at %g, block size %ld\n", r.tinypress ? "tinypress" : "grandpress", host.rate,
          static_cast<long>(host.blockSize));
    if (start & kStartResumed) mains(r, 1);
    if (start & kStartShadow) r.shadow = start & kStartShadowFirst ? Shadow::A : Shadow::B;

    for (int ops = 0; ops < kMaxOps && !in.done() && r.frames < kMaxRunFrames; ++ops) {
        switch (static_cast<Op>(in.u8() % kOpCount)) {
            case Op::Process: {
                const Block block = readBlock(in);
                if (!r.tinypress && (block.layout & kDouble))
                    processBlock<double>(r, block);
                else
                    processBlock<float>(r, block);
                break;
            }
            case Op::Parameter:
                setParameter(r, in);
                break;
            case Op::Program: {
                const auto index = static_cast<std::int8_t>(in.u8());
                TRACE("program %d\n", index);
                for (Instance* fx : {r.a, r.b}) fx->call(effSetProgram, 0, index);
                break;
            }
            case Op::Chunk:
                setChunk(r, in);
                break;
            case Op::Mains:
                mains(r, std::min<int>(in.u8(), 2));
                break;
            case Op::Rate:
                changeRate(r, in);
                break;
            case Op::Speakers:
                arrangeSpeakers(r, in);
                break;
            case Op::Pins:
                host.pins = in.u8();
                TRACE("pins %02x\n", host.pins);
                break;
            case Op::Kernels:
                chooseKernels(r, in.u8() & 1);
                break;
        }
    }
}

// Each run starts from the same (empty) per-user store: nothing one run stores reaches the next.
void clearStore() {
    std::error_code ignored;
    std::filesystem::remove_all(fuzz::privateConfigHome() + "/QRX-soundwerk", ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::privateConfigHome();
    libraryFor(false);
    libraryFor(true);
    announceKernels();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    clearStore();
    Reader in(data, size);
    runScript(in);
    return 0;
}
