// The exported entry of each plug-in library: VSTPluginMain, also exported as "main".
// Each plug-in defines createEffectInstance for its own engine class.
#include <new>

#include "shell/AudioEffect.h"

// Defined once per plug-in library (grandpress, tinypress). Null when the host is too old or the
// effect cannot be created.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(
    audioMasterCallback audioMaster) {
    // A host that cannot even answer the version request is too old (or not a host).
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    try {
        AudioEffect* effect = createEffectInstance(audioMaster);
        return effect ? effect->getAeffect() : nullptr;
    } catch (...) {
        // No exception crosses the library boundary.
        return nullptr;
    }
}

// The older hosts look the entry up as "main"; same address as VSTPluginMain.
extern "C" __attribute__((visibility("default"), alias("VSTPluginMain"))) AEffect* vstMainAlias(
    audioMasterCallback audioMaster) __asm__("main");
