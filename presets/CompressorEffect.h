// The base both engines (GrandPress, TinyPress) share: the answers they give a host alike (pins,
// channel arrangements, vendor, category) and what the shared editor needs of either engine
// beyond the VST calls: physical values for read-outs, latency figures, the side-chain flag, the
// allocation state and the meter feed. User-interface thread unless stated; the arrangement
// flags are relaxed atomics that the audio thread reads.
//
// The editor object: the engine's constructor makes it through the EditorFactory that the
// plug-in library's entry file passes in, and reaches it only through CEditorNotices. Without a
// factory the engine has no editor and works alike.
#pragma once

#include "dsp/InstructionSet.h"
#include "dsp/MeterFeed.h"
#include "presets/CPresetSystemEffect.h"
#include "shell/FamilyIdentity.h"

class CompressorEffect;

// Makes the editor object of `effect` (which it attaches as the effect's editor, the effect owning
// it from then on) for a panel `panelHeight` pixels high; null when it cannot be made.
using EditorFactory = CEditorNotices* (*)(CompressorEffect& effect, VstInt16 panelHeight);

class CompressorEffect : public CPresetSystemEffect {
  public:
    using CPresetSystemEffect::CPresetSystemEffect;

    // The parameter's value in the units of its display text.
    virtual float getDisplayValue(VstInt32 index) = 0;
    // The inverse: the nearest normalised value of `index` for a value in getDisplayValue's
    // units (typed entries of the read-outs).
    virtual float normalisedOfDisplayValue(VstInt32 index, double value) = 0;
    virtual float alwaysOne() { return 1.0f; }
    // True while the host's arrangement includes the external side-chain pair.
    virtual bool sideChainAvailable() {
        return sideChainInputsUsable.load(std::memory_order_relaxed);
    }
    virtual double getLatencyMs() = 0;
    virtual VstInt32 getLatencySamples() = 0;

    // Vendor requests (every other vendor request answers 0); the last two are private ones of
    // our own tools and tests:
    // - kMeterFeedRequest: an offline host (qrx-render) reads the meter feed; stores a
    //   const MeterFeed* in ptr and answers 1.
    // - kInstructionSetRequest: which kernels the engine runs, from its next block on. `value` 0
    //   chooses the baseline, 1 the best this processor runs, anything else keeps the choice.
    //   Stores the name of the set in use as a const char* in ptr (if given) and answers 1.
    //   Used to compare the baseline with the fast path; a host never needs it.
    // - kScaleFactorRequest with value kScaleFactorValue: the host's scale factor for the editor
    //   in `opt` (hosts pass the UI scale this way); answers 1 when the editor takes it.
    static constexpr VstInt32 kScaleFactorRequest = vstFourCC('P', 'r', 'e', 'S');
    static constexpr VstIntPtr kScaleFactorValue = vstFourCC('A', 'e', 'C', 's');
    static constexpr VstInt32 kMeterFeedRequest = family::kMeterFeedRequest;
    static constexpr VstInt32 kInstructionSetRequest = family::kInstructionSetRequest;
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

    // Audio thread (at the start of a block): the kernels to run.
    qrx::dsp::InstructionSet instructionSet() const {
        return static_cast<qrx::dsp::InstructionSet>(kernels.load(std::memory_order_relaxed));
    }

    // Identity and channel answers, the same in both engines.
    bool getInputProperties(VstInt32 index, VstPinProperties* p) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* p) override;
    // Keeps the three arrangement flags and answers whether the pair of counts is accepted:
    // 1/1, 1/2, 2/2 and 4/2 are; 2/1 is refused but marks the side chain usable.
    bool setSpeakerArrangement(VstSpeakerArrangement* input,
                               VstSpeakerArrangement* output) override;
    bool setProcessPrecision(VstInt32 precision) override { return true; }
    VstPlugCategory getPlugCategory() override { return kPlugCategMastering; }
    bool getVendorString(char* text) override;
    VstInt32 getVendorVersion() override;
    // Audio thread: whether the host's arrangement has a right main input / a right output.
    bool secondInputUsable() const { return secondInput.load(std::memory_order_relaxed); }
    bool secondOutputUsable() const { return secondOutput.load(std::memory_order_relaxed); }

    // True when the engine could not allocate its processing state: the effect is inert.
    bool constructionFailed() const { return failed; }
    MeterFeed& meterFeed() { return meters; }

  protected:
    // Constructor step: makes the editor object through `factory` (none without a factory).
    // False when a factory was given and could not make it.
    bool createEditor(EditorFactory factory, VstInt16 panelHeight);

    bool failed = false;
    MeterFeed meters;
    std::atomic<bool> sideChainInputsUsable{true}, secondInput{true}, secondOutput{true};
    std::atomic<int> kernels{static_cast<int>(qrx::dsp::bestInstructionSet())};
};
