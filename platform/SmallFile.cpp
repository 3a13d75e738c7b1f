#include "platform/SmallFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/FileWrite.h"

namespace platform {
namespace {

SmallFileResult failure(SmallFileStatus status, int error) {
    SmallFileResult r;
    r.status = status;
    r.error = error;
    return r;
}

}  // namespace

SmallFileResult readFileOfExactSize(const std::string& path, void* data, std::size_t size) {
    // Non-blocking so a pipe planted under the name cannot hang the user interface.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return failure(SmallFileStatus::CannotOpen, errno);
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        return failure(SmallFileStatus::ReadFailed, e);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return failure(SmallFileStatus::NotRegularFile, 0);
    }
    if (static_cast<unsigned long long>(st.st_size) != size) {
        ::close(fd);
        SmallFileResult r = failure(SmallFileStatus::WrongSize, 0);
        r.actualSize = static_cast<long long>(st.st_size);
        return r;
    }
    // Read into a private buffer first: the caller's bytes change only on complete success.
    std::string buffer(size, '\0');
    std::size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer.data() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;  // error, or the file shrank under us
        done += static_cast<std::size_t>(n);
    }
    // One byte more means the file grew while we read it: not the image we measured.
    char extra;
    const bool grew = done == size && ::read(fd, &extra, 1) > 0;
    ::close(fd);
    if (done != size || grew) return failure(SmallFileStatus::ReadFailed, error);
    std::copy(buffer.begin(), buffer.end(), static_cast<char*>(data));
    return {};
}

namespace {

// Follows symbolic links from `path` to the name they finally lead to, which need not exist yet
// (a link to a file still to be made). 0, or ELOOP / the errno of a failed look-up.
int followLinks(std::string path, std::string& out) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 && errno != ENOENT) return errno;
        if (!S_ISLNK(st.st_mode)) {  // a file, or no file yet (st stays zero)
            out = path;
            return 0;
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0) return errno;
        if (static_cast<std::size_t>(n) >= link.size()) return ENAMETOOLONG;  // changed meanwhile
        link.resize(static_cast<std::size_t>(n));
        if (link.empty()) return ENOENT;
        const std::size_t slash = path.rfind('/');
        path = link.front() == '/' || slash == std::string::npos ? link
                                                                 : path.substr(0, slash + 1) + link;
    }
    return ELOOP;
}

// Whether the user may overwrite the existing file `path`: the file system grants it and the
// file is not marked read-only. The mode bits are checked on their own because root passes every
// permission check, yet a file without any write bit is one its user meant to keep.
int mayOverwrite(const std::string& path, const struct stat& st) {
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return errno;
    return 0;
}

// Rewrites an existing file in place (a file with several hard links: a rename would leave the
// other names with the old content). Not atomic; our files are a few kilobytes, written at once.
int rewriteInPlace(const std::string& path, const void* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return errno;
    int error = 0;
    auto step = [&error](bool ok) {
        if (!ok && error == 0) error = errno ? errno : EIO;
        return ok;
    };
    bool ok = step(writeAll(fd, static_cast<const unsigned char*>(data), size));
    ok = ok && step(ftruncate(fd, static_cast<off_t>(size)) == 0);
    ok = ok && step(fsync(fd) == 0);
    step(::close(fd) == 0);
    return error;
}

}  // namespace

SmallFileResult replaceFileAtomically(const std::string& path, const void* data, std::size_t size) {
    // Saving onto a symbolic link saves into the file it names, as a plain open would.
    std::string real;
    if (const int e = followLinks(path, real)) return failure(SmallFileStatus::WriteFailed, e);
    const std::size_t slash = real.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : real.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? real : real.substr(slash + 1);
    if (name.empty()) return failure(SmallFileStatus::WriteFailed, EISDIR);

    struct stat target {};
    const bool targetExists = ::lstat(real.c_str(), &target) == 0;
    if (targetExists && !S_ISREG(target.st_mode))
        return failure(SmallFileStatus::WriteFailed, S_ISDIR(target.st_mode) ? EISDIR : EINVAL);
    if (targetExists) {
        if (const int e = mayOverwrite(real, target))
            return failure(SmallFileStatus::WriteFailed, e);
        if (target.st_nlink > 1) {
            const int e = rewriteInPlace(real, data, size);
            return e ? failure(SmallFileStatus::WriteFailed, e) : SmallFileResult{};
        }
    }

    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return failure(SmallFileStatus::WriteFailed, errno);
    NewFileMode mode;  // a new file: 0666 less the umask
    if (targetExists) {
        // The new file takes the old one's place: same permissions and, where allowed, owner.
        mode.exact = static_cast<int>(target.st_mode & 07777);
        mode.owner = target.st_uid;
        mode.group = target.st_gid;
    }
    int e = replaceInFolder(folderFd, name, data, size, mode);
    ::close(folderFd);
    // A folder that takes no new files (no temporary) may still hold a file the user may write:
    // a plain save would rewrite it, so do that.
    if (targetExists && (e == EACCES || e == EPERM)) e = rewriteInPlace(real, data, size);
    return e ? failure(SmallFileStatus::WriteFailed, e) : SmallFileResult{};
}

}  // namespace platform
