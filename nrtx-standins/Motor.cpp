// Motor.so (Motor.dll): the engine library stand-in (see Motor.h).
#include "nrtx-standins/Motor.h"

#include "nrtx/NrtxError.h"

#ifdef _WIN32
#define MOTOR_EXPORT
#else
#define MOTOR_EXPORT __attribute__((visibility("default")))
#endif

namespace {

MotorSettings settings{1024, 1, 44100};
nrtx::PlugInProc openProc = nullptr;
nrtx::PlugInProc closeProc = nullptr;

}  // namespace

extern "C" {

MOTOR_EXPORT void SetPlugInOpenAndCloseProcs(nrtx::PlugInProc open, nrtx::PlugInProc close) {
    openProc = open;
    closeProc = close;
}

MOTOR_EXPORT std::int32_t FicGestalt(std::uint32_t selector, std::int32_t* response) {
    if (response == nullptr) return nrtx::kErrGestaltUnknown;
    if (selector == nrtx::kGestaltQuantum && settings.answersQuantum == 1) {
        *response = 1;
        return nrtx::kNoErr;
    }
    if (selector == nrtx::kGestaltSampleRate) {
        *response = settings.sampleRate;
        return nrtx::kNoErr;
    }
    return nrtx::kErrGestaltUnknown;
}

MOTOR_EXPORT std::int32_t _FicGetMaximumNRTXQuantum() {
    return settings.maximumQuantum;
}

MOTOR_EXPORT void MotorConfigure(const MotorSettings* s) {
    if (s != nullptr) settings = *s;
}

MOTOR_EXPORT void MotorGetSettings(MotorSettings* s) {
    if (s != nullptr) *s = settings;
}

MOTOR_EXPORT void MotorRegisteredProcs(nrtx::PlugInProc* open, nrtx::PlugInProc* close) {
    if (open) *open = openProc;
    if (close) *close = closeProc;
}
}
