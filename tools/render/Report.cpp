#include "render/Report.h"

#include <cmath>

#include "render/Loudness.h"

namespace render {
namespace {

std::string number(const char* format, double value) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

std::string dbfs(double value, const char* unit = "dBFS") {
    return std::isfinite(value) ? number("%.2f ", value) + unit : std::string("-inf ") + unit;
}

std::string levels(const LevelSummary& s) {
    std::string text = "peak " + dbfs(s.peakDb) + ", RMS " + dbfs(s.rmsDb);
    const LoudnessFigures& l = s.loudness;
    if (l.measured) {
        text += ", " +
                (std::isfinite(l.integratedLufs) ? number("%.1f LUFS", l.integratedLufs)
                                                 : std::string("-inf LUFS")) +
                ", range " + number("%.1f LU", l.rangeLu) + ", true peak " +
                dbfs(l.truePeakDb, "dBTP");
    }
    return text;
}

std::string settingsText(const RenderResult& r) {
    std::string text;
    for (const AppliedSetting& s : r.settings)
        text += (text.empty() ? "" : ", ") + s.name + " " + s.display + number(" (%.4g)", s.value);
    return text;
}

std::string sideChainText(const RenderRequest& request, const RenderResult& r) {
    const std::string seconds = number("%.2f s", r.sideChainSeconds);
    switch (r.sideChainFit) {
        case SideChainFit::None:
            break;
        case SideChainFit::Same:
            return request.sidechain;
        case SideChainFit::Padded:
            return request.sidechain + " (" + seconds +
                   ", padded with silence to the input's length)";
        case SideChainFit::Cut:
            return request.sidechain + " (" + seconds + ", cut to the input's length)";
    }
    return "";
}

std::string gainReductionText(const RenderResult& r) {
    if (!r.hasGainReduction) return "n/a (the plug-in has no gain-reduction meter)";
    if (r.frames == 0) return "n/a (empty input)";
    return number("up to %.2f dB (the plug-in's gain-reduction meter reading)",
                  r.largestGainReductionDb);
}

// JSON text of a string, with the escapes JSON needs.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A number, or null where JSON has none (-inf, NaN).
std::string jsonNumber(double value) {
    return std::isfinite(value) ? number("%.6g", value) : "null";
}

std::string jsonLevels(const LevelSummary& s) {
    std::string text =
        "{\"peak_dbfs\":" + jsonNumber(s.peakDb) + ",\"rms_dbfs\":" + jsonNumber(s.rmsDb);
    if (s.loudness.measured)
        text += ",\"integrated_lufs\":" + jsonNumber(s.loudness.integratedLufs) +
                ",\"loudness_range_lu\":" + jsonNumber(s.loudness.rangeLu) +
                ",\"true_peak_dbtp\":" + jsonNumber(s.loudness.truePeakDb);
    return text + "}";
}

const char* fitName(SideChainFit fit) {
    switch (fit) {
        case SideChainFit::None:
            return "none";
        case SideChainFit::Same:
            return "same";
        case SideChainFit::Padded:
            return "padded";
        case SideChainFit::Cut:
            return "cut";
    }
    return "none";
}

}  // namespace

std::string clippingWarning(const RenderResult& r) {
    if (r.clippedSamples == 0) return "";
    return "warning: " + std::to_string(r.clippedSamples) +
           " samples clipped at full scale in the " + r.sampleFormat +
           " file (the render peaked at " + dbfs(r.outputPeakBeforeClippingDb) +
           "); use --format float, or lower Output by at least " +
           number("%.1f dB", r.outputPeakBeforeClippingDb);
}

void printSummary(std::FILE* out, const RenderRequest& request, const RenderResult& r) {
    std::fprintf(out, "%s -> %s  (%s, program \"%s\", %d Hz, %d ch, %.2f s, latency %d samples)\n",
                 request.input.c_str(), request.output.c_str(), request.plugin.c_str(),
                 r.programName.c_str(), r.sampleRate, r.channels, r.seconds, r.latency);
    if (!r.settings.empty()) std::fprintf(out, "  set   : %s\n", settingsText(r).c_str());
    if (r.sideChainFit != SideChainFit::None)
        std::fprintf(out, "  side chain: %s\n", sideChainText(request, r).c_str());
    std::fprintf(out, "  input : %s\n", levels(r.in).c_str());
    std::fprintf(out, "  output: %s  (%s file as written)\n", levels(r.out).c_str(),
                 r.sampleFormat.c_str());
    if (const std::string warning = clippingWarning(r); !warning.empty())
        std::fprintf(out, "  %s\n", warning.c_str());
    std::fprintf(out, "  gain reduction: %s\n", gainReductionText(r).c_str());
    if (r.frames > 0) {
        if (r.instructionSet.empty())
            std::fprintf(out, "  render speed: %.1fx realtime\n", r.realtimeFactor);
        else
            std::fprintf(out, "  render speed: %.1fx realtime (%s kernels)\n", r.realtimeFactor,
                         r.instructionSet.c_str());
    }
}

void printBatchLine(std::FILE* out, const RenderRequest& request, const RenderResult& r) {
    std::fprintf(out, "%s -> %s: output %s; gain reduction %s\n", request.input.c_str(),
                 request.output.c_str(), levels(r.out).c_str(),
                 r.hasGainReduction && r.frames > 0
                     ? number("up to %.2f dB", r.largestGainReductionDb).c_str()
                     : "n/a");
    if (const std::string warning = clippingWarning(r); !warning.empty())
        std::fprintf(out, "  %s\n", warning.c_str());
}

void printJson(std::FILE* out, const RenderRequest& request, const RenderResult& r) {
    std::string parameters;
    for (const AppliedSetting& s : r.settings)
        parameters += std::string(parameters.empty() ? "" : ",") +
                      "{\"index\":" + std::to_string(s.index) + ",\"name\":" + quoted(s.name) +
                      ",\"value\":" + jsonNumber(s.value) + ",\"display\":" + quoted(s.display) +
                      ",\"physical\":" + (s.physical ? "true" : "false") + "}";
    std::string text =
        "{\"input\":" + quoted(request.input) + ",\"output\":" + quoted(request.output) +
        ",\"plugin\":" + quoted(request.plugin) + ",\"program\":" + quoted(r.programName) +
        ",\"sample_rate\":" + std::to_string(r.sampleRate) +
        ",\"channels\":" + std::to_string(r.channels) + ",\"frames\":" + std::to_string(r.frames) +
        ",\"seconds\":" + jsonNumber(r.seconds) +
        ",\"latency_samples\":" + std::to_string(r.latency) +
        ",\"sample_format\":" + quoted(r.sampleFormat) + ",\"input_levels\":" + jsonLevels(r.in) +
        ",\"output_levels\":" + jsonLevels(r.out) +
        ",\"clipped_samples\":" + std::to_string(r.clippedSamples) +
        ",\"gain_reduction_meter_db\":" +
        (r.hasGainReduction && r.frames > 0 ? jsonNumber(r.largestGainReductionDb)
                                            : std::string("null")) +
        ",\"sidechain\":" +
        (request.sidechain.empty() ? std::string("null")
                                   : "{\"file\":" + quoted(request.sidechain) + ",\"fit\":\"" +
                                         fitName(r.sideChainFit) + "\"}") +
        ",\"parameters\":[" + parameters + "]}";
    std::fprintf(out, "%s\n", text.c_str());
}

}  // namespace render
