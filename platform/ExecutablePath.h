// The running program's own file and the library files in it, to find files installed beside
// them. Any thread.
#pragma once

#include <string>

namespace platform {

// Absolute path of the running executable; empty when it cannot be determined.
std::string executablePath();

// Absolute path of the executable or library whose code holds `address` (a plug-in library finds
// itself this way); empty when it cannot be determined.
std::string modulePathOf(const void* address);

}  // namespace platform
