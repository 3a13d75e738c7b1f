// The tools' private per-user store: what a plug-in writes while it lives never reaches the user's
// store, the user's defaults are seen only when asked for, and nothing of it is left afterwards.
// "The user's store" here is the test's own: on Linux a fresh folder named by XDG_CONFIG_HOME, on
// Windows a key of this process that HKEY_CURRENT_USER is redirected to (the program is built
// without the tests' usual private registry, so the store under test is the only one).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/PrivateUserStore.h"
#include "platform/UserStore.h"
#include "support/TemporaryFolder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace platform {
namespace {

const std::string kKey = "SOFTWARE\\QRX-soundwerk\\QRX_GrandPress";

#ifdef _WIN32
const std::wstring kUsersKey = L"SOFTWARE\\QRX-tests\\" + std::to_wstring(GetCurrentProcessId());
#endif

// Makes "the user's store" current again: the private store gives back the real
// HKEY_CURRENT_USER when it dies, not the one this program had redirected it to.
void useTheUsersStore() {
#ifdef _WIN32
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kUsersKey.c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, key), ERROR_SUCCESS);
    RegCloseKey(key);
#endif
}

bool setValue(const std::string& name, std::uint8_t value) {
    auto key = UserStoreKey::create(kKey, StoreAccess::Write);
    return key && key->setBinary(name, &value, 1);
}

// The value's byte, -1 when it is missing.
int value(const std::string& name) {
    auto key = UserStoreKey::open(kKey, StoreAccess::Query);
    std::uint8_t byte = 0;
    return key && key->queryBinary(name, &byte, 1) ? byte : -1;
}

class PrivateUserStoreTest : public testing::Test {
  protected:
    void SetUp() override {
#ifndef _WIN32
        setenv("XDG_CONFIG_HOME", home.folder().c_str(), 1);
#endif
        useTheUsersStore();
        ASSERT_TRUE(setValue("UsersOwn", 7));
    }
    void TearDown() override {
        useTheUsersStore();
        if (auto key = UserStoreKey::create(kKey, StoreAccess::Write)) {
            key->deleteValue("UsersOwn");
            key->deleteValue("Written");
        }
#ifdef _WIN32
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegDeleteTreeW(HKEY_CURRENT_USER, kUsersKey.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\QRX-tests");  // kept while others use it
#endif
    }

    testsupport::TemporaryFolder home{"qrx-users-store-"};
};

TEST_F(PrivateUserStoreTest, EmptyStoreHidesTheUsersValuesAndKeepsItsWritesToItself) {
    std::string error;
    auto store = PrivateUserStore::create(PrivateUserStore::Start::Empty, &error);
    ASSERT_NE(store, nullptr) << error;
    EXPECT_FALSE(store->location().empty());
    EXPECT_EQ(value("UsersOwn"), -1);
    ASSERT_TRUE(setValue("Written", 3));
    EXPECT_EQ(value("Written"), 3);
    store.reset();

    useTheUsersStore();
    EXPECT_EQ(value("UsersOwn"), 7);
    EXPECT_EQ(value("Written"), -1);
}

TEST_F(PrivateUserStoreTest, UserDefaultsAreACopyThatTakesTheWrites) {
    std::string error;
    auto store = PrivateUserStore::create(PrivateUserStore::Start::UserDefaults, &error);
    ASSERT_NE(store, nullptr) << error;
    EXPECT_EQ(value("UsersOwn"), 7);
    ASSERT_TRUE(setValue("UsersOwn", 9));
    ASSERT_TRUE(setValue("Written", 3));
    EXPECT_EQ(value("UsersOwn"), 9);

    // Emptied, it is as on a machine where no instance ever ran, and still in use.
    EXPECT_TRUE(store->clear());
    EXPECT_EQ(value("UsersOwn"), -1);
    ASSERT_TRUE(setValue("Written", 4));
    EXPECT_EQ(value("Written"), 4);
    store.reset();

    useTheUsersStore();
    EXPECT_EQ(value("UsersOwn"), 7);
    EXPECT_EQ(value("Written"), -1);
}

TEST_F(PrivateUserStoreTest, OneAtATimeAndNothingLeftBehind) {
    std::string error;
    auto store = PrivateUserStore::create(PrivateUserStore::Start::Empty, &error);
    ASSERT_NE(store, nullptr) << error;
    const std::string location = store->location();
    EXPECT_EQ(PrivateUserStore::create(PrivateUserStore::Start::Empty, &error), nullptr);
    EXPECT_NE(error.find("exists already"), std::string::npos) << error;
    store.reset();
    useTheUsersStore();
#ifdef _WIN32
    // The private key was below the HKEY_CURRENT_USER current at its creation.
    HKEY key = nullptr;
    const std::wstring path(location.begin(), location.end());
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    if (key != nullptr) RegCloseKey(key);
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\QRX-private", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    if (key != nullptr) RegCloseKey(key);
#else
    EXPECT_FALSE(std::filesystem::exists(location));
#endif
    // A new one can be made once the first is gone.
    EXPECT_NE(PrivateUserStore::create(PrivateUserStore::Start::Empty, &error), nullptr) << error;
}

}  // namespace
}  // namespace platform
