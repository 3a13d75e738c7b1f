#include <windows.h>

#include <atomic>

#include "platform/PrivateUserStore.h"
#include "platform/StoreNames.h"
#include "platform/WinText.h"

namespace platform {
namespace {

// The private keys lie below SOFTWARE\QRX-private of the HKEY_CURRENT_USER current at creation.
constexpr const wchar_t* kPrivateParent = L"QRX-private";

// While a store lives: that SOFTWARE key and the private key's path below it, for the destructor
// and the console handler. Written before the handler is installed and after it is removed.
HKEY gSoftware = nullptr;
wchar_t gPath[128];
std::atomic<bool> gLiving{false};

HKEY keyOf(void* key) {
    return static_cast<HKEY>(key);
}

// Removes the private key and, when no other private store is left, its parent.
void removeKey() {
    RegDeleteTreeW(gSoftware, gPath);
    RegDeleteKeyW(gSoftware, kPrivateParent);  // fails while another process has one: kept
}

// Runs on a thread of its own when the console is interrupted or closed; the process ends after.
BOOL WINAPI onConsoleEvent(DWORD) {
    if (gLiving.exchange(false)) {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        removeKey();
    }
    return FALSE;  // the next handler (the system's) ends the process
}

}  // namespace

std::unique_ptr<PrivateUserStore> PrivateUserStore::create(Start start, std::string* error) {
    if (gLiving.load()) {
        *error = "a private per-user store exists already";
        return nullptr;
    }
    const std::wstring path = std::wstring(kPrivateParent) + L"\\" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount());
    HKEY software = nullptr, key = nullptr;
    LSTATUS made = RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE", 0, KEY_ALL_ACCESS, &software);
    // Another process's store going away removes the parent when it is empty, also between our
    // making the parent and the key below it: then the parent is made again.
    for (int attempt = 0; attempt < 16 && made == ERROR_SUCCESS; ++attempt) {
        made = RegCreateKeyExW(software, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (made != ERROR_KEY_DELETED) break;
        if (attempt + 1 < 16) made = ERROR_SUCCESS;  // try again
    }
    if (made != ERROR_SUCCESS || path.size() >= std::size(gPath)) {
        *error = "cannot make a private per-user store in the registry: " +
                 systemErrorText(static_cast<unsigned long>(made));
        if (key != nullptr) RegCloseKey(key);
        if (software != nullptr) RegCloseKey(software);
        return nullptr;
    }
    std::unique_ptr<PrivateUserStore> store(new PrivateUserStore);
    store->location_ = "SOFTWARE\\" + narrow(path);
    store->key_ = key;
    gSoftware = software;
    path.copy(gPath, path.size());
    gPath[path.size()] = L'\0';
    gLiving.store(true);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    if (start == Start::UserDefaults) {
        // Best effort, as on Linux: what cannot be read is what the plug-in could not read either.
        const std::wstring company = L"SOFTWARE\\" + widen(std::string(kStoreCompanyKey));
        HKEY from = nullptr, to = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, company.c_str(), 0, KEY_READ, &from) ==
                ERROR_SUCCESS &&
            RegCreateKeyExW(key, company.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &to, nullptr) == ERROR_SUCCESS)
            RegCopyTreeW(from, nullptr, to);
        if (from != nullptr) RegCloseKey(from);
        if (to != nullptr) RegCloseKey(to);
    }
    if (RegOverridePredefKey(HKEY_CURRENT_USER, key) != ERROR_SUCCESS) {
        *error = "cannot redirect HKEY_CURRENT_USER to a private per-user store";
        return nullptr;  // the destructor removes the key again
    }
    return store;
}

bool PrivateUserStore::clear() {
    // Subkeys and values of the private key itself, whatever HKEY_CURRENT_USER names now.
    const LSTATUS status = RegDeleteTreeW(keyOf(key_), nullptr);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

PrivateUserStore::~PrivateUserStore() {
    const bool living = gLiving.exchange(false);
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(keyOf(key_));
    if (living) removeKey();
    RegCloseKey(gSoftware);
    gSoftware = nullptr;
    gPath[0] = L'\0';
}

}  // namespace platform
