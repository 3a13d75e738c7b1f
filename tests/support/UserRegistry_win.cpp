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

}  // namespace testsupport
