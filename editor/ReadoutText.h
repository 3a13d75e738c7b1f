// The texts of the editor's value read-outs and setting displays, and the typed-entry rules of
// the read-outs: pure functions of physical values (the effect's getDisplayValue) and of the
// typed text. Any thread; allocates nothing.
#pragma once

#include <cstddef>

namespace readout {

// The kind of quantity a knob read-out shows; it picks decimals, offsets and suffixes.
enum class Kind {
    Threshold,  // dB, 2 decimals (rounds up from -0.0025 on)
    Gain,       // dB, 2 decimals (Makeup, Output: rounds up above -0.0025)
    Ratio,      // " : 1", "oo" for the largest steps
    Attack,     // ms with 3..0 decimals, s from 1000 ms on (open text only)
    Release,    // ms below 1000, s from there
    High,       // Hz shown as kHz, 1 decimal
    Low,        // Hz, no decimals
    Percent,    // %, no decimals (Link, Mix)
    Tilt,       // "C", or the distance from the centre with "L" / "R"
};

// When a text is written: when the editor opens; while the mouse hovers over the knob; after
// the effect reports a change (host automation, program load, typed entry).
enum class Occasion { Open, Hover, HostUpdate };

// Writes the read-out text of physical value `v` into `out` (at least kTextSize bytes).
constexpr std::size_t kTextSize = 32;
void format(Kind kind, Occasion occasion, double v, char* out);

// Reads a typed number: an optional "-", the integer digits, then after ",", "." or "k" the
// fraction digits; "k" scales by 1000 (2k5 reads 2500). Anything else ends the number; text
// that does not start with a digit or "-" reads 0. Null reads 0.
double parseTypedNumber(const char* text);

// A value typed into a read-out of `kind`, in the unit its text shows (kHz for High): a number
// with or without a unit ("-12dB", "0.5s", "2.5kHz", "2k5", "4:1", "oo", "25L", "C"); a unit of
// another quantity, or other text after the number, leaves the number as parseTypedNumber reads it.
double typedValue(Kind kind, const char* text);
// A typed value (typedValue's unit) in the units of the effect's display value of the read-out.
double displayValueOfTyped(Kind kind, double typed);

// Setting-display converters (the physical value in, the text out, 256-byte buffer).
void millisecondsText(float value, char* out);  // "0ms", "12.3ms", "1.250s"
void dbfsText(float value, char* out);          // "-6.0dBFS", "-oo dBFS"
void samplesText(float value, char* out);       // "0smps", "1660smps"
void integerText(float value, char* out);       // "3"

}  // namespace readout
