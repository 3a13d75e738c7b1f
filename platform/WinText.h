// Text at the Windows API boundary: our UTF-8 and UTF-16 strings to and from the wide strings the
// API takes, and the system's message for an error code. Used by the *_win.cpp files only; it does
// not include <windows.h>. Any non-audio thread (allocates).
#pragma once

#include <string>

namespace platform {

// UTF-8 (lenient: a broken sequence becomes U+FFFD) to a wide string for the API.
std::wstring widen(const std::string& utf8);
// A UTF-16 string as the API's wide string; wchar_t is 16 bits wide on Windows.
std::wstring widen(const std::u16string& utf16);
// A wide string from the API as UTF-8 (lenient).
std::string narrow(const std::wstring& wide);

// The system's one-line text for a GetLastError() code, "error <code>" when it has none.
std::string systemErrorText(unsigned long code);

}  // namespace platform
