#include "shell/FamilyIdentity.h"

#include <cmath>
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

double ratioOfStep(int k) {
    static const double kRatios[21] = {
        0.5,    std::exp2(-0.75),
        0.7071, std::exp2(-0.375),
        0.84,   std::exp2(-0.125),
        1.0,    std::exp2(0.125),
        1.2,    std::exp2(0.375),
        1.4,    std::exp2(0.75),
        2.0,    std::exp2(1.25),
        2.8,    std::exp2(1.75),
        4.0,    5.6,
        8.0,    12.0,
        64.0,
    };
    return kRatios[k < 0 ? 0 : (k > 20 ? 20 : k)];
}

double latencyMs(double latencySamples, double sampleRate) {
    if (!(sampleRate >= 20000.0 && sampleRate <= 200000.0)) sampleRate = 44100.0;
    return latencySamples * 1000.0 / sampleRate;
}

}  // namespace family
