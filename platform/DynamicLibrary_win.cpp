#include <windows.h>

#include "platform/DynamicLibrary.h"
#include "platform/WinText.h"

namespace platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::load(const std::string& path, std::string* error) {
    // A missing dependency is reported to the caller, not in a dialog of the system's own.
    DWORD previousMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = LoadLibraryW(widen(path).c_str());
    const DWORD code = GetLastError();
    SetThreadErrorMode(previousMode, nullptr);
    if (module == nullptr) {
        if (error != nullptr) *error = "cannot load " + path + ": " + systemErrorText(code);
        return nullptr;
    }
    if (error != nullptr) error->clear();
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(reinterpret_cast<void*>(module)));
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::loaded(const std::string& fileName) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(0, widen(fileName).c_str(), &module)) return nullptr;
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(reinterpret_cast<void*>(module)));
}

DynamicLibrary::~DynamicLibrary() {
    FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::symbol(const char* name) const {
    if (name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace platform
