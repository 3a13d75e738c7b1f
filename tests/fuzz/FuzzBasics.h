// The pieces every fuzz target shares, whatever it links: the check macro, a quiet host
// callback, a private per-user store that is removed at exit, and whole-file writes. Every
// target runs single-threaded inside libFuzzer's driver.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

}  // namespace fuzz
