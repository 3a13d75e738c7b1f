// The test engine with a preset-system editor attached, in an isolated per-user store, plus
// helpers to hand-build images word by word and to handle files.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "presets/CPresetSystemEditor.h"
#include "presets/TestEngine.h"
#include "support/CallbackRecorder.h"
#include "support/ImageBuilders.h"

namespace testsupport {

inline Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Runs `body` in a child process and returns its exit status (-1 when it did not exit). Used
// for what must not leak into the test process: a lowered file-size limit, dropped privileges.
inline int inChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Permission checks do not hold for root: tests of them drop to an unprivileged user first.
inline bool dropRoot() {
    if (geteuid() != 0) return true;
    return setgid(65534) == 0 && setuid(65534) == 0;
}

class EditorTest : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kId = vstFourCC('T', 'e', 's', 't');

    TemporaryConfigHome config;
    CallbackRecorder host;
    std::unique_ptr<Engine> engine = std::make_unique<Engine>(CallbackRecorder::callback);
    // Owned by the engine, which deletes it first in its destructor.
    CPresetSystemEditor* editor = new CPresetSystemEditor(engine.get());

    ProgramStore& store() { return *engine->programStore(); }
    std::string nameOf(int program) {
        char text[25];
        store().getName(program, text);
        return text;
    }
    std::vector<ProgramRecord> records() {
        std::vector<ProgramRecord> r;
        for (int k = 0; k < 16; ++k) r.push_back(store().record(k));
        return r;
    }
    static bool sameRecords(const std::vector<ProgramRecord>& a,
                            const std::vector<ProgramRecord>& b) {
        return std::memcmp(a.data(), b.data(), a.size() * sizeof(ProgramRecord)) == 0 &&
               a.size() == b.size();
    }
};

}  // namespace testsupport
