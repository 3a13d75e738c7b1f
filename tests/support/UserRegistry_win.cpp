#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/UserRegistry.h"

namespace testsupport {
namespace {

class PrivateCurrentUser {
  public:
    PrivateCurrentUser()
        : path_(L"SOFTWARE\\QRX-tests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount())) {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS ||
            RegOverridePredefKey(HKEY_CURRENT_USER, key_) != ERROR_SUCCESS) {
            std::fputs("cannot give the tests a private HKEY_CURRENT_USER\n", stderr);
            std::abort();
        }
    }
    ~PrivateCurrentUser() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(key_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }

    void clear() { RegDeleteTreeW(key_, nullptr); }
    const std::wstring& path() const { return path_; }

  private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

PrivateCurrentUser& privateCurrentUser() {
    static PrivateCurrentUser instance;
    return instance;
}

// In place before main(), so even code run by static constructors of the tests sees it.
const bool kInstalled = (privateCurrentUser(), true);

}  // namespace

void clearUserRegistry() {
    privateCurrentUser().clear();
}

std::wstring userRegistryPath() {
    return privateCurrentUser().path();
}

}  // namespace testsupport
