#include "platform/UserStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/FileWrite.h"
#include "platform/StoreNames.h"
#include "platform/Utf.h"

namespace platform {
namespace {

constexpr const char* kBinaryExt = ".bin";
constexpr const char* kStringExt = ".sz";

std::optional<std::string> keyFolder(const std::string& keyPath) {
    const auto parts = parseStoreKeyPath(keyPath);
    if (!parts) return std::nullopt;
    std::string folder = userStoreRoot();
    if (folder.empty()) return std::nullopt;
    for (const auto& part : *parts) folder += "/" + part;
    return folder;
}

// mkdir -p with mode 0700 for every folder it creates. Existing folders keep their mode.
bool makeFolders(const std::string& path) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string prefix = path.substr(0, pos);
        if (mkdir(prefix.c_str(), 0700) == 0) continue;
        if (errno != EEXIST) return false;
        struct stat st {};
        if (stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
    return true;
}

// Returns the open folder descriptor, or -1.
int openFolder(const std::string& folder, StoreAccess access) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    // Refuse at open time, as the registry does, when the folder does not grant the access asked
    // for.
    const int mode = access == StoreAccess::Write ? (W_OK | X_OK) : (R_OK | X_OK);
    if (faccessat(fd, ".", mode, AT_EACCESS) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Replaces `fileName` in the folder with `data` atomically: readers see the old or the new
// content, never a mixture, and a failure at any step leaves the old file and no temp file behind.
// Temp names never end in a value file's extension, so they never look like a value.
bool replaceFileAtomically(int folderFd, const std::string& fileName, const void* data,
                           std::size_t size) {
    NewFileMode mode;
    mode.create = 0600;
    mode.exact = 0600;  // the umask could have narrowed it; never widen beyond 0600
    return replaceInFolder(folderFd, fileName, data, size, mode) == 0;
}

// Removes a file; true when it was removed or did not exist.
bool removeIfPresent(int folderFd, const std::string& fileName, bool* removed = nullptr) {
    if (unlinkat(folderFd, fileName.c_str(), 0) == 0) {
        if (removed != nullptr) *removed = true;
        return true;
    }
    return errno == ENOENT;
}

// Reads a whole regular file of at most `limit` bytes; a longer one counts as absent. At most
// `limit` + 1 bytes are ever read, however big the file is or claims to be. `storedSize` receives
// the file size whenever the file exists and is a regular file. Non-blocking open so a FIFO
// planted under the name cannot hang the user interface.
bool readFile(int folderFd, const std::string& fileName, std::size_t limit, std::string& out,
              std::size_t* storedSize) {
    const int fd = openat(folderFd, fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    if (storedSize != nullptr) *storedSize = size;
    if (size > limit) {
        ::close(fd);
        return false;
    }
    // One byte more than the limit tells a file that grew since fstat from one that fits.
    std::string buffer(size + 1, '\0');
    std::size_t done = 0;
    bool failed = false;
    while (done < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR) continue;
        failed = n < 0;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    // Shrunk, grew, or failed while being read: not the value fstat measured.
    if (failed || done != size) return false;
    buffer.resize(size);
    out = std::move(buffer);
    return true;
}

}  // namespace

std::string userStoreRoot() {
    std::string base;
    // Relative values are ignored, as the XDG base directory rules require.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        std::string home;
        if (const char* env = std::getenv("HOME"); env != nullptr && env[0] == '/') {
            home = env;
        } else {
            std::vector<char> buffer(16384);
            passwd pw{};
            passwd* result = nullptr;
            if (getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &result) == 0 &&
                result != nullptr && pw.pw_dir != nullptr && pw.pw_dir[0] == '/') {
                home = pw.pw_dir;
            }
        }
        if (home.empty()) return {};
        base = home + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base == "/") base.clear();
    return base + "/" + kStoreCompanyKey;
}

std::unique_ptr<UserStoreKey> UserStoreKey::open(const std::string& keyPath, StoreAccess access) {
    const auto folder = keyFolder(keyPath);
    if (!folder) return nullptr;
    const int fd = openFolder(*folder, access);
    if (fd < 0) return nullptr;
    return std::unique_ptr<UserStoreKey>(new UserStoreKey(fd, access));
}

std::unique_ptr<UserStoreKey> UserStoreKey::create(const std::string& keyPath, StoreAccess access) {
    const auto folder = keyFolder(keyPath);
    if (!folder || !makeFolders(*folder)) return nullptr;
    const int fd = openFolder(*folder, access);
    if (fd < 0) return nullptr;
    return std::unique_ptr<UserStoreKey>(new UserStoreKey(fd, access));
}

UserStoreKey::~UserStoreKey() {
    ::close(fd());
}

bool UserStoreKey::setBinary(const std::string& name, const void* data, std::size_t size) {
    if (access_ != StoreAccess::Write || !isSafeStoreName(name)) return false;
    if (data == nullptr && size != 0) return false;
    static const unsigned char kEmpty = 0;
    if (!replaceFileAtomically(fd(), name + kBinaryExt, data ? data : &kEmpty, size)) {
        return false;
    }
    // One value per name: the string form of the same name goes away.
    return removeIfPresent(fd(), name + kStringExt);
}

bool UserStoreKey::queryBinary(const std::string& name, void* data, std::size_t capacity,
                               std::size_t* size) const {
    if (access_ != StoreAccess::Query || !isSafeStoreName(name)) return false;
    if (data == nullptr) capacity = 0;
    std::string bytes;
    if (!readFile(fd(), name + kBinaryExt, capacity, bytes, size)) return false;
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    return true;
}

bool UserStoreKey::setString(const std::string& name, const std::u16string& text) {
    if (access_ != StoreAccess::Write || !isSafeStoreName(name)) return false;
    std::string utf8;
    if (!tryToUtf8(text, utf8)) return false;
    if (!replaceFileAtomically(fd(), name + kStringExt, utf8.data(), utf8.size())) {
        return false;
    }
    return removeIfPresent(fd(), name + kBinaryExt);
}

bool UserStoreKey::queryString(const std::string& name, std::u16string& text,
                               std::size_t maxBytes) const {
    if (access_ != StoreAccess::Query || !isSafeStoreName(name)) return false;
    std::string utf8;
    if (!readFile(fd(), name + kStringExt, maxBytes, utf8, nullptr)) {
        return false;
    }
    return tryToUtf16(utf8, text);
}

bool UserStoreKey::deleteValue(const std::string& name) {
    if (access_ != StoreAccess::Write || !isSafeStoreName(name)) return false;
    bool removed = false;
    const bool binaryOk = removeIfPresent(fd(), name + kBinaryExt, &removed);
    const bool stringOk = removeIfPresent(fd(), name + kStringExt, &removed);
    if (removed) fsync(fd());
    return binaryOk && stringOk && removed;
}

}  // namespace platform
