#include "platform/PrivateUserStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/UserStore.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Store values are a few kilobytes at most; anything bigger in the user's store is not copied.
constexpr std::uintmax_t kLargestCopiedFile = 64 * 1024;
// The store is two levels deep (company folder, key folders); copies go no deeper than this.
constexpr int kDeepestFolder = 8;

// Set while a store lives: one per process.
bool gLiving = false;

// Copies the folders and the small regular files of the user's store; links and anything else
// are left out. Best effort: what cannot be read is what the plug-in could not have read either.
void copyStore(const fs::path& from, const fs::path& to) {
    std::error_code e;
    if (!fs::is_directory(fs::symlink_status(from, e))) return;
    fs::create_directory(to, e);
    for (auto it = fs::recursive_directory_iterator(from, e);
         !e && it != fs::recursive_directory_iterator(); it.increment(e)) {
        if (it.depth() >= kDeepestFolder - 1) {
            it.disable_recursion_pending();
            continue;
        }
        std::error_code ignored;
        const fs::path target = to / fs::relative(it->path(), from, ignored);
        const fs::file_status status = it->symlink_status(ignored);
        if (fs::is_directory(status)) {
            fs::create_directory(target, ignored);
            fs::permissions(target, fs::perms::owner_all, ignored);
        } else if (fs::is_regular_file(status) && it->file_size(ignored) <= kLargestCopiedFile) {
            fs::copy_file(it->path(), target, ignored);
        }
    }
}

}  // namespace

std::unique_ptr<PrivateUserStore> PrivateUserStore::create(Start start, std::string* error) {
    if (gLiving) {
        *error = "a private per-user store exists already";
        return nullptr;
    }
    const std::string userRoot = userStoreRoot();  // before XDG_CONFIG_HOME changes
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/qrx-store-XXXXXX";
    std::unique_ptr<PrivateUserStore> store(new PrivateUserStore);
    {
        const CleanupSignalsHeld held;
        if (!mkdtemp(pattern.data())) {
            *error = "cannot make a temporary per-user store in '" +
                     pattern.substr(0, pattern.rfind('/')) + "': " + std::strerror(errno);
            return nullptr;
        }
        store->removal_ = RemovedOnSignal(pattern, true);
        if (!store->removal_.registered()) {
            removeFolderTree(pattern.c_str());
            *error = "cannot make a temporary per-user store in '" +
                     pattern.substr(0, pattern.rfind('/')) + "': its path is too long";
            return nullptr;
        }
        gLiving = true;
    }
    store->location_ = pattern;
    if (const char* previous = std::getenv("XDG_CONFIG_HOME")) {
        store->hadConfigHome_ = true;
        store->previousConfigHome_ = previous;
    }
    setenv("XDG_CONFIG_HOME", store->location_.c_str(), 1);
    if (start == Start::UserDefaults && !userRoot.empty()) copyStore(userRoot, userStoreRoot());
    return store;
}

bool PrivateUserStore::clear() {
    const bool removed = removeFolderTree(location_.c_str());
    return mkdir(location_.c_str(), 0700) == 0 && removed;
}

PrivateUserStore::~PrivateUserStore() {
    if (hadConfigHome_)
        setenv("XDG_CONFIG_HOME", previousConfigHome_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    if (location_.empty()) return;  // creation failed
    const CleanupSignalsHeld held;
    removal_.release();
    removeFolderTree(location_.c_str());
    gLiving = false;
}

}  // namespace platform
