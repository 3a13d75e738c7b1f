// The VST 2.4 effect base: holds the AEffect record handed to the host, the host callback,
// sample rate and block size, and maps the host's calls onto virtual operations.
//
// Threads: the host's user-interface thread calls the dispatcher; its audio thread calls the
// process entries; setParameter may also arrive on an automation thread. The sample rate and
// block size are relaxed atomics because the audio thread may read them.
#pragma once

#include <atomic>

#include "shell/vst2.h"

class AEffEditor;

class AudioEffect {
  public:
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();

    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    virtual void open() {}
    virtual void close() {}
    virtual void suspend() {}
    virtual void resume() {}

    virtual void setSampleRate(float rate) { sampleRate.store(rate, std::memory_order_relaxed); }
    virtual void setBlockSize(VstInt32 size) { blockSize.store(size, std::memory_order_relaxed); }

    // Audio thread.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {}
    virtual void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {}

    virtual void setParameter(VstInt32 index, float value) {}
    virtual float getParameter(VstInt32 index) { return 0.0f; }
    // A change made by the user in the editor: applied first, then reported to the host.
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* name) {}
    virtual void getProgramName(char* name) { *name = 0; }
    virtual void getParameterLabel(VstInt32 index, char* label) { *label = 0; }
    virtual void getParameterDisplay(VstInt32 index, char* text) { *text = 0; }
    virtual void getParameterName(VstInt32 index, char* text) { *text = 0; }
    virtual VstInt32 getChunk(void** data, bool isPreset) { return 0; }
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) { return 0; }

    // Set-up of the AEffect record.
    void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }
    void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    void canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }
    void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    // Stores the editor pointer; sets effFlagsHasEditor when it is non-null, clears it otherwise.
    void setEditor(AEffEditor* newEditor);

    float getSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
    VstInt32 getBlockSize() const { return blockSize.load(std::memory_order_relaxed); }
    AEffect* getAeffect() { return &cEffect; }
    AEffEditor* getEditor() const { return editor; }
    audioMasterCallback getAudioMaster() const { return audioMaster; }

    // Host requests; each answers neutrally when there is no host callback.
    virtual VstInt32 getMasterVersion();
    virtual bool beginEdit(VstInt32 index);
    virtual bool endEdit(VstInt32 index);
    virtual void masterIdle();

  protected:
    // Sends one request to the host; 0 without a callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // Deletes the editor object; engines call it first thing in their destructor, so the
    // editor never outlives the parts of the effect it reads.
    void destroyEditor();

    audioMasterCallback audioMaster;
    AEffEditor* editor = nullptr;
    std::atomic<float> sampleRate{44100.0f};
    std::atomic<VstInt32> blockSize{1024};
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    AEffect cEffect{};

  private:
    void setFlag(VstInt32 flag, bool state);

    static VstIntPtr dispatchEffClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                      void* ptr, float opt);
    static void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
    static void processClassReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames);
    static void processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                            VstInt32 frames);
    static void setParameterClass(AEffect* e, VstInt32 index, float value);
    static float getParameterClass(AEffect* e, VstInt32 index);
};
