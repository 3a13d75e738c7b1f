// Rendering one audio file through a plug-in, offline, aligned with the input. Main thread only.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

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

// Level statistics over a whole file, in dBFS.
struct LevelSummary {
    double peakDb = -INFINITY;
    double rmsDb = -INFINITY;
};

// Short-term levels every `stepSeconds` for the plot.
struct LevelTrace {
    double stepSeconds = 0.01;
    std::vector<float> inPeakDb, inRmsDb, outPeakDb, outRmsDb, gainReductionDb;
};

struct RenderResult {
    LevelSummary in, out;
    bool hasGainReduction = false;
    double largestGainReductionDb = 0.0;
    double realtimeFactor = 0.0;
    double seconds = 0.0;
    int sampleRate = 0;
    int channels = 0;
    int latency = 0;
    std::string programName;
    std::string instructionSet;  // of our plug-ins; empty for others
    LevelTrace trace;
};

class PluginSession;
// Applies bank, program, preset and PARAM=VALUE settings of `request`, in this order; false with
// one line in `error` on bad input. `metersChosen` tells whether the settings named " Meters ".
bool applySettings(PluginSession& session, const RenderRequest& request, bool* metersChosen,
                   std::string* error);

// 0 on success; 2 for bad input (with `error` set to one line naming the problem); the output
// file exists afterwards only when the render completed. `progress` is called with 0..1.
int renderFile(const RenderRequest& request, RenderResult* result, std::string* error,
               const std::function<void(double)>& progress = {});

}  // namespace render
