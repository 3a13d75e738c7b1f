#include "editor/ZoomStore.h"

#include <cmath>
#include <string>

#include "editor/MeterSettingsStore.h"
#include "platform/UserStore.h"

namespace zoom_store {

namespace {

std::string valueName(const char* plugin) {
    return std::string("zoom") + (plugin ? plugin : "");
}

}  // namespace

double read(const char* plugin) {
    auto key =
        platform::UserStoreKey::open(meter_settings::kStoreKey, platform::StoreAccess::Query);
    float stored = 0.0f;
    std::size_t size = 0;
    if (!key || !key->queryBinary(valueName(plugin), &stored, sizeof stored, &size) ||
        size != sizeof stored)
        return 0;
    return std::isfinite(stored) && stored >= 1.0f && stored <= 3.0f ? stored : 0;
}

void write(const char* plugin, double zoom) {
    auto key =
        platform::UserStoreKey::create(meter_settings::kStoreKey, platform::StoreAccess::Write);
    const auto value = static_cast<float>(zoom);
    if (key) key->setBinary(valueName(plugin), &value, sizeof value);
}

}  // namespace zoom_store
