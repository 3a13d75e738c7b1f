// The per-user store's behaviour that is the same on every platform: types, access modes,
// failed queries and refused names. The tests of how values are stored are in UserStoreTest.cpp
// (files, Linux) and UserStoreWinTest.cpp (registry, Windows).
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "HostileStoreNames.h"
#include "UserStoreFixture.h"
#include "platform/UserStore.h"

namespace platform {
namespace {

TEST_F(UserStoreTest, FailedQueriesLeaveThePrefilledDefaults) {
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    const double stored[2] = {-12.5, 4.0};
    ASSERT_TRUE(writer->setBinary("Settings", stored, sizeof(stored)));
    ASSERT_TRUE(writer->setString("Name", u"Warm"));

    auto key = UserStoreKey::open(kKey, StoreAccess::Query);
    ASSERT_NE(key, nullptr);
    double defaults[2] = {1.0, 2.0};
    std::size_t size = 0;
    // Too small: fails, the buffer keeps its defaults, the needed size is reported.
    EXPECT_FALSE(key->queryBinary("Settings", defaults, sizeof(double), &size));
    EXPECT_EQ(size, sizeof(stored));
    EXPECT_EQ(defaults[0], 1.0);
    EXPECT_EQ(defaults[1], 2.0);

    // Missing, or present only as a string: fails, buffer and size untouched.
    size = 12345;
    EXPECT_FALSE(key->queryBinary("Missing", defaults, sizeof(defaults), &size));
    EXPECT_FALSE(key->queryBinary("Name", defaults, sizeof(defaults), &size));
    EXPECT_EQ(size, 12345u);
    EXPECT_EQ(defaults[0], 1.0);

    // No buffer: only the size is learned.
    EXPECT_FALSE(key->queryBinary("Settings", nullptr, 0, &size));
    EXPECT_EQ(size, sizeof(stored));

    std::u16string text = u"default";
    EXPECT_FALSE(key->queryString("Missing", text, kTextLimit));
    EXPECT_FALSE(key->queryString("Settings", text, kTextLimit));
    EXPECT_EQ(text, u"default");

    ASSERT_TRUE(key->queryBinary("Settings", defaults, sizeof(defaults), &size));
    EXPECT_EQ(defaults[0], -12.5);
    EXPECT_EQ(defaults[1], 4.0);
}

TEST_F(UserStoreTest, SettingOneTypeReplacesTheOtherAndDeleteRemovesEither) {
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader, nullptr);
    const std::uint32_t number = 0xDEADBEEF;
    std::uint32_t readNumber = 0;
    std::u16string readText;

    ASSERT_TRUE(writer->setBinary("Mode", &number, sizeof(number)));
    ASSERT_TRUE(writer->setString("Mode", u"tube"));
    EXPECT_EQ(storedValues(), std::set<std::string>{"Mode.sz"});
    EXPECT_FALSE(reader->queryBinary("Mode", &readNumber, sizeof(readNumber)));
    ASSERT_TRUE(reader->queryString("Mode", readText, kTextLimit));
    EXPECT_EQ(readText, u"tube");

    ASSERT_TRUE(writer->setBinary("Mode", &number, sizeof(number)));
    EXPECT_EQ(storedValues(), std::set<std::string>{"Mode.bin"});
    EXPECT_FALSE(reader->queryString("Mode", readText, kTextLimit));
    ASSERT_TRUE(reader->queryBinary("Mode", &readNumber, sizeof(readNumber)));
    EXPECT_EQ(readNumber, number);

    EXPECT_TRUE(writer->deleteValue("Mode"));
    EXPECT_FALSE(reader->queryBinary("Mode", &readNumber, sizeof(readNumber)));
    EXPECT_FALSE(writer->deleteValue("Mode")) << "deleting a missing value reports failure";
    ASSERT_TRUE(writer->setString("Mode", u"tube"));
    EXPECT_TRUE(writer->deleteValue("Mode"));
    EXPECT_TRUE(storedValues().empty());
}

TEST_F(UserStoreTest, AccessModeIsEnforced) {
    ASSERT_NE(UserStoreKey::create(kKey, StoreAccess::Write), nullptr);
    auto writer = UserStoreKey::open(kKey, StoreAccess::Write);
    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader, nullptr);
    const std::uint8_t one = 1;
    ASSERT_TRUE(writer->setBinary("Kept", &one, 1));

    EXPECT_FALSE(reader->setBinary("New", &one, 1));
    EXPECT_FALSE(reader->setString("New", u"x"));
    EXPECT_FALSE(reader->deleteValue("Kept"));
    EXPECT_EQ(storedValues(), std::set<std::string>{"Kept.bin"});

    // A write handle does not read, as with a registry key opened for writing only.
    std::uint8_t value = 7;
    std::u16string text;
    EXPECT_FALSE(writer->queryBinary("Kept", &value, 1));
    EXPECT_FALSE(writer->queryString("Kept", text, kTextLimit));
    EXPECT_EQ(value, 7);
}

TEST_F(UserStoreTest, HostileKeyPathsAndValueNamesAreRefusedAndCreateNothingOutside) {
    auto key = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(key, nullptr);

    for (const auto& path : kHostileKeyPaths) {
        SCOPED_TRACE(path);
        EXPECT_EQ(UserStoreKey::create(path, StoreAccess::Write), nullptr);
        EXPECT_EQ(UserStoreKey::open(path, StoreAccess::Query), nullptr);
    }

    const std::uint8_t byte = 1;
    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    for (const auto& name : kHostileValueNames) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(key->setBinary(name, &byte, 1));
        EXPECT_FALSE(key->setString(name, u"x"));
        EXPECT_FALSE(key->deleteValue(name));
        std::u16string text;
        std::uint8_t value = 0;
        EXPECT_FALSE(reader->queryBinary(name, &value, 1));
        EXPECT_FALSE(reader->queryString(name, text, kTextLimit));
    }
    expectOnlyTheKeyExists();
}

}  // namespace
}  // namespace platform
