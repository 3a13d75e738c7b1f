#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace platform {

namespace {
// Sanitizer builds keep unloaded libraries mapped, so a leak report can still name the code
// (and the system library) that made the allocation; ordinary builds unload for real.
#ifdef QRX_SANITIZED_BUILD
constexpr int kKeepMapped = RTLD_NODELETE;
#else
constexpr int kKeepMapped = 0;
#endif
}  // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::load(const std::string& path, std::string* error) {
    dlerror();  // clear a stale message so the one reported belongs to this call
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepMapped);
    if (handle == nullptr) {
        if (error != nullptr) {
            const char* message = dlerror();
            *error = message != nullptr ? message : "cannot load " + path;
        }
        return nullptr;
    }
    if (error != nullptr) error->clear();
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

std::unique_ptr<DynamicLibrary> DynamicLibrary::loaded(const std::string& fileName) {
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return nullptr;
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() {
    dlclose(handle_);
}

void* DynamicLibrary::symbol(const char* name) const {
    if (name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

}  // namespace platform
