// The skeleton both engines (GrandPress, TinyPress) share on top of CompressorEffect: the
// parameters, answered from the engine's parameter table (`Params`, a param_table::Table), and
// their hand-over to the audio thread (`handOver`, see SettingsHandOver.h for which thread calls
// what). The engine stores what the host or the editor sets through handOver.set() and, at the
// start of each block on the audio thread, takes and builds its settings from it.
// User-interface thread unless stated.
#pragma once

#include <cstring>

#include "presets/CompressorEffect.h"
#include "presets/SettingsHandOver.h"

template <typename Params>
class EngineEffect : public CompressorEffect {
  public:
    using Settings = typename Params::Settings;
    using HandOver = SettingsHandOver<Settings, Params::kRows>;

    // Any thread: the stored value of `index` (0 outside the table).
    float getParameter(VstInt32 index) override {
        return index < 0 || index >= Params::kRows ? 0.0f : handOver.value(index);
    }
    void getParameterDisplay(VstInt32 index, char* text) override {
        Params::formatParamDisplay(index, getParameter(index), text);
    }
    void getParameterName(VstInt32 index, char* text) override {
        std::strcpy(text, Params::paramSpec(index).name);
    }
    bool getParameterProperties(VstInt32 index, VstParameterProperties* p) override {
        return Params::fillParamProperties(index, p);
    }
    bool getEffectName(char* name) override {
        std::strcpy(name, effectName);
        return true;
    }
    bool getProductString(char* text) override {
        std::strcpy(text, productString);
        return true;
    }
    float getDisplayValue(VstInt32 index) override {
        return Params::editorValueOf(index, getParameter(index));
    }
    float normalisedOfDisplayValue(VstInt32 index, double value) override {
        return Params::normalisedOfEditorValue(index, value);
    }

    // The rate the signal path runs at (any thread).
    double processingRate() const { return handOver.rate(); }
    // Audio thread (tests): the parameter values the signal path's settings were built from.
    const float* adoptedParameters() const noexcept { return handOver.adopted(); }

  protected:
    // `name` is the effect's name, `product` its product string (both kept, not copied).
    EngineEffect(audioMasterCallback audioMaster, const FactoryProgram* programs, const char* name,
                 const char* product, typename HandOver::BuildAll buildAll,
                 typename HandOver::BuildOne buildOne)
        : CompressorEffect(audioMaster, programs),
          handOver(buildAll, buildOne, 44100.0),
          effectName(name),
          productString(product) {}

    HandOver handOver;

  private:
    const char* const effectName;
    const char* const productString;
};
