// The master compressor effect: parameters, identity, lifecycle and the process entries.
//
// Threads: the dispatcher (user-interface thread) constructs, suspends, resumes and destroys;
// setParameter may arrive on the user-interface or a host automation thread; the process entries
// run on the audio thread.
//
// Sharing scheme: parameter values and derived values are relaxed atomics. Coefficients are
// precomputed by the thread that sets a parameter (or runs suspend/resume) into a writer-side
// EngineSettings, guarded by a mutex that only setting threads take, and published whole through
// a SettingsExchange (sequence lock over relaxed atomics). The audio thread copies it once per
// block without waiting; all audio state lives in the SignalPath and is touched by the audio
// thread only (suspend merely asks it to clear itself before the next block).
#pragma once

#include <atomic>
#include <mutex>

#include "dsp/SettingsExchange.h"
#include "grandpress/EngineSettings.h"
#include "grandpress/Parameters.h"
#include "presets/CompressorEffect.h"

namespace grandpress {

class SignalPath;

// Working values derived from the parameters by setParameter, read by the signal path.
struct DerivedValues {
    std::atomic<int> power{0}, fat{0}, soft{0}, rms{0}, limiter{0};
    std::atomic<int> autoAttack{0}, autoRelease{0}, autoMakeup{0};
    std::atomic<int> highShelfBoost{0}, lowShelfBoost{0}, linkHighCut{0}, linkLowCut{0};
    std::atomic<int> classic{0}, sideChainExternal{0}, smooth{0}, sideChainMonitor{0};
    std::atomic<int> ratioStep{0};
    std::atomic<double> thresholdScale{1.0}, inverseThresholdScale{1.0};
    std::atomic<double> ratio{1.0}, inverseRatio{1.0};
    std::atomic<double> attackMs{1.0}, releaseMs{1000.0};
    std::atomic<double> makeupGain{1.0}, outputGain{1.0}, mixAmount{1.0}, linkAmount{0.0};
    std::atomic<double> tiltGainLeft{1.0}, tiltGainRight{1.0};
    std::atomic<double> sideChainHighHz{1000.0}, sideChainLowHz{25.0};
    // Meter ballistics.
    std::atomic<double> vuIntegrationMs{300.0}, vuReference{1.0}, inverseVuReference{1.0};
    std::atomic<double> ppmIntegrationMs{10.0}, ppmReturnMs{1000.0};
    std::atomic<int> overSamples{3};
};

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
    double getLatencyMs() override;
    VstInt32 getLatencySamples() override { return kLatencySamples; }

    const DerivedValues& derived() const { return derivedValues; }
    // The rate the signal path runs at: the host rate clamped into 22050..192000 Hz by suspend,
    // or replaced by 44100 when resume finds it outside that range.
    double processingRate() const { return rate.load(std::memory_order_relaxed); }
    // The signal path (null in the inert state); for tests and tools.
    const SignalPath* signalPath() const { return path; }

  private:
    void applyDerived(int index, float v);
    // Setting threads: recompute (one index, or everything for `rateHz`) and publish.
    void publishParameter(int index);
    void publishAll(double rateHz);
    template <typename Sample>
    void passThrough(Sample** inputs, Sample** outputs, VstInt32 frames) noexcept;
    template <typename Sample>
    void processBlock(Sample** inputs, Sample** outputs, VstInt32 frames) noexcept;

    std::atomic<float> params[kNumParams];
    DerivedValues derivedValues;
    std::atomic<double> rate{44100.0};

    std::mutex writerMutex;         // setting threads only, never the audio thread
    EngineSettings writerSettings;  // guarded by writerMutex
    qrx::dsp::SettingsExchange<EngineSettings> exchange;
    SignalPath* path = nullptr;
};

}  // namespace grandpress
