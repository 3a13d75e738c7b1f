// The master compressor's parameter table: one row per index drives the name, the display text,
// the editor's physical value and the host properties. Indices 0..33 are host parameters (27..33
// spare), 34 is empty, 35..40 engine-only (side-chain monitor, meter ballistics).
// Pure data and functions; any thread.
#pragma once

#include "editor/ParamUnits.h"
#include "shell/vst2.h"

namespace grandpress {

enum Param : int {
    kPower = 0,
    kFat,
    kSoft,
    kRms,
    kLimiter,
    kThreshold,
    kRatio,
    kAttack,
    kAutoAttack,
    kRelease,
    kAutoRelease,
    kMakeup,
    kAutoMakeup,
    kHighScf,
    kHigh,
    kLowScf,
    kLow,
    kLinkHighCut,
    kLinkLowCut,
    kLink,
    kTilt,
    kMix,
    kOutput,
    kMeters,
    kClassic,
    kScExt,
    kSmooth,
    kFirstSpare = 27,
    kLastSpare = 33,
    kNoParam = 34,
    kScMonitor = 35,
    kVuIntegration = 36,
    kVuReference = 37,
    kPpmIntegration = 38,
    kPpmReturn = 39,
    kOverIndicator = 40,
    kNumParams = 41,  // engine-side values 0..40
};

constexpr int kNumHostParams = 34;

enum class DisplayKind {
    Empty,   // no text
    Switch,  // onText when the switch is on (v >= 0.5), else offText
    Number,  // physical value with `decimals`, then `unit`
    Tilt,    // "C" near the centre, else the percentage towards L or R
    Meters,  // " Pre ", " GainRed ", " Post "
};

enum class HostProperties {
    None,    // getParameterProperties answers false
    Switch,  // switch with float steps of 1
    Half,    // float steps of 0.5 (the three-way meter source)
};

using ValueMap = double (*)(float v);

struct ParamSpec {
    const char* name;
    DisplayKind display;
    const char* onText;    // Switch rows
    const char* offText;   // Switch rows
    ValueMap physical;     // Number rows: the value the display text shows
    int decimals;          // Number rows
    const char* unit;      // Number rows
    ValueMap editorValue;  // what the editor's read-outs show (null: 0)
    HostProperties properties;
    // Number and Tilt rows: how `physical` and `editorValue` run between their ends (for the
    // stepped Ratio, how distances between ratios are measured).
    units::Curve curve = units::Curve::Linear;
    units::StepMap step = nullptr;  // Number rows with steps (Ratio): normalised -> step
    int steps = 0;
};

// Row `index` of the table (0..40); any other index answers the empty row " - ".
const ParamSpec& paramSpec(int index);

// Writes the display text of `index` at normalised value `v`. `text` needs 24 bytes.
void formatParamDisplay(int index, float v, char* text);

// The physical value the editor shows for `index` (units of its read-out).
float editorValueOf(int index, float v);

// Fills the host's properties record; false when the index has none.
bool fillParamProperties(int index, VstParameterProperties* properties);

// Host parameter `index` (0..33) in physical units: kind, unit, range, default (factory program
// 0, what a new instance runs), display-text values and their inverse (see editor/ParamUnits.h).
// Any other index answers a hidden row.
const units::Param& unitParam(int index);

// The nearest normalised value of `index` for a value in the units of its editor read-out
// (editorValueOf), for typed entries; 0 for an index without a read-out value.
float normalisedOfEditorValue(int index, double x);

}  // namespace grandpress
