#include "tinypress/Parameters.h"

#include <cmath>

#include "tinypress/EngineSettings.h"
#include "tinypress/Mappings.h"

namespace tinypress {
namespace {

// Mappings shown by display texts and read-outs, in the units of each text.
double selectorValue(float v) {
    return selectorOf(v);
}
double ratioValue(float v) {
    return ratioOfStep(ratioStepOf(v));
}
// The straight-line scales of the editor's read-outs; they deliberately differ slightly from
// the exact working values (the knob scales are printed this way).
double releaseLineMs(float v) {
    return 33.3333 * std::pow(100.0, static_cast<double>(v));
}
double lowCornerLineHz(float v) {
    return 25.0 * std::pow(16.0, static_cast<double>(v));
}
double highCornerLineHz(float v) {
    return 1000.0 * std::pow(16.0, static_cast<double>(v));
}
// The output display and read-out use the line 18 v - 12 dB, not 20 log10 of the target gain.
double outputLineDb(float v) {
    return 18.0 * v - 12.0;
}

using namespace param_table;
using S = EngineSettings;

// Switches reached only through the host (stored, shown as " - ").
constexpr ParamSpec hiddenSwitch() {
    return emptyRow(kNoName, switchValue, HostProperties::Switch);
}

}  // namespace

const Row<EngineSettings> kParamRows[kNumParams] = {
    /* 0 */ {switchRow(" Power ", "On", "Off", nullptr), setSwitch<&S::power, kPower>},
    /* 1 */ {hiddenSwitch()},
    /* 2 */ {switchRow(" Soft ", "Soft", "Hard"), setSwitch<&S::softKnee, kSoft>},
    /* 3 */ {switchRow(" RMS ", "RMS", "Peak"), designRms},
    /* 4 */ {hiddenSwitch()},
    /* 5 */ {thresholdRow("Threshold "), designGainCurve},
    /* 6 */ {ratioRow("Ratio ", ratioValue, ratioStepOf), designGainCurve},
    /* 7 */ {emptyRow()},
    /* 8 */ {attackRow("Attack "), designEnvelope},
    /* 9 */ {emptyRow()},
    /* 10 */ {exponentialRow("Release ", releaseSecondsOf, 2, "s", releaseLineMs), designEnvelope},
    /* 11 */ {switchRow("AutoRel ", "On", "Off"), setSwitch<&S::autoRelease, kAutoRelease>},
    /* 12 */ {selectorRow(" LowSCF ", "LoCut", "LoFlat", "LoBoost", selectorValue)},
    /* 13 */ {emptyRow(kNoName, lowCornerLineHz)},
    /* 14 */ {selectorRow(" HighSCF ", "HiCut", "HiFlat", "HiBoost", selectorValue)},
    /* 15 */ {emptyRow(kNoName, highCornerLineHz)},
    /* 16 */
    {makeupRow("Makeup "), setMapped<&S::makeupTarget, kMakeup, makeupGainOf>},
    /* 17 */ {switchRow("AutoMakeup", "AutoMakeup", "Off"), setSwitch<&S::autoMakeup, kAutoMakeup>},
    /* 18 */ {hiddenSwitch()},
    /* 19 */ {hiddenSwitch()},
    /* 20 */ {switchRow(" Link", "Linked", "Off"), setSwitch<&S::link, kLink>},
    /* 21 */ {emptyRow(kNoName, centredPercentOf)},
    /* 22 */ {percentRow("Mix "), setMapped<&S::meterMix, kMix, fractionOf>},
    /* 23 */
    {numberRow("Output ", outputLineDb, 2, "dB", outputLineDb),
     setMapped<&S::outputTarget, kOutput, outputGainOf>},
    /* 24 */
    {metersRow("Meters ", "Pre", "GainRed", "Post"),
     setMapped<&S::meterSource, kMeters, selectorOf>},
    /* 25 */ {emptyRow("Classic ", switchValue, HostProperties::Switch)},
    /* 26 */ {switchRow("S.C.Ext", "S.C.Ext", "Off"), setSwitch<&S::sideChainExternal, kScExt>},
    /* 27 */ {switchRow("Smooth", "Smooth", "Draft", nullptr), setSwitch<&S::smooth, kSmooth>},
    /* 28 */ {switchRow("Stereo", "Stereo", "Mono"), setSwitch<&S::stereo, kStereo>},
    /* 29..33 */ {emptyRow()},
    {emptyRow()},
    {emptyRow()},
    {emptyRow()},
    {emptyRow()},
    /* 34 */ {emptyRow("")},  // not a parameter at all: no name
    /* 35 */
    {switchRow("S.C.Monit", "S.C.Monit", "Off"), setSwitch<&S::sideChainMonitor, kScMonitor>},
    /* 36 */ {vuIntegrationRow("VU Integr "), designVu},
    /* 37 */ {vuReferenceRow("VU Refer "), designMeterScale},
    /* 38 */ {ppmIntegrationRow("PPM Integr "), designPpm},
    /* 39 */ {ppmReturnRow("PPM Return "), designPpm},
    /* 40 */
    {overIndicatorRow("OverIndic "), setMapped<&S::overSamples, kOverIndicator, overSamplesOf>},
};

}  // namespace tinypress
