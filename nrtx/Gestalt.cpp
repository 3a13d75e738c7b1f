#include "nrtx/Gestalt.h"

#include <dlfcn.h>

#include "nrtx/NrtxAbi.h"
#include "nrtx/NrtxError.h"

std::int32_t FicGestalt(std::uint32_t selector, std::int32_t* response) {
    if (response == nullptr) return nrtx::kErrGestaltUnknown;
    void* motor = dlopen(nrtx::kMotorLibraryName, RTLD_NOW | RTLD_NOLOAD);
    if (motor == nullptr) return nrtx::kErrGestaltUnknown;
    auto gestalt = reinterpret_cast<nrtx::FicGestaltProc>(dlsym(motor, "FicGestalt"));
    const std::int32_t result = gestalt ? gestalt(selector, response) : nrtx::kErrGestaltUnknown;
    dlclose(motor);  // balances the reference RTLD_NOLOAD took
    return result;
}

namespace nrtx {

double hostSampleRate() {
    std::int32_t rate = 0;
    if (FicGestalt(kGestaltSampleRate, &rate) != kNoErr || rate < 0) return 0.0;
    return rate;
}

}  // namespace nrtx
