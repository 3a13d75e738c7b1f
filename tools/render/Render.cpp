#include "render/Render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "host/AudioBuffers.h"
#include "render/AudioFile.h"
#include "render/PluginSession.h"

namespace render {
namespace {

// Where the gain-reduction meter rests without compression.
constexpr double kMeterRest = 0.98;

double toDb(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY;
}

// Peak, mean square and loudness over a whole file, and peak and RMS over short windows.
class LevelMeter {
  public:
    LevelMeter(long long windowFrames, int channels, int sampleRate, std::vector<float>* peaks,
               std::vector<float>* rms)
        : window(windowFrames), loudness(channels, sampleRate), peaks(peaks), rms(rms) {}

    void add(const float* interleaved, long long frames, int channels) {
        loudness.add(interleaved, frames);
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
        return {toDb(peak), samples ? toDb(std::sqrt(sumSquares / samples)) : -INFINITY,
                loudness.figures()};
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
    LoudnessMeter loudness;
    std::vector<float>* peaks;
    std::vector<float>* rms;
    double peak = 0.0, sumSquares = 0.0, windowPeak = 0.0, windowSquares = 0.0;
    long long samples = 0, windowSamples = 0, windowFill = 0;
};

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

// Opens the main input and the side chain and checks that they can be rendered together.
bool openSources(const RenderRequest& request, AudioReader* main, AudioReader* side,
                 std::string* error) {
    if (!main->open(request.input, error)) return false;
    const AudioFormat& in = main->format();
    if (in.channels < 1 || in.channels > 2) {
        *error = "'" + request.input + "' has " + std::to_string(in.channels) +
                 " channels; only mono and stereo are supported";
        return false;
    }
    if (in.sampleRate < 22050 || in.sampleRate > 192000) {
        *error = "'" + request.input + "' runs at " + std::to_string(in.sampleRate) +
                 " Hz; supported rates are 22050..192000 Hz";
        return false;
    }
    if (request.sidechain.empty()) return true;
    if (!side->open(request.sidechain, error)) return false;
    const AudioFormat& s = side->format();
    if (s.sampleRate != in.sampleRate) {
        *error = "side chain '" + request.sidechain + "' runs at " + std::to_string(s.sampleRate) +
                 " Hz, the input '" + request.input + "' at " + std::to_string(in.sampleRate) +
                 " Hz; resample one to the other's rate";
        return false;
    }
    if (s.channels < 1 || s.channels > 2) {
        *error = "side chain '" + request.sidechain + "' must be mono or stereo";
        return false;
    }
    return true;
}

// Loads the plug-in and readies it for the render: settings, channels, meter source.
bool preparePlugin(PluginSession& session, const RenderRequest& request, int sampleRate,
                   RenderResult* result, std::string* error) {
    const std::string path = findPlugin(request.plugin, error);
    if (path.empty()) return false;
    if (!session.load(path, sampleRate, request.blockSize, error)) return false;
    host::Plugin& plugin = session.plugin();
    bool metersChosen = false;
    if (!applySettings(session, request, &metersChosen, error, &result->settings)) return false;
    const int sideChainSwitch = session.findParameter("S.C.Ext");
    if (!request.sidechain.empty()) {
        if (!plugin.setSpeakerArrangement(4, 2) || sideChainSwitch < 0) {
            *error = "the plug-in takes no side chain";
            return false;
        }
        plugin.setParameter(sideChainSwitch, 1.0f);
    } else {
        plugin.setSpeakerArrangement(2, 2);
    }
    // The meters show the gain reduction during a render; they do not touch the sound.
    const int metersIndex = session.findParameter("Meters");
    if (metersIndex >= 0 && !metersChosen) plugin.setParameter(metersIndex, 0.5f);
    return true;
}

// The processing loop of one render.
class Renderer {
  public:
    Renderer(PluginSession& session, int blockSize, AudioReader& main, AudioReader* side,
             AudioWriter& writer, const AudioFormat& out, RenderResult* result)
        : session(session),
          plugin(session.plugin()),
          main(main),
          side(side),
          writer(writer),
          in(main.format()),
          integer(isIntegerSubtype(subtypeOf(out.format))),
          block(blockSize),
          inputs(4, block),
          outputs(2, block),
          mainBlock(static_cast<size_t>(block) * in.channels),
          sideBlock(static_cast<size_t>(block) * 2),
          outBlock(static_cast<size_t>(block) * in.channels),
          window(std::max<long long>(1, in.sampleRate / 100)),
          inMeter(window, in.channels, in.sampleRate, &result->trace.inPeakDb,
                  &result->trace.inRmsDb),
          outMeter(window, in.channels, in.sampleRate, &result->trace.outPeakDb,
                   &result->trace.outRmsDb),
          result(result) {
        result->trace.stepSeconds = static_cast<double>(window) / in.sampleRate;
    }

    bool run(const std::function<void(double)>& progress, std::string* error) {
        plugin.resume();
        latency = plugin.initialDelay() > 0 ? plugin.initialDelay() : 0;
        feed = session.meterFeed();
        // The gain-reduction needle starts at its rest position (no reduction), as the engine
        // starts without any, rather than at zero after the reset: its readings hold from the
        // first sample on.
        if (feed)
            for (const MeterChannelFeed& ch : feed->channel)
                const_cast<MeterChannelFeed&>(ch).secondLevel.store(kMeterRest,
                                                                    std::memory_order_relaxed);
        const long long total = in.frames + latency;
        while (processed < total) {
            const int n = static_cast<int>(std::min<long long>(block, total - processed));
            feedInputs(n);
            plugin.processReplacing(inputs.data(), outputs.data(), n);
            if (!takeOutputs(n, error)) return false;
            processed += n;
            readMeter();
            if (progress) progress(static_cast<double>(processed) / total);
        }
        inMeter.finish();
        outMeter.finish();
        plugin.suspend();
        finish();
        return true;
    }

  private:
    void feedInputs(int n) {
        const long long wanted = std::min<long long>(n, in.frames - read);
        const long long got =
            wanted > 0 ? std::max<long long>(0, main.read(mainBlock.data(), wanted)) : 0;
        read = got > 0 ? read + got : in.frames;  // a file shorter than announced ends in silence
        inMeter.add(mainBlock.data(), got, in.channels);
        // A shorter side chain ends in silence; a longer one is read no further than the input.
        const long long sideGot =
            side && got > 0 ? std::max<long long>(0, side->read(sideBlock.data(), got)) : 0;
        const int sideChannels = side ? side->format().channels : 1;
        for (int f = 0; f < n; ++f) {
            const bool live = f < got;
            const bool sideLive = f < sideGot;
            inputs.channel(0)[f] = live ? mainBlock[f * in.channels] : 0.0f;
            inputs.channel(1)[f] = live ? mainBlock[f * in.channels + in.channels - 1] : 0.0f;
            inputs.channel(2)[f] = sideLive ? sideBlock[f * sideChannels] : 0.0f;
            inputs.channel(3)[f] = sideLive ? sideBlock[f * sideChannels + sideChannels - 1] : 0.0f;
        }
    }

    bool takeOutputs(int n, std::string* error) {
        // The first `latency` frames out are the plug-in's delay line, not the input.
        const long long skip = std::max<long long>(0, latency - processed);
        const long long keep = std::min<long long>(n - skip, in.frames - written);
        if (keep <= 0) return true;
        for (long long f = 0; f < keep; ++f)
            for (int c = 0; c < in.channels; ++c)
                outBlock[f * in.channels + c] = outputs.channel(c)[skip + f];
        if (!writer.write(outBlock.data(), keep, error)) return false;
        // The levels of the file as written: an integer format holds nothing beyond full scale.
        for (long long i = 0; i < keep * in.channels; ++i) {
            float& x = outBlock[i];
            const float a = std::fabs(x);
            if (a > peakBeforeClipping) peakBeforeClipping = a;
            if (integer && a > 1.0f) {
                ++result->clippedSamples;
                x = x > 0.0f ? 1.0f : -1.0f;
            }
        }
        outMeter.add(outBlock.data(), keep, in.channels);
        written += keep;
        return true;
    }

    void readMeter() {
        if (!feed) return;
        double level = 1.0;
        for (const MeterChannelFeed& ch : feed->channel)
            level = std::min(level, ch.secondLevel.load(std::memory_order_relaxed));
        if (processed > latency) smallestGain = std::min(smallestGain, level);
        const auto reductionDb = static_cast<float>(std::min(0.0, toDb(level / kMeterRest)));
        while (nextTraceFrame + latency <= processed && nextTraceFrame < in.frames) {
            result->trace.gainReductionDb.push_back(reductionDb);
            nextTraceFrame += window;
        }
    }

    void finish() {
        result->in = inMeter.summary();
        result->out = outMeter.summary();
        result->hasGainReduction = feed != nullptr;
        result->largestGainReductionDb =
            feed ? std::max(0.0, -toDb(smallestGain / kMeterRest)) : 0.0;
        result->integerFormat = integer;
        result->outputPeakBeforeClippingDb = toDb(peakBeforeClipping);
        result->latency = latency;
    }

    PluginSession& session;
    host::Plugin& plugin;
    AudioReader& main;
    AudioReader* side;
    AudioWriter& writer;
    const AudioFormat in;
    const bool integer;
    const int block;
    host::AudioBuffers<float> inputs, outputs;
    std::vector<float> mainBlock, sideBlock, outBlock;
    const long long window;
    LevelMeter inMeter, outMeter;
    RenderResult* result;
    const MeterFeed* feed = nullptr;
    int latency = 0;
    long long processed = 0, written = 0, read = 0, nextTraceFrame = 0;
    double smallestGain = 1.0;
    float peakBeforeClipping = 0.0f;
};

SideChainFit fitOf(const AudioReader& main, const AudioReader& side) {
    const long long m = main.format().frames, s = side.format().frames;
    return s == m ? SideChainFit::Same : (s < m ? SideChainFit::Padded : SideChainFit::Cut);
}

}  // namespace

int checkRequest(const RenderRequest& request, int* format, std::string* error) {
    if (request.blockSize < 1 || request.blockSize > 65536) {
        *error = "block size must be 1..65536";
        return 2;
    }
    AudioReader main, side;
    if (!openSources(request, &main, &side, error)) return 2;
    *format = outputFormat(request, main.format().format, error);
    return *format ? 0 : 2;
}

int renderFile(const RenderRequest& request, RenderResult* result, std::string* error,
               const std::function<void(double)>& progress, const Finishing& finishing) {
    AudioFormat out;
    if (checkRequest(request, &out.format, error) != 0) return 2;
    AudioReader main, side;
    if (!openSources(request, &main, &side, error)) return 2;
    const AudioFormat& in = main.format();
    out.sampleRate = in.sampleRate;
    out.channels = in.channels;
    out.frames = in.frames;

    PluginSession session;
    if (!preparePlugin(session, request, in.sampleRate, result, error)) return 2;
    AudioWriter writer;
    if (!writer.open(request.output, out, error)) return 2;

    const bool hasSide = !request.sidechain.empty();
    Renderer renderer(session, request.blockSize, main, hasSide ? &side : nullptr, writer, out,
                      result);
    const auto started = std::chrono::steady_clock::now();
    if (!renderer.run(progress, error)) return 2;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result->frames = in.frames;
    result->seconds = static_cast<double>(in.frames) / in.sampleRate;
    result->realtimeFactor = elapsed > 0.0 ? result->seconds / elapsed : 0.0;
    result->sampleRate = in.sampleRate;
    result->channels = in.channels;
    result->sampleFormat = subtypeName(subtypeOf(out.format));
    result->programName = session.currentProgramName();
    result->instructionSet = session.instructionSet();
    if (hasSide) {
        result->sideChainFit = fitOf(main, side);
        result->sideChainSeconds = static_cast<double>(side.format().frames) / in.sampleRate;
    }
    if (finishing && !finishing(*result, error)) return 2;
    return writer.commit(error) ? 0 : 2;
}

}  // namespace render
