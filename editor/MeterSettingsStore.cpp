#include "editor/MeterSettingsStore.h"

#include "platform/UserStore.h"

namespace meter_settings {
namespace {

struct Setting {
    const char* valueName;
    float defaultWhenAbsent;
};

constexpr Setting kSettings[] = {
    {"vuintegration", 0.5f}, {"vureference", 0.41f},      {"ppmintegration", 0.5f},
    {"ppmreturn", 0.5f},     {"overcounter", 0.2222222f},
};

const Setting* settingOf(int index) {
    if (index < kFirstIndex || index > kLastIndex) return nullptr;
    return &kSettings[index - kFirstIndex];
}

}  // namespace

float read(int index) {
    const Setting* s = settingOf(index);
    if (!s) return 0.0f;
    float value = s->defaultWhenAbsent;  // a missing or unreadable value leaves the default
    auto key = platform::UserStoreKey::open(kStoreKey, platform::StoreAccess::Query);
    if (key) {
        float stored = value;
        std::size_t size = 0;
        if (key->queryBinary(s->valueName, &stored, sizeof stored, &size) && size == sizeof stored)
            value = stored;
    }
    return value;
}

void write(int index, float value) {
    const Setting* s = settingOf(index);
    if (!s) return;
    auto key = platform::UserStoreKey::create(kStoreKey, platform::StoreAccess::Write);
    if (key) key->setBinary(s->valueName, &value, sizeof value);
}

}  // namespace meter_settings
