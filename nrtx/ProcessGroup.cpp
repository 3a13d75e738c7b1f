#include "nrtx/ProcessGroup.h"

#include <algorithm>
#include <cstring>

#include "nrtx/EffectProcess.h"
#include "nrtx/NrtxError.h"

CProcessGroup::~CProcessGroup() = default;

void CProcessGroup::DefineManufacturer(const char* name, std::uint32_t id) {
    manufacturerName_ = name ? name : "";
    manufacturerId_ = id;
}

void CProcessGroup::AddType(
    std::uint32_t productId, std::uint32_t typeId, nrtx::TypeKind kind,
    const std::int32_t (&formatValues)[3], const std::int32_t (&options)[3],
    std::int32_t furtherSetting,
    std::function<CEffectProcess*(CProcessGroup&, const CEffectType&)> create) {
    if (!create) throw nrtx::CNrtxException(nrtx::kErrBadType);
    for (const auto& t : types_)
        if (t->info.typeId == typeId) throw nrtx::CNrtxException(nrtx::kErrBadType);
    auto type = std::make_unique<CEffectType>();
    type->info.productId = productId;
    type->info.typeId = typeId;
    type->info.kind = kind;
    std::copy(std::begin(formatValues), std::end(formatValues), type->info.formatValues);
    std::copy(std::begin(options), std::end(options), type->info.options);
    type->info.furtherSetting = furtherSetting;
    std::strncpy(type->info.effectName, effectName_.c_str(), sizeof type->info.effectName - 1);
    type->create = std::move(create);
    types_.push_back(std::move(type));
}

void CProcessGroup::StartUp() {
    if (types_.empty()) throw nrtx::CNrtxException(nrtx::kErrBadType);
}

void CProcessGroup::RunIdle() {
    // An effect may ask for idle from inside its own idle call; once is enough.
    if (inIdle_) return;
    inIdle_ = true;
    const std::vector<CEffectProcess*> living = processes_;  // a task may end a process
    for (CEffectProcess* p : living)
        if (std::find(processes_.begin(), processes_.end(), p) != processes_.end()) p->IdleTask();
    inIdle_ = false;
}

void CProcessGroup::Unregister(CEffectProcess* process) {
    processes_.erase(std::remove(processes_.begin(), processes_.end(), process), processes_.end());
}

bool CProcessGroup::typeInfo(std::int32_t i, nrtx::TypeInfo* info) {
    if (info == nullptr || i < 0 || i >= typeCount()) return false;
    *info = types_[static_cast<size_t>(i)]->info;
    return true;
}

nrtx::Instance* CProcessGroup::newInstance(std::int32_t typeIndex) {
    if (typeIndex < 0 || typeIndex >= typeCount()) return nullptr;
    const CEffectType& type = *types_[static_cast<size_t>(typeIndex)];
    try {
        return type.create(*this, type);
    } catch (...) {
        return nullptr;
    }
}
