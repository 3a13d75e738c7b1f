#include <windows.h>

#include "platform/ExecutablePath.h"
#include "platform/WinText.h"

namespace platform {
namespace {

// The file of `module` (null: the executable).
std::string moduleFileName(HMODULE module) {
    // Long paths exceed MAX_PATH: grow the buffer until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD n =
            GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return "";
        if (n < buffer.size()) return narrow(buffer.substr(0, n));
        buffer.resize(buffer.size() * 2);
    }
    return "";
}

}  // namespace

std::string executablePath() {
    return moduleFileName(nullptr);
}

std::string modulePathOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module))
        return "";
    return moduleFileName(module);
}

}  // namespace platform
