#include <windows.h>

#include "platform/PrivateUserStore.h"
#include "platform/StoreNames.h"
#include "platform/WinText.h"

namespace platform {
namespace {

// The private keys lie below SOFTWARE\QRX-private of the HKEY_CURRENT_USER current at creation.
constexpr const wchar_t* kPrivateParent = L"QRX-private";

// What a store shares with the console handler, which the system runs on a thread of its own
// while the other threads go on; all of it under gLock. The handler thus meets either no key or
// a key whose record is complete, and no store comes or goes while it removes one.
SRWLOCK gLock = SRWLOCK_INIT;
// While a store lives: that SOFTWARE key, the private key's path below it, and a key that is
// deleted already (HKEY_CURRENT_USER is pointed at it when the store closes).
HKEY gSoftware = nullptr;
wchar_t gPath[128];
HKEY gClosed = nullptr;
bool gLiving = false;
// Set by the console handler: the process is ending, and no store is made any more (it would
// outlive the process).
bool gEnding = false;

class Locked {
  public:
    Locked() { AcquireSRWLockExclusive(&gLock); }
    ~Locked() { ReleaseSRWLockExclusive(&gLock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

HKEY keyOf(void* key) {
    return static_cast<HKEY>(key);
}

// Closes the store while other threads may still write to it. First HKEY_CURRENT_USER is pointed
// at a deleted key: from then on every key opened or made through it fails, so the writes of
// every module of the process (plug-in libraries have their own store code) fail rather than
// reach the user's store. Then the private key goes, and with it the keys writers still hold;
// one that a writer was just making keeps it, and it is removed again. Last the parent goes when
// no other process has a private store.
void closeStore() {
    RegOverridePredefKey(HKEY_CURRENT_USER, gClosed);
    for (int attempt = 0; attempt < 64; ++attempt) {
        const LSTATUS removed = RegDeleteTreeW(gSoftware, gPath);
        if (removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND) break;
    }
    RegDeleteKeyW(gSoftware, kPrivateParent);  // fails while another process has one: kept
}

// Runs on a thread of its own when the console is interrupted or closed; the process ends after.
// HKEY_CURRENT_USER never goes back to the user's store here (as on Linux XDG_CONFIG_HOME keeps
// naming the removed folder): a write on another thread, during the clean-up or after it, lands
// in the private key and goes with it, or fails.
BOOL WINAPI onConsoleEvent(DWORD) {
    const Locked locked;
    gEnding = true;
    if (gLiving) {
        gLiving = false;
        closeStore();
    }
    return FALSE;  // the next handler (the system's) ends the process
}

// Makes the private key and its record; null with `error` set when there is none.
HKEY makeKey(std::wstring& path, std::string* error) {
    const Locked locked;
    if (gEnding) {
        *error = "the process is ending: no private per-user store is made";
        return nullptr;
    }
    if (gLiving) {
        *error = "a private per-user store exists already";
        return nullptr;
    }
    path = std::wstring(kPrivateParent) + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount());
    if (path.size() >= std::size(gPath)) {
        *error = "the private per-user store's name is too long";
        return nullptr;
    }
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
    // The deleted key: made below the private key and deleted at once.
    HKEY closed = nullptr;
    if (made == ERROR_SUCCESS) {
        made = RegCreateKeyExW(key, L"closed", 0, nullptr, REG_OPTION_VOLATILE, KEY_READ, nullptr,
                               &closed, nullptr);
        if (made == ERROR_SUCCESS) made = RegDeleteKeyW(key, L"closed");
    }
    if (made != ERROR_SUCCESS) {
        *error = "cannot make a private per-user store in the registry: " +
                 systemErrorText(static_cast<unsigned long>(made));
        if (closed != nullptr) RegCloseKey(closed);
        if (key != nullptr) {
            RegCloseKey(key);
            RegDeleteTreeW(software, path.c_str());
        }
        if (software != nullptr) RegCloseKey(software);
        return nullptr;
    }
    gSoftware = software;
    gClosed = closed;
    path.copy(gPath, path.size());
    gPath[path.size()] = L'\0';
    gLiving = true;
    return key;
}

// Copies the user's SOFTWARE\QRX-soundwerk tree into the private key. Best effort, as on Linux:
// what cannot be read is what the plug-in could not read either.
void copyUserDefaults(HKEY key) {
    const std::wstring company = L"SOFTWARE\\" + widen(std::string(kStoreCompanyKey));
    HKEY from = nullptr, to = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, company.c_str(), 0, KEY_READ, &from) == ERROR_SUCCESS &&
        RegCreateKeyExW(key, company.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &to, nullptr) == ERROR_SUCCESS)
        RegCopyTreeW(from, nullptr, to);
    if (from != nullptr) RegCloseKey(from);
    if (to != nullptr) RegCloseKey(to);
}

}  // namespace

std::unique_ptr<PrivateUserStore> PrivateUserStore::create(Start start, std::string* error) {
    // The handler is in place before the key exists, and goes only after it is removed. It is
    // installed and removed outside gLock: the system holds a lock of its own while it runs the
    // handlers, which wait for gLock.
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    std::wstring path;
    HKEY key = makeKey(path, error);
    if (key == nullptr) {
        SetConsoleCtrlHandler(onConsoleEvent, FALSE);
        return nullptr;
    }
    std::unique_ptr<PrivateUserStore> store(new PrivateUserStore);
    store->location_ = "SOFTWARE\\" + narrow(path);
    store->key_ = key;
    if (start == Start::UserDefaults) copyUserDefaults(key);
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
    {
        const Locked locked;
        // Closed as the console handler does, then HKEY_CURRENT_USER is given back. When the
        // handler has closed it already, the process is ending and HKEY_CURRENT_USER stays on the
        // deleted key.
        if (gLiving) {
            gLiving = false;
            closeStore();
            RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        }
        RegCloseKey(keyOf(key_));
        RegCloseKey(gClosed);
        RegCloseKey(gSoftware);
        gClosed = gSoftware = nullptr;
        gPath[0] = L'\0';
    }
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
}

}  // namespace platform
