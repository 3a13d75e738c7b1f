// The per-user store tests' fixture: every test starts with an empty store of its own (Linux: a
// fresh XDG_CONFIG_HOME; Windows: the test program's private HKEY_CURRENT_USER emptied), and
// storedValues() lists the values of the key kKey on either platform.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "support/UserRegistry.h"
#else
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#endif

namespace platform {

inline const std::string kKey = "SOFTWARE\\QRX-soundwerk\\AmberGlowTube20";
inline constexpr std::size_t kTextLimit = 514;

#ifdef _WIN32
inline const wchar_t* const kRegistryKey = L"SOFTWARE\\QRX-soundwerk\\AmberGlowTube20";
// Every test starts with an empty (private) HKEY_CURRENT_USER.
class UserStoreTest : public testing::Test {
  protected:
    void SetUp() override { testsupport::clearUserRegistry(); }

    // A value as the registry holds it: its type and raw bytes; type 0 when missing.
    static std::pair<DWORD, std::vector<unsigned char>> rawValue(const wchar_t* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return {0, {}};
        DWORD type = 0, size = 0;
        std::vector<unsigned char> bytes;
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            bytes.resize(size);
            RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size);
        } else {
            type = 0;
        }
        RegCloseKey(key);
        return {type, bytes};
    }
    // The key's values, named as the Linux store names their files: "<name>.bin" for
    // REG_BINARY, "<name>.sz" for REG_SZ.
    static std::set<std::string> storedValues() {
        std::set<std::string> names;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return names;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256, type = 0;
            if (RegEnumValueW(key, i, name, &length, nullptr, &type, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            const std::string ascii(name, name + length);
            names.insert(ascii + (type == REG_BINARY ? ".bin" : type == REG_SZ ? ".sz" : ".other"));
        }
        RegCloseKey(key);
        return names;
    }
    // Nothing in the store but the key kKey and its parents.
    static void expectOnlyTheKeyExists() {
        EXPECT_EQ(keysBelow(L""),
                  (std::set<std::wstring>{L"SOFTWARE", L"SOFTWARE\\QRX-soundwerk", kRegistryKey}));
    }
    // Plants a value the way another program (or a user with regedit) could.
    static void plant(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // Every key below `path` of HKEY_CURRENT_USER, as paths relative to it.
    static std::set<std::wstring> keysBelow(const std::wstring& path) {
        std::set<std::wstring> found;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path.empty() ? nullptr : path.c_str(), 0,
                          KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS)
            return found;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            const std::wstring child = path.empty() ? name : path + L"\\" + name;
            found.insert(child);
            found.merge(keysBelow(child));
        }
        RegCloseKey(key);
        return found;
    }
};
#else
// Every test gets a fresh, not yet existing XDG_CONFIG_HOME inside its own temp folder.
class UserStoreTest : public testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qrx-platform-store-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        base_ = pattern;
        saveEnv("XDG_CONFIG_HOME", savedXdg_);
        saveEnv("HOME", savedHome_);
        config_ = base_ + "/config";
        root_ = config_ + "/QRX-soundwerk";
        keyDir_ = root_ + "/AmberGlowTube20";
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    }

    void TearDown() override {
        restoreEnv("XDG_CONFIG_HOME", savedXdg_);
        restoreEnv("HOME", savedHome_);
        // Give back permissions a test may have taken away so everything can be removed.
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(base_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec))
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
        }
        std::filesystem::permissions(base_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(base_, ec);
    }

    static void saveEnv(const char* name, std::optional<std::string>& saved) {
        const char* value = std::getenv(name);
        saved = value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void restoreEnv(const char* name, const std::optional<std::string>& saved) {
        if (saved)
            setenv(name, saved->c_str(), 1);
        else
            unsetenv(name);
    }

    static std::string readFileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void writeFileBytes(const std::string& path, const std::string& bytes) {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }
    // The only things in the temp folder are the config folder, the store root and the key.
    void expectOnlyTheKeyExists() const {
        std::set<std::string> found;
        for (const auto& e : std::filesystem::recursive_directory_iterator(base_))
            found.insert(e.path().string());
        EXPECT_EQ(found, (std::set<std::string>{config_, root_, keyDir_}));
    }
    // The key's values as their files are named: "<name>.bin" and "<name>.sz".
    std::set<std::string> storedValues() const { return entries(keyDir_); }
    static std::set<std::string> entries(const std::string& folder) {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            names.insert(e.path().filename());
        return names;
    }
    static unsigned mode(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    }

    std::string base_, config_, root_, keyDir_;
    std::optional<std::string> savedXdg_, savedHome_;
};
#endif

}  // namespace platform
