// Shared pieces of the fuzz targets: a quiet host callback, a private per-user store that is
// removed at exit, snapshots of an effect's program store and parameters, and the check macro.
// Every target runs single-threaded inside libFuzzer's driver.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "editor/GrandPressEditor.h"
#include "presets/CPresetSystemEffect.h"
#include "shell/vst2.h"

// A broken promise is a crash to libFuzzer: it keeps the input as a crasher.
#define FUZZ_CHECK(condition, what)                                                            \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace fuzz {

// Answers like a 2.4 host and ignores everything else (automation, display updates).
inline VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Points XDG_CONFIG_HOME at a fresh folder for the whole run and removes it at exit, so the
// targets never read or write the user's real store. Returns the folder.
inline const std::string& privateConfigHome() {
    // Never destroyed: the exit handler below still needs the name.
    static const std::string* folder = [] {
        // Inside QRX_FUZZ_SCRATCH when run.sh gives one (libFuzzer ends some runs without the
        // exit handlers; run.sh removes that folder), else memory-backed where there is one, as
        // the store's writes sync every file.
        struct stat shm {};
        const bool haveShm =
            stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) && access("/dev/shm", W_OK) == 0;
        const char* scratch = std::getenv("QRX_FUZZ_SCRATCH");
        std::string base = haveShm ? "/dev/shm" : "/tmp";
        if (scratch && scratch[0] == '/') base = scratch;
        std::string pattern = base + "/qrx-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern.data());
        if (!made) std::abort();
        setenv("XDG_CONFIG_HOME", made, 1);
        auto* name = new std::string(made);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(privateConfigHome(), ignored);
        });
        return name;
    }();
    return *folder;
}

// Writes `size` bytes to `path` (replacing it); aborts when the file system refuses, since the
// target would then test nothing.
inline void writeWholeFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr, "cannot create a scratch file");
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    FUZZ_CHECK(std::fclose(f) == 0 && ok, "cannot write a scratch file");
}

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
