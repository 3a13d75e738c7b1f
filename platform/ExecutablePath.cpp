#include "platform/ExecutablePath.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace platform {

std::string executablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "";
    return std::string(buffer, static_cast<size_t>(n));
}

std::string modulePathOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return "";
    return info.dli_fname;
}

}  // namespace platform
