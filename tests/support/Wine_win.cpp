#include <windows.h>

#include "support/Wine.h"

namespace testsupport {

// wine's ntdll exports its version; Windows' does not.
bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace testsupport
