// Windows test programs: HKEY_CURRENT_USER is a private key for the whole program, as
// XDG_CONFIG_HOME is a private folder on Linux, so tests never touch the user's real store. It is
// the tools' private store (platform/PrivateUserStore.h), made before main() and removed when the
// program ends. Main thread of the test program only.
#pragma once

#include <string>

namespace testsupport {

// Empties the private HKEY_CURRENT_USER: the next test starts as on a machine where no instance
// ever ran.
void clearUserRegistry();

// The private key's path below the real HKEY_CURRENT_USER.
std::wstring userRegistryPath();

// Whether the key `path` exists below the real HKEY_CURRENT_USER (what other programs, such as a
// tool the test runs, see); only looked at, never opened for writing.
bool existsInRealCurrentUser(const std::wstring& path);

}  // namespace testsupport
