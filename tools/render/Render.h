// Rendering one audio file through a plug-in, offline, aligned with the input. Main thread only.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "render/Loudness.h"

namespace render {

struct RenderRequest {
    std::string plugin = "grandpress";  // name or path
    std::string bank;                   // bank file loaded first; empty for none
    std::string program;                // name or index; empty keeps the plug-in's own
    std::string preset;                 // preset file loaded into the current program
    bool endianReversed = false;        // reverse the value words of bank and preset files
    std::vector<std::pair<std::string, std::string>> settings;  // PARAM=VALUE in order
    std::string sidechain;
    int blockSize = 512;
    bool baseline = false;  // our plug-ins run their baseline kernels (tests and comparisons)
    std::string format;     // output sample format word; empty keeps the input's
    std::string plot;       // PNG path; empty for none
    std::string input;
    std::string output;
};

// Level statistics over a whole file: sample peak and RMS in dBFS, loudness where measured.
struct LevelSummary {
    double peakDb = -INFINITY;
    double rmsDb = -INFINITY;
    LoudnessFigures loudness;
};

// Short-term levels every `stepSeconds` for the plot.
struct LevelTrace {
    double stepSeconds = 0.01;
    std::vector<float> inPeakDb, inRmsDb, outPeakDb, outRmsDb, gainReductionDb;
};

// A parameter as a PARAM=VALUE setting left it.
struct AppliedSetting {
    int index = 0;
    std::string name;     // without padding blanks
    float value = 0.0f;   // normalised
    std::string display;  // the plug-in's display text
    bool physical = false;
};

// How the side chain met the main input's length.
enum class SideChainFit { None, Same, Padded, Cut };

struct RenderResult {
    LevelSummary in, out;  // `out` as written: after clipping in an integer sample format
    bool hasGainReduction = false;
    double largestGainReductionDb = 0.0;  // the plug-in's gain-reduction meter, not measured
    double realtimeFactor = 0.0;
    double seconds = 0.0;
    long long frames = 0;
    int sampleRate = 0;
    int channels = 0;
    int latency = 0;
    std::string programName;
    std::string instructionSet;    // of our plug-ins; empty for others
    std::string sampleFormat;      // "pcm16", "pcm24", "float", ...
    bool integerFormat = false;    // clips beyond full scale
    long long clippedSamples = 0;  // samples (all channels) the integer format clipped
    double outputPeakBeforeClippingDb = -INFINITY;  // the plug-in's own output peak
    SideChainFit sideChainFit = SideChainFit::None;
    double sideChainSeconds = 0.0;
    std::vector<AppliedSetting> settings;
    LevelTrace trace;
};

class PluginSession;
// Applies bank, program, preset and PARAM=VALUE settings of `request`, in this order; false with
// one line in `error` on bad input. `metersChosen` tells whether the settings named " Meters ";
// `applied` (if given) receives each setting as the plug-in took it.
bool applySettings(PluginSession& session, const RenderRequest& request, bool* metersChosen,
                   std::string* error, std::vector<AppliedSetting>* applied = nullptr);

// The checks of `request` that need no plug-in and process no audio: the input and side chain
// can be read and fit, the output's format is known and fits the sample format. 2 with one line
// in `error` when they fail, else 0; `outputFormat` receives the output's format code.
int checkRequest(const RenderRequest& request, int* outputFormat, std::string* error);

// What a render does once the audio is processed and before its output is put in place (the
// plot); false with `error` set fails the render.
using Finishing = std::function<bool(const RenderResult& result, std::string* error)>;

// 0 on success; 2 for bad input (with `error` set to one line naming the problem); the output
// file exists afterwards only when the render completed. `progress` is called with 0..1.
int renderFile(const RenderRequest& request, RenderResult* result, std::string* error,
               const std::function<void(double)>& progress = {}, const Finishing& finishing = {});

}  // namespace render
