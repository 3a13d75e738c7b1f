// The VST 2.4 host inside the adaptor: owns the loaded plug-in library and its AEffect, answers
// the effect's host callback, guards parameter writes, carries the state chunk, bridges
// processing calls and embeds the editor.
//
// Threads: see CPluginWrapperInterface.h. The effect's callback may arrive on either thread;
// audioMasterAutomate and audioMasterUpdateDisplay are only forwarded from the main thread's
// work (the effect sends them from setParameter and program changes).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wrapper/CPluginWrapperInterface.h"
#include "wrapper/MidiQueue.h"
#include "wrapper/ProcessingGate.h"

namespace platform {
class DynamicLibrary;
}

using VstEntryProc = AEffect* (*)(audioMasterCallback audioMaster);

class CPluginWrapper : public CPluginWrapperInterface {
  public:
    static constexpr double kDefaultSampleRate = 44100.0;
    static constexpr int kDefaultBlockSize = 1024;
    static constexpr std::int32_t kCurrentId = vstFourCC('Q', 'r', 't', 'p');
    // Effects with more input or output channels are refused at load.
    static constexpr int kMaxChannels = 256;

    CPluginWrapper();
    ~CPluginWrapper() override;
    CPluginWrapper(const CPluginWrapper&) = delete;
    CPluginWrapper& operator=(const CPluginWrapper&) = delete;

    void SetCallback(CPluginWrapperCallback* callback) override { callback_ = callback; }
    // Loads by file name: the platform's library search first, then beside the adaptor library.
    // A name containing '/' is loaded as given.
    bool LoadLibrary(const char* fileName) override;
    void UnloadLibrary() override;
    void GetEditorSize(int* width, int* height) override;
    void OpenEditor(std::uintptr_t parent) override;
    void CloseEditor() override;
    int GetNumChannels() override { return numChannels_; }
    void SetSampleRate(double rate) override;
    void SetBlockSize(int frames) override;
    int GetBlockSize() override { return blockSize_; }
    int GetNumParams() override;
    float GetParameter(int index) override;
    void GetParameterDisplay(int index, char* text) override;
    void SetParameter(int index, float value) override;
    void GetParameterName(int index, char* text) override;
    void GetParameterLabel(int index, char* text) override;
    void GetParameterDisplayText(int index, char* text) override;
    void Resume() override;
    void Suspend() override;
    void QueueMidiEvent(int status, int data1, int data2, int data3, int deltaFrames) override;
    void Process(float** channels, int frames, const WrapperTimeInfo* time) override;
    int GetStateSize() override;
    int GetState(void* data, int capacity) override;
    void SetState(const void* data, int size) override;
    void EditorIdle() override;
    void RedrawEditor() override;
    bool IsSynth() override;
    int GetInitialDelay() override;
    float RawGetParameter(int index) override;
    void RawSetParameter(int index, float value) override;
    void RawProcessReplacing(float** inputs, float** outputs, int frames) override;
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) override;
    VstIntPtr DispatchEffect(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) override {
        return Dispatch(opcode, index, value, ptr, opt);
    }
    VstTimeInfo* GetTimeInfo() override { return &timeInfo_; }
    void AllocateChannelBuffers() override;
    void FreeChannelBuffers() override;

    // Attaches an entry function linked into the caller instead of a library (tests, tools).
    bool LoadEntry(VstEntryProc entry);
    AEffect* Effect() const { return loaded_ ? effect_ : nullptr; }
    bool IsLoaded() const { return loaded_; }
    bool IsResumed() const { return resumed_; }
    bool IsEditorOpen() const { return editorOpen_; }
    bool IsHostWriteBlocked(int index) const;
    int RefreshCountdown() const { return refreshCountdown_; }
    int CurrentProgram() const { return currentProgram_; }
    std::uintptr_t ChildWindow() const { return childWindow_; }
    const wrapper::ProcessingGate& Gate() const { return gate_; }
    int PendingMidiEvents() { return midi_.pending(); }

    // The audioMasterCallback given to every effect; finds the adaptor in the record's resvd1.
    static VstIntPtr HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                  void* ptr, float opt);
    // Set while the adaptor moves host controls for the effect; host writes are ignored then.
    static std::atomic<bool> echoGuard;
    // Number of living adaptors; the editor window class is registered while it is above 0.
    static int LivingCount();
    static bool IsWindowClassRegistered();
    // Answer of the host callback for `opcode` (exposed for tests of the callback table).
    VstIntPtr AnswerHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

  private:
    friend class WrapperEditorAccess;

    bool attach(AEffect* effect);
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    bool validParam(int index) const { return loaded_ && index >= 0 && index < numParams_; }
    void defaultEditorRect(int* right, int* bottom) const;
    // Places the child window for an editor rectangle in a parent of the given size (open rules).
    void placeEditor(int parentWidth, int parentHeight, int top, int left, int bottom, int right);
    void readEditorRect(int* top, int* left, int* bottom, int* right);
    int saveFormA(unsigned char* data, int capacity);
    int saveFormB(unsigned char* data, int capacity);
    void restoreFormB(const unsigned char* data, int size);

    std::unique_ptr<platform::DynamicLibrary> library_;
    AEffect* effect_ = nullptr;
    AEffectDispatcherProc dispatcher_ = nullptr;
    AEffectProcessProc processReplacing_ = nullptr;
    AEffectSetParameterProc setParameter_ = nullptr;
    AEffectGetParameterProc getParameter_ = nullptr;
    bool loaded_ = false;
    bool resumed_ = false;
    bool editorOpen_ = false;
    // Set on the main thread while a state restore runs (the host hears of it afterwards); read
    // by the effect's callback, which may come from another thread.
    std::atomic<bool> restoring_{false};
    wrapper::ProcessingGate gate_;

    VstInt32 uniqueId_ = 0;
    int numInputs_ = 0, numOutputs_ = 0, numChannels_ = 2, numParams_ = 0;
    std::unique_ptr<std::atomic<int>[]> hostWriteBlocked_;
    CPluginWrapperCallback* callback_ = nullptr;

    double sampleRate_ = kDefaultSampleRate;
    int blockSize_ = kDefaultBlockSize;
    int currentProgram_ = 0;
    VstTimeInfo timeInfo_{};
    wrapper::MidiQueue midi_;
    std::vector<std::vector<float>> channelBuffers_;

    // Editor.
    std::uintptr_t parentWindow_ = 0;
    std::uintptr_t childWindow_ = 0;
    int editorWidth_ = 0, editorHeight_ = 0;
    int refreshCountdown_ = 0;

  public:
    // Used by the editor window's event handling.
    int ViewOption() const { return viewOption_; }
    // The child window is gone (destroyed with the host's window): the editor is closed without
    // touching the window again.
    void EditorWindowDestroyed(std::uintptr_t window);
    // The effect asks for another editor size (audioMasterSizeWindow): the child window is placed
    // again at width x height; false while the editor is closed.
    bool ResizeEditor(int width, int height);
    void SetViewOption(int option) { viewOption_ = option; }

  private:
    int viewOption_ = 0;
};
