#include "grandpress/Parameters.h"

#include "grandpress/EngineSettings.h"
#include "grandpress/Mappings.h"

namespace grandpress {
namespace {

// Mappings shown by display texts and read-outs, in the units of each text.
double ratioValue(float v) {
    return ratioOfStep(ratioStepOf(v));
}
double releaseMs(float v) {
    return 1000.0 * releaseSecondsOf(v);
}
double highKHz(float v) {
    return sideChainHighHzOf(v) / 1000.0;
}
double outputDb(float v) {
    return gainDb(outputGainOf(v));
}
// The editor's straight-line read-outs of the dB knobs.
double outputLineDb(float v) {
    return (v - 0.5) * 24.0;
}

constexpr const char* kOn = " On ";
constexpr const char* kOff = " Off ";

using namespace param_table;
using S = EngineSettings;

constexpr ParamSpec sw(const char* name, const char* on = kOn, const char* off = kOff,
                       ValueMap editor = switchValue) {
    return switchRow(name, on, off, editor);
}

}  // namespace

const Row<EngineSettings> kParamRows[kNumParams] = {
    /* 0 */ {sw(" Power ", kOn, kOff, nullptr), designLayout},
    /* 1 */ {sw(" FAT "), designLayout},
    /* 2 */ {sw(" Soft "), setSwitch<&S::soft, kSoft>},
    /* 3 */ {sw(" RMS "), designRms},
    /* 4 */ {sw(" Limiter "), setSwitch<&S::limiter, kLimiter>},
    /* 5 */ {thresholdRow(" Threshold "), designThreshold},
    /* 6 */ {ratioRow(" Ratio ", ratioValue, ratioStepOf), designRatio},
    /* 7 */ {attackRow(" Attack "), designEnvelope},
    /* 8 */ {sw("AutoAttck"), setSwitch<&S::autoAttack, kAutoAttack>},
    /* 9 */ {exponentialRow(" Release ", releaseSecondsOf, 1, "s", releaseMs), designEnvelope},
    /* 10 */ {sw(" AutoRel "), setSwitch<&S::autoRelease, kAutoRelease>},
    /* 11 */
    {makeupRow(" Makeup "), setMapped<&S::makeupGain, kMakeup, makeupGainOf>},
    /* 12 */ {sw("AutoMakeup", " AutoMakeup "), setSwitch<&S::autoMakeup, kAutoMakeup>},
    /* 13 */ {sw(" HighSCF ", " HighBoost ", " HighCut "), designShelves},
    /* 14 */ {exponentialRow(" High ", highKHz, 2, "kHz", sideChainHighHzOf), designShelves},
    /* 15 */ {sw(" LowSCF ", " LowBoost ", " LowCut "), designShelves},
    /* 16 */ {exponentialRow(" Low ", sideChainLowHzOf, 0, "Hz", sideChainLowHzOf), designShelves},
    /* 17 */ {sw("LnkHighCut", " HighCut "), designLinkBand},
    /* 18 */ {sw("LnkLowCut", " LowCut "), designLinkBand},
    /* 19 */ {percentRow(" Link"), setMapped<&S::linkAmount, kLink, linkAmountOf>},
    /* 20 */ {tiltRow(" Tilt ", centredPercentOf), designRatio},
    /* 21 */ {percentRow(" Mix "), setMapped<&S::mixAmount, kMix, fractionOf>},
    /* 22 */
    {numberRow(" Output ", outputDb, 2, "dB", outputLineDb),
     setMapped<&S::outputGain, kOutput, outputGainOf>},
    /* 23 */
    {metersRow(" Meters ", " Pre ", " GainRed ", " Post "),
     setMapped<&S::meterSource, kMeters, metersSourceOf>},
    /* 24 */ {sw(" Classic "), setSwitch<&S::classic, kClassic>},
    /* 25 */ {sw("S.C.Ext", "S.C.Ext"), setSwitch<&S::sideChainExternal, kScExt>},
    /* 26 */ {sw("Smooth", kOn, kOff, nullptr), designLayout},
    /* 27..33 */ {emptyRow()},
    {emptyRow()},
    {emptyRow()},
    {emptyRow()},
    {emptyRow()},
    {emptyRow()},
    {emptyRow()},
    /* 34 */ {emptyRow()},
    /* 35 */
    {sw("S.C.Monit", "S.C.Monit", " Off     "), setSwitch<&S::sideChainMonitor, kScMonitor>},
    /* 36 */ {vuIntegrationRow(" VU Integr "), designMeters},
    /* 37 */ {vuReferenceRow(" VU Refer "), designMeters},
    /* 38 */ {ppmIntegrationRow(" PPM Integr "), designMeters},
    /* 39 */ {ppmReturnRow(" PPM Return "), designMeters},
    /* 40 */ {overIndicatorRow(" OverIndic "), designMeters},
};

}  // namespace grandpress
