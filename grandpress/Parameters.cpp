#include "grandpress/Parameters.h"

#include "grandpress/EngineSettings.h"
#include "grandpress/Mappings.h"

namespace grandpress {
namespace {

// Mappings shown by display texts and read-outs, in the units of each text.
double ratioValue(float v) {
    return ratioOfStep(ratioStepOf(v));
}
double thresholdDb(float v) {
    return thresholdDbOf(v);
}
double attackMs(float v) {
    return attackMsOf(v);
}
double releaseSeconds(float v) {
    return releaseSecondsOf(v);
}
double releaseMs(float v) {
    return 1000.0 * releaseSecondsOf(v);
}
double makeupDb(float v) {
    return gainDb(makeupGainOf(v));
}
double highKHz(float v) {
    return sideChainHighHzOf(v) / 1000.0;
}
double highHz(float v) {
    return sideChainHighHzOf(v);
}
double lowHz(float v) {
    return sideChainLowHzOf(v);
}
double percent(float v) {
    return v * 100.0;
}
double tiltPercent(float v) {
    return (v - 0.5) * 100.0;
}
double outputDb(float v) {
    return gainDb(outputGainOf(v));
}
double vuIntegrationMs(float v) {
    return vuIntegrationMsOf(v);
}
double vuReference(float v) {
    return vuReferenceOf(v);
}
double vuReferenceDb(float v) {
    return gainDb(vuReferenceOf(v));
}
double ppmIntegrationMs(float v) {
    return ppmIntegrationMsOf(v);
}
double ppmReturnMs(float v) {
    return ppmReturnMsOf(v);
}
double overSamples(float v) {
    return overSamplesOf(v);
}
// The editor's straight-line read-outs of the dB knobs.
double thresholdLineDb(float v) {
    return 6.0 - 36.0 * v;
}
double makeupLineDb(float v) {
    return 36.0 * v - 12.0;
}
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

const Row<EngineSettings> ParamRows::kTable[kNumParams] = {
    /* 0 */ {sw(" Power ", kOn, kOff, nullptr), designLayout},
    /* 1 */ {sw(" FAT "), designLayout},
    /* 2 */ {sw(" Soft "), setSwitch<&S::soft, kSoft>},
    /* 3 */ {sw(" RMS "), designRms},
    /* 4 */ {sw(" Limiter "), setSwitch<&S::limiter, kLimiter>},
    /* 5 */ {numberRow(" Threshold ", thresholdDb, 2, "dB", thresholdLineDb), designThreshold},
    /* 6 */ {quotientStepsRow(" Ratio ", ratioValue, 2, " : 1", ratioStepOf, 21), designRatio},
    /* 7 */ {exponentialRow(" Attack ", attackMs, 2, "ms", attackMs), designEnvelope},
    /* 8 */ {sw("AutoAttck"), setSwitch<&S::autoAttack, kAutoAttack>},
    /* 9 */ {exponentialRow(" Release ", releaseSeconds, 1, "s", releaseMs), designEnvelope},
    /* 10 */ {sw(" AutoRel "), setSwitch<&S::autoRelease, kAutoRelease>},
    /* 11 */
    {numberRow(" Makeup ", makeupDb, 2, "dB", makeupLineDb),
     setMapped<&S::makeupGain, kMakeup, makeupGainOf>},
    /* 12 */ {sw("AutoMakeup", " AutoMakeup "), setSwitch<&S::autoMakeup, kAutoMakeup>},
    /* 13 */ {sw(" HighSCF ", " HighBoost ", " HighCut "), designShelves},
    /* 14 */ {exponentialRow(" High ", highKHz, 2, "kHz", highHz), designShelves},
    /* 15 */ {sw(" LowSCF ", " LowBoost ", " LowCut "), designShelves},
    /* 16 */ {exponentialRow(" Low ", lowHz, 0, "Hz", lowHz), designShelves},
    /* 17 */ {sw("LnkHighCut", " HighCut "), designLinkBand},
    /* 18 */ {sw("LnkLowCut", " LowCut "), designLinkBand},
    /* 19 */
    {numberRow(" Link", percent, 0, "%", percent), setMapped<&S::linkAmount, kLink, linkAmountOf>},
    /* 20 */ {tiltRow(" Tilt ", tiltPercent), designRatio},
    /* 21 */
    {numberRow(" Mix ", percent, 0, "%", percent), setMapped<&S::mixAmount, kMix, fractionOf>},
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
    /* 36 */ {numberRow(" VU Integr ", vuIntegrationMs, 1, "ms", vuIntegrationMs), designMeters},
    /* 37 */ {numberRow(" VU Refer ", vuReferenceDb, 2, "dBFS", vuReference), designMeters},
    /* 38 */ {numberRow(" PPM Integr ", ppmIntegrationMs, 1, "ms", ppmIntegrationMs), designMeters},
    /* 39 */ {numberRow(" PPM Return ", ppmReturnMs, 0, "ms", ppmReturnMs), designMeters},
    /* 40 */ {numberRow(" OverIndic ", overSamples, 0, "smps", overSamples), designMeters},
};

}  // namespace grandpress
