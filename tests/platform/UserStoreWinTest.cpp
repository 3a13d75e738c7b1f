// Per-user store on Windows: registry values below HKEY_CURRENT_USER\SOFTWARE\QRX-soundwerk, with
// the same names, types and limits as the file store on Linux.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstring>
#include <set>
#include <vector>

#include "UserStoreFixture.h"
#include "platform/UserStore.h"
#include "support/UserRegistry.h"

namespace platform {
namespace {

TEST_F(UserStoreTest, KeysAreRegistryKeysThatOpenFindsOnlyOnceCreated) {
    EXPECT_EQ(UserStoreKey::open(kKey, StoreAccess::Query), nullptr);
    EXPECT_EQ(UserStoreKey::open(kKey, StoreAccess::Write), nullptr);
    EXPECT_TRUE(keysBelow(L"").empty()) << "open must not create anything";

    EXPECT_NE(UserStoreKey::create(kKey, StoreAccess::Write), nullptr);
    EXPECT_NE(UserStoreKey::open(kKey, StoreAccess::Query), nullptr);
    EXPECT_NE(UserStoreKey::open("SOFTWARE\\QRX-soundwerk", StoreAccess::Query), nullptr);
    EXPECT_NE(UserStoreKey::open("Software\\qrx-SOUNDWERK\\AmberGlowTube20", StoreAccess::Query),
              nullptr);
    EXPECT_NE(UserStoreKey::create(kKey + "\\Presets\\User", StoreAccess::Write), nullptr);
    EXPECT_EQ(keysBelow(L""),
              (std::set<std::wstring>{L"SOFTWARE", L"SOFTWARE\\QRX-soundwerk", kRegistryKey,
                                      std::wstring(kRegistryKey) + L"\\Presets",
                                      std::wstring(kRegistryKey) + L"\\Presets\\User"}));
}

TEST_F(UserStoreTest, BinaryValuesAreRegBinaryAndRoundTrip) {
    const std::array<unsigned char, 6> written{0x00, 0x01, 0x7F, 0x80, 0xFF, 0x00};
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->setBinary("Gain", written.data(), written.size()));
    ASSERT_TRUE(writer->setBinary("Empty", nullptr, 0));
    EXPECT_FALSE(writer->setBinary("Bad", nullptr, 3));
    const auto [type, bytes] = rawValue(L"Gain");
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(bytes, std::vector<unsigned char>(written.begin(), written.end()));

    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    std::array<unsigned char, 8> read;
    read.fill(0xAA);
    std::size_t size = 0;
    ASSERT_TRUE(reader->queryBinary("Gain", read.data(), read.size(), &size));
    EXPECT_EQ(size, written.size());
    EXPECT_TRUE(std::equal(written.begin(), written.end(), read.begin()));
    EXPECT_EQ(read[6], 0xAA) << "bytes past the value must stay as they were";
    size = 99;
    EXPECT_TRUE(reader->queryBinary("Empty", read.data(), read.size(), &size));
    EXPECT_EQ(size, 0u);

    // Too small: fails, the buffer keeps its defaults, the needed size is reported.
    read.fill(0x11);
    EXPECT_FALSE(reader->queryBinary("Gain", read.data(), 4, &size));
    EXPECT_EQ(size, written.size());
    EXPECT_EQ(read[0], 0x11);
    EXPECT_FALSE(reader->queryBinary("Gain", nullptr, 0, &size));
    EXPECT_EQ(size, written.size());
    // Missing: fails, size untouched.
    size = 12345;
    EXPECT_FALSE(reader->queryBinary("Missing", read.data(), read.size(), &size));
    EXPECT_EQ(size, 12345u);
}

TEST_F(UserStoreTest, StringsAreRegSzWithTerminatorAndRoundTrip) {
    const std::u16string text = u"R\u00F6hre \u2013 \u6E29 \U0001F3B8";
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->setString("Owner", text));
    ASSERT_TRUE(writer->setString("Blank", u""));
    const auto [type, bytes] = rawValue(L"Owner");
    EXPECT_EQ(type, DWORD(REG_SZ));
    std::u16string terminated = text + u'\0';
    EXPECT_EQ(bytes.size(), terminated.size() * 2);
    EXPECT_EQ(std::memcmp(bytes.data(), terminated.data(), bytes.size()), 0);

    // An unpaired surrogate is refused, as on Linux where it has no UTF-8 form.
    EXPECT_FALSE(writer->setString("Broken", std::u16string{u'a', char16_t(0xD83C)}));
    EXPECT_EQ(rawValue(L"Broken").first, 0u);

    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    std::u16string read;
    ASSERT_TRUE(reader->queryString("Owner", read, kTextLimit));
    EXPECT_EQ(read, text);
    read = u"x";
    ASSERT_TRUE(reader->queryString("Blank", read, kTextLimit));
    EXPECT_EQ(read, u"");

    // Values written by others: without a terminator they read; broken UTF-16, an odd size or
    // another string type do not, and leave the caller's text as it was.
    plant(L"NoNul", REG_SZ, L"Warm", 8);
    ASSERT_TRUE(reader->queryString("NoNul", read, kTextLimit));
    EXPECT_EQ(read, u"Warm");
    const wchar_t lonely[] = {L'o', L'k', wchar_t(0xDC00), 0};
    plant(L"Lonely", REG_SZ, lonely, sizeof lonely);
    plant(L"Odd", REG_SZ, "abc", 3);
    plant(L"Expand", REG_EXPAND_SZ, L"%TEMP%", 14);
    for (const char* name : {"Lonely", "Odd", "Expand"}) {
        read = u"default";
        EXPECT_FALSE(reader->queryString(name, read, kTextLimit)) << name;
        EXPECT_EQ(read, u"default") << name;
    }
}

TEST_F(UserStoreTest, TextsLongerThanTheLimitInUtf8AreAbsent) {
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    ASSERT_TRUE(writer->setString("Fits", std::u16string(kTextLimit, u'f')));
    ASSERT_TRUE(writer->setString("Over", std::u16string(kTextLimit + 1, u'o')));
    // Two bytes each in UTF-8: 300 characters are 600 bytes, over the limit as on Linux.
    ASSERT_TRUE(writer->setString("Wide", std::u16string(300, u'\u00e9')));
    ASSERT_TRUE(writer->setString("Huge", std::u16string(4'000'000, u'h')));

    auto reader = UserStoreKey::open(kKey, StoreAccess::Query);
    std::u16string text = u"kept";
    ASSERT_TRUE(reader->queryString("Fits", text, kTextLimit));
    EXPECT_EQ(text.size(), kTextLimit);
    text = u"kept";
    EXPECT_FALSE(reader->queryString("Over", text, kTextLimit));
    EXPECT_FALSE(reader->queryString("Wide", text, kTextLimit));
    EXPECT_FALSE(reader->queryString("Huge", text, kTextLimit));
    EXPECT_EQ(text, u"kept");
}

TEST_F(UserStoreTest, TestsWriteToAPrivateCurrentUserKey) {
    auto writer = UserStoreKey::create(kKey, StoreAccess::Write);
    ASSERT_NE(writer, nullptr);
    const std::uint8_t byte = 5;
    ASSERT_TRUE(writer->setBinary("Isolated", &byte, 1));
    // Below the real HKEY_CURRENT_USER, the value sits inside this program's private key.
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, nullptr), ERROR_SUCCESS);
    const std::wstring privatePath = testsupport::userRegistryPath() + L"\\" + kRegistryKey;
    HKEY key = nullptr;
    const LONG opened =
        RegOpenKeyExW(HKEY_CURRENT_USER, privatePath.c_str(), 0, KEY_QUERY_VALUE, &key);
    DWORD size = 0;
    const LONG queried = opened == ERROR_SUCCESS
                             ? RegQueryValueExW(key, L"Isolated", nullptr, nullptr, nullptr, &size)
                             : opened;
    if (key != nullptr) RegCloseKey(key);
    HKEY privateKey = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, testsupport::userRegistryPath().c_str(), 0,
                            KEY_ALL_ACCESS, &privateKey),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, privateKey), ERROR_SUCCESS);
    RegCloseKey(privateKey);
    EXPECT_EQ(queried, ERROR_SUCCESS);
    EXPECT_EQ(size, 1u);
}

}  // namespace
}  // namespace platform
