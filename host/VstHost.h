// A small VST 2.4 host for tests and command-line tools: loads a plug-in library (or an entry
// function linked into the caller) the way a DAW does, answers the plug-in's requests from a
// HostConfig and records every request in order.
//
// Threads: load/fromEntry, the dispatcher helpers, close() and destruction run on the caller's
// main thread. processReplacing/processDoubleReplacing/setParameter/getParameter may run on an
// audio thread of the test. The plug-in may call back from any thread; the recorder is guarded by
// a mutex (acceptable for a test host, never for a real-time host), so requests(), count() and
// clearRequests() may be called from any thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "shell/vst2.h"

namespace platform {
class DynamicLibrary;
}

namespace host {

using EntryProc = AEffect* (*)(audioMasterCallback audioMaster);

struct HostConfig {
    VstIntPtr versionAnswer = kVstVersion;  // audioMasterVersion; 0 plays a host too old to load
    VstIntPtr blockSizeAnswer = 512;        // audioMasterGetBlockSize, samples
    VstIntPtr sampleRateAnswer = 44100;     // audioMasterGetSampleRate, Hz
    VstIntPtr outputLatencyAnswer = 0;      // audioMasterGetOutputLatency, samples
    // audioMasterPinConnected: index is the pin, value != 0 asks about an output. The answer has
    // the inverted sense of the request: 0 means connected. Called on whatever thread asks.
    std::function<VstIntPtr(int pin, bool output)> pinConnected;
    // After the entry returns, send effOpen, effSetSampleRate and effSetBlockSize (with the two
    // answers above) as a DAW does before anything else. resume() is left to the caller.
    bool openOnLoad = true;
};

// One request the plug-in made through the host callback.
struct HostRequest {
    VstInt32 opcode = 0;
    VstInt32 index = 0;
    VstIntPtr value = 0;
    float opt = 0.0f;         // for audioMasterAutomate: the new normalised parameter value
    bool withEffect = false;  // false when the plug-in passed a null AEffect (during the entry)
    std::string text;         // audioMasterCanDo: the capability asked about
    VstIntPtr answer = 0;     // what the host answered
};

class Plugin {
  public:
    // Loads the library, resolves "VSTPluginMain" (else "main"), calls it and checks the magic.
    // Null on failure with the reason in `error` when given.
    static std::unique_ptr<Plugin> load(const std::string& path, const HostConfig& config = {},
                                        std::string* error = nullptr);
    // Same, for an entry function linked into the caller (no library to unload).
    static std::unique_ptr<Plugin> fromEntry(EntryProc entry, const HostConfig& config = {},
                                             std::string* error = nullptr);

    // Suspends the effect if it was resumed, sends effClose if it is still alive, then unloads
    // the library.
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // The effect record; null after close().
    AEffect* effect() const { return effect_; }
    bool isOpen() const { return effect_ != nullptr; }
    VstInt32 numParams() const { return effect_ ? effect_->numParams : 0; }
    VstInt32 numPrograms() const { return effect_ ? effect_->numPrograms : 0; }
    VstInt32 numInputs() const { return effect_ ? effect_->numInputs : 0; }
    VstInt32 numOutputs() const { return effect_ ? effect_->numOutputs : 0; }
    VstInt32 flags() const { return effect_ ? effect_->flags : 0; }
    VstInt32 uniqueId() const { return effect_ ? effect_->uniqueID : 0; }
    VstInt32 initialDelay() const { return effect_ ? effect_->initialDelay : 0; }

    // Raw dispatcher call; 0 once the effect is closed.
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);

    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);

    // String getters hand the plug-in a zero-filled 256-byte buffer, so an over-long answer
    // shows up as a long string instead of corrupting memory.
    std::string parameterName(VstInt32 index);
    std::string parameterDisplay(VstInt32 index);
    std::string parameterLabel(VstInt32 index);
    std::string programName();
    bool programNameIndexed(VstInt32 index, std::string& name);
    std::string effectName();
    std::string vendorString();
    std::string productString();
    VstInt32 vendorVersion();
    VstInt32 category();

    // Each zero-fills the record first; true when the plug-in answered.
    bool inputProperties(VstInt32 index, VstPinProperties& properties);
    bool outputProperties(VstInt32 index, VstPinProperties& properties);
    bool parameterProperties(VstInt32 index, VstParameterProperties& properties);

    // Offers input/output arrangements with these channel counts (mono for 1, stereo for 2,
    // user-defined otherwise; at most 8 speakers described). True when the plug-in accepts.
    bool setSpeakerArrangement(int inputs, int outputs);

    // Chunks: isPreset false asks for the whole bank, true for the current program.
    // getChunk copies the plug-in's block into `data` and returns false when there is none.
    bool getChunk(std::vector<std::uint8_t>& data, bool isPreset = false);
    VstIntPtr setChunk(const std::vector<std::uint8_t>& data, bool isPreset = false);

    void setSampleRate(float rate);
    void setBlockSize(int size);
    void resume();   // effMainsChanged 1
    void suspend();  // effMainsChanged 0
    bool editRect(ERect& rect);

    // Explicit effClose: the plug-in deletes its effect, so effect() becomes null. Safe to repeat.
    void close();

    // Audio thread. False when the effect is closed or has no such entry.
    bool processReplacing(float** inputs, float** outputs, int frames);
    bool processDoubleReplacing(double** inputs, double** outputs, int frames);

    // The recorder.
    std::vector<HostRequest> requests() const;
    void clearRequests();
    int count(VstInt32 opcode) const;
    const HostConfig& config() const { return config_; }

    // The callback handed to every entry; exposed so tests can call it as a plug-in would.
    static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                  void* ptr, float opt);

  private:
    explicit Plugin(const HostConfig& config);
    static std::unique_ptr<Plugin> start(std::unique_ptr<Plugin> plugin, EntryProc entry,
                                         std::string* error);
    VstIntPtr answer(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt);
    std::string getString(VstInt32 opcode, VstInt32 index);

    HostConfig config_;
    std::unique_ptr<platform::DynamicLibrary> library_;  // null for fromEntry
    AEffect* effect_ = nullptr;
    bool resumed_ = false;

    mutable std::mutex requestsMutex_;
    std::vector<HostRequest> requests_;
};

}  // namespace host
