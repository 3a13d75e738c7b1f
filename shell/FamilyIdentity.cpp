#include "shell/FamilyIdentity.h"

#include <cstdio>
#include <cstring>

namespace family {

bool fillPinProperties(VstInt32 index, bool output, VstPinProperties* p) {
    if (index < 0 || index > 1) return false;
    std::memset(p, 0, sizeof *p);
    std::snprintf(p->label, sizeof p->label, output ? "My %1d Out" : "My %1d In",
                  static_cast<int>(index + 1));
    p->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

double latencyMs(double latencySamples, double sampleRate) {
    if (!(sampleRate >= 20000.0 && sampleRate <= 200000.0)) sampleRate = 44100.0;
    return latencySamples * 1000.0 / sampleRate;
}

}  // namespace family
