// A small engine on the preset system for its tests: it follows the engines' contract (apply,
// then record unless a program is loading) and remembers every value that reaches it.
#pragma once

#include <vector>

#include "presets/CPresetSystemEffect.h"

namespace testsupport {

inline FactoryProgram makeFactory(int p) {
    FactoryProgram f{};
    f.values[0] = 1.0;
    for (int i = 1; i < kNumProgramParams; ++i) f.values[i] = (p * 34 + i) / 1000.0;
    return f;
}

inline const std::vector<FactoryProgram>& testFactory() {
    static const std::vector<FactoryProgram> table = [] {
        std::vector<FactoryProgram> t;
        for (int p = 0; p < kNumPrograms; ++p) t.push_back(makeFactory(p));
        return t;
    }();
    return table;
}

// The engine contract: apply, then record unless a program is loading.
class Engine : public CPresetSystemEffect {
  public:
    explicit Engine(audioMasterCallback master)
        : CPresetSystemEffect(master, testFactory().data()) {
        setUniqueID(vstFourCC('T', 'e', 's', 't'));
    }
    void setParameter(VstInt32 index, float value) override {
        applied.push_back({index, value});
        if (index >= 0 && index < 41) params[index] = value;
        recordParameter(index, value);
    }
    float getParameter(VstInt32 index) override { return params[index]; }
    struct Applied {
        VstInt32 index;
        float value;
    };
    std::vector<Applied> applied;
    float params[41] = {};
};

}  // namespace testsupport
