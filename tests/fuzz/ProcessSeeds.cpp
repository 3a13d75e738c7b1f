// The seed scripts of the process fuzz target (format in ProcessScript.h): for each plug-in the
// host behaviours it is fuzzed with (block lengths, rates, automation, programs, chunks, mains
// calls, arrangements, buffer layouts, stray samples, split blocks, double precision), plus
// short scripts of the situations that went wrong before: the power switched off behind a
// limited line, a one-output arrangement, huge stray samples, an expanding ratio after a stray,
// and blocks cut differently right after the stereo link is switched on.
#include <cstdint>
#include <string>
#include <vector>

#include "grandpress/Parameters.h"
#include "tests/fuzz/FuzzBasics.h"
#include "tests/fuzz/ProcessScript.h"
#include "tinypress/Parameters.h"

namespace fuzz::script {
namespace {

// Indices into the format's tables.
enum Rate {
    k44100 = 0,
    k48000,
    k88200,
    k96000,
    k176400,
    k192000,
    k22050,
    k32000,
    k11025,
    k8000,
    k384000,
    k1MHz,
    kZeroRate,
    kNegativeRate,
    kNaNRate
};
enum Amplitude {
    kSilent = 0,
    kQuiet = 5,
    kEighth = 6,
    kHalf = 8,
    kFull = 11,
    kNearFour = 13,
    kEight = 14,
    kMillion = 15
};
enum StrayValue {
    kStrayNaN = 0,
    kStrayInf = 2,
    kStrayMinusInf = 3,
    kStray1e38 = 4,
    kStrayFloatMax = 6,
    kStrayMillion = 8,
    kStrayDenormal = 13
};

// The parameters a script touches, per plug-in.
struct Indices {
    bool tinypress;
    int power, ratio, threshold, release, autoRelease, makeup, output, link, sideChainExternal;
};
constexpr Indices kGrand{false,
                         grandpress::kPower,
                         grandpress::kRatio,
                         grandpress::kThreshold,
                         grandpress::kRelease,
                         grandpress::kAutoRelease,
                         grandpress::kMakeup,
                         grandpress::kOutput,
                         grandpress::kLink,
                         grandpress::kScExt};
constexpr Indices kTiny{true,
                        tinypress::kPower,
                        tinypress::kRatio,
                        tinypress::kThreshold,
                        tinypress::kRelease,
                        tinypress::kAutoRelease,
                        tinypress::kMakeup,
                        tinypress::kOutput,
                        tinypress::kLink,
                        tinypress::kScExt};

Block tone(int frames, int amplitude = kHalf, Signal signal = Signal::Sine) {
    Block b;
    b.frames = frames;
    b.signal = signal;
    b.amplitude = amplitude;
    b.parameter = 150;  // about 1.5 kHz
    b.stereo = Stereo::Independent;
    return b;
}

Block laidOut(Block b, std::uint8_t layout, std::uint8_t nullMask = 0) {
    b.layout = layout;
    b.nullMask = nullMask;
    return b;
}

Block withStray(Block b, int position, int channel, int value) {
    b.strays.push_back({position, channel, value});
    return b;
}

Block splitAt(Block b, int split) {
    b.layout |= kSplit;
    b.split = split;
    return b;
}

Writer blockLengths(const Indices& p, bool inDouble) {
    Writer w(p.tinypress, k44100, 0);
    const std::uint8_t layout = inDouble ? kDouble : 0;
    for (int frames : {512, 1, 4096, 0, 333, 64, 65, 4095, 2, 127})
        w.process(laidOut(tone(frames), layout));
    Block noise = laidOut(tone(1000, kFull, Signal::Noise), layout);
    noise.sideChain = SideChain::Independent;
    return w.process(noise).parameter(p.sideChainExternal, 1.0).process(noise);
}

Writer rates(const Indices& p) {
    Writer w(p.tinypress, k96000, 1);
    w.process(tone(2048));
    for (int rate : {k192000, k22050, k48000, k8000, kNaNRate, k1MHz, kZeroRate, k88200})
        w.rate(rate, rate % 4).process(tone(2048));
    return w.rate(kNegativeRate, 5, true)
        .process(tone(512))
        .rate(k44100, 0, true)
        .process(tone(512));
}

Writer automation(const Indices& p) {
    Writer w(p.tinypress, k44100, 0);
    w.process(tone(512));
    for (int index = 1; index <= 40; ++index)
        w.parameter(index, (index % 5) / 4.0).process(tone(256 + index));
    for (float odd : {-0.5f, 1.5f, 1e30f, -1e-30f})
        w.rawParameter(p.threshold, odd).process(tone(64));
    w.rawParameter(p.ratio, kOddValues[6]).process(tone(64));  // NaN: ignored
    return w.parameter(p.power, 0.0)
        .process(tone(1024))
        .parameter(p.power, 1.0)
        .process(tone(1024));
}

Writer programs(const Indices& p) {
    Writer w(p.tinypress, k48000, 0);
    for (int program = 0; program < 16; ++program) w.program(program).process(tone(700, kFull));
    return w.program(-1).process(tone(100)).program(16).process(tone(100)).program(127).process(
        tone(100));
}

Writer chunks(const Indices& p) {
    Writer w(p.tinypress, k44100, 0);
    w.program(3).process(tone(512)).chunk(false, 0, {}).process(tone(512));
    w.chunk(true, 0, {}).process(tone(512));
    w.chunk(false, 0, {{40, 0x10}, {100, 0xFF}, {2000, 0x01}}).process(tone(512));
    w.chunk(true, 0, {{4, 0x01}}).process(tone(512));  // another identifier: refused
    return w.chunk(false, 9, {}).process(tone(512));   // cut: refused
}

Writer mainsCalls(const Indices& p) {
    Writer w(p.tinypress, k44100, 0, 0);
    w.process(tone(512)).mains(1).process(tone(512)).mains(0).process(tone(512));
    w.mains(1).mains(1).process(tone(512)).mains(2).process(tone(512));
    return w.mains(0).mains(0).process(tone(64)).mains(1).process(tone(1024));
}

Writer speakers(const Indices& p) {
    Writer w(p.tinypress, k44100, 0);
    // Count indices: 0 one, 1 two, 2 four, 5 eight.
    const std::pair<int, int> pairs[] = {{1, 1}, {0, 1}, {2, 1}, {0, 0}, {1, 0}, {5, 5}};
    for (auto [in, out] : pairs) {
        w.speakers(in, out).process(tone(600));
        w.parameter(p.sideChainExternal, 1.0).process(tone(300)).parameter(p.sideChainExternal, 0);
    }
    return w;
}

Writer bufferLayouts(const Indices& p) {
    Writer w(p.tinypress, k44100, 0);
    for (std::uint8_t alias = 0; alias < 4; ++alias)
        for (std::uint8_t offset = 0; offset < 8; offset += 3)
            w.process(
                laidOut(tone(257), static_cast<std::uint8_t>(alias | offset << kOffsetShift)));
    for (std::uint8_t nulls : {0x01, 0x02, 0x0C, 0x10, 0x20, 0x40, 0x80, 0xFF})
        w.process(laidOut(tone(300), kNullPointers, nulls));
    w.parameter(p.sideChainExternal, 1.0);
    for (std::uint8_t pins : {0x00, 0x31, 0x1F, 0x2F, 0x3D}) w.pins(pins).process(tone(400));
    return w;
}

Writer strays(const Indices& p, int value, bool inDouble) {
    Writer w(p.tinypress, k44100, 0);
    const std::uint8_t layout = inDouble ? kDouble : 0;
    Block b = laidOut(tone(1024), layout);
    w.process(b).process(withStray(withStray(b, 100, 0, value), 700, 3, value));
    return w.processFor(8192, b);
}

Writer hostileBlocks(const Indices& p) {
    Writer w(p.tinypress, k44100, 0);
    Block pattern = tone(2048, kFull, Signal::Pattern);
    pattern.pattern = {kOddValues[6], 1e38f, -1e38f, kOddValues[9], 0.5f};
    return w.process(tone(1024, kMillion)).process(pattern).processFor(8192, tone(1024));
}

Writer splits(const Indices& p) {
    Writer w(p.tinypress, k44100, 0);
    for (int split : {0, 1, 64, 100, 511, 512})
        w.process(splitAt(tone(512, kFull, Signal::Noise), split));
    w.kernels(false).process(splitAt(tone(512), 200)).kernels(true);
    return w.process(splitAt(laidOut(tone(512), kDouble | 1), 77));
}

// grandpress's limiter holding a line of boosted samples when the power goes off.
Writer powerOffBehindTheLimiter() {
    Writer w(false, k44100, 0);
    w.parameter(grandpress::kLimiter, 1.0).parameter(grandpress::kMakeup, 1.0);
    w.parameter(grandpress::kOutput, 1.0).processFor(8192, tone(512, kQuiet));
    return w.parameter(grandpress::kPower, 0.0).processFor(2048, tone(512, kQuiet));
}

// tinypress given one output pointer.
Writer oneOutput() {
    return Writer(true, k44100, 0).speakers(0, 0).process(tone(512)).process(tone(512));
}

// A stray sample near the float limit, with some make-up gain.
Writer hugeStray(const Indices& p) {
    return Writer(p.tinypress, k44100, 0)
        .parameter(p.makeup, 0.5)
        .process(withStray(tone(512), 10, 0, kStrayFloatMax))
        .processFor(4096, tone(512));
}

// One stray sample of 1e6 with the strongest expansion and the longest release, then clean
// input for longer than the recovery time (at 22050 Hz, to keep the script short); the second
// instance gets 4 for the stray.
Writer runaway(const Indices& p) {
    Writer w(p.tinypress, k22050, 0, kStartResumed | kStartShadow);
    w.parameter(p.ratio, 0.0).parameter(p.threshold, 1.0).parameter(p.release, 1.0);
    w.parameter(p.autoRelease, 0.0).process(tone(4096, kEighth));
    w.process(withStray(tone(4096, kEighth), 50, 0, kStrayMillion));
    return w.processFor(7 * 4096, tone(4096, kEighth));
}

// The stereo link switched on, then blocks the second instance takes in two calls.
Writer linkThenSplit(const Indices& p) {
    Writer w(p.tinypress, k44100, 0);
    w.parameter(p.link, 0.0).process(tone(1024)).parameter(p.link, 1.0);
    for (int split : {13, 200, 64, 500}) w.process(splitAt(tone(1024), split));
    return w;
}

// tinypress in draft detection: both lanes at rest on silence, then different signals that
// reach the detector's rings (after the side-chain delay) but not yet its centre when the link
// is switched on, then blocks the second instance takes in two calls.
Writer linkOverUnlinkedRings() {
    Writer w(true, k44100, 0);
    w.parameter(tinypress::kSmooth, 0.0).parameter(tinypress::kStereo, 1.0);
    w.parameter(tinypress::kLink, 0.0).parameter(tinypress::kRatio, 1.0);
    w.parameter(tinypress::kThreshold, 1.0).parameter(tinypress::kMakeup, 0.6);
    w.process(tone(2048, kSilent)).process(tone(975, kHalf, Signal::Noise));
    w.parameter(tinypress::kLink, 1.0);
    for (int split : {13, 200, 64, 500})
        w.process(splitAt(tone(1024, kHalf, Signal::Noise), split));
    return w;
}

}  // namespace

void writeProcessSeeds(const std::string& folder) {
    std::filesystem::create_directories(folder);
    const auto put = [&](const std::string& name, const Writer& w) {
        fuzz::writeWholeFile(folder + "/" + name, w.bytes().data(), w.bytes().size());
    };
    for (const Indices* p : {&kGrand, &kTiny}) {
        const std::string n = p->tinypress ? "tinypress-" : "grandpress-";
        put(n + "block-lengths", blockLengths(*p, false));
        put(n + "rates", rates(*p));
        put(n + "automation", automation(*p));
        put(n + "programs", programs(*p));
        put(n + "chunks", chunks(*p));
        put(n + "mains", mainsCalls(*p));
        put(n + "speakers", speakers(*p));
        put(n + "buffer-layouts", bufferLayouts(*p));
        put(n + "stray-nan", strays(*p, kStrayNaN, false));
        put(n + "stray-inf", strays(*p, kStrayMinusInf, false));
        put(n + "stray-denormal", strays(*p, kStrayDenormal, false));
        put(n + "stray-1e38", strays(*p, kStray1e38, false));
        put(n + "hostile-blocks", hostileBlocks(*p));
        put(n + "splits", splits(*p));
        put(n + "huge-stray", hugeStray(*p));
        put(n + "runaway-after-stray", runaway(*p));
        put(n + "link-then-split", linkThenSplit(*p));
    }
    put("grandpress-double", blockLengths(kGrand, true));
    put("grandpress-double-stray-inf", strays(kGrand, kStrayInf, true));
    put("grandpress-power-off-behind-limiter", powerOffBehindTheLimiter());
    put("tinypress-one-output", oneOutput());
    put("tinypress-link-over-unlinked-rings", linkOverUnlinkedRings());
}

}  // namespace fuzz::script
