// The exports of wrapper.so and its library attach and detach. Linux: the attach runs from the
// library's load-time constructor and finds the engine Motor among the already loaded
// libraries. No exception leaves these functions.
#include <dlfcn.h>

#include <new>

#include "nrtx/Gestalt.h"
#include "nrtx/NrtxError.h"
#include "wrapper/WrapperGroup.h"

#define WRAPPER_EXPORT extern "C" __attribute__((visibility("default")))

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

__attribute__((destructor)) void libraryDetach() {
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
