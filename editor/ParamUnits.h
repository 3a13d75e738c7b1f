// Parameters in the units people use. For each host parameter of an engine: its kind (switch,
// stepped, continuous), its unit, physical range and default, the physical value of a normalised
// value and the nearest normalised value of a physical one; and the reading of typed values
// ("-12dB", "4:1", "10ms", "0.5s", "2k5", "2.5kHz", "60%", "25L", "on", a display text).
//
// The engines describe their host parameters from their own parameter tables
// (grandpress::unitParam, tinypress::unitParam); the editor's typed entry, the command-line tools
// and other adaptors read them through the functions here, so there is one parser and one
// inverse mapping. Pure functions; any thread; allocates nothing.
#pragma once

#include <cstddef>

namespace units {

enum class Unit {
    None,  // a plain number (switch and selector steps, hidden values)
    Decibel,
    Millisecond,
    Second,
    Hertz,
    Kilohertz,
    Percent,
    Ratio,    // "4:1"
    Balance,  // left/right weighting in percent: "25L" is -25, "C" 0, "25R" +25
};

enum class Kind {
    Switch,      // off or on
    Stepped,     // one of `steps` values
    Continuous,  // any value of the range
};

// How a continuous value runs between its ends; for stepped values, how the distance between a
// wanted value and a step is measured (ratios compare as quotients).
enum class Curve { Linear, Exponential };

using ValueMap = double (*)(float v);
using StepMap = int (*)(float v);

// One host parameter in physical units.
struct Param {
    const char* name = " - ";  // as the host reads it, padding blanks included
    Kind kind = Kind::Continuous;
    Unit unit = Unit::None;
    Curve curve = Curve::Linear;
    // Normalised -> physical value in `unit`. Stepped rows without one count their steps 0, 1, ...
    // A hidden row without one is its normalised value.
    ValueMap value = nullptr;
    StepMap step = nullptr;     // Switch and Stepped: normalised -> step 0 .. steps-1
    int steps = 0;              // 2 for a switch
    const char* texts[3] = {};  // Switch and three-step rows: the display text of each step
    int decimals = 0;           // of the display text
    float defaultValue = 0.0f;  // normalised value a new instance runs with
    bool hidden = false;        // stored in programs, drives nothing
};

struct Range {
    double min, max;
};

// The physical value of normalised `v` (for switches and unnamed steps, the step number).
double physicalOf(const Param& p, float v);
// The physical range and the physical default.
Range rangeOf(const Param& p);
double defaultOf(const Param& p);
// The normalised value that stands for step `k` (k/(steps-1) where that lies inside the step).
float stepValue(const Param& p, int k);
// The nearest normalised value the parameter takes for physical `x` (clamped to the range): the
// inverse of the continuous curve, or the nearest step. A NaN gives 0.
float normalisedOf(const Param& p, double x);

// Number reading shared by every typed entry: an optional "-", the integer digits, then after
// ",", "." or "k" the fraction digits; "k" scales by 1000 (2k5 reads 2500, 2k reads 2000).
// Returns the end of the number, or null when `text` does not start with a digit or "-".
const char* scanNumber(const char* text, double* value);

// A typed number with the unit written after it (Unit::None when there is none).
struct Quantity {
    double value = 0.0;
    Unit unit = Unit::None;
    bool kilo = false;  // a bare number written with "k" (2k5)
};
// Reads a number and an optional unit ("dB", "ms", "s", "Hz", "kHz", "%", ":1", "L", "R"; any
// case, blanks around them allowed), or "C" (the centre of a balance) or "oo"/"inf" (the
// infinite ratio). A leading "+" is allowed. False when anything else is in the text.
bool readQuantity(const char* text, Quantity* quantity);
// `q` in `target`'s unit (ms and s, Hz and kHz convert; a bare number is taken as it stands,
// except that one written with "k" counts in the smaller unit: "2k5" is 2500 Hz, or 2500 ms);
// false when the units measure different things.
bool convert(const Quantity& q, Unit target, double* out);

// The step whose display text is `text` (blanks and case ignored); for switches also "on" and
// "off". -1 when none.
int stepOfText(const Param& p, const char* text);

// A value given for a parameter by name: a bare number is the normalised 0..1 host value; a
// number with a unit or written with "k", a switch word or a display text is physical and becomes
// the nearest value the parameter takes. `normalised` is set when `status` is Ok.
enum class Status {
    Ok,
    NotAValue,       // no number, unit or text this parameter knows
    WrongUnit,       // a unit of another quantity
    OutOfRange,      // physical value outside the range (beyond half a display step)
    NormalisedRange  // bare number outside 0..1
};
struct Setting {
    Status status = Status::NotAValue;
    float normalised = 0.0f;
    bool physical = false;  // given in physical units or as a text
};
Setting readSetting(const Param& p, const char* text);

// The unit of a display text's unit suffix ("dB", "ms", " : 1", ...); Unit::None if unknown.
Unit unitOfDisplay(const char* suffix);
// A short name of the unit for lists and messages: "dB", "ms", "s", "Hz", "kHz", "%", ":1",
// "L..R"; "" for Unit::None.
const char* unitName(Unit unit);
// Writes physical value `x` of `p` with its decimals (rounded) and unit, e.g. "-12.04 dB",
// "4:1", "2.50 kHz", "25L"; `out` holds `size` bytes.
void formatPhysical(const Param& p, double x, char* out, std::size_t size);

}  // namespace units
