// What the engines' parameter tables share. Each engine keeps one table of rows (its
// Parameters.cpp): a row names the parameter and says how its display text, the editor's read-out,
// the host properties and the physical units follow from the normalised value, and which designer
// builds the engine settings that the parameter drives. Table gives the answers the host,
// the editor and the tools ask of such a table.
//
// Pure data and functions; any thread. The audio thread only calls Table::design, which reads
// the constant rows; the physical-units rows are built on their first use.
#pragma once

#include <array>

#include "editor/MeterBallistics.h"
#include "editor/ParamUnits.h"
#include "shell/FamilyIdentity.h"
#include "shell/vst2.h"

namespace param_table {

// The index layout both plug-ins share: 0..33 are host parameters (each engine names its own),
// 34 is no parameter at all, 35..40 are engine-only (side-chain monitor and meter settings).
inline constexpr int kNumHostParams = 34;
enum SharedParam : int {
    kNoParam = kNumHostParams,
    kScMonitor,
    kVuIntegration,
    kVuReference,
    kPpmIntegration,
    kPpmReturn,
    kOverIndicator,
    kNumParams,  // engine-side values 0..40
};

enum class DisplayKind {
    Empty,     // no text
    Switch,    // texts[1] when v >= 0.5, else texts[0]
    Number,    // physical value with `decimals`, then `unit`
    Tilt,      // "C" near the centre, else the percentage towards L or R
    Selector,  // side-chain filter mode, the step the editor lights (threeStateStep) -> texts[0..2]
    Meters,    // the three-state step of v (threeStateStep) -> texts[0..2]
};

enum class HostProperties {
    None,    // getParameterProperties answers false
    Switch,  // switch with float steps of 1
    Half,    // float steps of 0.5 (three-state selectors)
};

using ValueMap = double (*)(float v);

struct ParamSpec {
    const char* name;
    DisplayKind display;
    const char* texts[3];  // Switch (off, on), Selector and Meters rows
    ValueMap physical;     // Number and Tilt rows: the value the display text shows
    int decimals;          // Number rows
    const char* unit;      // Number rows
    ValueMap editorValue;  // what the editor's read-outs show (null: 0)
    HostProperties properties;
    // Number and Tilt rows: how `physical` and `editorValue` run between their ends (for a
    // stepped row, how distances between steps are measured).
    units::Curve curve = units::Curve::Linear;
    units::StepMap step = nullptr;  // Number rows with steps (Ratio): normalised -> step
    int steps = 0;
};

// A row of an engine's table: what the parameter is and shows, and the designer of the
// settings it drives (null: none).
template <typename Settings>
struct Row {
    ParamSpec spec;
    void (*design)(Settings& s, const float* values) = nullptr;
};

// Switches and three-state selectors are derived in single precision, as (int)(v + 0.5f) on a
// float does: several factory programs sit exactly on the boundaries.
inline int switchStep(float v) {
    return static_cast<int>(v + 0.5f);
}
// The three-state selectors (meter source, side-chain filter modes) as steps 0..2.
inline int threeStateStep(float v) {
    const int m = static_cast<int>(2.0f * v + 0.5f);
    return m < 0 ? 0 : (m > 2 ? 2 : m);
}
inline double switchValue(float v) {
    return switchStep(v);
}
inline double fractionOf(float v) {
    return v;
}

// ---- display maps the family's tables share ----

inline double percentOf(float v) {
    return v * 100.0;
}
inline double centredPercentOf(float v) {
    return (v - 0.5) * 100.0;
}
// The editor's straight-line read-outs of the threshold and make-up knobs, in dB.
inline double thresholdLineDb(float v) {
    return 6.0 - 36.0 * v;
}
inline double makeupLineDb(float v) {
    return 36.0 * v - 12.0;
}
// The meter settings (indices 36..40) that are not already meter_settings' own maps.
double vuReferenceDb(float v);
double overSamplesValue(float v);

// ---- row builders ----

inline constexpr const char* kNoName = " - ";

constexpr ParamSpec switchRow(const char* name, const char* on, const char* off,
                              ValueMap editor = switchValue) {
    return {name,   DisplayKind::Switch,   {off, on, nullptr}, nullptr, 0, "",
            editor, HostProperties::Switch};
}
constexpr ParamSpec numberRow(const char* name, ValueMap physical, int decimals, const char* unit,
                              ValueMap editor, units::Curve curve = units::Curve::Linear) {
    return {name,   DisplayKind::Number,  {},   physical, decimals, unit,
            editor, HostProperties::None, curve};
}
constexpr ParamSpec exponentialRow(const char* name, ValueMap physical, int decimals,
                                   const char* unit, ValueMap editor) {
    return numberRow(name, physical, decimals, unit, editor, units::Curve::Exponential);
}
// A percentage of the normalised value, shown and read out with no decimals (Link, Mix).
constexpr ParamSpec percentRow(const char* name) {
    return numberRow(name, percentOf, 0, "%", percentOf);
}
// A number shown and read out alike that takes `steps` values measured as quotients (Ratio).
constexpr ParamSpec quotientStepsRow(const char* name, ValueMap value, int decimals,
                                     const char* unit, units::StepMap step, int steps) {
    return {name,
            DisplayKind::Number,
            {},
            value,
            decimals,
            unit,
            value,
            HostProperties::None,
            units::Curve::Exponential,
            step,
            steps};
}
constexpr ParamSpec tiltRow(const char* name, ValueMap centredPercent) {
    return {name,           DisplayKind::Tilt,   {}, centredPercent, 0, "",
            centredPercent, HostProperties::None};
}
constexpr ParamSpec selectorRow(const char* name, const char* texts0, const char* texts1,
                                const char* texts2, ValueMap editor) {
    return {name,   DisplayKind::Selector, {texts0, texts1, texts2}, nullptr, 0, "",
            editor, HostProperties::Half};
}
constexpr ParamSpec metersRow(const char* name, const char* pre, const char* gainReduction,
                              const char* post) {
    return {name,    DisplayKind::Meters, {pre, gainReduction, post}, nullptr, 0, "",
            nullptr, HostProperties::Half};
}
// A row without a display text; it may still have a read-out and host properties.
constexpr ParamSpec emptyRow(const char* name = kNoName, ValueMap editor = nullptr,
                             HostProperties properties = HostProperties::None) {
    return {name, DisplayKind::Empty, {}, nullptr, 0, "", editor, properties};
}

// The meter settings (indices 36..40) show and read out alike in both plug-ins; only the names
// differ.
constexpr ParamSpec vuIntegrationRow(const char* name) {
    return numberRow(name, meter_settings::vuIntegrationMsOf, 1, "ms",
                     meter_settings::vuIntegrationMsOf);
}
constexpr ParamSpec vuReferenceRow(const char* name) {
    return numberRow(name, vuReferenceDb, 2, "dBFS", meter_settings::vuReferenceOf);
}
constexpr ParamSpec ppmIntegrationRow(const char* name) {
    return numberRow(name, meter_settings::ppmIntegrationMsOf, 1, "ms",
                     meter_settings::ppmIntegrationMsOf);
}
constexpr ParamSpec ppmReturnRow(const char* name) {
    return numberRow(name, meter_settings::ppmReturnMsOf, 0, "ms", meter_settings::ppmReturnMsOf);
}
constexpr ParamSpec overIndicatorRow(const char* name) {
    return numberRow(name, overSamplesValue, 0, "smps", overSamplesValue);
}

// The knobs both compressors share show and read out alike; only the names differ.
inline double makeupDb(float v) {
    return family::gainDb(family::makeupGainOf(v));
}
constexpr ParamSpec thresholdRow(const char* name) {
    return numberRow(name, family::thresholdDbOf, 2, "dB", thresholdLineDb);
}
constexpr ParamSpec attackRow(const char* name) {
    return exponentialRow(name, family::attackMsOf, 2, "ms", family::attackMsOf);
}
constexpr ParamSpec makeupRow(const char* name) {
    return numberRow(name, makeupDb, 2, "dB", makeupLineDb);
}
// Each engine has its own steps; both show the ratio of the step of v as "R : 1", 21 steps.
constexpr ParamSpec ratioRow(const char* name, ValueMap ratioOfValue, units::StepMap step) {
    return quotientStepsRow(name, ratioOfValue, 2, " : 1", step, 21);
}

// ---- designers shared by the engines ----

// field = the switch step of values[index].
template <auto kField, int kIndex, typename Settings>
void setSwitch(Settings& s, const float* values) {
    s.*kField = switchStep(values[kIndex]);
}
// field = kMap(values[index]).
template <auto kField, int kIndex, auto kMap, typename Settings>
void setMapped(Settings& s, const float* values) {
    s.*kField = kMap(values[kIndex]);
}

// ---- the answers of one row ----

// Writes the display text of `spec` at normalised value `v`. `text` needs 24 bytes.
void formatDisplay(const ParamSpec& spec, float v, char* text);
// The physical value the editor shows (0 for a row without a read-out).
float editorValueOf(const ParamSpec& spec, float v);
// Fills the host's properties record; false when the row has none (or `p` is null).
bool fillProperties(const ParamSpec& spec, VstParameterProperties* p);
// The row in physical units, on the display text's scale or on the editor's read-out scale.
units::Param unitRow(const ParamSpec& spec, float defaultValue, bool editorScale);
// The nearest normalised value for `x` on the editor's scale of `row`; 0 for a hidden row.
float normalisedOfEditorValue(const units::Param& row, double x);

// ---- one engine's table ----

// An engine's table: `kTableRows` is its constant rows (const Row<S>[kNumParams]), and a new
// instance takes its host rows' values from the first of `kPrograms` (its factory programs, each
// with `values`). Rows 0..kNumHostParams-1 are host parameters; every other index answers the row
// " - " without a designer.
template <typename S, auto kTableRows, auto kPrograms>
struct Table {
    using Settings = S;
    static constexpr int kRows = kNumParams;

    // Row `index` of the table; any other index answers the empty row " - ".
    static const ParamSpec& paramSpec(int index) noexcept {
        static constexpr ParamSpec kOutside = emptyRow();
        return inside(index) ? kTableRows[index].spec : kOutside;
    }
    // Writes the display text of `index` at normalised value `v`. `text` needs 24 bytes.
    static void formatParamDisplay(int index, float v, char* text) {
        formatDisplay(paramSpec(index), v, text);
    }
    // The physical value the editor shows for `index` (units of its read-out).
    static float editorValueOf(int index, float v) {
        return param_table::editorValueOf(paramSpec(index), v);
    }
    // Fills the host's properties record; false when the index has none.
    static bool fillParamProperties(int index, VstParameterProperties* p) {
        return fillProperties(paramSpec(index), p);
    }
    // Host parameter `index` in physical units: kind, unit, range, default, display-text values
    // and their inverse (see editor/ParamUnits.h). Any other index answers the row kNumHostParams.
    static const units::Param& unitParam(int index) { return unitTable<false>(index); }
    // The nearest normalised value of `index` for a value in the units of its editor read-out
    // (editorValueOf), for typed entries; 0 for a hidden index.
    static float normalisedOfEditorValue(int index, double x) {
        return param_table::normalisedOfEditorValue(unitTable<true>(index), x);
    }
    // Any thread, audio thread included: recomputes what row `index` drives from `values`.
    static void design(Settings& s, int index, const float* values) noexcept {
        if (inside(index) && kTableRows[index].design) kTableRows[index].design(s, values);
    }

  private:
    static bool inside(int index) noexcept { return index >= 0 && index < kRows; }

    template <bool editorScale>
    static const units::Param& unitTable(int index) {
        static const auto kUnits = [] {
            std::array<units::Param, kNumHostParams + 1> rows;
            for (int i = 0; i <= kNumHostParams; ++i) {
                const float defaultValue =
                    i < kNumHostParams ? static_cast<float>(kPrograms[0].values[i]) : 0.0f;
                rows[i] = unitRow(paramSpec(i), defaultValue, editorScale);
            }
            return rows;
        }();
        return kUnits[index >= 0 && index < kNumHostParams ? index : kNumHostParams];
    }
};

}  // namespace param_table
