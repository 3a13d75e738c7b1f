// Owning handle to a shared library loaded at run time (the host loads plug-ins this way).
//
// Loading and unloading run on the host's main thread; symbol() may be called from any thread while
// the object lives. Pointers obtained from symbol() become invalid when the object is destroyed.
#pragma once

#include <memory>
#include <string>

namespace platform {

// The file name extension of shared libraries (plug-ins among them) on this platform.
#ifdef _WIN32
inline constexpr const char* kLibrarySuffix = ".dll";
#else
inline constexpr const char* kLibrarySuffix = ".so";
#endif

class DynamicLibrary {
  public:
    // Loads with all symbols resolved immediately and kept private to this library. Returns nullptr
    // on failure; `error`, when given, receives the loader's message.
    static std::unique_ptr<DynamicLibrary> load(const std::string& path,
                                                std::string* error = nullptr);

    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The library `fileName` when the process has it loaded already (looked up among the loaded
    // libraries by file name, never loaded); the object holds a reference while it lives. Null
    // when it is not loaded.
    static std::unique_ptr<DynamicLibrary> loaded(const std::string& fileName);

    // Address of an exported symbol, nullptr when it is not exported.
    void* symbol(const char* name) const;

  private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

}  // namespace platform
