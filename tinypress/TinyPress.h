// The stereo mastering compressor effect with external side-chain inputs: parameters, identity,
// speaker arrangement, latency, lifecycle and the process entries.
//
// Threads: the dispatcher (user-interface thread) constructs, suspends, resumes, changes rate and
// block size, and destroys; setParameter may arrive on the user-interface or a host automation
// thread; processReplacing runs on the audio thread.
//
// Sharing scheme: parameter values and the working values derived from them are relaxed atomics.
// Every coefficient the signal path needs is precomputed by the thread that sets a parameter (or
// runs suspend/resume) into a writer-side EngineSettings, guarded by a mutex that only setting
// threads take, and published whole through a SettingsExchange (a sequence lock over relaxed
// atomics). The audio thread copies it once per block without waiting or locking; when a writer
// is busy at that moment it keeps the previous copy for one more block. Resets (suspend, index 1,
// a new VU time) travel in the same settings as request counts, so all audio state lives in the
// SignalPath and only the audio thread touches it.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "dsp/SettingsExchange.h"
#include "presets/CompressorEffect.h"
#include "tinypress/EngineSettings.h"
#include "tinypress/Parameters.h"

namespace tinypress {

// Working values derived from the parameters by setParameter, read by the signal path and the
// meters. Gains are linear, times in the unit of the name.
struct DerivedValues {
    // Switches and selectors.
    std::atomic<int> power{0}, softKnee{0}, rms{0}, hiddenSwitch{0}, autoRelease{0};
    std::atomic<int> lowFilterMode{0}, highFilterMode{0};
    std::atomic<int> autoMakeup{0}, hidden18{0}, hidden19{0}, link{0};
    std::atomic<int> meterSource{1};  // 0 input, 1 gain reduction, 2 output
    std::atomic<int> classic{0}, sideChainExternal{0}, smooth{0}, stereo{0}, sideChainMonitor{0};
    // Gain computer.
    std::atomic<double> thresholdGain{1.0};
    std::atomic<int> ratioStep{6};
    std::atomic<double> ratio{1.0}, inverseRatio{1.0};  // the exponent is 1/R
    std::atomic<double> autoMakeupGain{1.0};
    std::atomic<double> kneeLowY{1.5}, kneeHighY{2.5};  // at x = kKneeLowX, kKneeHighX
    std::atomic<double> attackMs{1.0}, releaseSeconds{0.333};
    std::atomic<double> makeupTargetGain{1.0}, outputTargetGain{1.0};
    std::atomic<double> meterMix{1.0};  // scales the gain-reduction meter only
    // Side-chain filter corners from the hidden indices 13 and 15.
    std::atomic<double> lowCornerHz{70.0}, highCornerHz{5500.0};
    // Taps of the Hilbert kernel, set whenever the signal path is reset (index 1, resume).
    std::atomic<int> hilbertLength{44};
    // Meter ballistics.
    std::atomic<double> vuIntegrationMs{300.0}, vuCornerHz{700.0 / 300.0};
    std::atomic<double> vuReference{1.0}, meterScale{1.0};  // meterScale = 1 / vuReference
    std::atomic<double> ppmIntegrationMs{9.0}, ppmReturnMs{1000.0};
    std::atomic<int> overCount{2}, overSamples{3};
};

class SignalPath;

class TinyPress : public CompressorEffect {
  public:
    static constexpr VstInt32 kUniqueId = vstFourCC('Q', 'R', 't', 'p');
    static constexpr VstInt16 kPanelHeight = 378;
    static constexpr int kMeterScaleEntries = 1000;

    // `editorFactory` makes the editor object (the plug-in library passes one); without it the
    // effect has no editor.
    explicit TinyPress(audioMasterCallback audioMaster, EditorFactory editorFactory = nullptr);
    ~TinyPress() override;

    void suspend() override;
    void resume() override;
    // Stores the host's rate, then resets the signal path for it (suspend, resume).
    void setSampleRate(float hostRate) override;
    // A block size below 1 is taken as 1024.
    void setBlockSize(VstInt32 size) override;
    // Audio thread: selects the host buffers (pin answers, connection flags) and runs the signal
    // path over the block. Nothing allocates, locks or waits.
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) noexcept override;
    // No double-precision processing: the flag is not announced, so hosts never call this.
    void processDoubleReplacing(double** inputs, double** outputs, VstInt32 frames) override {}

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override;

    bool getEffectName(char* name) override;
    bool getProductString(char* text) override;

    float getDisplayValue(VstInt32 index) override;
    double getLatencyMs() override;
    // 1021 - floor(fs / 1000) for the host's reported rate; also stores the figure.
    VstInt32 getLatencySamples() override;

    const DerivedValues& derived() const { return derivedValues; }
    // The rate the signal path runs at: the host rate clamped into 22050..192000 Hz by suspend,
    // or replaced by 44100 when resume finds it outside that range.
    double processingRate() const { return rate.load(kRelaxed); }
    VstInt32 storedLatencySamples() const { return latency.load(kRelaxed); }
    // The preset system's two-state flag: index 54 sets it, index 55 clears it.
    bool presetFlag() const { return presetFlagState.load(kRelaxed); }
    // i^0.05 for i = 0..999, the editor's meter scales; null after an allocation failure.
    const double* meterScaleTable() const { return meterScales.get(); }
    // The audio state; null after an allocation failure. Inspection for tests.
    const SignalPath* signalPath() const { return path.get(); }
    // The settings last published to the audio thread (a copy taken under the writer lock).
    EngineSettings publishedSettings();

  private:
    static constexpr auto kRelaxed = std::memory_order_relaxed;

    void applyDefaults();
    void readMeterSettings();
    // Stores a sanitised value and derives its working value; no program, no editor.
    void applyParameter(int index, float value);
    void applyDerived(int index, float v);
    void updateRatioDependents();
    void resetSignalPath();
    // Setting threads: the engine settings after parameter `index` changed, then the
    // publication. The side-chain shelf shapes change only through the events that set them:
    // the mode indices (set column), the corner indices, and resume (resume column).
    void updateEngine(int index);
    enum class Reset { None, Full, Path };
    // suspend (Full) and resume (resume shapes).
    void publishWithReset(Reset reset, bool resumeShapes);
    // Writer lock held: recompute everything at the processing rate, count the reset, publish.
    void publishLocked(Reset reset);
    void rebuildSettings();

    std::atomic<float> params[kNumParams];
    DerivedValues derivedValues;
    std::unique_ptr<double[]> meterScales;
    std::atomic<double> rate{44100.0};
    std::atomic<VstInt32> latency{0};
    std::atomic<bool> presetFlagState{false};
    bool meterSettingsRead = false;  // only settings read from the store are written back

    std::unique_ptr<SignalPath> path;
    std::mutex writerMutex;
    EngineSettings writerSettings;                                     // writer lock
    ShelfShape lowShape = shelfShapeAtConstruction(ShelfBand::Low);    // writer lock
    ShelfShape highShape = shelfShapeAtConstruction(ShelfBand::High);  // writer lock
    qrx::dsp::SettingsExchange<EngineSettings> exchange;
    EngineSettings incoming;  // audio thread: the copy read at the start of a block
};

}  // namespace tinypress
