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

#include <atomic>
#include <cstdio>
#include <thread>
#else
#include <cstdlib>
#endif

namespace platform {
namespace {

const std::string kKey = "SOFTWARE\\QRX-soundwerk\\QRX_GrandPress";

#ifdef _WIN32
// "The user's store" of this program, and of the programs its tests start to be ended by a console
// event (they inherit the name).
std::wstring usersKeyName() {
    wchar_t name[64] = {};
    if (GetEnvironmentVariableW(L"QRX_TEST_USERS_KEY", name, 64) == 0) {
        const std::wstring made = L"SOFTWARE\\QRX-tests\\" + std::to_wstring(GetCurrentProcessId());
        SetEnvironmentVariableW(L"QRX_TEST_USERS_KEY", made.c_str());
        return made;
    }
    return name;
}
const std::wstring kUsersKey = usersKeyName();
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

#ifdef _WIN32
// ---- The console handler, in programs that a console event ends

// A console event (Ctrl+C, Ctrl+Break, the console closed) as the system delivers it: its dispatch
// routine runs on a thread of its own and calls the registered handlers, the newest first, until
// one returns TRUE; when none does, it ends the process.
void sendConsoleEvent(DWORD event) {
    const auto dispatch = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    if (!dispatch) std::abort();
    HANDLE thread = CreateThread(
        nullptr, 0, dispatch, reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
    if (!thread) std::abort();
    WaitForSingleObject(thread, INFINITE);
    std::abort();  // not reached: the process has ended
}

// How the dispatch routine ends the process: with STATUS_CONTROL_C_EXIT on Windows, 0 under wine.
bool endedByConsole(int status) {
    return status == static_cast<int>(STATUS_CONTROL_C_EXIT) || status == 0;
}

// The private keys below the user's store (all of this program's stores lie there).
int privateKeys() {
    const std::wstring path = kUsersKey + L"\\SOFTWARE\\QRX-private";
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    HKEY parent = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &parent) == ERROR_SUCCESS) {
        RegQueryInfoKeyW(parent, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(parent);
    }
    useTheUsersStore();
    return static_cast<int>(count);
}

// Whether the value `name` was written to the store key of the real HKEY_CURRENT_USER (removed
// again when it was).
bool inTheRealStore(const std::string& name) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    const std::wstring path(kKey.begin(), kKey.end()), value(name.begin(), name.end());
    HKEY key = nullptr;
    bool found = false;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        found = RegQueryValueExW(key, value.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                ERROR_SUCCESS;
        if (found) RegDeleteValueW(key, value.c_str());
        RegCloseKey(key);
    }
    useTheUsersStore();
    return found;
}

using PrivateUserStoreDeathTest = PrivateUserStoreTest;

// An effect's destructor saving its settings on the main thread while the console closes. A
// handler installed before the store's, so it runs after it, holds the end of the process back
// until the writer has tried 200 more writes, and reports how many of them landed.
const char kLateWrite[] = "WrittenAfterTheEvent";
std::atomic<int> gWritesAfter{0}, gLandedAfter{0};
std::atomic<bool> gStoreHandlerRan{false};

BOOL WINAPI reportLateWrites(DWORD) {
    gStoreHandlerRan = true;
    while (gWritesAfter < 200) std::this_thread::yield();
    std::fprintf(stderr, "writes after the clean-up: %d of %d landed\n", gLandedAfter.load(),
                 gWritesAfter.load());
    return FALSE;
}

void writeWhileTheConsoleCloses() {
    SetConsoleCtrlHandler(reportLateWrites, TRUE);
    std::string error;
    auto store = PrivateUserStore::create(PrivateUserStore::Start::Empty, &error);
    if (!store) std::abort();
    std::atomic<int> before{0};
    std::thread writer([&] {
        for (int i = 0;; ++i) {
            const bool late = gStoreHandlerRan.load();
            const bool landed = setValue(late ? kLateWrite : "Written", static_cast<uint8_t>(i));
            if (!late) {
                ++before;
            } else {
                gLandedAfter += landed;
                ++gWritesAfter;
            }
        }
    });
    while (before < 20) std::this_thread::yield();  // writing when the event comes
    sendConsoleEvent(CTRL_CLOSE_EVENT);
}

TEST_F(PrivateUserStoreDeathTest, WritesAfterTheConsoleHandlerRanFailRatherThanReachTheUsersStore) {
    EXPECT_EXIT(writeWhileTheConsoleCloses(), endedByConsole,
                "writes after the clean-up: 0 of \\d+ landed");
    EXPECT_FALSE(inTheRealStore(kLateWrite));
    EXPECT_FALSE(inTheRealStore("Written"));
    EXPECT_EQ(privateKeys(), 0) << "the private key is removed";
    EXPECT_EQ(value("UsersOwn"), 7);
    EXPECT_EQ(value("Written"), -1);
    EXPECT_EQ(value(kLateWrite), -1);
}

// A tool making and removing stores over and over when the event comes: whatever moment it meets
// (a key being made, or being removed), no private key is left once the process has ended.
void makeStoresUntilTheConsoleCloses() {
    std::atomic<int> made{0};
    std::thread tool([&] {
        for (;;) {
            useTheUsersStore();  // where a store that goes leaves HKEY_CURRENT_USER is not it
            std::string error;
            if (PrivateUserStore::create(PrivateUserStore::Start::Empty, &error)) ++made;
        }
    });
    while (made < 3) std::this_thread::yield();
    sendConsoleEvent(CTRL_BREAK_EVENT);
}

TEST_F(PrivateUserStoreDeathTest, AConsoleEventWhileStoresComeAndGoLeavesNoKeyBehind) {
    for (int run = 0; run < 5 && !HasFailure(); ++run) {
        EXPECT_EXIT(makeStoresUntilTheConsoleCloses(), endedByConsole, "");
        EXPECT_EQ(privateKeys(), 0) << "a private key was left behind in run " << run;
    }
}
#endif

}  // namespace
}  // namespace platform
