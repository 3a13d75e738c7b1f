// A host callback for unit tests that construct effects directly: it answers like a host and
// records every request. One recorder at a time (tests are single-threaded); with none alive the
// callback still answers the version (2400) and nothing else.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "shell/vst2.h"
#ifdef _WIN32
#include "support/UserRegistry.h"
#endif

namespace testsupport {

struct Request {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
};

struct CallbackRecorder {
    std::vector<Request> requests;
    VstIntPtr versionAnswer = 2400;
    VstIntPtr blockSizeAnswer = 512;
    VstIntPtr outputLatencyAnswer = 0;
    std::function<VstIntPtr(VstInt32 pin, VstIntPtr isOutput)> pinAnswer;

    CallbackRecorder() { current() = this; }
    ~CallbackRecorder() { current() = nullptr; }

    static CallbackRecorder*& current() {
        static CallbackRecorder* recorder = nullptr;
        return recorder;
    }

    int count(VstInt32 opcode) const {
        int n = 0;
        for (const Request& r : requests) n += r.opcode == opcode;
        return n;
    }
    int count(VstInt32 opcode, VstInt32 index) const {
        int n = 0;
        for (const Request& r : requests) n += r.opcode == opcode && r.index == index;
        return n;
    }

    static VstIntPtr callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void*,
                              float opt) {
        CallbackRecorder* self = current();
        if (!self) return opcode == audioMasterVersion ? 2400 : 0;
        self->requests.push_back({opcode, index, value, opt});
        switch (opcode) {
            case audioMasterVersion:
                return self->versionAnswer;
            case audioMasterGetBlockSize:
                return self->blockSizeAnswer;
            case audioMasterGetOutputLatency:
                return self->outputLatencyAnswer;
            case audioMasterPinConnected:
                return self->pinAnswer ? self->pinAnswer(index, value) : 0;
            case audioMasterUpdateDisplay:
            case audioMasterBeginEdit:
            case audioMasterEndEdit:
                return 1;
            default:
                return 0;
        }
    }
};

// Points XDG_CONFIG_HOME at a fresh temporary folder for the life of the object, so tests never
// touch a real per-user store and never see each other's. On Windows, where the store is the
// registry, it empties the test program's private HKEY_CURRENT_USER instead (see UserRegistry.h);
// the folder is there for the files a test writes.
class TemporaryConfigHome {
  public:
#ifdef _WIN32
    TemporaryConfigHome() {
        clearUserRegistry();
        std::random_device random;
        path = (std::filesystem::temp_directory_path() /
                ("qrx-test-" + std::to_string(random()) + std::to_string(random())))
                   .string();
        std::filesystem::create_directory(path);
    }
    ~TemporaryConfigHome() {
        clearUserRegistry();
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
#else
    TemporaryConfigHome() {
        char pattern[] = "/tmp/qrx-test-XXXXXX";
        path = mkdtemp(pattern);
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld = old != nullptr;
        if (old) oldValue = old;
        setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    }
    ~TemporaryConfigHome() {
        if (hadOld)
            setenv("XDG_CONFIG_HOME", oldValue.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
#endif
    const std::string& folder() const {
        return path;
    }

  private:
    std::string path;
    std::string oldValue;
    bool hadOld = false;
};

}  // namespace testsupport
