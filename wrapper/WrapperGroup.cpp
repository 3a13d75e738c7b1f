#include "wrapper/WrapperGroup.h"

#include <cstdlib>

#include "wrapper/WrapperProcess.h"

namespace {

template <class Process>
CEffectProcess* create(CProcessGroup& group, const CEffectType& type, const std::string& file) {
    return new Process(group, type, file);
}

}  // namespace

std::string wrappedPluginFile() {
    const char* file = std::getenv("QRX_WRAPPER_PLUGIN");
    return file && *file ? file : kPluginFileName;
}

CWrapperProcessGroup::CWrapperProcessGroup(std::string pluginFile)
    : pluginFile_(std::move(pluginFile)) {
    DefineEffectName("QRX TinyPress");
    DefineManufacturer("QRXsoundwerk\nQRX", kManufacturerId);
    const std::int32_t realTimeOptions[3] = {8, 48, 5};
    const std::int32_t offlineOptions[3] = {8, 2, 5};
    constexpr std::int32_t kFurtherSetting = 6;
    struct TypeRow {
        const char* id;
        nrtx::TypeKind kind;
        std::int32_t format[3];
    };
    const TypeRow rows[] = {
        {"QRus", nrtx::TypeKind::RealTime, {0, 0, 0}},
        {"QRux", nrtx::TypeKind::RealTime, {0, 1, 0}},
        {"QRum", nrtx::TypeKind::RealTime, {1, 1, 0}},
        {"QRua", nrtx::TypeKind::Offline, {0, 0, 0}},
    };
    for (const TypeRow& row : rows) {
        const std::uint32_t id = (std::uint32_t(std::uint8_t(row.id[0])) << 24) |
                                 (std::uint32_t(std::uint8_t(row.id[1])) << 16) |
                                 (std::uint32_t(std::uint8_t(row.id[2])) << 8) |
                                 std::uint32_t(std::uint8_t(row.id[3]));
        const bool offline = row.kind == nrtx::TypeKind::Offline;
        const std::string file = pluginFile_;
        AddType(kProductId, id, row.kind, row.format, offline ? offlineOptions : realTimeOptions,
                kFurtherSetting, [file, offline](CProcessGroup& group, const CEffectType& type) {
                    return offline ? create<CWrapperOFLProcess>(group, type, file)
                                   : create<CWrapperNRTXProcess>(group, type, file);
                });
    }
}
