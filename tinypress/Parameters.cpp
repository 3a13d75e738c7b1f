#include "tinypress/Parameters.h"

#include <array>
#include <cstring>

#include "shell/DisplayNumber.h"
#include "tinypress/FactoryPrograms.h"
#include "tinypress/Mappings.h"

namespace tinypress {
namespace {

// Mappings shown by display texts and read-outs, in the units of each text.
double switchValue(float v) {
    return switchOf(v);
}
double selectorValue(float v) {
    return selectorOf(v);
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
double makeupDb(float v) {
    return gainDb(makeupGainOf(v));
}
double percent(float v) {
    return 100.0 * v;
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
// The straight-line scales of the editor's read-outs; they deliberately differ slightly from
// the exact working values (the knob scales are printed this way).
double thresholdLineDb(float v) {
    return 6.0 - 36.0 * v;
}
double releaseLineMs(float v) {
    return 33.3333 * std::pow(100.0, static_cast<double>(v));
}
double lowCornerLineHz(float v) {
    return 25.0 * std::pow(16.0, static_cast<double>(v));
}
double highCornerLineHz(float v) {
    return 1000.0 * std::pow(16.0, static_cast<double>(v));
}
double makeupLineDb(float v) {
    return 36.0 * v - 12.0;
}
double centredPercent(float v) {
    return (v - 0.5) * 100.0;
}
// The output display and read-out use the line 18 v - 12 dB, not 20 log10 of the target gain.
double outputLineDb(float v) {
    return 18.0 * v - 12.0;
}

// The three-state selectors (side-chain filter modes, meter source) as steps 0..2.
int selectorStep(float v) {
    const int m = selectorOf(v);
    return m < 0 ? 0 : (m > 2 ? 2 : m);
}

using D = DisplayKind;
using H = HostProperties;
using units::Curve;

constexpr const char* kHidden = " - ";

constexpr ParamSpec sw(const char* name, const char* on, const char* off,
                       ValueMap editor = switchValue) {
    return {name, D::Switch, {off, on, nullptr}, nullptr, 0, "", editor, H::Switch};
}
constexpr ParamSpec num(const char* name, ValueMap physical, int decimals, const char* unit,
                        ValueMap editor, Curve curve = Curve::Linear) {
    return {name, D::Number, {}, physical, decimals, unit, editor, H::None, curve};
}
constexpr ParamSpec expNum(const char* name, ValueMap physical, int decimals, const char* unit,
                           ValueMap editor) {
    return num(name, physical, decimals, unit, editor, Curve::Exponential);
}
constexpr ParamSpec selector(const char* name, const char* cut, const char* flat,
                             const char* boost) {
    return {name, D::Selector, {cut, flat, boost}, nullptr, 0, "", selectorValue, H::Half};
}
// A row without a display text; it may still have a read-out and host properties.
constexpr ParamSpec silent(const char* name = kHidden, ValueMap editor = nullptr,
                           H properties = H::None) {
    return {name, D::Empty, {}, nullptr, 0, "", editor, properties};
}

const ParamSpec kTable[kNumParams] = {
    /* 0 */ sw(" Power ", "On", "Off", nullptr),
    /* 1 */ silent(kHidden, switchValue, H::Switch),
    /* 2 */ sw(" Soft ", "Soft", "Hard"),
    /* 3 */ sw(" RMS ", "RMS", "Peak"),
    /* 4 */ silent(kHidden, switchValue, H::Switch),
    /* 5 */ num("Threshold ", thresholdDb, 2, "dB", thresholdLineDb),
    /* 6 */
    {"Ratio ",
     D::Number,
     {},
     ratioValue,
     2,
     " : 1",
     ratioValue,
     H::None,
     Curve::Exponential,
     ratioStepOf,
     21},
    /* 7 */ silent(),
    /* 8 */ expNum("Attack ", attackMs, 2, "ms", attackMs),
    /* 9 */ silent(),
    /* 10 */ expNum("Release ", releaseSeconds, 2, "s", releaseLineMs),
    /* 11 */ sw("AutoRel ", "On", "Off"),
    /* 12 */ selector(" LowSCF ", "LoCut", "LoFlat", "LoBoost"),
    /* 13 */ silent(kHidden, lowCornerLineHz),
    /* 14 */ selector(" HighSCF ", "HiCut", "HiFlat", "HiBoost"),
    /* 15 */ silent(kHidden, highCornerLineHz),
    /* 16 */ num("Makeup ", makeupDb, 2, "dB", makeupLineDb),
    /* 17 */ sw("AutoMakeup", "AutoMakeup", "Off"),
    /* 18 */ silent(kHidden, switchValue, H::Switch),
    /* 19 */ silent(kHidden, switchValue, H::Switch),
    /* 20 */ sw(" Link", "Linked", "Off"),
    /* 21 */ silent(kHidden, centredPercent),
    /* 22 */ num("Mix ", percent, 0, "%", percent),
    /* 23 */ num("Output ", outputLineDb, 2, "dB", outputLineDb),
    /* 24 */ {"Meters ", D::Meters, {"Pre", "GainRed", "Post"}, nullptr, 0, "", nullptr, H::Half},
    /* 25 */ silent("Classic ", switchValue, H::Switch),
    /* 26 */ sw("S.C.Ext", "S.C.Ext", "Off"),
    /* 27 */ sw("Smooth", "Smooth", "Draft", nullptr),
    /* 28 */ sw("Stereo", "Stereo", "Mono"),
    /* 29..33 */ silent(),
    silent(),
    silent(),
    silent(),
    silent(),
    /* 34 */ silent(""),  // not a parameter at all: no name
    /* 35 */ sw("S.C.Monit", "S.C.Monit", "Off"),
    /* 36 */ num("VU Integr ", vuIntegrationMs, 1, "ms", vuIntegrationMs),
    /* 37 */ num("VU Refer ", vuReferenceDb, 2, "dBFS", vuReference),
    /* 38 */ num("PPM Integr ", ppmIntegrationMs, 1, "ms", ppmIntegrationMs),
    /* 39 */ num("PPM Return ", ppmReturnMs, 0, "ms", ppmReturnMs),
    /* 40 */ num("OverIndic ", overSamples, 0, "smps", overSamples),
};

const ParamSpec kHiddenRow = silent();

}  // namespace

const ParamSpec& paramSpec(int index) {
    return index >= 0 && index < kNumParams ? kTable[index] : kHiddenRow;
}

void formatParamDisplay(int index, float v, char* text) {
    const ParamSpec& spec = paramSpec(index);
    text[0] = 0;
    switch (spec.display) {
        case DisplayKind::Empty:
            break;
        case DisplayKind::Switch:
            std::strcpy(text, spec.texts[v >= 0.5f ? 1 : 0]);
            break;
        case DisplayKind::Number:
            formatDisplayValue(spec.physical(v), spec.decimals, spec.unit, text);
            break;
        case DisplayKind::Selector:  // the position the editor's switch lights
        case DisplayKind::Meters:
            // The lit position and the metered source: one function decides both.
            std::strcpy(text, spec.texts[selectorStep(v)]);
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
            // Stored, drives nothing; the host sees some of them as switches.
            p.hidden = true;
            if (spec.properties == HostProperties::Switch) {
                p.kind = units::Kind::Switch;
                p.step = switchOf;
                p.steps = 2;
            }
            break;
        case DisplayKind::Switch:
            p.kind = units::Kind::Switch;
            p.step = switchOf;
            p.steps = 2;
            p.texts[0] = spec.texts[0];
            p.texts[1] = spec.texts[1];
            break;
        case DisplayKind::Selector:
        case DisplayKind::Meters:
            p.kind = units::Kind::Stepped;
            p.step = selectorStep;
            p.steps = 3;
            for (int k = 0; k < 3; ++k) p.texts[k] = spec.texts[k];
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
    return p.hidden || !p.value ? 0.0f : units::normalisedOf(p, x);
}

}  // namespace tinypress
