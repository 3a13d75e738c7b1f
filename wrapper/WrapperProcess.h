// The adaptor's process objects: one tinypress instance behind each host instance, in real
// time (CWrapperNRTXProcess) or offline (CWrapperOFLProcess).
//
// Threads: construction, controls, chunks and the view run on the host's main thread;
// RenderAudio on its real-time thread (it allocates nothing and takes no lock).
#pragma once

#include <memory>
#include <string>

#include "nrtx/EffectProcess.h"
#include "wrapper/BypassDelay.h"
#include "wrapper/CPluginWrapper.h"

// The plug-in every process loads, by file name only.
#ifdef _WIN32
constexpr const char* kPluginFileName = "tinypress.dll";
#else
constexpr const char* kPluginFileName = "tinypress.so";
#endif
constexpr std::uint32_t kStateChunkId = nrtx::fourCC("All ");

class CWrapperProcess : public CEffectProcess, public CPluginWrapperCallback {
  public:
    static constexpr int kTransferFrames = 65536;

    CWrapperProcess(CProcessGroup& group, const CEffectType& type, const std::string& pluginFile);
    ~CWrapperProcess() override;

    CPluginWrapper& Wrapper() { return *wrapper_; }
    int InitialDelay() const { return delay_; }
    int Quantum() const { return quantum_; }

    // CPluginWrapperCallback (main thread)
    void AutomateParameter(int index, float value) override;
    void RefreshAllParameters() override;
    void RequestIdle() override;

    void IdleTask() override { wrapper_->EditorIdle(); }

  protected:
    void UpdateControlValue(int index, std::int32_t value) override;
    int GetChunkDataSize(std::uint32_t id) override;
    int GetChunkData(std::uint32_t id, void* data, int capacity) override;
    void SetChunkData(std::uint32_t id, const void* data, int length) override;
    void ViewSize(int* width, int* height) override { wrapper_->GetEditorSize(width, height); }
    void ViewOpen(std::uintptr_t parent) override;
    void ViewClose() override { wrapper_->CloseEditor(); }
    void ViewIdle() override { wrapper_->EditorIdle(); }
    void ViewRedraw() override { wrapper_->RedrawEditor(); }

    // Channel pointers of one render call: main inputs and outputs of the host block, with the
    // second falling back to the first for one-channel types, and the key input or null.
    struct HostChannels {
        const float* inLeft;
        const float* inRight;
        float* outLeft;
        float* outRight;
        const float* key;
    };
    HostChannels channelsOf(const nrtx::RenderBlock& block) const noexcept;
    // False (with nothing consumed or written) when the block has no main buffers or no frames.
    static bool renderable(nrtx::RenderBlock& block) noexcept;
    // Copies `frames` host frames from `offset` into the transfer buffers (silence for a missing
    // key input) and processes them in place.
    void processFrames(const HostChannels& c, int offset, int frames) noexcept;
    // Processes the transfer buffers in place; at most one quantum of frames.
    void runEffect(int frames) noexcept;
    // Copies `frames` processed frames to the host outputs at `offset`.
    void copyOut(const HostChannels& c, int offset, int frames) const noexcept;

    // Declared in construction order: the delay is known once the effect is prepared.
    std::unique_ptr<CPluginWrapper> wrapper_;
    int quantum_;
    int delay_;
    std::unique_ptr<float[]> left_, right_, sideChain_;
    // One pointer per channel of the effect: L, R, the side chain twice, then the effect's
    // surplus channels, one quantum each in `surplus_`, silenced before every call so their
    // inputs carry nothing and their outputs are dropped.
    int surplusChannels_ = 0;
    std::unique_ptr<float[]> surplus_;
    std::unique_ptr<float*[]> effectChannels_;
    wrapper::BypassDelay bypass_;
    bool constructed_ = false;

  private:
    // Loads the effect, sets its rate and block size and resumes it; answers its latency.
    int prepareEffect(const std::string& pluginFile);
};

class CWrapperNRTXProcess : public CWrapperProcess {
  public:
    using CWrapperProcess::CWrapperProcess;

  protected:
    void RenderAudio(nrtx::RenderBlock& block, bool bypass) noexcept override;
};

class CWrapperOFLProcess : public CWrapperProcess {
  public:
    CWrapperOFLProcess(CProcessGroup& group, const CEffectType& type,
                       const std::string& pluginFile);
    int FramesStillDropped() const { return dropRemaining_; }

  protected:
    void RenderAudio(nrtx::RenderBlock& block, bool bypass) noexcept override;

  private:
    int dropRemaining_;  // latency frames the offline output still has to lose
};
