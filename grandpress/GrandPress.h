// The master compressor effect: parameters, identity, lifecycle and the process entries.
//
// Threads: the dispatcher (user-interface thread) constructs, suspends, resumes and destroys;
// setParameter may arrive on the user-interface or a host automation thread; the process entries
// run on the audio thread.
//
// Parameter hand-over (no lock on any thread; presets/SettingsHandOver.h): setParameter stores
// the sanitised value, records it in the current program and marks it changed; suspend and resume
// store the rate and ask for a rebuild. At the start of each block the audio thread takes the
// marked values into its own copy of the parameters and rebuilds only what they drive (everything
// after a rebuild request) into the signal path's EngineSettings. All audio state lives in the
// SignalPath and is touched by the audio thread only (suspend merely asks it to clear itself before
// the next block).
#pragma once

#include "grandpress/EngineSettings.h"
#include "grandpress/Parameters.h"
#include "presets/EngineEffect.h"

namespace grandpress {

class SignalPath;

class GrandPress : public EngineEffect<Params> {
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
    double getLatencyMs() override;
    VstInt32 getLatencySamples() override { return kLatencySamples; }

    // The settings the audio thread builds from the parameters as they stand now (any thread;
    // for tests and tools: the signal path adopts the same at the start of its next block).
    EngineSettings settingsNow() const { return handOver.settingsNow(); }
    // processingRate() (EngineEffect) is the host rate clamped into 22050..192000 Hz by suspend,
    // or replaced by 44100 when resume finds it outside that range.
    // The signal path (null in the inert state); for tests and tools.
    const SignalPath* signalPath() const { return path; }

  private:
    // Audio thread, start of a block: adopts what changed since the last block.
    void adoptChanges() noexcept;
    template <typename Sample>
    void passThrough(Sample** inputs, Sample** outputs, VstInt32 frames) noexcept;
    template <typename Sample>
    void processBlock(Sample** inputs, Sample** outputs, VstInt32 frames) noexcept;

    SignalPath* path = nullptr;
};

}  // namespace grandpress
