// How many bytes this process has read so far, to prove a reader stopped early.
#pragma once

#include <fstream>
#include <string>

namespace testsupport {

// Bytes read through read() and its kin, as the kernel counts them ("rchar" of /proc/self/io);
// -1 where that is not available.
inline long long bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string field;
    long long value = -1;
    while (io >> field >> value)
        if (field == "rchar:") return value;
    return -1;
}

}  // namespace testsupport
