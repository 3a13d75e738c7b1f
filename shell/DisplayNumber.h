// The family's number formatter for parameter display texts (host texts and editor read-outs).
// Any thread; allocates nothing.
#pragma once

#include <cstddef>

// Writes `value` narrowed to single precision with `decimals` fraction digits: an optional minus
// sign, the integer digits, a point and the fraction digits, at most eight characters in all; the
// fraction is cut when the integer part leaves no room (a six-digit integer keeps one decimal),
// and with no decimals the point is dropped. Digits beyond `decimals` are cut, not rounded (3.169
// reads "3.16"); only the float's own representation noise is rounded away first, at six
// significant digits, so 2.8f (2.7999999523) reads "2.80" and not "2.79". Values above 99999999 or
// below -9999999, and non-finite values, give an empty text. A negative value whose digits are all
// zero keeps its sign ("-0.00"). `out` must hold at least 9 bytes. Returns the number of characters
// written.
std::size_t formatDisplayNumber(double value, int decimals, char* out);

// formatDisplayNumber followed by `unit` (no blank in between). `out` needs 9 + strlen(unit) bytes.
void formatDisplayValue(double value, int decimals, const char* unit, char* out);
