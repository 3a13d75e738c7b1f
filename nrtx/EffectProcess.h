// Base of every process object of the host plug-in library: one plug-in instance as the host
// sees it, with its controls (1-based), its chunks and its render and view entries.
//
// Threads: everything runs on the host's main thread except RenderAudio, which the host calls
// on its real-time thread. The plug-in sets controls (automation towards the host) on the main
// thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "nrtx/Gestalt.h"
#include "nrtx/NrtxAbi.h"
#include "nrtx/PluginControl.h"

class CProcessGroup;
struct CEffectType;

class CEffectProcess : public nrtx::Instance {
  public:
    CEffectProcess(CProcessGroup& group, const CEffectType& type);
    virtual ~CEffectProcess();
    CEffectProcess(const CEffectProcess&) = delete;
    CEffectProcess& operator=(const CEffectProcess&) = delete;

    // Controls. The first added is control 1.
    void AddControl(std::unique_ptr<CPluginControl> control);
    CPluginControl* GetControl(int index) const;
    int GetNumControls() const { return static_cast<int>(controls_.size()); }
    // Plug-in side: moves a control and tells the host (automation recording).
    void SetControlValueFromPlugIn(int index, std::int32_t value);

    // Registers a chunk besides the library's own controls chunk.
    void AddChunk(std::uint32_t id, const char* name, int size);
    int GetRegisteredChunkSize(std::uint32_t id) const;

    double GetHostSampleRate() const { return nrtx::hostSampleRate(); }
    int GetViewOption() const { return viewOption_; }
    int GetMainChannels() const;
    bool HasKeyInput() const;
    bool IsOffline() const;
    CProcessGroup& Group() const { return group_; }

    // Idle handling the group runs for every process.
    virtual void IdleTask() {}

  protected:
    // Host moved control `index` (already stored).
    virtual void UpdateControlValue(int index, std::int32_t value) {}
    // Chunk data, without the record header.
    virtual int GetChunkDataSize(std::uint32_t id) { return 0; }
    virtual int GetChunkData(std::uint32_t id, void* data, int capacity) { return 0; }
    virtual void SetChunkData(std::uint32_t id, const void* data, int length) {}
    // Real-time thread; must not allocate, lock or throw.
    virtual void RenderAudio(nrtx::RenderBlock& block, bool bypass) noexcept = 0;
    virtual void ViewSize(int* width, int* height) { *width = *height = 0; }
    virtual void ViewOpen(std::uintptr_t parent) {}
    virtual void ViewClose() {}
    virtual void ViewIdle() {}
    virtual void ViewRedraw() {}

  private:
    struct Chunk {
        std::uint32_t id;
        std::string name;
        int size;
    };

    // nrtx::Instance
    void release() override;
    std::int32_t controlCount() override { return GetNumControls(); }
    bool controlName(std::int32_t index, char* text, std::int32_t capacity) override;
    nrtx::ControlKind controlKind(std::int32_t index) override;
    std::int32_t controlValue(std::int32_t index) override;
    std::int32_t controlDefault(std::int32_t index) override;
    void controlText(std::int32_t index, std::int32_t value, char* text,
                     std::int32_t maxLength) override;
    void setControlValue(std::int32_t index, std::int32_t value) override;
    void setListener(nrtx::HostListener* listener) override { listener_ = listener; }
    std::int32_t chunkCount() override { return static_cast<std::int32_t>(chunks_.size()) + 1; }
    std::uint32_t chunkId(std::int32_t i) override;
    std::int32_t chunkSize(std::uint32_t id) override;
    std::int32_t getChunk(std::uint32_t id, void* record, std::int32_t capacity) override;
    bool setChunk(const void* record, std::int32_t length) override;
    void render(nrtx::RenderBlock* block) override;
    void setViewOption(std::int32_t option) override { viewOption_ = option; }
    void viewSize(std::int32_t* width, std::int32_t* height) override;
    void viewOpen(std::uintptr_t parent) override;
    void viewClose() override;
    void viewIdle() override;
    void viewRedraw() override;

    const Chunk* findChunk(std::uint32_t id) const;
    std::int32_t chunkDataSize(std::uint32_t id);

    CProcessGroup& group_;
    const CEffectType& type_;
    std::vector<std::unique_ptr<CPluginControl>> controls_;
    std::vector<Chunk> chunks_;
    nrtx::HostListener* listener_ = nullptr;
    int viewOption_ = 0;
};
