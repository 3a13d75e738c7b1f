// Key paths and value names the per-user store must refuse on every platform: paths outside
// SOFTWARE\QRX-soundwerk, empty components, and names that would leave their key's folder.
#pragma once

#include <string>

namespace platform {

inline const std::string kHostileKeyPaths[] = {
    "",
    "SOFTWARE",
    "SOFTWARE\\Other\\AmberGlowTube20",
    "SOFTWARE\\QRX-soundwerkEvil\\x",
    "QRX-soundwerk\\x",
    "\\SOFTWARE\\QRX-soundwerk\\x",
    "SOFTWARE\\\\QRX-soundwerk\\x",
    "SOFTWARE\\QRX-soundwerk\\",
    "SOFTWARE\\QRX-soundwerk\\x\\\\y",
    "SOFTWARE\\QRX-soundwerk\\.",
    "SOFTWARE\\QRX-soundwerk\\..",
    "SOFTWARE\\QRX-soundwerk\\..\\..\\escaped",
    "SOFTWARE\\QRX-soundwerk\\a/../../../escaped",
    "SOFTWARE\\QRX-soundwerk\\/tmp",
    std::string("SOFTWARE\\QRX-soundwerk\\a\0b", 27),
};

inline const std::string kHostileValueNames[] = {
    "", ".", "..", "../escaped", "../../../escaped", "a/b", "/tmp/escaped", std::string("a\0b", 3),
};

}  // namespace platform
