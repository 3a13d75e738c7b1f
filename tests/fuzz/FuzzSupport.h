// Shared pieces of the fuzz targets that link the engines: snapshots of an effect's program
// store and parameters and the checks on them (the basics are in FuzzBasics.h).
#pragma once

#include <cstdio>
#include <cstring>
#include <vector>

#include "editor/GrandPressEditor.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/fuzz/FuzzBasics.h"

namespace fuzz {

// What a load may change: the sixteen programs, the current program and the engine's values.
struct EffectState {
    std::vector<unsigned char> records;  // 16 program records as bytes
    int current = -1;
    std::vector<float> params;  // getParameter(0..40)

    bool sameRecords(const EffectState& o) const { return records == o.records; }
    bool operator==(const EffectState& o) const {
        return records == o.records && current == o.current &&
               std::memcmp(params.data(), o.params.data(), params.size() * sizeof(float)) == 0 &&
               params.size() == o.params.size();
    }
};

constexpr int kEngineParams = 41;

// Names the first difference between two states on stderr (for the report of a failed check).
inline void describeDifference(const EffectState& a, const EffectState& b) {
    for (std::size_t i = 0; i < a.records.size() && i < b.records.size(); ++i)
        if (a.records[i] != b.records[i]) {
            std::fprintf(stderr, "program %zu differs at record byte %zu\n",
                         i / sizeof(ProgramRecord), i % sizeof(ProgramRecord));
            break;
        }
    if (a.current != b.current) std::fprintf(stderr, "current %d vs %d\n", a.current, b.current);
    for (std::size_t i = 0; i < a.params.size() && i < b.params.size(); ++i)
        if (std::memcmp(&a.params[i], &b.params[i], sizeof(float)) != 0)
            std::fprintf(stderr, "parameter %zu: %.9g vs %.9g\n", i, a.params[i], b.params[i]);
}

inline EffectState snapshot(CPresetSystemEffect& e) {
    EffectState s;
    ProgramStore* store = e.programStore();
    FUZZ_CHECK(store != nullptr, "engine has no program store");
    s.records.resize(kNumPrograms * sizeof(ProgramRecord));
    for (int p = 0; p < kNumPrograms; ++p) {
        const ProgramRecord r = store->record(p);
        std::memcpy(&s.records[p * sizeof(ProgramRecord)], &r, sizeof r);
    }
    s.current = e.getCurrentProgramIndex();
    for (int i = 0; i < kEngineParams; ++i) s.params.push_back(e.getParameter(i));
    return s;
}

// The promise every accepted load keeps: stored program values and the engine's values are
// normalised (0..1, never NaN), and the current program is one of the sixteen.
inline void checkSound(CPresetSystemEffect& e, const char* what) {
    ProgramStore* store = e.programStore();
    for (int p = 0; p < kNumPrograms; ++p)
        for (int i = 0; i < kNumProgramParams; ++i) {
            const float v = store->value(p, i);
            if (!(v >= 0.0f && v <= 1.0f)) {
                std::fprintf(stderr, "%s: program %d value %d is %g\n", what, p, i, v);
                FUZZ_CHECK(false, "stored program value outside 0..1");
            }
        }
    for (int i = 0; i < kEngineParams; ++i) {
        const float v = e.getParameter(i);
        if (!(v >= 0.0f && v <= 1.0f)) {
            std::fprintf(stderr, "%s: parameter %d is %g\n", what, i, v);
            FUZZ_CHECK(false, "engine parameter outside 0..1");
        }
    }
    const int current = e.getCurrentProgramIndex();
    FUZZ_CHECK(current >= 0 && current < kNumPrograms, "current program out of range");
}

inline CPresetSystemEditor* presetEditorOf(AudioEffect& e) {
    return dynamic_cast<CPresetSystemEditor*>(e.getEditor());
}

}  // namespace fuzz
