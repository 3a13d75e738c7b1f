#include "platform/FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace platform {

std::string temporaryFileName() {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof(kAlphabet) - 2);
    std::string s = ".qrx-" + std::to_string(static_cast<long>(::getpid())) + "-";
    for (int i = 0; i < 8; ++i) s += kAlphabet[pick(rng)];
    return s + ".tmp";
}

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int replaceInFolder(int folderFd, const std::string& fileName, const void* data, std::size_t size,
                    const NewFileMode& mode) {
    std::string tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tempName = temporaryFileName();
        fd = openat(folderFd, tempName.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode.create);
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EEXIST;

    int error = 0;
    auto step = [&error](bool ok) {
        if (!ok && error == 0) error = errno ? errno : EIO;
        return ok;
    };
    // The owner first: changing it may clear set-id bits that the mode then restores.
    if (mode.owner != uid_t(-1)) (void)fchown(fd, mode.owner, mode.group);
    bool ok = mode.exact < 0 || step(fchmod(fd, static_cast<mode_t>(mode.exact)) == 0);
    ok = ok && step(writeAll(fd, static_cast<const unsigned char*>(data), size));
    ok = ok && step(fsync(fd) == 0);
    ok = step(::close(fd) == 0) && ok;
    ok = ok && step(renameat(folderFd, tempName.c_str(), folderFd, fileName.c_str()) == 0);
    if (!ok) {
        unlinkat(folderFd, tempName.c_str(), 0);
        return error;
    }
    fsync(folderFd);
    return 0;
}

}  // namespace platform
