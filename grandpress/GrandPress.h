// The master compressor effect: parameters, identity, lifecycle and the process entries.
//
// Threads: the dispatcher (user-interface thread) constructs, suspends, resumes and destroys;
// setParameter may arrive on the user-interface or a host automation thread; the process entries
// run on the audio thread.
//
// Parameter hand-over (no lock on any thread): setParameter stores the sanitised value in a
// relaxed atomic, records it in the current program and marks its bit in an atomic mask;
// suspend and resume store the rate and count a rebuild request. At the start of each block the
// audio thread takes the mask, reads the marked values into its own copy of the parameters and
// rebuilds only what they drive (everything after a rebuild request) into the signal path's
// EngineSettings. All audio state lives in the SignalPath and is touched by the audio thread
// only (suspend merely asks it to clear itself before the next block).
#pragma once

#include <atomic>
#include <cstdint>

#include "grandpress/EngineSettings.h"
#include "grandpress/Parameters.h"
#include "presets/CompressorEffect.h"

namespace grandpress {

class SignalPath;

class GrandPress : public CompressorEffect {
  public:
    static constexpr VstInt32 kUniqueId = vstFourCC('Q', 'X', 'G', 'P');
    static constexpr VstInt32 kResamplerLatency = 126;
    static constexpr VstInt32 kLatencySamples = kResamplerLatency + 1534;  // 1660 at every rate
    static constexpr VstInt16 kPanelHeight = 460;

    // `editorFactory` makes the editor object (the plug-in library passes one); without it the
    // effect has no editor.
    explicit GrandPress(audioMasterCallback audioMaster, EditorFactory editorFactory = nullptr);
    ~GrandPress() override;

    void suspend() override;
    void resume() override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) override;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override;

    bool getEffectName(char* name) override;
    bool getProductString(char* text) override;

    float getDisplayValue(VstInt32 index) override;
    float normalisedOfDisplayValue(VstInt32 index, double value) override;
    double getLatencyMs() override;
    VstInt32 getLatencySamples() override { return kLatencySamples; }

    // The settings the audio thread builds from the parameters as they stand now (any thread;
    // for tests and tools: the signal path adopts the same at the start of its next block).
    EngineSettings settingsNow() const;
    // Audio thread (tests): the parameter values the signal path's settings were built from.
    const float* adoptedParameters() const noexcept { return adopted; }
    // The rate the signal path runs at: the host rate clamped into 22050..192000 Hz by suspend,
    // or replaced by 44100 when resume finds it outside that range.
    double processingRate() const { return rate.load(std::memory_order_relaxed); }
    // The signal path (null in the inert state); for tests and tools.
    const SignalPath* signalPath() const { return path; }

  private:
    // Audio thread, start of a block: adopts what changed since the last block.
    void adoptChanges() noexcept;
    template <typename Sample>
    void passThrough(Sample** inputs, Sample** outputs, VstInt32 frames) noexcept;
    template <typename Sample>
    void processBlock(Sample** inputs, Sample** outputs, VstInt32 frames) noexcept;

    std::atomic<float> params[kNumParams];
    std::atomic<double> rate{44100.0};
    // Bit i: parameter i was set since the audio thread last looked (setting threads set bits,
    // the audio thread takes them all at once).
    std::atomic<std::uint64_t> changedParameters{0};
    // Counted by suspend and resume: everything is rebuilt at `rate`.
    std::atomic<std::uint32_t> rebuildRequests{0};

    // Audio thread: the parameter values the adopted settings were built from.
    float adopted[kNumParams] = {};
    std::uint32_t rebuildsDone = 0;
    SignalPath* path = nullptr;
};

}  // namespace grandpress
