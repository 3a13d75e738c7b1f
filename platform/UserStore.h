// Per-user settings store with the semantics of the Windows registry under HKEY_CURRENT_USER.
//
// Key paths are written the Windows way ("SOFTWARE\\QRX-soundwerk\\AmberGlowTube20"); only keys
// below SOFTWARE\QRX-soundwerk are reachable. On Linux the key SOFTWARE\QRX-soundwerk is the
// folder userStoreRoot(), each further path component a subfolder (0700), and each value a file
// (0600) in its key's folder: "<name>.bin" holds REG_BINARY bytes, "<name>.sz" the UTF-8 form of a
// REG_SZ string. Writes are atomic (temp file, fsync, rename), so a crash leaves either the old or
// the new value, never a torn one. On Windows the keys are the registry's own, below
// HKEY_CURRENT_USER, and each value a REG_BINARY or REG_SZ value; names are checked as on Linux.
//
// Threads: called from the user-interface thread and at effect construction/destruction, never
// from audio processing (everything here allocates and makes system calls). Distinct key objects
// may be used from different threads; one key object is not meant to be shared between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class StoreAccess {
    Query,  // values can be read; set/delete fail
    Write,  // values can be set and deleted; queries fail (as with a KEY_WRITE handle)
};

// One open key. Closing the key = destroying the object.
class UserStoreKey {
  public:
    // Opens an existing key; nullptr when it does not exist, the path is refused, or the folder
    // does not grant the requested access (like RegOpenKeyEx).
    static std::unique_ptr<UserStoreKey> open(const std::string& keyPath, StoreAccess access);
    // Opens the key, creating it and its parents when missing; nullptr on failure (like
    // RegCreateKeyEx).
    static std::unique_ptr<UserStoreKey> create(const std::string& keyPath, StoreAccess access);

    ~UserStoreKey();
    UserStoreKey(const UserStoreKey&) = delete;
    UserStoreKey& operator=(const UserStoreKey&) = delete;

    // REG_BINARY. Replaces a REG_SZ value of the same name. `data` may be nullptr only when size is
    // 0.
    bool setBinary(const std::string& name, const void* data, std::size_t size);
    // Copies the value into `data` when it exists as REG_BINARY and fits in `capacity` bytes.
    // Otherwise returns false and leaves `data` untouched, so callers can pre-fill defaults.
    // `size`, when given, receives the stored size whenever the binary value exists (also when too
    // large).
    bool queryBinary(const std::string& name, void* data, std::size_t capacity,
                     std::size_t* size = nullptr) const;

    // REG_SZ. Replaces a REG_BINARY value of the same name. Text with an unpaired surrogate is
    // refused (it has no UTF-8 form and would not read back as written).
    bool setString(const std::string& name, const std::u16string& text);
    // False (text untouched) when missing, of the other type, longer than `maxBytes` bytes on
    // disk (UTF-8), or not valid UTF-8 on disk. At most `maxBytes` + 1 bytes are read, so a huge
    // file planted in the store costs nothing.
    bool queryString(const std::string& name, std::u16string& text, std::size_t maxBytes) const;

    // Removes the value of either type; false when there was none or it could not be removed.
    bool deleteValue(const std::string& name);

  private:
    UserStoreKey(std::intptr_t handle, StoreAccess access) : handle_(handle), access_(access) {}
    int fd() const { return static_cast<int>(handle_); }

    // The open key. Linux: the descriptor of the key's folder, opened O_DIRECTORY; all value
    // files are reached through it. Windows: the key's HKEY.
    std::intptr_t handle_;
    StoreAccess access_;
};

// Folder of the key SOFTWARE\QRX-soundwerk: $XDG_CONFIG_HOME/QRX-soundwerk, where XDG_CONFIG_HOME
// defaults to ~/.config when unset or not absolute. Empty when no home folder can be determined,
// and always on Windows, where the store is the registry.
std::string userStoreRoot();

}  // namespace platform
