// Per-user store: registry semantics on files below $XDG_CONFIG_HOME/QRX-soundwerk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "UserStoreFixture.h"
#include "platform/UserStore.h"
#include "support/BytesRead.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

using testsupport::bytesReadSoFar;

TEST_F(UserStoreTest, OpenOfMissingKeyFailsAndCreateMakesPrivateFolders) {
    EXPECT_EQ(UserStoreKey::open(kKey, StoreAccess::Query), nullptr);
    EXPECT_EQ(UserStoreKey::open(kKey, StoreAccess::Write), nullptr);
    EXPECT_FALSE(fs::exists(config_)) << "open must not create anything";

    EXPECT_NE(UserStoreKey::create(kKey, StoreAccess::Write), nullptr);
    ASSERT_TRUE(fs::is_directory(keyDir_));
    EXPECT_EQ(mode(config_), 0700u);
    EXPECT_EQ(mode(root_), 0700u);
    EXPECT_EQ(mode(keyDir_), 0700u);

    EXPECT_NE(UserStoreKey::open(kKey, StoreAccess::Query), nullptr);
    EXPECT_NE(UserStoreKey::open(kKey, StoreAccess::Write), nullptr);
    EXPECT_NE(UserStoreKey::open("SOFTWARE\\QRX-soundwerk", StoreAccess::Query), nullptr);
    // The fixed prefix compares case-insensitively, as registry key names do.
    EXPECT_NE(UserStoreKey::open("Software\\qrx-SOUNDWERK\\AmberGlowTube20", StoreAccess::Query),
              nullptr);
    // Creating an existing key just opens it; nested keys get nested folders.
    EXPECT_NE(UserStoreKey::create(kKey, StoreAccess::Query), nullptr);
    EXPECT_NE(UserStoreKey::create(kKey + "\\Presets\\User", StoreAccess::Write), nullptr);
    EXPECT_TRUE(fs::is_directory(keyDir_ + "/Presets/User"));
}

TEST_F(UserStoreTest, BinaryValuesRoundTripAndAreStoredAsPrivateFiles) {
    const std::array<unsigned char, 6> written{0x00, 0x01, 0x7F, 0x80, 0xFF, 0x00};
    {
        auto key = UserStoreKey::create(kKey, StoreAccess::Write);
        ASSERT_NE(key, nullptr);
        ASSERT_TRUE(key->setBinary("Gain", written.data(), written.size()));
        ASSERT_TRUE(key->setBinary("Empty", nullptr, 0));
    }
    EXPECT_EQ(readFileBytes(keyDir_ + "/Gain.bin"),
              std::string(reinterpret_cast<const char*>(written.data()), written.size()));
    EXPECT_EQ(mode(keyDir_ + "/Gain.bin"), 0600u);

    auto key = UserStoreKey::open(kKey, StoreAccess::Query);
    ASSERT_NE(key, nullptr);
    std::array<unsigned char, 8> read;
    read.fill(0xAA);
    std::size_t size = 0;
    ASSERT_TRUE(key->queryBinary("Gain", read.data(), read.size(), &size));
    EXPECT_EQ(size, written.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), read.begin()));
    EXPECT_EQ(read[6], 0xAA) << "bytes past the value must stay as they were";
    EXPECT_EQ(read[7], 0xAA);

    size = 99;
    EXPECT_TRUE(key->queryBinary("Empty", read.data(), read.size(), &size));
    EXPECT_EQ(size, 0u);

    // Overwriting with a shorter value leaves no trailing bytes of the old one.
    auto writer = UserStoreKey::open(kKey, StoreAccess::Write);
    const unsigned char shorter[2] = {9, 8};
    ASSERT_TRUE(writer->setBinary("Gain", shorter, 2));
    ASSERT_TRUE(key->queryBinary("Gain", read.data(), read.size(), &size));
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(read[0], 9);
    EXPECT_EQ(read[1], 8);
    EXPECT_EQ(entries(keyDir_), (std::set<std::string>{"Gain.bin", "Empty.bin"}));
}

TEST_F(UserStoreTest, StringsRoundTripThroughUtf8Files) {
    // U+00F6, U+2013, CJK, and U+1F3B8 as a surrogate pair.
    const std::u16string text = u"R\u00F6hre \u2013 \u6E29 \U0001F3B8";
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->setString("Owner", text));
    ASSERT_TRUE(writer->setString("Blank", u""));
    EXPECT_EQ(readFileBytes(keyDir_ + "/Owner.sz"),
              "R\xC3\xB6hre \xE2\x80\x93 \xE6\xB8\xA9 \xF0\x9F\x8E\xB8");
    EXPECT_EQ(mode(keyDir_ + "/Owner.sz"), 0600u);

    // An unpaired surrogate has no UTF-8 form: refused, nothing written.
    EXPECT_FALSE(writer->setString("Broken", std::u16string{u'a', char16_t(0xD83C)}));
    EXPECT_FALSE(fs::exists(keyDir_ + "/Broken.sz"));

    auto key = UserStoreKey::open(kKey, StoreAccess::Query);
    std::u16string read;
    ASSERT_TRUE(key->queryString("Owner", read, kTextLimit));
    EXPECT_EQ(read, text);
    read = u"x";
    ASSERT_TRUE(key->queryString("Blank", read, kTextLimit));
    EXPECT_EQ(read, u"");

    // A file edited by hand into invalid UTF-8 fails the query instead of yielding garbage.
    writeFileBytes(keyDir_ + "/Edited.sz", "ok\xC3\x28");
    read = u"default";
    EXPECT_FALSE(key->queryString("Edited", read, kTextLimit));
    EXPECT_EQ(read, u"default");
}

TEST_F(UserStoreTest, TextsLongerThanTheLimitAreAbsentAndNeverReadWhole) {
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->setString("Fits", std::u16string(kTextLimit, u'f')));
    ASSERT_TRUE(writer->setString("Over", std::u16string(kTextLimit + 1, u'o')));
    // Two bytes in UTF-8 each: 300 characters are 600 bytes on disk, over the limit.
    ASSERT_TRUE(writer->setString("Wide", std::u16string(300, u'\u00e9')));
    // A file planted in the store, 300 MB and sparse (it costs no disk space).
    {
        std::ofstream(keyDir_ + "/Huge.sz") << "x";
        fs::resize_file(keyDir_ + "/Huge.sz", 300'000'000);
    }

    auto key = UserStoreKey::open(kKey, StoreAccess::Query);
    std::u16string text = u"kept";
    ASSERT_TRUE(key->queryString("Fits", text, kTextLimit));
    EXPECT_EQ(text.size(), kTextLimit);
    text = u"kept";
    EXPECT_FALSE(key->queryString("Over", text, kTextLimit));
    EXPECT_FALSE(key->queryString("Wide", text, kTextLimit));
    const long long before = bytesReadSoFar();
    ASSERT_GE(before, 0) << "no /proc/self/io";
    EXPECT_FALSE(key->queryString("Huge", text, kTextLimit));
    EXPECT_LE(bytesReadSoFar() - before, static_cast<long long>(kTextLimit + 1) + 4096)
        << "the query read the planted file";
    EXPECT_EQ(text, u"kept");
}

TEST_F(UserStoreTest, LeftoverTempFileFromInterruptedWriteDoesNotDisturbReads) {
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    const std::uint16_t value = 0x1234;
    ASSERT_TRUE(writer->setBinary("Gain", &value, sizeof(value)));
    ASSERT_TRUE(writer->setString("Name", u"Warm"));
    EXPECT_EQ(entries(keyDir_), (std::set<std::string>{"Gain.bin", "Name.sz"}))
        << "successful writes leave no temp files";

    // What a crash between write and rename leaves behind: a partial temp file next to the value.
    writeFileBytes(keyDir_ + "/.qrx-4242-AbCdEfGh.tmp", "\x99");
    writeFileBytes(keyDir_ + "/.qrx-4243-AbCdEfGh.tmp", "Hal");

    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    std::uint16_t read = 0;
    std::size_t size = 0;
    ASSERT_TRUE(reader->queryBinary("Gain", &read, sizeof(read), &size));
    EXPECT_EQ(read, value);
    EXPECT_EQ(size, sizeof(value));
    std::u16string text;
    ASSERT_TRUE(reader->queryString("Name", text, kTextLimit));
    EXPECT_EQ(text, u"Warm");

    // Writing again still works and replaces the value, not the leftover.
    const std::uint16_t newer = 0x5678;
    ASSERT_TRUE(writer->setBinary("Gain", &newer, sizeof(newer)));
    ASSERT_TRUE(reader->queryBinary("Gain", &read, sizeof(read)));
    EXPECT_EQ(read, newer);
}

TEST_F(UserStoreTest, FailedReplaceKeepsOldValueAndLeavesNoTempFile) {
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->setString("Mode", u"tube"));
    // A folder squatting on the value's file name makes the final rename fail, even for root.
    ASSERT_TRUE(fs::create_directory(keyDir_ + "/Mode.bin"));

    const std::uint8_t byte = 1;
    EXPECT_FALSE(writer->setBinary("Mode", &byte, 1));
    EXPECT_EQ(entries(keyDir_), (std::set<std::string>{"Mode.bin", "Mode.sz"}));
    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    std::u16string text;
    ASSERT_TRUE(reader->queryString("Mode", text, kTextLimit));
    EXPECT_EQ(text, u"tube") << "the old value survives a failed type switch";
    std::uint8_t value = 42;
    EXPECT_FALSE(reader->queryBinary("Mode", &value, 1)) << "a folder is not a value";
    EXPECT_EQ(value, 42);
}

TEST_F(UserStoreTest, UnwritableFolderMakesWritesFailCleanly) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    const std::uint8_t before = 1, after = 2;
    ASSERT_TRUE(writer->setBinary("Gain", &before, 1));
    ASSERT_EQ(chmod(keyDir_.c_str(), 0500), 0);

    EXPECT_FALSE(writer->setBinary("Gain", &after, 1));
    EXPECT_FALSE(writer->setString("Name", u"x"));
    EXPECT_FALSE(writer->deleteValue("Gain"));
    EXPECT_EQ(UserStoreKey::open(kKey, StoreAccess::Write), nullptr);
    EXPECT_EQ(UserStoreKey::create(kKey, StoreAccess::Write), nullptr);
    EXPECT_EQ(entries(keyDir_), std::set<std::string>{"Gain.bin"});

    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    ASSERT_NE(reader, nullptr);
    std::uint8_t value = 0;
    ASSERT_TRUE(reader->queryBinary("Gain", &value, 1));
    EXPECT_EQ(value, before);

    // An unwritable parent: creating a new key below it fails without side effects.
    ASSERT_EQ(chmod(root_.c_str(), 0500), 0);
    EXPECT_EQ(UserStoreKey::create("SOFTWARE\\QRX-soundwerk\\Other", StoreAccess::Write), nullptr);
    EXPECT_FALSE(fs::exists(root_ + "/Other"));
}

TEST_F(UserStoreTest, RootFollowsXdgConfigHomeWithHomeFallback) {
    setenv("XDG_CONFIG_HOME", (config_ + "//").c_str(), 1);
    EXPECT_EQ(userStoreRoot(), root_);
    setenv("HOME", (base_ + "/home").c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(userStoreRoot(), base_ + "/home/.config/QRX-soundwerk");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);  // relative values are ignored
    EXPECT_EQ(userStoreRoot(), base_ + "/home/.config/QRX-soundwerk");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(userStoreRoot(), base_ + "/home/.config/QRX-soundwerk");
}

}  // namespace
}  // namespace platform
