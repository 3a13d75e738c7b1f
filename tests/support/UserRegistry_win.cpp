#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/PrivateUserStore.h"
#include "platform/WinText.h"
#include "support/UserRegistry.h"

namespace testsupport {
namespace {

// The tools' private store, for the whole test program.
platform::PrivateUserStore& privateCurrentUser() {
    static const std::unique_ptr<platform::PrivateUserStore> store = [] {
        std::string error;
        auto made =
            platform::PrivateUserStore::create(platform::PrivateUserStore::Start::Empty, &error);
        if (!made) {
            std::fprintf(stderr, "cannot give the tests a private HKEY_CURRENT_USER: %s\n",
                         error.c_str());
            std::abort();
        }
        return made;
    }();
    return *store;
}

// In place before main(), so even code run by static constructors of the tests sees it.
const bool kInstalled = (privateCurrentUser(), true);

}  // namespace

void clearUserRegistry() {
    privateCurrentUser().clear();
}

std::wstring userRegistryPath() {
    return platform::widen(privateCurrentUser().location());
}

bool existsInRealCurrentUser(const std::wstring& path) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    HKEY key = nullptr;
    const bool exists =
        RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key != nullptr) RegCloseKey(key);
    // Back to the private store.
    HKEY own = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, userRegistryPath().c_str(), 0, KEY_ALL_ACCESS, &own) !=
            ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, own) != ERROR_SUCCESS) {
        std::fputs("cannot give the tests their private HKEY_CURRENT_USER back\n", stderr);
        std::abort();
    }
    RegCloseKey(own);
    return exists;
}

}  // namespace testsupport
