// Whole reads and atomic replacement of small user files (preset and bank files).
//
// Reads open the file for reading only, so read-only files and folders load. Replacement writes a
// temporary file beside the target and renames it over the target only when every byte is on
// disk: an interrupted or failed save leaves the previous file as it was. A replacement has no
// other effect than a plain open-for-write would have: it refuses a target the user may not
// write, writes through symbolic links into the file they name, and keeps hard links linked.
//
// Threads: user-interface thread only (system calls, allocation); never the audio thread.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

enum class SmallFileStatus {
    Ok,
    CannotOpen,      // missing, no permission, ... (`error` holds errno)
    NotRegularFile,  // a folder, device or pipe
    WrongSize,       // the file is not exactly the expected size (`actualSize` says how big)
    ReadFailed,      // the file changed or failed while being read (`error` holds errno, or 0)
    WriteFailed,     // target may not be written, or the temporary file could not be created,
                     // written, synced or renamed
};

struct SmallFileResult {
    SmallFileStatus status = SmallFileStatus::Ok;
    int error = 0;              // errno of the failing call, 0 when none applies
    long long actualSize = -1;  // size found on disk for WrongSize
    bool ok() const { return status == SmallFileStatus::Ok; }
};

// Reads a regular file of exactly `size` bytes into `data`. On any failure `data` is untouched.
SmallFileResult readFileOfExactSize(const std::string& path, void* data, std::size_t size);

// Replaces (or creates) `path` with `size` bytes.
// - An existing target the user may not write is refused (EACCES or the file system's errno):
//   one that denies write access, and one without any write permission bit, also for root.
// - A symbolic link is followed (also a chain, also to a file still to be made); the temporary
//   file is made beside the real file and renamed there, so the link stays a link.
// - A target with more than one hard link is rewritten in place (not atomically) so every link
//   sees the new content; so is a writable target in a folder where no file can be made.
// - An existing target keeps its permission bits and, where the user may give files away, its
//   owner; a new one gets 0666 less the umask.
// On failure the target is unchanged (an in-place rewrite aside) and no temporary remains.
// On Windows the list is shorter: a read-only file is refused (EACCES), the temporary file replaces
// the target with MoveFileExW, and a link is replaced like a file (links are rare there).
SmallFileResult replaceFileAtomically(const std::string& path, const void* data, std::size_t size);

}  // namespace platform
