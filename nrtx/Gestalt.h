// The host library's view of the engine library Motor.so (Motor.dll): FicGestalt and the engine's
// sample rate. Motor is looked up among the libraries already loaded into the process, never
// loaded. Main thread.
#pragma once

#include <cstdint>

// Answers the engine's value for `selector` in *response; kNoErr when the engine knows it,
// kErrGestaltUnknown when it does not or when Motor is not loaded.
std::int32_t FicGestalt(std::uint32_t selector, std::int32_t* response);

namespace nrtx {

// The engine's sample rate in Hz, 0 when it does not report one.
double hostSampleRate();

// File name Motor is known by (its soname on Linux), for lookups among loaded libraries.
#ifdef _WIN32
constexpr const char* kMotorLibraryName = "Motor.dll";
#else
constexpr const char* kMotorLibraryName = "Motor.so";
#endif

}  // namespace nrtx
