// The stereo mastering compressor effect with external side-chain inputs: parameters, identity,
// speaker arrangement, latency, lifecycle and the process entries.
//
// Threads: the dispatcher (user-interface thread) constructs, suspends, resumes, changes rate and
// block size, and destroys; setParameter may arrive on the user-interface or a host automation
// thread; processReplacing runs on the audio thread.
//
// Parameter hand-over (no lock on any thread): setParameter stores the sanitised value in a
// relaxed atomic, records it in the current program and marks its bit in an atomic mask. What
// depends on the order of events travels beside it: the side-chain shelf shapes as stamped
// events (a mode set, a corner set, resume; the latest counts), the Hilbert length as set by the
// reset index and resume, and the resets (suspend, index 1, a new VU time) as counts, each
// reset with the shelf design in force at that moment. At the start of each block the audio
// thread takes the mask, reads the marked values into its own copy of the parameters and
// rebuilds only what changed (everything after suspend or resume) into the SignalPath's
// EngineSettings. All audio state lives in the SignalPath; only the audio thread touches it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "dsp/LatestValue.h"
#include "presets/CompressorEffect.h"
#include "tinypress/EngineSettings.h"
#include "tinypress/Parameters.h"

namespace tinypress {

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
    float normalisedOfDisplayValue(VstInt32 index, double value) override;
    double getLatencyMs() override;
    // The delay the signal has: 1021 - floor(fs / 1000) at the processing rate fs that resume
    // derives from the host's rate (977 where it falls back to 44100 Hz); also stores the figure.
    VstInt32 getLatencySamples() override;

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
    // The settings the audio thread builds from the parameters and events as they stand now
    // (any thread; for tests: the signal path adopts the same at the start of its next block).
    EngineSettings settingsNow() const;
    // Audio thread (tests): the parameter values the signal path's settings were built from.
    const float* adoptedParameters() const noexcept { return adopted; }

  private:
    static constexpr auto kRelaxed = std::memory_order_relaxed;

    // Audio thread, inert effect: the main input passes unchanged (silence without one), so the
    // host never plays stale buffers.
    void inertBlock(float** inputs, float** outputs, VstInt32 frames) noexcept;
    void applyDefaults();
    void readMeterSettings();
    // Stores a sanitised value and tells the audio thread; no program, no editor.
    void applyParameter(int index, float value);

    // Setting threads: the event stamps and the resets.
    std::uint32_t nextStamp() { return eventClock.fetch_add(1, kRelaxed) + 1; }
    void stampShelfMode(ShelfBand band, std::uint32_t kind, int mode, std::uint32_t stamp);
    void stampShelfCorner(ShelfBand band, float value);
    void setHilbertLengthForRate();
    // Publishes the state a reset starts from (shelf designs, make-up and output targets in
    // force now), then counts the reset in `counter`.
    void requestReset(std::atomic<std::uint32_t>& counter);

    // The shelf shapes and design that the current events give (any thread).
    struct ShelfEvents {
        std::uint64_t mode[2], corner[2];
    };
    ShelfEvents shelfEvents() const;
    // What a reset starts from: the shelf designs and the make-up and output targets in force.
    struct ResetState {
        qrx::dsp::BiquadCoefficients low, high;
        double makeup = 1.0, output = 1.0;
    };
    static void designShelvesOf(EngineSettings& s, const ShelfEvents& events);

    // Audio thread, start of a block: adopts what changed since the last block.
    void adoptChanges() noexcept;

    static_assert(kNumParams <= 64, "one bit per parameter in changedParameters");

    std::atomic<float> params[kNumParams];
    std::unique_ptr<double[]> meterScales;
    std::atomic<double> rate{44100.0};
    std::atomic<VstInt32> latency{0};
    std::atomic<bool> presetFlagState{false};
    bool meterSettingsRead = false;  // only settings read from the store are written back

    std::unique_ptr<SignalPath> path;

    // Setting threads -> audio thread.
    std::atomic<std::uint64_t> changedParameters{0};  // bit i: parameter i was set
    std::atomic<std::uint32_t> rebuildRequests{0};    // suspend, resume: rebuild at `rate`
    std::atomic<std::uint32_t> eventClock{0};
    // Per band: the latest shape event, stamp << 32 | kind << 8 | mode (kind 0: the shape at
    // construction, 1: the mode was set, 2: resume), and the latest corner event, stamp << 32 |
    // the corner parameter's bits. Only a later stamp replaces a word.
    std::atomic<std::uint64_t> shelfModeEvents[2] = {};
    std::atomic<std::uint64_t> shelfCornerEvents[2] = {};
    std::atomic<int> hilbertLength{44};
    std::atomic<std::uint32_t> fullResets{0}, pathResets{0}, vuResets{0};
    qrx::dsp::LatestValue<ResetState> stateAtReset;

    // Audio thread: the values and events the adopted settings were built from.
    float adopted[kNumParams] = {};
    std::uint32_t rebuildsDone = 0;
    ShelfEvents adoptedShelves = {};
};

}  // namespace tinypress
