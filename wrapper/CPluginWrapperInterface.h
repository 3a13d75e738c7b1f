// What the adaptor's process objects see of the VST host inside it. The slot order of the
// virtual operations is the order the host-side code was written against; keep it.
//
// Threads: Process and the raw processReplacing run on the host's real-time thread; every other
// operation on its main thread (QueueMidiEvent may also come from the main thread while audio
// runs).
#pragma once

#include <cstdint>

// <windows.h> makes LoadLibrary a macro for LoadLibraryW: the member below keeps its own name in
// every file that includes both.
#ifdef LoadLibrary
#undef LoadLibrary
#endif

#include "shell/vst2.h"

// The owning process's side of the adaptor: how the effect reaches the host controls.
class CPluginWrapperCallback {
  public:
    virtual ~CPluginWrapperCallback() = default;
    // The effect moved parameter `index` to `value` (0..1).
    virtual void AutomateParameter(int index, float value) = 0;
    // The effect changed many parameters at once (program change, restored state): reread all
    // of them.
    virtual void RefreshAllParameters() = 0;
    // The effect asks for idle time.
    virtual void RequestIdle() = 0;
};

// Host time information handed to a processing call.
struct WrapperTimeInfo {
    double samplePos;      // samples since the host's origin
    std::int64_t tickPos;  // host ticks; 960000 per quarter note
    bool playing;
};

class CPluginWrapperInterface {
  public:
    virtual ~CPluginWrapperInterface() = default;
    virtual void SetCallback(CPluginWrapperCallback* callback) = 0;
    virtual bool LoadLibrary(const char* fileName) = 0;
    virtual void UnloadLibrary() = 0;
    virtual void GetEditorSize(int* width, int* height) = 0;
    virtual void OpenEditor(std::uintptr_t parent) = 0;
    virtual void CloseEditor() = 0;
    virtual int GetNumChannels() = 0;
    virtual void SetSampleRate(double rate) = 0;
    virtual void SetBlockSize(int frames) = 0;
    virtual int GetBlockSize() = 0;
    virtual int GetNumParams() = 0;
    virtual float GetParameter(int index) = 0;
    virtual void GetParameterDisplay(int index, char* text) = 0;
    virtual void SetParameter(int index, float value) = 0;  // guarded
    virtual void GetParameterName(int index, char* text) = 0;
    virtual void GetParameterLabel(int index, char* text) = 0;
    virtual void GetParameterDisplayText(int index, char* text) = 0;  // same as the first
    virtual void Resume() = 0;
    virtual void Suspend() = 0;
    virtual void QueueMidiEvent(int status, int data1, int data2, int data3, int deltaFrames) = 0;
    virtual void Process(float** channels, int frames, const WrapperTimeInfo* time) = 0;
    virtual int GetStateSize() = 0;
    virtual int GetState(void* data, int capacity) = 0;
    virtual void SetState(const void* data, int size) = 0;
    virtual void EditorIdle() = 0;
    virtual void Unused1() {}
    virtual void RedrawEditor() = 0;
    virtual bool IsSynth() = 0;
    virtual int GetInitialDelay() = 0;
    virtual float RawGetParameter(int index) = 0;
    virtual void RawSetParameter(int index, float value) = 0;
    virtual void RawProcessReplacing(float** inputs, float** outputs, int frames) = 0;
    virtual VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) = 0;
    virtual VstIntPtr DispatchEffect(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                     float opt) = 0;  // same as Dispatch
    virtual VstTimeInfo* GetTimeInfo() = 0;
    virtual void AllocateChannelBuffers() = 0;
    virtual void FreeChannelBuffers() = 0;
    virtual void Unused2() {}
};
