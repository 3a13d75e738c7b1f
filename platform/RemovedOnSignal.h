// What a tool removes when a signal ends it: its partial output files and its private per-user
// store. While at least one path is registered, SIGINT, SIGTERM, SIGHUP and SIGQUIT run a handler
// that removes every registered path (files, or folders with all they hold, using only calls that
// are safe in a signal handler) and then lets the process die of the signal as it would have; a
// signal the caller ignores (nohup) stays ignored. On Windows the console's interrupt and close
// events remove the registered files the same way.
//
// Make a path and register it inside one CleanupSignalsHeld scope, so that no signal finds it made
// but not registered. Threads: main thread only.
#pragma once

#include <string>

namespace platform {

// Holds the cleanup signals back for its lifetime; one that arrives meanwhile is delivered when
// the hold ends. Nothing on Windows.
class CleanupSignalsHeld {
  public:
    CleanupSignalsHeld();
    ~CleanupSignalsHeld();
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

  private:
    unsigned char previous_[128];  // the thread's previous signal mask
};

class RemovedOnSignal {
  public:
    RemovedOnSignal() = default;
    // Registers `path` (a file, or a folder removed with what it holds). registered() is false
    // when the path is too long or every place is taken (eight paths at once).
    explicit RemovedOnSignal(const std::string& path, bool folder = false);
    // Forgets the path (without removing it).
    ~RemovedOnSignal() { release(); }
    RemovedOnSignal(RemovedOnSignal&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
    RemovedOnSignal& operator=(RemovedOnSignal&& other) noexcept {
        if (this != &other) {
            release();
            slot_ = other.slot_;
            other.slot_ = -1;
        }
        return *this;
    }
    RemovedOnSignal(const RemovedOnSignal&) = delete;
    RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

    bool registered() const { return slot_ >= 0; }
    // Forgets the path now.
    void release();

  private:
    int slot_ = -1;
};

// Removes `folder` (an absolute path) with everything in it, no deeper than eight levels (the
// private store is two deep); true when it is gone. Safe in a signal handler. POSIX only.
bool removeFolderTree(const char* folder);

}  // namespace platform
