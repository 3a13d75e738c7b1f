// Where the adaptor finds things: the plug-in library (standard search, then beside the adaptor
// library) and the engine's maximum real-time quantum. Main thread.
#pragma once

#include <memory>
#include <string>

namespace platform {
class DynamicLibrary;
}

namespace wrapper {

// Folder of the library this code is linked into (wrapper.so or wrapper.dll, or the test
// program), without a trailing separator; empty when unknown.
std::string adaptorFolder();

// Loads `fileName` through the platform's standard search; when that fails and the name has no
// folder in it, loads it from adaptorFolder(). Null when neither works.
std::unique_ptr<platform::DynamicLibrary> loadPluginLibrary(const std::string& fileName);

// The engine's maximum real-time quantum in samples: FicGestalt('vqta') answered, then the
// engine's _FicGetMaximumNRTXQuantum; 32 when either is missing or the answer is below 1.
int maximumRealTimeQuantum();

constexpr int kDefaultQuantum = 32;

}  // namespace wrapper
