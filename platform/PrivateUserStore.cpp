#include "platform/PrivateUserStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
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
// The store is two levels deep (company folder, key folders); removal goes no deeper than this.
constexpr int kDeepestFolder = 8;

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The folder the signal handler removes; empty when no store lives. Set before the handlers.
char gFolder[4096];
struct sigaction gPreviousActions[std::size(kCleanupSignals)];
bool gInstalled[std::size(kCleanupSignals)];

// Removes `name` below `parentFd`, folders with all they hold; true when it is gone. Only system
// calls that are safe in a signal handler (no allocation): the handler uses it too.
bool removeTree(int parentFd, const char* name, int depth) {
    if (unlinkat(parentFd, name, 0) == 0) return true;
    if (errno != EISDIR && errno != EPERM) return errno == ENOENT;
    const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    // Entries are removed while the folder is read: read it again from the start until a pass
    // removes nothing more.
    for (bool removed = depth > 0; removed;) {
        removed = false;
        lseek(fd, 0, SEEK_SET);
        alignas(8) char buffer[2048];
        ssize_t n;
        while ((n = getdents64(fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
                at += entry->d_reclen;
                const char* child = entry->d_name;
                if (std::strcmp(child, ".") == 0 || std::strcmp(child, "..") == 0) continue;
                removed |= removeTree(fd, child, depth - 1);
            }
        }
    }
    close(fd);
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
}

void removeFolder(const char* folder) {
    if (folder[0] == '/') removeTree(AT_FDCWD, folder, kDeepestFolder);
}

void onSignal(int signal) {
    removeFolder(gFolder);
    // Die of the signal as the process would have without us.
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void installHandlers() {
    for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        for (int s : kCleanupSignals) sigaddset(&action.sa_mask, s);
        gInstalled[i] = false;
        if (sigaction(kCleanupSignals[i], nullptr, &gPreviousActions[i]) != 0) continue;
        // A signal the caller ignores (nohup) stays ignored.
        if (gPreviousActions[i].sa_handler == SIG_IGN) continue;
        gInstalled[i] = sigaction(kCleanupSignals[i], &action, nullptr) == 0;
    }
}

void restoreHandlers() {
    for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i)
        if (gInstalled[i]) sigaction(kCleanupSignals[i], &gPreviousActions[i], nullptr);
}

// Holds the cleanup signals back while the folder and the handlers come or go together, so that
// no signal finds a folder without a handler that removes it; one that arrives meanwhile is
// delivered when the hold ends.
class CleanupSignalsHeld {
  public:
    CleanupSignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int s : kCleanupSignals) sigaddset(&held, s);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~CleanupSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

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
    if (gFolder[0] != 0) {
        *error = "a private per-user store exists already";
        return nullptr;
    }
    const std::string userRoot = userStoreRoot();  // before XDG_CONFIG_HOME changes
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/qrx-store-XXXXXX";
    {
        const CleanupSignalsHeld held;
        if (pattern.size() >= sizeof gFolder || !mkdtemp(pattern.data())) {
            *error = "cannot make a temporary per-user store in '" +
                     pattern.substr(0, pattern.rfind('/')) + "': " + std::strerror(errno);
            return nullptr;
        }
        std::memcpy(gFolder, pattern.c_str(), pattern.size() + 1);
        installHandlers();
    }
    std::unique_ptr<PrivateUserStore> store(new PrivateUserStore);
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
    const bool removed = removeTree(AT_FDCWD, location_.c_str(), kDeepestFolder);
    return mkdir(location_.c_str(), 0700) == 0 && removed;
}

PrivateUserStore::~PrivateUserStore() {
    if (hadConfigHome_)
        setenv("XDG_CONFIG_HOME", previousConfigHome_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    const CleanupSignalsHeld held;
    restoreHandlers();
    removeFolder(gFolder);
    gFolder[0] = 0;
}

}  // namespace platform
