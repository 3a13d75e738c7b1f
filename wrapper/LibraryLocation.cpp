#include "wrapper/LibraryLocation.h"

#include "nrtx/Gestalt.h"
#include "nrtx/NrtxAbi.h"
#include "nrtx/NrtxError.h"
#include "platform/DynamicLibrary.h"
#include "platform/ExecutablePath.h"

namespace wrapper {
namespace {

#ifdef _WIN32
const char* const kSeparators = "/\\";
constexpr const char* kSeparator = "\\";
#else
const char* const kSeparators = "/";
constexpr const char* kSeparator = "/";
#endif

}  // namespace

std::string adaptorFolder() {
    const std::string path = platform::modulePathOf(reinterpret_cast<const void*>(&adaptorFolder));
    if (path.empty()) return {};
    const auto slash = path.find_last_of(kSeparators);
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::unique_ptr<platform::DynamicLibrary> loadPluginLibrary(const std::string& fileName) {
    if (fileName.empty()) return nullptr;
    if (auto library = platform::DynamicLibrary::load(fileName)) return library;
    if (fileName.find_first_of(kSeparators) != std::string::npos) return nullptr;
    const std::string folder = adaptorFolder();
    if (folder.empty()) return nullptr;
    return platform::DynamicLibrary::load(folder + kSeparator + fileName);
}

int maximumRealTimeQuantum() {
    std::int32_t answer = 0;
    if (FicGestalt(nrtx::kGestaltQuantum, &answer) != nrtx::kNoErr) return kDefaultQuantum;
    // Loaded by name: the engine is already in the process, so this only takes a reference.
    auto motor = platform::DynamicLibrary::load(nrtx::kMotorLibraryName);
    if (!motor) return kDefaultQuantum;
    auto quantumOf =
        reinterpret_cast<nrtx::MaximumQuantumProc>(motor->symbol("_FicGetMaximumNRTXQuantum"));
    const int quantum = quantumOf ? quantumOf() : 0;
    return quantum < 1 ? kDefaultQuantum : quantum;
}

}  // namespace wrapper
