#include "wrapper/WrapperProcess.h"

#include <algorithm>
#include <cstring>

#include "nrtx/ProcessGroup.h"
#include "wrapper/LibraryLocation.h"
#include "wrapper/WrapperControls.h"

CWrapperProcess::CWrapperProcess(CProcessGroup& group, const CEffectType& type,
                                 const std::string& pluginFile)
    : CEffectProcess(group, type),
      wrapper_(std::make_unique<CPluginWrapper>()),
      quantum_(std::clamp(wrapper::maximumRealTimeQuantum(), 1, kTransferFrames)),
      delay_(prepareEffect(pluginFile)),
      left_(new float[kTransferFrames]()),
      right_(new float[kTransferFrames]()),
      sideChain_(new float[kTransferFrames]()),
      bypass_(delay_) {
    // The effect gets main left, main right and the side chain twice, and a pointer for every
    // further channel it has (the adaptor refuses effects with absurd channel counts at load).
    const int channels = std::max(wrapper_->GetNumChannels(), 4);
    surplusChannels_ = channels - 4;
    if (surplusChannels_ > 0)
        surplus_.reset(new float[static_cast<size_t>(surplusChannels_) * quantum_]());
    effectChannels_.reset(new float*[static_cast<size_t>(channels)]);
    effectChannels_[0] = left_.get();
    effectChannels_[1] = right_.get();
    effectChannels_[2] = effectChannels_[3] = sideChain_.get();
    for (int c = 0; c < surplusChannels_; ++c)
        effectChannels_[4 + c] = surplus_.get() + static_cast<size_t>(c) * quantum_;

    AddControl(wrapper::makeMasterBypass());
    for (int u = 0; u < wrapper_->GetNumParams(); ++u)
        AddControl(wrapper::makeParameterControl(*wrapper_, u));
    AddChunk(kStateChunkId, "Complete State", wrapper_->GetStateSize());
    constructed_ = true;
}

int CWrapperProcess::prepareEffect(const std::string& pluginFile) {
    wrapper_->SetCallback(this);
    wrapper_->LoadLibrary(pluginFile.c_str());
    const double rate = GetHostSampleRate();
    wrapper_->SetSampleRate(rate > 0.0 ? rate : CPluginWrapper::kDefaultSampleRate);
    wrapper_->SetBlockSize(quantum_);
    wrapper_->Resume();
    return wrapper::BypassDelay::clampDelay(wrapper_->GetInitialDelay());
}

CWrapperProcess::~CWrapperProcess() {
    constructed_ = false;
    wrapper_->UnloadLibrary();
    wrapper_->SetCallback(nullptr);
}

void CWrapperProcess::AutomateParameter(int index, float value) {
    if (!constructed_ || index < 0 || index >= wrapper_->GetNumParams()) return;
    CPluginWrapper::echoGuard.store(true, std::memory_order_relaxed);
    SetControlValueFromPlugIn(index + 2, nrtx::controlValueFromUnit(value));
    CPluginWrapper::echoGuard.store(false, std::memory_order_relaxed);
}

// Only the controls that would show another value are moved: the host records every move
// (automation write), and a control that already shows the value has nothing to record.
void CWrapperProcess::RefreshAllParameters() {
    if (!constructed_) return;
    CPluginWrapper::echoGuard.store(true, std::memory_order_relaxed);
    for (int u = 0; u < wrapper_->GetNumParams(); ++u) {
        const std::int32_t value = nrtx::controlValueFromUnit(wrapper_->GetParameter(u));
        const CPluginControl& control = *GetControl(u + 2);
        const bool same = control.IsOnOff() ? CPluginControl_OnOff::IsOn(control.GetValue()) ==
                                                  CPluginControl_OnOff::IsOn(value)
                                            : control.GetValue() == value;
        if (!same) SetControlValueFromPlugIn(u + 2, value);
    }
    CPluginWrapper::echoGuard.store(false, std::memory_order_relaxed);
}

void CWrapperProcess::RequestIdle() {
    Group().RunIdle();
}

void CWrapperProcess::UpdateControlValue(int index, std::int32_t value) {
    if (index < 2) return;  // the master bypass stays with the render calls
    wrapper_->SetParameter(index - 2, static_cast<float>(nrtx::unitFromControlValue(value)));
}

int CWrapperProcess::GetChunkDataSize(std::uint32_t id) {
    return id == kStateChunkId ? wrapper_->GetStateSize() : 0;
}

int CWrapperProcess::GetChunkData(std::uint32_t id, void* data, int capacity) {
    return id == kStateChunkId ? wrapper_->GetState(data, capacity) : 0;
}

void CWrapperProcess::SetChunkData(std::uint32_t id, const void* data, int length) {
    if (id == kStateChunkId) wrapper_->SetState(data, length);  // the controls follow in it
}

void CWrapperProcess::ViewOpen(std::uintptr_t parent) {
    wrapper_->SetViewOption(GetViewOption());
    wrapper_->OpenEditor(parent);
}

CWrapperProcess::HostChannels CWrapperProcess::channelsOf(
    const nrtx::RenderBlock& block) const noexcept {
    const bool two = GetMainChannels() == 2;
    HostChannels c;
    c.inLeft = block.inputs[0];
    c.inRight = two && block.inputs[1] ? block.inputs[1] : block.inputs[0];
    c.outLeft = block.outputs[0];
    c.outRight = two && block.outputs[1] ? block.outputs[1] : block.outputs[0];
    c.key = HasKeyInput() ? block.keyInput : nullptr;
    return c;
}

void CWrapperProcess::processFrames(const HostChannels& c, int offset, int frames) noexcept {
    const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
    std::memcpy(left_.get(), c.inLeft + offset, bytes);
    std::memcpy(right_.get(), c.inRight + offset, bytes);
    if (c.key)
        std::memcpy(sideChain_.get(), c.key + offset, bytes);
    else
        std::memset(sideChain_.get(), 0, bytes);
    runEffect(frames);
}

void CWrapperProcess::runEffect(int frames) noexcept {
    if (surplusChannels_ > 0)
        std::memset(surplus_.get(), 0,
                    sizeof(float) * static_cast<size_t>(surplusChannels_) * quantum_);
    wrapper_->Process(effectChannels_.get(), frames, nullptr);
}

void CWrapperProcess::copyOut(const HostChannels& c, int offset, int frames) const noexcept {
    const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
    std::memcpy(c.outLeft + offset, left_.get(), bytes);
    std::memcpy(c.outRight + offset, right_.get(), bytes);  // one output: the right one remains
}

// A block without main buffers or with a negative length renders nothing, so nothing absent is
// read or written and the counts reported back stay within 0..frames.
bool CWrapperProcess::renderable(nrtx::RenderBlock& block) noexcept {
    if (block.inputs[0] && block.outputs[0] && block.frames > 0) return true;
    block.consumed = block.written = 0;
    return false;
}

void CWrapperNRTXProcess::RenderAudio(nrtx::RenderBlock& block, bool bypass) noexcept {
    if (!renderable(block)) return;
    const HostChannels c = channelsOf(block);
    const int frames = block.frames;
    float* const left = left_.get();
    float* const right = right_.get();
    float* const side = sideChain_.get();
    int k = 0, chunkStart = 0;
    for (int i = 0; i < frames; ++i) {
        const float inLeft = c.inLeft[i], inRight = c.inRight[i];
        left[k] = inLeft;
        right[k] = inRight;
        side[k] = c.key ? c.key[i] : 0.0f;
        float delayedLeft, delayedRight;
        bypass_.step(inLeft, inRight, &delayedLeft, &delayedRight);
        if (k + 1 == quantum_ || i == frames - 1) {
            runEffect(k + 1);
            if (!bypass) copyOut(c, chunkStart, k + 1);
            chunkStart = i + 1;
            k = 0;
        } else {
            ++k;
        }
        if (bypass) {
            c.outLeft[i] = delayedLeft;
            c.outRight[i] = delayedRight;
        }
    }
    block.consumed = frames;
    block.written = frames;
}

CWrapperOFLProcess::CWrapperOFLProcess(CProcessGroup& group, const CEffectType& type,
                                       const std::string& pluginFile)
    : CWrapperProcess(group, type, pluginFile), dropRemaining_(delay_) {}

void CWrapperOFLProcess::RenderAudio(nrtx::RenderBlock& block, bool bypass) noexcept {
    if (!renderable(block)) return;
    const HostChannels c = channelsOf(block);
    const int frames = block.frames;
    if (!wrapper_->IsLoaded()) {
        for (int i = 0; i < frames; ++i) {
            const float l = c.inLeft[i], r = c.inRight[i];
            c.outLeft[i] = l;
            c.outRight[i] = r;
        }
        block.consumed = block.written = frames;
        return;
    }
    // The effect's block size is the real-time quantum: it never gets longer pieces, and the
    // transfer buffers are never overrun whatever the host's block length. As in real time the
    // effect runs while bypassed, and every input frame passes the bypass delay: the bypassed
    // output is the input D frames late, which after the D dropped frames puts it in place.
    const int piece = quantum_;
    const bool dropping = dropRemaining_ > 0;
    const int take = dropping ? std::min(frames, dropRemaining_) : frames;
    for (int offset = 0; offset < take; offset += piece) {
        const int n = std::min(piece, take - offset);
        processFrames(c, offset, n);
        // Each input frame is read before its output frame is written: in-place host buffers
        // keep working.
        for (int i = offset; i < offset + n; ++i) {
            float delayedLeft, delayedRight;
            bypass_.step(c.inLeft[i], c.inRight[i], &delayedLeft, &delayedRight);
            if (bypass && !dropping) {
                c.outLeft[i] = delayedLeft;
                c.outRight[i] = delayedRight;
            }
        }
        if (!bypass && !dropping) copyOut(c, offset, n);
    }
    block.consumed = take;
    if (dropping) {
        dropRemaining_ -= take;  // the effect's latency: processed, never written
        block.written = 0;
    } else {
        block.written = take;
    }
}
