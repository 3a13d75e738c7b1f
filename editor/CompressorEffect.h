// What the shared editor needs of either engine (GrandPress, TinyPress) beyond the VST calls:
// physical values for read-outs, latency figures, the side-chain flag, the allocation state and
// the meter feed. User-interface thread unless stated.
#pragma once

#include "editor/GrandPressEditor.h"
#include "editor/MeterFeed.h"
#include "presets/CPresetSystemEffect.h"

class CompressorEffect : public CPresetSystemEffect {
  public:
    using CPresetSystemEffect::CPresetSystemEffect;

    // The parameter's value in the units of its display text.
    virtual float getDisplayValue(VstInt32 index) = 0;
    virtual float alwaysOne() { return 1.0f; }
    virtual bool sideChainAvailable() = 0;
    virtual double getLatencyMs() = 0;
    virtual VstInt32 getLatencySamples() = 0;

    // A private vendor request through which an offline host (qrx-render) reads the meter feed:
    // effVendorSpecific with index kMeterFeedRequest stores a const MeterFeed* in ptr and
    // answers 1. Every other vendor request answers 0.
    static constexpr VstInt32 kMeterFeedRequest = vstFourCC('Q', 'R', 'X', 'm');
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override {
        if (index != kMeterFeedRequest || !ptr) return 0;
        *static_cast<const MeterFeed**>(ptr) = &meters;
        return 1;
    }

    // True when the engine could not allocate its processing state: the effect is inert.
    bool constructionFailed() const { return failed; }
    MeterFeed& meterFeed() { return meters; }

  protected:
    // Both engines' editor objects are GrandPressEditors; null when there is none.
    GrandPressEditor* panelEditor() const { return static_cast<GrandPressEditor*>(editor); }

    bool failed = false;
    MeterFeed meters;
};
