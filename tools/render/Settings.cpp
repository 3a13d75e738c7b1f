// Bank, program, preset and PARAM=VALUE settings of a render, and the texts that describe a
// parameter's values.
#include "render/Settings.h"

#include "editor/ParamUnits.h"
#include "render/PluginSession.h"
#include "render/Render.h"

namespace render {
namespace {

std::string physical(const units::Param& p, double x) {
    char text[48];
    units::formatPhysical(p, x, text, sizeof text);
    return text;
}

// Why `text` is no value of parameter `name`, and what it takes instead.
std::string refusal(const units::Param& p, units::Status status, const std::string& name,
                    const std::string& text) {
    const std::string takes = valuesOf(p);
    const std::string given = "'" + text + "' for " + name;
    switch (status) {
        case units::Status::OutOfRange:
            return given + " is outside its range " + takes;
        case units::Status::WrongUnit:
            return given + " has the wrong unit: " + name + " takes " + takes;
        case units::Status::NormalisedRange:
            return given + " is a normalised value and must be in 0..1" +
                   (p.unit != units::Unit::None
                        ? std::string("; a physical value needs its unit (") +
                              units::unitName(p.unit) + "), " + name + " takes " + takes
                        : "; " + name + " takes " + takes);
        case units::Status::NotAValue:
        case units::Status::Ok:
            break;
    }
    return given + " is not a value: " + name + " takes a normalised 0..1 value or " + takes;
}

bool readValue(PluginSession& session, int index, const std::string& name, const std::string& text,
               AppliedSetting* applied, std::string* error) {
    const units::Param* p = session.unitParam(index);
    if (!p) {
        // Another plug-in's parameters are normalised only.
        units::Quantity q;
        if (!units::readQuantity(text.c_str(), &q) || q.unit != units::Unit::None || q.kilo ||
            !(q.value >= 0.0 && q.value <= 1.0)) {
            *error = "'" + text + "' for " + name + " must be a number in 0..1";
            return false;
        }
        applied->value = static_cast<float>(q.value);
        return true;
    }
    const units::Setting s = units::readSetting(*p, text.c_str());
    if (s.status != units::Status::Ok) {
        *error = refusal(*p, s.status, name, text);
        return false;
    }
    applied->value = s.normalised;
    applied->physical = s.physical;
    return true;
}

}  // namespace

std::string valuesOf(const units::Param& p) {
    if (p.hidden) return "0..1 (unused)";
    if (p.kind == units::Kind::Switch) {
        const std::string off = physical(p, 0), on = physical(p, 1);
        const bool plain = on == "on" || on == "On";
        return plain ? "on or off" : on + " or " + off + " (on or off)";
    }
    if (p.kind == units::Kind::Stepped && !p.value) {
        std::string list;
        for (int k = 0; k < p.steps; ++k)
            list += (k == 0 ? "" : (k + 1 == p.steps ? " or " : ", ")) + physical(p, k);
        return list;
    }
    const units::Range r = units::rangeOf(p);
    std::string range = physical(p, r.min) + " .. " + physical(p, r.max);
    if (p.kind == units::Kind::Stepped) range += " in " + std::to_string(p.steps) + " steps";
    return range;
}

bool applySettings(PluginSession& session, const RenderRequest& request, bool* metersChosen,
                   std::string* error, std::vector<AppliedSetting>* applied) {
    if (!request.bank.empty() && !session.loadBankFile(request.bank, request.endianReversed, error))
        return false;
    if (!request.program.empty() && !session.selectProgram(request.program, error)) return false;
    if (!request.preset.empty() &&
        !session.loadPresetFile(request.preset, request.endianReversed, error))
        return false;
    if (request.baseline) session.useBaselineKernels();
    *metersChosen = false;
    for (const auto& [name, text] : request.settings) {
        const int index = session.findParameter(name);
        if (index < 0) {
            *error = session.unknownParameter(name);
            return false;
        }
        AppliedSetting setting;
        setting.index = index;
        setting.name = session.parameterName(index);
        if (!readValue(session, index, setting.name, text, &setting, error)) return false;
        session.plugin().setParameter(index, setting.value);
        setting.display = trimmed(session.plugin().parameterDisplay(index));
        *metersChosen |= setting.name == "Meters";
        if (applied) applied->push_back(setting);
    }
    return true;
}

}  // namespace render
