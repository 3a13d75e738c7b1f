#include "platform/StoreNames.h"

#include <cstring>

namespace platform {
namespace {

constexpr const char* kSoftwareKey = "SOFTWARE";

// Registry key names compare case-insensitively; we honour that for the fixed prefix only, because
// the folders below it live on a case-sensitive file system on Linux.
bool equalsIgnoreAsciiCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

bool isSafeStoreName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

std::optional<std::vector<std::string>> parseStoreKeyPath(const std::string& keyPath) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = keyPath.find('\\', start);
        parts.push_back(keyPath.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (parts.size() < 2 || !equalsIgnoreAsciiCase(parts[0], kSoftwareKey) ||
        !equalsIgnoreAsciiCase(parts[1], kStoreCompanyKey)) {
        return std::nullopt;
    }
    parts.erase(parts.begin(), parts.begin() + 2);
    for (const auto& part : parts) {
        if (!isSafeStoreName(part)) return std::nullopt;
    }
    return parts;
}

}  // namespace platform
