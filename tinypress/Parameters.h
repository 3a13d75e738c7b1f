// The stereo mastering compressor's parameter table: one row per index drives the name, the
// display text, the editor's physical value and the host properties. Indices 0..33 are host
// parameters; several of them are hidden (" - ") and only keep the family's common layout, so
// programs, chunks and automation line up with the larger sibling. 34 is empty; 35..40 are set
// by the editor (side-chain monitor, meter ballistics).
// Pure data and functions; any thread.
#pragma once

#include "editor/ParamUnits.h"
#include "shell/vst2.h"

namespace tinypress {

enum Param : int {
    kPower = 0,
    kReset = 1,  // hidden; any write resets the signal path
    kSoft = 2,
    kRms = 3,
    kHiddenSwitch = 4,
    kThreshold = 5,
    kRatio = 6,
    kHidden7 = 7,
    kAttack = 8,
    kHidden9 = 9,
    kRelease = 10,
    kAutoRelease = 11,
    kLowScf = 12,
    kLowCorner = 13,  // hidden
    kHighScf = 14,
    kHighCorner = 15,  // hidden
    kMakeup = 16,
    kAutoMakeup = 17,
    kHidden18 = 18,
    kHidden19 = 19,
    kLink = 20,
    kHidden21 = 21,
    kMix = 22,
    kOutput = 23,
    kMeters = 24,
    kClassic = 25,
    kScExt = 26,
    kSmooth = 27,
    kStereo = 28,
    kFirstSpare = 29,
    kLastSpare = 33,
    kNoParam = 34,
    kScMonitor = 35,
    kVuIntegration = 36,
    kVuReference = 37,
    kPpmIntegration = 38,
    kPpmReturn = 39,
    kOverIndicator = 40,
    kNumParams = 41,  // engine-side values 0..40
    // Editor-only indices that set and clear the preset system's two-state flag.
    kPresetFlagOn = 54,
    kPresetFlagOff = 55,
};

constexpr int kNumHostParams = 34;

enum class DisplayKind {
    Empty,     // no text
    Switch,    // texts[1] when v >= 0.5, else texts[0]
    Number,    // physical value with `decimals`, then `unit`
    Selector,  // side-chain filter mode int(2v + 0.5) against 0.33333 / 0.665 -> texts[0..2]
    Meters,    // v against 0.33 / 0.66 -> texts[0..2]
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
    const char* texts[3];  // Switch, Selector and Meters rows
    ValueMap physical;     // Number rows: the value the display text shows
    int decimals;          // Number rows
    const char* unit;      // Number rows
    ValueMap editorValue;  // what the editor's read-outs show (null: 0)
    HostProperties properties;
    // Number rows: how `physical` and `editorValue` run between their ends (for the stepped
    // Ratio, how distances between ratios are measured).
    units::Curve curve = units::Curve::Linear;
    units::StepMap step = nullptr;  // Number rows with steps (Ratio): normalised -> step
    int steps = 0;
};

// Row `index` of the table (0..40); any other index answers the hidden row " - ".
const ParamSpec& paramSpec(int index);

// Writes the display text of `index` at normalised value `v`. `text` needs 24 bytes.
void formatParamDisplay(int index, float v, char* text);

// The physical value the editor shows for `index` at normalised value `v`.
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

}  // namespace tinypress
