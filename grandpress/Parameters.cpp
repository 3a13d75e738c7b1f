#include "grandpress/Parameters.h"

#include <array>
#include <cstring>

#include "grandpress/FactoryPrograms.h"
#include "grandpress/Mappings.h"
#include "shell/DisplayNumber.h"

namespace grandpress {
namespace {

// Mappings shown by display texts and read-outs, in the units of each text.
double switchValue(float v) {
    return switchOf(v);
}
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

int metersStep(float v) {
    const int m = metersSourceOf(v);
    return m < 0 ? 0 : (m > 2 ? 2 : m);
}

constexpr const char* kOn = " On ";
constexpr const char* kMeterSources[3] = {" Pre ", " GainRed ", " Post "};
constexpr const char* kOff = " Off ";

using D = DisplayKind;
using H = HostProperties;

constexpr ParamSpec sw(const char* name, const char* on = kOn, const char* off = kOff,
                       ValueMap editor = switchValue) {
    return {name, D::Switch, on, off, nullptr, 0, "", editor, H::Switch};
}
using units::Curve;
constexpr ParamSpec num(const char* name, ValueMap physical, int decimals, const char* unit,
                        ValueMap editor, Curve curve = Curve::Linear) {
    return {name, D::Number, nullptr, nullptr, physical, decimals, unit, editor, H::None, curve};
}
constexpr ParamSpec expNum(const char* name, ValueMap physical, int decimals, const char* unit,
                           ValueMap editor) {
    return num(name, physical, decimals, unit, editor, Curve::Exponential);
}
constexpr ParamSpec spare() {
    return {" - ", D::Empty, nullptr, nullptr, nullptr, 0, "", nullptr, H::None};
}

const ParamSpec kTable[kNumParams] = {
    /* 0 */ sw(" Power ", kOn, kOff, nullptr),
    /* 1 */ sw(" FAT "),
    /* 2 */ sw(" Soft "),
    /* 3 */ sw(" RMS "),
    /* 4 */ sw(" Limiter "),
    /* 5 */ num(" Threshold ", thresholdDb, 2, "dB", thresholdLineDb),
    /* 6 */
    {" Ratio ", D::Number, nullptr, nullptr, ratioValue, 2, " : 1", ratioValue, H::None,
     Curve::Exponential, ratioStepOf, 21},
    /* 7 */ expNum(" Attack ", attackMs, 2, "ms", attackMs),
    /* 8 */ sw("AutoAttck"),
    /* 9 */ expNum(" Release ", releaseSeconds, 1, "s", releaseMs),
    /* 10 */ sw(" AutoRel "),
    /* 11 */ num(" Makeup ", makeupDb, 2, "dB", makeupLineDb),
    /* 12 */ sw("AutoMakeup", " AutoMakeup "),
    /* 13 */ sw(" HighSCF ", " HighBoost ", " HighCut "),
    /* 14 */ expNum(" High ", highKHz, 2, "kHz", highHz),
    /* 15 */ sw(" LowSCF ", " LowBoost ", " LowCut "),
    /* 16 */ expNum(" Low ", lowHz, 0, "Hz", lowHz),
    /* 17 */ sw("LnkHighCut", " HighCut "),
    /* 18 */ sw("LnkLowCut", " LowCut "),
    /* 19 */ num(" Link", percent, 0, "%", percent),
    /* 20 */ {" Tilt ", D::Tilt, nullptr, nullptr, tiltPercent, 0, "", tiltPercent, H::None},
    /* 21 */ num(" Mix ", percent, 0, "%", percent),
    /* 22 */ num(" Output ", outputDb, 2, "dB", outputLineDb),
    /* 23 */ {" Meters ", D::Meters, nullptr, nullptr, nullptr, 0, "", nullptr, H::Half},
    /* 24 */ sw(" Classic "),
    /* 25 */ sw("S.C.Ext", "S.C.Ext"),
    /* 26 */ sw("Smooth", kOn, kOff, nullptr),
    /* 27..33 */ spare(),
    spare(),
    spare(),
    spare(),
    spare(),
    spare(),
    spare(),
    /* 34 */ spare(),
    /* 35 */ sw("S.C.Monit", "S.C.Monit", " Off     "),
    /* 36 */ num(" VU Integr ", vuIntegrationMs, 1, "ms", vuIntegrationMs),
    /* 37 */ num(" VU Refer ", vuReferenceDb, 2, "dBFS", vuReference),
    /* 38 */ num(" PPM Integr ", ppmIntegrationMs, 1, "ms", ppmIntegrationMs),
    /* 39 */ num(" PPM Return ", ppmReturnMs, 0, "ms", ppmReturnMs),
    /* 40 */ num(" OverIndic ", overSamples, 0, "smps", overSamples),
};

const ParamSpec kEmptyRow = spare();

}  // namespace

const ParamSpec& paramSpec(int index) {
    return index >= 0 && index < kNumParams ? kTable[index] : kEmptyRow;
}

void formatParamDisplay(int index, float v, char* text) {
    const ParamSpec& spec = paramSpec(index);
    text[0] = 0;
    switch (spec.display) {
        case DisplayKind::Empty:
            break;
        case DisplayKind::Switch:
            std::strcpy(text, v >= 0.5f ? spec.onText : spec.offText);
            break;
        case DisplayKind::Number:
            formatDisplayValue(spec.physical(v), spec.decimals, spec.unit, text);
            break;
        case DisplayKind::Tilt:
            if (v > 0.51f)
                formatDisplayValue((v - 0.5) * 100.0, 0, "R", text);
            else if (v < 0.49f)
                formatDisplayValue((0.5 - v) * 100.0, 0, "L", text);
            else
                std::strcpy(text, "C");
            break;
        case DisplayKind::Meters:
            // The source the engine meters: one function decides both.
            std::strcpy(text, kMeterSources[metersStep(v)]);
            break;
    }
}

float editorValueOf(int index, float v) {
    const ParamSpec& spec = paramSpec(index);
    return spec.editorValue ? static_cast<float>(spec.editorValue(v)) : 0.0f;
}

bool fillParamProperties(int index, VstParameterProperties* p) {
    const ParamSpec& spec = paramSpec(index);
    if (spec.properties == HostProperties::None) return false;
    const bool isSwitch = spec.properties == HostProperties::Switch;
    const float step = isSwitch ? 1.0f : 0.5f;
    std::memset(p, 0, sizeof *p);
    p->flags = kVstParameterUsesFloatStep | (isSwitch ? kVstParameterIsSwitch : 0);
    p->stepFloat = p->smallStepFloat = p->largeStepFloat = step;
    std::strncpy(p->label, spec.name, sizeof p->label - 1);
    std::strncpy(p->shortLabel, spec.name, 7);
    return true;
}

namespace {

// The units description of row `index`, on the display text's scale or on the editor's.
units::Param unitRow(int index, bool editorScale) {
    const ParamSpec& spec = paramSpec(index);
    units::Param p;
    p.name = spec.name;
    if (index < kNumHostParams)
        p.defaultValue = static_cast<float>(kFactoryPrograms[0].values[index]);
    p.curve = spec.curve;
    switch (spec.display) {
        case DisplayKind::Empty:
            p.hidden = true;
            break;
        case DisplayKind::Switch:
            p.kind = units::Kind::Switch;
            p.step = switchOf;
            p.steps = 2;
            p.texts[0] = spec.offText;
            p.texts[1] = spec.onText;
            break;
        case DisplayKind::Meters:
            p.kind = units::Kind::Stepped;
            p.step = metersStep;
            p.steps = 3;
            for (int k = 0; k < 3; ++k) p.texts[k] = kMeterSources[k];
            break;
        case DisplayKind::Tilt:
            p.unit = units::Unit::Balance;
            p.value = editorScale ? spec.editorValue : spec.physical;
            break;
        case DisplayKind::Number:
            p.kind = spec.steps ? units::Kind::Stepped : units::Kind::Continuous;
            p.step = spec.step;
            p.steps = spec.steps;
            p.unit = units::unitOfDisplay(spec.unit);
            p.decimals = spec.decimals;
            p.value = editorScale ? spec.editorValue : spec.physical;
            break;
    }
    return p;
}

template <bool editorScale>
const units::Param& unitTable(int index) {
    static const auto kRows = [] {
        std::array<units::Param, kNumHostParams + 1> rows;
        for (int i = 0; i <= kNumHostParams; ++i) rows[i] = unitRow(i, editorScale);
        return rows;
    }();
    return kRows[index >= 0 && index < kNumHostParams ? index : kNumHostParams];
}

}  // namespace

const units::Param& unitParam(int index) {
    return unitTable<false>(index);
}

float normalisedOfEditorValue(int index, double x) {
    const units::Param& p = unitTable<true>(index);
    return p.hidden ? 0.0f : units::normalisedOf(p, x);
}

}  // namespace grandpress
