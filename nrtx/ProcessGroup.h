// The host plug-in library's process group: the registration of one effect (names,
// manufacturer, plug-in types) and the factory of its process objects. Main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "nrtx/NrtxAbi.h"

class CEffectProcess;
class CProcessGroup;

struct CEffectType {
    nrtx::TypeInfo info{};
    std::function<CEffectProcess*(CProcessGroup& group, const CEffectType& type)> create;
};

class CProcessGroup : public nrtx::Group {
  public:
    CProcessGroup() = default;
    virtual ~CProcessGroup();
    CProcessGroup(const CProcessGroup&) = delete;
    CProcessGroup& operator=(const CProcessGroup&) = delete;

    void DefineEffectName(const char* name) { effectName_ = name; }
    void DefineManufacturer(const char* name, std::uint32_t id);
    // Throws CNrtxException(kErrBadType) for a type without factory or a repeated type ID.
    void AddType(std::uint32_t productId, std::uint32_t typeId, nrtx::TypeKind kind,
                 const std::int32_t (&formatValues)[3], const std::int32_t (&options)[3],
                 std::int32_t furtherSetting,
                 std::function<CEffectProcess*(CProcessGroup&, const CEffectType&)> create);
    // Checks the registration; throws CNrtxException(kErrBadType) when there is no type.
    void StartUp();

    // Idle handling: every living process runs its IdleTask once; re-entry is ignored.
    void RunIdle();

    // Bookkeeping of living processes (CEffectProcess calls these).
    void Register(CEffectProcess* process) { processes_.push_back(process); }
    void Unregister(CEffectProcess* process);
    int NumProcesses() const { return static_cast<int>(processes_.size()); }

    // nrtx::Group
    const char* effectName() override { return effectName_.c_str(); }
    const char* manufacturerName() override { return manufacturerName_.c_str(); }
    std::uint32_t manufacturerId() override { return manufacturerId_; }
    std::int32_t typeCount() override { return static_cast<std::int32_t>(types_.size()); }
    bool typeInfo(std::int32_t i, nrtx::TypeInfo* info) override;
    nrtx::Instance* newInstance(std::int32_t typeIndex) override;
    void idle() override { RunIdle(); }

  private:
    std::string effectName_, manufacturerName_;
    std::uint32_t manufacturerId_ = 0;
    std::vector<std::unique_ptr<CEffectType>> types_;  // stable addresses for the processes
    std::vector<CEffectProcess*> processes_;
    bool inIdle_ = false;
};
