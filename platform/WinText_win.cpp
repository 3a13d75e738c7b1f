#include <windows.h>

#include "platform/Utf.h"
#include "platform/WinText.h"

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows API's wide characters are UTF-16");

std::wstring widen(const std::string& utf8) {
    return widen(toUtf16(utf8));
}

std::wstring widen(const std::u16string& utf16) {
    return std::wstring(reinterpret_cast<const wchar_t*>(utf16.data()), utf16.size());
}

std::string narrow(const std::wstring& wide) {
    return toUtf8(std::u16string(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::string systemErrorText(unsigned long code) {
    wchar_t buffer[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    // The system's texts end in a line break (and sometimes a full stop before it).
    while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' ' ||
                     buffer[n - 1] == L'.'))
        --n;
    if (n == 0) return "error " + std::to_string(code);
    return narrow(std::wstring(buffer, n));
}

}  // namespace platform
