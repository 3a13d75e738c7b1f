#include "host/KernelChoice.h"

#include "shell/FamilyIdentity.h"

namespace host {
namespace {

bool isOurs(Plugin& plugin) {
    return plugin.vendorString() == family::kVendorString;
}

}  // namespace

bool useBaselineKernels(Plugin& plugin) {
    return isOurs(plugin) &&
           plugin.dispatch(effVendorSpecific, family::kInstructionSetRequest, 0, nullptr) == 1;
}

std::string kernelsInUse(Plugin& plugin) {
    const char* name = nullptr;
    if (!isOurs(plugin) ||
        plugin.dispatch(effVendorSpecific, family::kInstructionSetRequest, -1, &name) != 1 || !name)
        return "";
    return name;
}

}  // namespace host
