#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/StoreNames.h"
#include "platform/UserStore.h"
#include "platform/Utf.h"
#include "platform/WinText.h"

namespace platform {
namespace {

// The registry path below HKEY_CURRENT_USER of a checked key path; empty when it is refused.
std::wstring registryPath(const std::string& keyPath) {
    const auto parts = parseStoreKeyPath(keyPath);
    if (!parts) return {};
    std::string path = std::string("SOFTWARE\\") + kStoreCompanyKey;
    for (const auto& part : *parts) path += "\\" + part;
    return widen(path);
}

REGSAM accessMask(StoreAccess access) {
    return access == StoreAccess::Write ? KEY_SET_VALUE : KEY_QUERY_VALUE;
}

HKEY keyOf(std::intptr_t handle) {
    return reinterpret_cast<HKEY>(handle);
}

// Type and size of a value; false when it does not exist or cannot be queried.
bool valueInfo(HKEY key, const std::wstring& name, DWORD& type, DWORD& size) {
    return RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

// Reads up to `capacity` bytes of a value of type `expected`; false when the value is missing, of
// another type, or larger than `capacity` (also when it grew since it was measured).
bool readValue(HKEY key, const std::wstring& name, DWORD expected, std::size_t capacity,
               std::vector<unsigned char>& out) {
    std::vector<unsigned char> buffer(capacity);
    DWORD type = 0;
    auto size = static_cast<DWORD>(capacity);
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS)
        return false;
    if (type != expected || size > capacity) return false;
    buffer.resize(size);
    out = std::move(buffer);
    return true;
}

// Registry values are at most a DWORD long.
constexpr std::size_t kLargestValue = 0xFFFFFFFFu - 2;

}  // namespace

std::string userStoreRoot() {
    return {};
}

std::unique_ptr<UserStoreKey> UserStoreKey::open(const std::string& keyPath, StoreAccess access) {
    const std::wstring path = registryPath(keyPath);
    if (path.empty()) return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, accessMask(access), &key) !=
        ERROR_SUCCESS)
        return nullptr;
    return std::unique_ptr<UserStoreKey>(
        new UserStoreKey(reinterpret_cast<std::intptr_t>(key), access));
}

std::unique_ptr<UserStoreKey> UserStoreKey::create(const std::string& keyPath, StoreAccess access) {
    const std::wstring path = registryPath(keyPath);
    if (path.empty()) return nullptr;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        accessMask(access), nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return std::unique_ptr<UserStoreKey>(
        new UserStoreKey(reinterpret_cast<std::intptr_t>(key), access));
}

UserStoreKey::~UserStoreKey() {
    RegCloseKey(keyOf(handle_));
}

bool UserStoreKey::setBinary(const std::string& name, const void* data, std::size_t size) {
    if (access_ != StoreAccess::Write || !isSafeStoreName(name)) return false;
    if ((data == nullptr && size != 0) || size > kLargestValue) return false;
    // Writing a value of the same name replaces it whatever its type was.
    return RegSetValueExW(keyOf(handle_), widen(name).c_str(), 0, REG_BINARY,
                          static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool UserStoreKey::queryBinary(const std::string& name, void* data, std::size_t capacity,
                               std::size_t* size) const {
    if (access_ != StoreAccess::Query || !isSafeStoreName(name)) return false;
    if (data == nullptr) capacity = 0;
    const std::wstring wideName = widen(name);
    DWORD type = 0, stored = 0;
    if (!valueInfo(keyOf(handle_), wideName, type, stored) || type != REG_BINARY) return false;
    if (size != nullptr) *size = stored;
    if (stored > capacity) return false;
    std::vector<unsigned char> bytes;
    if (!readValue(keyOf(handle_), wideName, REG_BINARY, capacity, bytes)) return false;
    if (size != nullptr) *size = bytes.size();
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    return true;
}

bool UserStoreKey::setString(const std::string& name, const std::u16string& text) {
    if (access_ != StoreAccess::Write || !isSafeStoreName(name)) return false;
    // The same texts as on Linux: one with an unpaired surrogate would not read back as written.
    std::string utf8;
    if (!tryToUtf8(text, utf8)) return false;
    if (text.size() >= kLargestValue / 2) return false;
    // REG_SZ data ends in a terminating NUL, counted in its size.
    const std::wstring wide = widen(text);
    return RegSetValueExW(keyOf(handle_), widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool UserStoreKey::queryString(const std::string& name, std::u16string& text,
                               std::size_t maxBytes) const {
    if (access_ != StoreAccess::Query || !isSafeStoreName(name)) return false;
    // The limit counts UTF-8 bytes, as on Linux. Every UTF-16 unit is at least one of them, so a
    // value with more than `maxBytes` units (and a terminator) is too long without being read.
    const std::size_t capacity = (maxBytes + 1) * sizeof(char16_t);
    std::vector<unsigned char> bytes;
    if (!readValue(keyOf(handle_), widen(name), REG_SZ, capacity, bytes)) return false;
    if (bytes.size() % sizeof(char16_t) != 0) return false;  // not UTF-16: written by someone else
    std::u16string utf16(bytes.size() / sizeof(char16_t), u'\0');
    if (!bytes.empty()) std::memcpy(utf16.data(), bytes.data(), bytes.size());
    // The terminator is part of the data when written as REG_SZ should be; others may omit it.
    if (!utf16.empty() && utf16.back() == u'\0') utf16.pop_back();
    std::string utf8;
    if (!tryToUtf8(utf16, utf8) || utf8.size() > maxBytes) return false;
    text = std::move(utf16);
    return true;
}

bool UserStoreKey::deleteValue(const std::string& name) {
    if (access_ != StoreAccess::Write || !isSafeStoreName(name)) return false;
    return RegDeleteValueW(keyOf(handle_), widen(name).c_str()) == ERROR_SUCCESS;
}

}  // namespace platform
