// CPluginWrapper: loading, unloading and the thin forwarding operations.
#include "wrapper/CPluginWrapper.h"

#include <algorithm>
#include <cstring>

#include "platform/DynamicLibrary.h"
#include "platform/MessageBox.h"
#include "wrapper/EditorWindow.h"
#include "wrapper/LibraryLocation.h"
#include "wrapper/VstExtras.h"

std::atomic<bool> CPluginWrapper::echoGuard{false};

namespace {
int livingWrappers = 0;  // main thread
}

CPluginWrapper::CPluginWrapper() {
    timeInfo_.sampleRate = kDefaultSampleRate;
    timeInfo_.tempo = 120.0;
    timeInfo_.timeSigNumerator = 4;
    timeInfo_.timeSigDenominator = 4;
    timeInfo_.flags = wrapper::kVstTempoValid | wrapper::kVstTimeSigValid;
    if (livingWrappers++ == 0) wrapper::registerWindowClass();
}

CPluginWrapper::~CPluginWrapper() {
    UnloadLibrary();
    if (--livingWrappers == 0) wrapper::unregisterWindowClass();
}

int CPluginWrapper::LivingCount() {
    return livingWrappers;
}

bool CPluginWrapper::IsWindowClassRegistered() {
    return wrapper::windowClassRegistered();
}

bool CPluginWrapper::LoadLibrary(const char* fileName) {
    if (library_ || effect_) UnloadLibrary();
    auto library = wrapper::loadPluginLibrary(fileName ? fileName : "");
    VstEntryProc entry = nullptr;
    if (library) {
        entry = reinterpret_cast<VstEntryProc>(library->symbol("main"));
        if (!entry) entry = reinterpret_cast<VstEntryProc>(library->symbol("Main"));
    }
    AEffect* effect = entry ? entry(&CPluginWrapper::HostCallback) : nullptr;
    if (!effect) {
        platform::showMessageBox(u"Plug-in core lib failed to load.", u"");
        return false;
    }
    library_ = std::move(library);
    return attach(effect);
}

bool CPluginWrapper::LoadEntry(VstEntryProc entry) {
    if (library_ || effect_) UnloadLibrary();
    AEffect* effect = entry ? entry(&CPluginWrapper::HostCallback) : nullptr;
    return effect != nullptr && attach(effect);
}

bool CPluginWrapper::attach(AEffect* effect) {
    effect_ = effect;
    if (!effect->dispatcher) return false;
    effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    if (effect->magic != kEffectMagic) return false;  // kept unloaded, no message
    if (effect->numInputs > kMaxChannels || effect->numOutputs > kMaxChannels) {
        // Every channel needs a buffer in each processing call: refused, and closed again.
        platform::showMessageBox(u"Plug-in core lib has more than 256 input or output channels.",
                                 u"");
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        effect_ = nullptr;
        return false;
    }
    dispatcher_ = effect->dispatcher;
    processReplacing_ = effect->processReplacing;
    setParameter_ = effect->setParameter;
    getParameter_ = effect->getParameter;
    dispatcher_(effect, effOpen, 0, 0, nullptr, 0.0f);
    dispatcher_(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kDefaultSampleRate));
    uniqueId_ = effect->uniqueID;
    numInputs_ = effect->numInputs;
    numOutputs_ = effect->numOutputs;
    numParams_ = effect->numParams > 0 ? effect->numParams : 0;
    hostWriteBlocked_.reset(new std::atomic<int>[static_cast<size_t>(numParams_) + 1]);
    for (int i = 0; i < numParams_; ++i) hostWriteBlocked_[i].store(0, std::memory_order_relaxed);
    numChannels_ = std::max({numInputs_, numOutputs_, 2});
    // Published to the real-time thread through the gate's release.
    gate_.beginStateLoad();
    loaded_ = true;
    gate_.endStateLoad();
    return true;
}

void CPluginWrapper::UnloadLibrary() {
    if (editorOpen_) CloseEditor();
    if (resumed_) Suspend();
    if (effect_) {
        gate_.beginStateLoad();  // waits for a running processing call to end
        if (loaded_) dispatcher_(effect_, effClose, 0, 0, nullptr, 0.0f);
        effect_ = nullptr;
        loaded_ = false;
        dispatcher_ = nullptr;
        processReplacing_ = nullptr;
        setParameter_ = nullptr;
        getParameter_ = nullptr;
        gate_.endStateLoad();
    }
    numParams_ = 0;
    hostWriteBlocked_.reset();
    library_.reset();
}

VstIntPtr CPluginWrapper::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    return loaded_ ? dispatcher_(effect_, opcode, index, value, ptr, opt) : 0;
}

void CPluginWrapper::SetSampleRate(double rate) {
    if (!(rate >= 15000.0 && rate <= 200000.0)) rate = kDefaultSampleRate;
    sampleRate_ = rate;
    timeInfo_.sampleRate = rate;
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void CPluginWrapper::SetBlockSize(int frames) {
    Suspend();
    blockSize_ = frames;
    dispatch(effSetBlockSize, frames, frames);
    AllocateChannelBuffers();
}

void CPluginWrapper::AllocateChannelBuffers() {
    FreeChannelBuffers();
    const size_t frames = blockSize_ > 0 ? static_cast<size_t>(blockSize_) : 0;
    channelBuffers_.assign(static_cast<size_t>(numChannels_), std::vector<float>(frames, 0.0f));
}

void CPluginWrapper::FreeChannelBuffers() {
    channelBuffers_.clear();
}

int CPluginWrapper::GetNumParams() {
    return loaded_ ? numParams_ : 0;
}

float CPluginWrapper::GetParameter(int index) {
    return validParam(index) ? getParameter_(effect_, index) : 0.0f;
}

void CPluginWrapper::GetParameterDisplay(int index, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (validParam(index)) dispatch(effGetParamDisplay, index, 0, text);
}

void CPluginWrapper::GetParameterDisplayText(int index, char* text) {
    GetParameterDisplay(index, text);
}

void CPluginWrapper::GetParameterName(int index, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (validParam(index)) dispatch(effGetParamName, index, 0, text);
}

void CPluginWrapper::GetParameterLabel(int index, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (validParam(index)) dispatch(effGetParamLabel, index, 0, text);
}

void CPluginWrapper::SetParameter(int index, float value) {
    if (echoGuard.load(std::memory_order_relaxed) || !validParam(index)) return;
    if (hostWriteBlocked_[index].load(std::memory_order_relaxed) != 0) return;
    if (getParameter_(effect_, index) != value) setParameter_(effect_, index, value);
}

bool CPluginWrapper::IsHostWriteBlocked(int index) const {
    return validParam(index) && hostWriteBlocked_[index].load(std::memory_order_relaxed) != 0;
}

void CPluginWrapper::Resume() {
    if (!loaded_) return;
    dispatch(effMainsChanged, 0, 1);
    resumed_ = true;
}

void CPluginWrapper::Suspend() {
    if (!loaded_) return;
    dispatch(effMainsChanged, 0, 0);
    resumed_ = false;
}

bool CPluginWrapper::IsSynth() {
    return loaded_ && (effect_->flags & effFlagsIsSynth) != 0;
}

int CPluginWrapper::GetInitialDelay() {
    return loaded_ ? effect_->initialDelay : 0;
}

float CPluginWrapper::RawGetParameter(int index) {
    return loaded_ ? getParameter_(effect_, index) : 0.0f;
}

void CPluginWrapper::RawSetParameter(int index, float value) {
    if (loaded_) setParameter_(effect_, index, value);
}

void CPluginWrapper::RawProcessReplacing(float** inputs, float** outputs, int frames) {
    if (loaded_ && processReplacing_) processReplacing_(effect_, inputs, outputs, frames);
}

VstIntPtr CPluginWrapper::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    return dispatch(opcode, index, value, ptr, opt);
}

void CPluginWrapper::QueueMidiEvent(int status, int data1, int data2, int data3, int deltaFrames) {
    midi_.push(status, data1, data2, data3, deltaFrames);
}
