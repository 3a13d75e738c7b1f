// The exports of wrapper.so (wrapper.dll) and its library attach and detach. The attach finds the
// engine Motor among the already loaded libraries. Linux: it runs from the library's load-time
// constructor; Windows: from DllMain, and wrapper.def names the exports. No exception leaves
// these functions.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <new>

#include "nrtx/Gestalt.h"
#include "nrtx/NrtxError.h"
#include "wrapper/WrapperGroup.h"

#ifdef _WIN32
#define WRAPPER_EXPORT extern "C"
#else
#define WRAPPER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

CWrapperProcessGroup* processGroup = nullptr;
bool procsRegistered = false;
bool attachRefused = false;
void* moduleHandle = nullptr;

// A group whose processes the host has not released is left alive: they still point to it.
void releaseProcessGroup() {
    if (processGroup != nullptr && processGroup->NumProcesses() == 0) delete processGroup;
    processGroup = nullptr;
}

std::int32_t openProcedure() {
    releaseProcessGroup();
    return nrtx::kNoErr;
}

std::int32_t closeProcedure() {
    releaseProcessGroup();
    return nrtx::kNoErr;
}

#ifdef _WIN32
// Motor by module handle: GetModuleHandleW takes no reference and loads nothing, which is all the
// loader lock allows here.
void libraryAttach(HINSTANCE module) {
    try {
        moduleHandle = module;
        HMODULE motor = GetModuleHandleW(L"Motor.dll");
        auto setProcs = motor
                            ? reinterpret_cast<nrtx::SetOpenCloseProcsProc>(reinterpret_cast<void*>(
                                  GetProcAddress(motor, "SetPlugInOpenAndCloseProcs")))
                            : nullptr;
        if (setProcs != nullptr) {
            setProcs(&openProcedure, &closeProcedure);
            procsRegistered = true;
        } else if (openProcedure() != nrtx::kNoErr) {
            attachRefused = true;
        }
    } catch (...) {
        attachRefused = true;
    }
}
#else
__attribute__((constructor)) void libraryAttach() {
    try {
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(&libraryAttach), &info) != 0)
            moduleHandle = info.dli_fbase;
        void* motor = dlopen(nrtx::kMotorLibraryName, RTLD_NOW | RTLD_NOLOAD);
        auto setProcs = motor ? reinterpret_cast<nrtx::SetOpenCloseProcsProc>(
                                    dlsym(motor, "SetPlugInOpenAndCloseProcs"))
                              : nullptr;
        if (setProcs != nullptr) {
            setProcs(&openProcedure, &closeProcedure);
            procsRegistered = true;
        } else if (openProcedure() != nrtx::kNoErr) {
            attachRefused = true;
        }
        if (motor) dlclose(motor);
    } catch (...) {
        attachRefused = true;
    }
}
#endif

#ifndef _WIN32
__attribute__((destructor))
#endif
void libraryDetach() {
    try {
        if (!procsRegistered) closeProcedure();
    } catch (...) {
    }
}

}  // namespace

WRAPPER_EXPORT std::int32_t NewPlugIn() {
    if (attachRefused) return nrtx::kErrUnknown;
    try {
        releaseProcessGroup();
        processGroup = new (std::nothrow) CWrapperProcessGroup(wrappedPluginFile());
        if (processGroup == nullptr) return nrtx::kErrGroupNotCreated;
        processGroup->StartUp();
        return nrtx::kNoErr;
    } catch (const nrtx::CNrtxException& e) {
        return e.code();
    } catch (...) {
        return nrtx::kErrUnknown;
    }
}

// Selector 0 answers the process group (an nrtx::Group), null before NewPlugIn succeeded.
WRAPPER_EXPORT void* _PI_GetRoutineDescriptor(std::int32_t selector) {
    if (selector != 0 || processGroup == nullptr) return nullptr;
    return static_cast<nrtx::Group*>(processGroup);
}

WRAPPER_EXPORT std::int32_t WinPlugInOpen(std::int32_t code) {
    if (code != nrtx::kPlugInOpenCode) return -1;
    try {
        return openProcedure();
    } catch (...) {
        return nrtx::kErrUnknown;
    }
}

WRAPPER_EXPORT void WinPlugInClose() {
    try {
        closeProcedure();
    } catch (...) {
    }
}

#ifdef _WIN32
// A refused attach makes the load fail, as the host expects.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        libraryAttach(module);
        return attachRefused ? FALSE : TRUE;
    }
    if (reason == DLL_PROCESS_DETACH) libraryDetach();
    return TRUE;
}
#endif
