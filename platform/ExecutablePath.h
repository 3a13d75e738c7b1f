// The running program's own file, to find files installed beside it. Any thread.
#pragma once

#include <string>

namespace platform {

// Absolute path of the running executable; empty when it cannot be determined.
std::string executablePath();

}  // namespace platform
