// Pieces shared by the atomic file writers of this folder (user store, small files).
// Any thread except the audio thread: both allocate and make system calls.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// A name part for a temporary file: the process id and random characters, so writers in other
// threads and processes (also ones forked from one process) pick different names.
std::string uniqueTempSuffix();

// Writes all of `data` to `fd`, retrying after interruptions; false on any error.
bool writeAll(int fd, const unsigned char* data, std::size_t size);

}  // namespace platform
