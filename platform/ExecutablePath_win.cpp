#include <windows.h>

#include "platform/ExecutablePath.h"
#include "platform/WinText.h"

namespace platform {

std::string executablePath() {
    // Long paths exceed MAX_PATH: grow the buffer until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return "";
        if (n < buffer.size()) return narrow(buffer.substr(0, n));
        buffer.resize(buffer.size() * 2);
    }
    return "";
}

}  // namespace platform
