// Key paths and value names of the per-user store, checked the same way on every platform so a
// name that works on one works on all. Pure functions, any non-audio thread (they allocate).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The company key below SOFTWARE; every reachable key lies below it.
inline constexpr const char* kStoreCompanyKey = "QRX-soundwerk";

// A key path component or value name: not empty, not "." or "..", no '/' and no NUL, so it stays
// one file-name component in the Linux store and one plain name in the registry.
bool isSafeStoreName(const std::string& name);

// Splits "SOFTWARE\QRX-soundwerk\A\B" into {"A", "B"}; nullopt for paths outside the store or with
// unsafe components. The fixed prefix compares case-insensitively, as registry key names do.
std::optional<std::vector<std::string>> parseStoreKeyPath(const std::string& keyPath);

}  // namespace platform
