#include "platform/FileWrite.h"

#include <unistd.h>

#include <cerrno>
#include <random>

namespace platform {

std::string uniqueTempSuffix() {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof(kAlphabet) - 2);
    std::string s = std::to_string(static_cast<long>(::getpid())) + "-";
    for (int i = 0; i < 8; ++i) s += kAlphabet[pick(rng)];
    return s;
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

}  // namespace platform
