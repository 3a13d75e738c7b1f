#include "presets/ParamTable.h"

#include <cmath>
#include <cstring>

#include "editor/MeterBallistics.h"
#include "shell/DisplayNumber.h"

namespace param_table {
namespace {

void formatTilt(float v, char* text) {
    if (v > 0.51f)
        formatDisplayValue((v - 0.5) * 100.0, 0, "R", text);
    else if (v < 0.49f)
        formatDisplayValue((0.5 - v) * 100.0, 0, "L", text);
    else
        std::strcpy(text, "C");
}

void describeSteps(units::Param& p, units::Kind kind, units::StepMap step, int steps) {
    p.kind = kind;
    p.step = step;
    p.steps = steps;
}

}  // namespace

double vuReferenceDb(float v) {
    return 20.0 * std::log10(meter_settings::vuReferenceOf(v));
}

double overSamplesValue(float v) {
    return meter_settings::overSamplesOf(v);
}

void formatDisplay(const ParamSpec& spec, float v, char* text) {
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
        case DisplayKind::Tilt:
            formatTilt(v, text);
            break;
        case DisplayKind::Selector:  // the position the editor's switch lights
        case DisplayKind::Meters:
            // The lit position and the metered source: one function decides both.
            std::strcpy(text, spec.texts[threeStateStep(v)]);
            break;
    }
}

float editorValueOf(const ParamSpec& spec, float v) {
    return spec.editorValue ? static_cast<float>(spec.editorValue(v)) : 0.0f;
}

bool fillProperties(const ParamSpec& spec, VstParameterProperties* p) {
    if (!p || spec.properties == HostProperties::None) return false;
    const bool isSwitch = spec.properties == HostProperties::Switch;
    const float step = isSwitch ? 1.0f : 0.5f;
    std::memset(p, 0, sizeof *p);
    p->flags = kVstParameterUsesFloatStep | (isSwitch ? kVstParameterIsSwitch : 0);
    p->stepFloat = p->smallStepFloat = p->largeStepFloat = step;
    std::strncpy(p->label, spec.name, sizeof p->label - 1);
    std::strncpy(p->shortLabel, spec.name, 7);
    return true;
}

units::Param unitRow(const ParamSpec& spec, float defaultValue, bool editorScale) {
    units::Param p;
    p.name = spec.name;
    p.defaultValue = defaultValue;
    p.curve = spec.curve;
    switch (spec.display) {
        case DisplayKind::Empty:
            // Stored, drives nothing; the host may still see it as a switch.
            p.hidden = true;
            if (spec.properties == HostProperties::Switch)
                describeSteps(p, units::Kind::Switch, switchStep, 2);
            break;
        case DisplayKind::Switch:
            describeSteps(p, units::Kind::Switch, switchStep, 2);
            p.texts[0] = spec.texts[0];
            p.texts[1] = spec.texts[1];
            break;
        case DisplayKind::Selector:
        case DisplayKind::Meters:
            describeSteps(p, units::Kind::Stepped, threeStateStep, 3);
            for (int k = 0; k < 3; ++k) p.texts[k] = spec.texts[k];
            break;
        case DisplayKind::Tilt:
            p.unit = units::Unit::Balance;
            p.value = editorScale ? spec.editorValue : spec.physical;
            break;
        case DisplayKind::Number:
            describeSteps(p, spec.steps ? units::Kind::Stepped : units::Kind::Continuous, spec.step,
                          spec.steps);
            p.unit = units::unitOfDisplay(spec.unit);
            p.decimals = spec.decimals;
            p.value = editorScale ? spec.editorValue : spec.physical;
            break;
    }
    return p;
}

float normalisedOfEditorValue(const units::Param& row, double x) {
    return row.hidden ? 0.0f : units::normalisedOf(row, x);
}

}  // namespace param_table
