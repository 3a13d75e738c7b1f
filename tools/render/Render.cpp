#include "render/Render.h"

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "host/AudioBuffers.h"
#include "platform/DynamicLibrary.h"
#include "render/AudioFile.h"
#include "render/PluginSession.h"

namespace render {
namespace {

double toDb(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY;
}

// Peak and mean square over a whole file and over short windows.
class LevelMeter {
  public:
    LevelMeter(long long windowFrames, std::vector<float>* peaks, std::vector<float>* rms)
        : window(windowFrames), peaks(peaks), rms(rms) {}

    void add(const float* interleaved, long long frames, int channels) {
        for (long long f = 0; f < frames; ++f) {
            for (int c = 0; c < channels; ++c) {
                const double x = interleaved[f * channels + c];
                const double a = std::fabs(x);
                if (a > peak) peak = a;
                if (a > windowPeak) windowPeak = a;
                sumSquares += x * x;
                windowSquares += x * x;
            }
            samples += channels;
            windowSamples += channels;
            if (++windowFill == window) flushWindow();
        }
    }
    void finish() {
        if (windowFill > 0) flushWindow();
    }
    LevelSummary summary() const {
        return {toDb(peak), samples ? toDb(std::sqrt(sumSquares / samples)) : -INFINITY};
    }

  private:
    void flushWindow() {
        peaks->push_back(static_cast<float>(toDb(windowPeak)));
        rms->push_back(static_cast<float>(toDb(std::sqrt(windowSquares / windowSamples))));
        windowPeak = windowSquares = 0.0;
        windowFill = 0;
        windowSamples = 0;
    }
    long long window;
    std::vector<float>* peaks;
    std::vector<float>* rms;
    double peak = 0.0, sumSquares = 0.0, windowPeak = 0.0, windowSquares = 0.0;
    long long samples = 0, windowSamples = 0, windowFill = 0;
};

bool parseValue(const std::string& text, float* value) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != 0 || !std::isfinite(v) || v < 0.0 || v > 1.0) return false;
    *value = static_cast<float>(v);
    return true;
}

int outputFormat(const RenderRequest& request, int inputFormat, std::string* error) {
    const int major = majorFormatForPath(request.output);
    if (!major) {
        *error = "cannot tell the output format from '" + request.output + "' (use " +
                 knownExtensions() + ")";
        return 0;
    }
    int subtype = subtypeOf(inputFormat);
    if (!request.format.empty()) {
        subtype = subtypeForName(request.format);
        if (!subtype) {
            *error = "unknown sample format '" + request.format +
                     "' (use pcm16, pcm24, pcm32, float or double)";
            return 0;
        }
    }
    if (const int format = formatIfWritable(major, subtype)) return format;
    if (!request.format.empty()) {
        *error = "sample format '" + request.format + "' does not fit '" + request.output + "'";
        return 0;
    }
    // The input's sample format has no place in this container: take the container's own.
    return major | defaultSubtype(major);
}

}  // namespace

bool applySettings(PluginSession& session, const RenderRequest& request, bool* metersChosen,
                   std::string* error) {
    if (!request.bank.empty() && !session.loadBankFile(request.bank, request.endianReversed, error))
        return false;
    if (!request.program.empty() && !session.selectProgram(request.program, error)) return false;
    if (!request.preset.empty() &&
        !session.loadPresetFile(request.preset, request.endianReversed, error))
        return false;
    if (request.baseline) session.useBaselineKernels();
    *metersChosen = false;
    for (const auto& [name, text] : request.settings) {
        const int index = session.findParameter(name);
        if (index < 0) {
            *error = "unknown parameter '" + name + "'";
            return false;
        }
        float value = 0.0f;
        if (!parseValue(text, &value)) {
            *error = "value '" + text + "' of '" + name + "' must be a number in 0..1";
            return false;
        }
        session.plugin().setParameter(index, value);
        *metersChosen |= session.parameterName(index) == "Meters";
    }
    return true;
}

int renderFile(const RenderRequest& request, RenderResult* result, std::string* error,
               const std::function<void(double)>& progress) {
    if (request.blockSize < 1 || request.blockSize > 65536) {
        *error = "block size must be 1..65536";
        return 2;
    }
    AudioReader main;
    if (!main.open(request.input, error)) return 2;
    const AudioFormat in = main.format();
    if (in.channels < 1 || in.channels > 2) {
        *error = "'" + request.input + "' has " + std::to_string(in.channels) +
                 " channels; only mono and stereo are supported";
        return 2;
    }
    if (in.sampleRate < 22050 || in.sampleRate > 192000) {
        *error = "'" + request.input + "' runs at " + std::to_string(in.sampleRate) +
                 " Hz; supported rates are 22050..192000 Hz";
        return 2;
    }
    AudioReader side;
    const bool hasSide = !request.sidechain.empty();
    if (hasSide) {
        if (!side.open(request.sidechain, error)) return 2;
        const AudioFormat& s = side.format();
        if (s.sampleRate != in.sampleRate || s.frames != in.frames) {
            *error = "side chain '" + request.sidechain + "' must have the rate and length of '" +
                     request.input + "'";
            return 2;
        }
        if (s.channels < 1 || s.channels > 2) {
            *error = "side chain '" + request.sidechain + "' must be mono or stereo";
            return 2;
        }
    }
    AudioFormat out = in;
    out.format = outputFormat(request, in.format, error);
    if (!out.format) return 2;

    const std::string path = findPlugin(request.plugin);
    if (path.empty()) {
        *error = "unknown plug-in '" + request.plugin + "' (grandpress, tinypress or a " +
                 platform::kLibrarySuffix + " path)";
        return 2;
    }
    PluginSession session;
    if (!session.load(path, in.sampleRate, request.blockSize, error)) return 2;
    host::Plugin& plugin = session.plugin();
    bool metersChosen = false;
    if (!applySettings(session, request, &metersChosen, error)) return 2;
    const int sideChainSwitch = session.findParameter("S.C.Ext");
    if (hasSide) {
        if (!plugin.setSpeakerArrangement(4, 2) || sideChainSwitch < 0) {
            *error = "the plug-in takes no side chain";
            return 2;
        }
        plugin.setParameter(sideChainSwitch, 1.0f);
    } else {
        plugin.setSpeakerArrangement(2, 2);
    }
    // The meters show the gain reduction during a render; they do not touch the sound.
    const int metersIndex = session.findParameter("Meters");
    if (metersIndex >= 0 && !metersChosen) plugin.setParameter(metersIndex, 0.5f);
    const MeterFeed* feed = session.meterFeed();

    AudioWriter writer;
    if (!writer.open(request.output, out, error)) return 2;

    plugin.resume();
    const int latency = plugin.initialDelay() > 0 ? plugin.initialDelay() : 0;
    const int block = request.blockSize;
    host::AudioBuffers<float> inputs(4, block), outputs(2, block);
    std::vector<float> mainBlock(static_cast<size_t>(block) * in.channels);
    std::vector<float> sideBlock(static_cast<size_t>(block) * 2);
    std::vector<float> outBlock(static_cast<size_t>(block) * in.channels);

    const long long window = std::max<long long>(1, in.sampleRate / 100);
    result->trace.stepSeconds = static_cast<double>(window) / in.sampleRate;
    LevelMeter inMeter(window, &result->trace.inPeakDb, &result->trace.inRmsDb);
    LevelMeter outMeter(window, &result->trace.outPeakDb, &result->trace.outRmsDb);
    double smallestGain = 1.0;
    long long nextTraceFrame = 0;
    // After a reset the gain-reduction meter rises from zero to the current reduction; readings
    // count from the first block in which it no longer rises (or is near its rest position).
    bool meterSettled = false;
    double previousLevel = -1.0;

    const auto started = std::chrono::steady_clock::now();
    const long long total = in.frames + latency;
    long long processed = 0, written = 0, read = 0;
    while (processed < total) {
        const int n = static_cast<int>(std::min<long long>(block, total - processed));
        const long long wanted = std::min<long long>(n, in.frames - read);
        const long long got =
            wanted > 0 ? std::max<long long>(0, main.read(mainBlock.data(), wanted)) : 0;
        read = got > 0 ? read + got : in.frames;  // a file shorter than announced ends in silence
        inMeter.add(mainBlock.data(), got, in.channels);
        const long long sideGot = hasSide && got > 0 ? side.read(sideBlock.data(), got) : 0;
        const int sideChannels = hasSide ? side.format().channels : 0;
        for (int f = 0; f < n; ++f) {
            const bool live = f < got;
            const float l = live ? mainBlock[f * in.channels] : 0.0f;
            const float r = live ? mainBlock[f * in.channels + in.channels - 1] : 0.0f;
            const bool sideLive = f < sideGot;
            const float sl = sideLive ? sideBlock[f * sideChannels] : 0.0f;
            const float sr = sideLive ? sideBlock[f * sideChannels + sideChannels - 1] : 0.0f;
            inputs.channel(0)[f] = l;
            inputs.channel(1)[f] = r;
            inputs.channel(2)[f] = sl;
            inputs.channel(3)[f] = sr;
        }
        plugin.processReplacing(inputs.data(), outputs.data(), n);

        // The first `latency` frames out are the plug-in's delay line, not the input.
        const long long skip = std::max<long long>(0, latency - processed);
        const long long keep = std::min<long long>(n - skip, in.frames - written);
        if (keep > 0) {
            for (long long f = 0; f < keep; ++f)
                for (int c = 0; c < in.channels; ++c)
                    outBlock[f * in.channels + c] = outputs.channel(c)[skip + f];
            if (!writer.write(outBlock.data(), keep)) {
                *error = "cannot write '" + request.output + "'";
                return 2;
            }
            outMeter.add(outBlock.data(), keep, in.channels);
            written += keep;
        }
        processed += n;
        if (feed) {
            double level = 1.0;
            for (const MeterChannelFeed& ch : feed->channel)
                level = std::min(level, ch.secondLevel.load(std::memory_order_relaxed));
            meterSettled = meterSettled || level <= previousLevel || level >= 0.97;
            previousLevel = level;
            if (meterSettled && processed > latency) smallestGain = std::min(smallestGain, level);
            const float reductionDb =
                meterSettled ? static_cast<float>(std::min(0.0, toDb(level / 0.98))) : NAN;
            while (nextTraceFrame + latency <= processed && nextTraceFrame < in.frames) {
                result->trace.gainReductionDb.push_back(reductionDb);
                nextTraceFrame += window;
            }
        }
        if (progress) progress(static_cast<double>(processed) / total);
    }
    inMeter.finish();
    outMeter.finish();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    plugin.suspend();
    if (!writer.commit(error)) return 2;

    result->in = inMeter.summary();
    result->out = outMeter.summary();
    result->hasGainReduction = feed != nullptr;
    // The gain-reduction meter rests at 0.98 without compression.
    result->largestGainReductionDb = feed ? std::max(0.0, -toDb(smallestGain / 0.98)) : 0.0;
    result->seconds = static_cast<double>(in.frames) / in.sampleRate;
    result->realtimeFactor = elapsed > 0.0 ? result->seconds / elapsed : 0.0;
    result->sampleRate = in.sampleRate;
    result->channels = in.channels;
    result->latency = latency;
    result->programName = session.currentProgramName();
    result->instructionSet = session.instructionSet();
    return 0;
}

}  // namespace render
