#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace tinypress_test {
namespace {

// Whatever runs this program (ctest or a developer by hand), the effects it constructs read and
// write a private store, never the real ~/.config.
class PrivateStoreEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { home = std::make_unique<testsupport::TemporaryConfigHome>(); }
    void TearDown() override { home.reset(); }

  private:
    std::unique_ptr<testsupport::TemporaryConfigHome> home;
};

[[maybe_unused]] ::testing::Environment* const kPrivateStore =
    ::testing::AddGlobalTestEnvironment(new PrivateStoreEnvironment);

}  // namespace
}  // namespace tinypress_test
