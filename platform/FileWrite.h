// Pieces shared by the atomic file writers of this folder (user store, small files).
// Any thread except the audio thread: both allocate and make system calls.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform {

// A name for a temporary file beside its target: ".qrx-<pid>-<8 random characters>.tmp", so
// writers in other threads and processes (also ones forked from one process) pick different
// names. Its length is bounded (at most 28 bytes) whatever the target's name: a target name of up
// to the file system's 255-byte limit still gets a temporary name that fits. The leading '.' hides
// a leftover one (after a power cut) from file dialogs.
std::string temporaryFileName();

// Writes all of `data` to `fd`, retrying after interruptions; false on any error.
bool writeAll(int fd, const unsigned char* data, std::size_t size);

// How replaceInFolder makes its temporary file.
struct NewFileMode {
    mode_t create = 0666;     // given to open; the umask applies
    int exact = -1;           // when >= 0, the file gets exactly these permission bits
    uid_t owner = uid_t(-1);  // when not -1, the file is given this owner and group (best effort:
    gid_t group = gid_t(-1);  // a user may not give files away, root may)
};

// Writes `data` to a new temporary file in the folder `folderFd`, syncs it and renames it over
// `fileName`: readers see the old or the new content, never a mixture. 0 on success, else the
// errno of the failing step; after a failure the old file is unchanged and no temporary remains.
// The rename itself is synced too (best effort: the new file is in place either way).
int replaceInFolder(int folderFd, const std::string& fileName, const void* data, std::size_t size,
                    const NewFileMode& mode);

}  // namespace platform
