#include "TestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace tinypress_test {

TempConfigHome::TempConfigHome() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        previous = old;
        hadPrevious = true;
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tinypress-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) folder = pattern;
    if (folder.empty()) throw std::runtime_error("no temporary folder");
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
}

TempConfigHome::~TempConfigHome() {
    if (hadPrevious)
        setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::vector<VstInt32>& recordedOpcodes() {
    static std::vector<VstInt32> opcodes;
    return opcodes;
}

VstIntPtr recordingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    recordedOpcodes().push_back(opcode);
    return opcode == audioMasterVersion ? 2400 : 0;
}

namespace {

// Whatever runs this program (ctest or a developer by hand), the effects it constructs read and
// write a private store, never the real ~/.config.
class PrivateStoreEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { home = std::make_unique<TempConfigHome>(); }
    void TearDown() override { home.reset(); }

  private:
    std::unique_ptr<TempConfigHome> home;
};

[[maybe_unused]] ::testing::Environment* const kPrivateStore =
    ::testing::AddGlobalTestEnvironment(new PrivateStoreEnvironment);

}  // namespace
}  // namespace tinypress_test
