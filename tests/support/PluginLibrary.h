// The file name extension of the plug-in libraries the build makes and the tests load.
#pragma once

namespace testsupport {

#ifdef _WIN32
inline constexpr const char* kLibrarySuffix = ".dll";
#else
inline constexpr const char* kLibrarySuffix = ".so";
#endif

}  // namespace testsupport
