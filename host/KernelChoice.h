// The kernels our own plug-ins run (recognised by their vendor string; other plug-ins are left
// alone): the fastest this processor runs unless a tool asks for the baseline, to compare the two.
// Main thread of a tool or test.
#pragma once

#include <string>

#include "host/VstHost.h"

namespace host {

// Asks our plug-in for its plain x86-64 kernels from its next block on; false for other plug-ins.
bool useBaselineKernels(Plugin& plugin);

// "x86-64" or "AVX2+FMA" for our plug-ins; "" for others.
std::string kernelsInUse(Plugin& plugin);

}  // namespace host
