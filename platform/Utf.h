// UTF-8 <-> UTF-16 conversion.
//
// The plug-in code keeps user-visible text as UTF-16 (what the Windows API takes); Linux files and
// terminals want UTF-8. Pure functions, callable from any non-audio thread (they allocate).
#pragma once

#include <string>

namespace platform {

// Lenient conversions for display: every ill-formed sequence (a broken UTF-8 sequence, an unpaired
// surrogate) becomes U+FFFD, so the result is always well formed.
std::u16string toUtf16(const std::string& utf8);
std::string toUtf8(const std::u16string& utf16);

// Strict conversions for stored data: return false and leave `out` untouched when the input is
// ill-formed (overlong forms, encoded surrogates, code points above U+10FFFF, truncated sequences,
// unpaired surrogates).
bool tryToUtf16(const std::string& utf8, std::u16string& out);
bool tryToUtf8(const std::u16string& utf16, std::string& out);

}  // namespace platform
