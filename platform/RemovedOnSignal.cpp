#include "platform/RemovedOnSignal.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

namespace platform {
namespace {

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kDeepestFolder = 8;
constexpr int kSlots = 8;
constexpr std::size_t kLongestPath = 4096;

// A path the handler removes; `used` is set after the path is written and cleared before it
// changes, both while the signals are held.
struct Slot {
    char path[kLongestPath];
    bool folder;
    volatile sig_atomic_t used;
};
Slot gSlots[kSlots];
int gUsedSlots = 0;
struct sigaction gPreviousActions[std::size(kCleanupSignals)];
bool gInstalled[std::size(kCleanupSignals)];

static_assert(sizeof(sigset_t) <= 128, "CleanupSignalsHeld keeps the mask in 128 bytes");

// Removes `name` below `parentFd`, folders with all they hold; true when it is gone. Only system
// calls that are safe in a signal handler (no allocation).
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

void onSignal(int signal) {
    for (const Slot& slot : gSlots) {
        if (!slot.used) continue;
        if (slot.folder)
            removeFolderTree(slot.path);
        else
            unlink(slot.path);
    }
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

}  // namespace

CleanupSignalsHeld::CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : kCleanupSignals) sigaddset(&held, s);
    pthread_sigmask(SIG_BLOCK, &held, reinterpret_cast<sigset_t*>(previous_));
}

CleanupSignalsHeld::~CleanupSignalsHeld() {
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(previous_), nullptr);
}

bool removeFolderTree(const char* folder) {
    // Only absolute paths: a folder is never taken relative to wherever the process stands.
    return folder[0] == '/' && removeTree(AT_FDCWD, folder, kDeepestFolder);
}

RemovedOnSignal::RemovedOnSignal(const std::string& path, bool folder) {
    if (path.empty() || path.size() >= kLongestPath) return;
    const CleanupSignalsHeld held;
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = gSlots[i];
        if (slot.used) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.folder = folder;
        slot.used = 1;
        slot_ = i;
        if (gUsedSlots++ == 0) installHandlers();
        return;
    }
}

void RemovedOnSignal::release() {
    if (slot_ < 0) return;
    const CleanupSignalsHeld held;
    gSlots[slot_].used = 0;
    slot_ = -1;
    if (--gUsedSlots == 0) restoreHandlers();
}

}  // namespace platform
