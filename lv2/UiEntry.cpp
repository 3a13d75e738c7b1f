// The exported entry of each bundle's UI library: lv2ui_descriptor with the bundle's one X11 UI.
// QRX_LV2_ENGINE names the engine's descriptor function (lv2/Engines.h); the build sets it per
// library.
#include <lv2/ui/ui.h>

#include <cstring>
#include <string>

#include "lv2/Engines.h"
#include "lv2/UiInstance.h"

namespace {

using qrxlv2::UiInstance;

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        return UiInstance::create(qrxlv2::QRX_LV2_ENGINE(), write, controller, widget, features);
    } catch (...) {
        // No exception crosses the library boundary.
        return nullptr;
    }
}

void cleanup(LV2UI_Handle handle) {
    delete static_cast<UiInstance*>(handle);
}

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
    static_cast<UiInstance*>(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) {
    return static_cast<UiInstance*>(handle)->idle();
}

const void* extensionData(const char* uri) {
    static const LV2UI_Idle_Interface kIdle = {idle};
    return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdle : nullptr;
}

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    static const std::string kUri =
        std::string(qrxlv2::kProjectUri) + qrxlv2::QRX_LV2_ENGINE().name + "#ui";
    static const LV2UI_Descriptor kDescriptor = {kUri.c_str(), instantiate, cleanup, portEvent,
                                                 extensionData};
    return index == 0 ? &kDescriptor : nullptr;
}
