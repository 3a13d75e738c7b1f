#include "nrtx/Gestalt.h"

#include "nrtx/NrtxAbi.h"
#include "nrtx/NrtxError.h"
#include "platform/DynamicLibrary.h"

std::int32_t FicGestalt(std::uint32_t selector, std::int32_t* response) {
    if (response == nullptr) return nrtx::kErrGestaltUnknown;
    // Only a reference to the loaded engine, given back when `motor` dies.
    const auto motor = platform::DynamicLibrary::loaded(nrtx::kMotorLibraryName);
    if (!motor) return nrtx::kErrGestaltUnknown;
    auto gestalt = reinterpret_cast<nrtx::FicGestaltProc>(motor->symbol("FicGestalt"));
    return gestalt ? gestalt(selector, response) : nrtx::kErrGestaltUnknown;
}

namespace nrtx {

double hostSampleRate() {
    std::int32_t rate = 0;
    if (FicGestalt(kGestaltSampleRate, &rate) != kNoErr || rate < 0) return 0.0;
    return rate;
}

}  // namespace nrtx
