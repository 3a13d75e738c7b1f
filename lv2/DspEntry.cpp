// The exported entry of each bundle's plug-in library: lv2_descriptor with the one plug-in of the
// bundle. QRX_LV2_ENGINE names the engine's descriptor function (lv2/Engines.h); the build sets
// it per library.
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <cstring>
#include <string>

#include "lv2/DspInstance.h"
#include "lv2/Engines.h"

namespace {

using qrxlv2::DspInstance;

DspInstance* self(LV2_Handle handle) {
    return static_cast<DspInstance*>(handle);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    try {
        return DspInstance::create(qrxlv2::QRX_LV2_ENGINE(), rate, features);
    } catch (...) {
        // No exception crosses the library boundary.
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    self(handle)->connect(port, data);
}

void activate(LV2_Handle handle) {
    self(handle)->activate();
}

void run(LV2_Handle handle, uint32_t frames) {
    self(handle)->run(frames);
}

void deactivate(LV2_Handle handle) {
    self(handle)->deactivate();
}

void cleanup(LV2_Handle handle) {
    delete self(handle);
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      uint32_t, const LV2_Feature* const*) {
    return self(handle)->save(store, state);
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, uint32_t, const LV2_Feature* const*) {
    return self(handle)->restore(retrieve, state);
}

const void* extensionData(const char* uri) {
    static const LV2_State_Interface kState = {save, restore};
    return std::strcmp(uri, LV2_STATE__interface) == 0 ? &kState : nullptr;
}

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    static const std::string kUri =
        std::string(qrxlv2::kProjectUri) + qrxlv2::QRX_LV2_ENGINE().name;
    static const LV2_Descriptor kDescriptor = {
        kUri.c_str(), instantiate, connectPort, activate, run, deactivate, cleanup, extensionData};
    return index == 0 ? &kDescriptor : nullptr;
}
