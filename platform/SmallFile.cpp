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

SmallFileResult replaceFileAtomically(const std::string& path, const void* data, std::size_t size) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return failure(SmallFileStatus::WriteFailed, EISDIR);

    struct stat target {};
    const bool targetExists = ::stat(path.c_str(), &target) == 0;
    if (targetExists && !S_ISREG(target.st_mode))
        return failure(SmallFileStatus::WriteFailed, S_ISDIR(target.st_mode) ? EISDIR : EINVAL);

    // Temp names start with '.' so file dialogs hide a leftover one after a power cut.
    std::string tempPath;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tempPath = folder + "." + name + ".tmp-" + uniqueTempSuffix();
        fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST) return failure(SmallFileStatus::WriteFailed, errno);
    }
    if (fd < 0) return failure(SmallFileStatus::WriteFailed, EEXIST);

    int error = 0;
    auto step = [&error](bool ok) {
        if (!ok && error == 0) error = errno ? errno : EIO;
        return ok;
    };
    bool ok = !targetExists || step(fchmod(fd, target.st_mode & 07777) == 0);
    ok = ok && step(writeAll(fd, static_cast<const unsigned char*>(data), size));
    ok = ok && step(fsync(fd) == 0);
    ok = step(::close(fd) == 0) && ok;
    ok = ok && step(::rename(tempPath.c_str(), path.c_str()) == 0);
    if (!ok) {
        ::unlink(tempPath.c_str());
        return failure(SmallFileStatus::WriteFailed, error);
    }
    // Persist the rename itself; best effort, the new file is already in place.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        ::close(folderFd);
    }
    return {};
}

}  // namespace platform
